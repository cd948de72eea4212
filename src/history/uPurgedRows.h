// The rows purged from the inventory, as the change history keeps them, searchable by catalogue
// number and name; "Възстанови" brings the chosen one back as a new row (after the
// administrator check, as the purge itself).
#pragma once

#include "dataset/ChangeLog.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class TDaoTable;

class TfPurgedRows : public QDialog
{
    Q_OBJECT

public:
    explicit TfPurgedRows(TDaoTable *inventory, QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *tbxSearchValue;
    QTableWidget *lvPurged; // purged at, by, then the row's main fields
    QPushButton *bRestore;
    QPushButton *bClose;

    // Reads the purged rows whose catalogue number or name holds the search text.
    void load();
    const ChangeLog::Entry *chosen() const;
    void bRestoreClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setupUi();

    TDaoTable *mInventory;
    QTimer *mSearch;
    QList<ChangeLog::Entry> mEntries;
};
