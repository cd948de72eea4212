// The history of the inventory's current row: its changes newest first, one line per changed
// field, and "Върни", which writes the old values of the chosen change back as a normal post.
#pragma once

#include "dataset/ChangeLog.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;
class TDaoTable;

class TfRowHistory : public QDialog
{
    Q_OBJECT

public:
    explicit TfRowHistory(TDaoTable *inventory, QWidget *parent = nullptr);

    QLabel *lRow;
    QTableWidget *lvHistory; // time, who, kind, field, old, new
    QPushButton *bRevert;
    QPushButton *bClose;

    // Reads the history of the inventory's current row.
    void load();
    // The entry of the chosen line, or nullptr.
    const ChangeLog::Entry *chosen() const;
    void bRevertClick();

private:
    void setupUi();
    void chosenChanged();
    // Why the entry cannot be written back now, or an empty text.
    QString refusal(const ChangeLog::Entry &entry) const;

    TDaoTable *mInventory;
    QList<ChangeLog::Entry> mEntries;
};
