// An edit box bound to one field of a data source's dataset: it shows the current row's value and
// writes what the user types into the row (starting an edit), to be stored by the next post.
#pragma once

#include <QLineEdit>

class TDataLink;
class TDataSource;

class TDBEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TDBEdit(QWidget *parent = nullptr);

    void setDataSource(TDataSource *source);
    TDataSource *DataSource() const;
    void setDataField(const QString &field);
    const QString &DataField() const { return mField; }

    // Shows the current row's value again.
    void refresh();

private:
    void typed(const QString &text);

    TDataLink *mLink;
    QString mField;
    bool mShowing = false;
};
