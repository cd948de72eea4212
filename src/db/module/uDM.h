// The data module: the one connection, every dataset and data source of the program, the
// connected-users component, and the stamping that runs inside every post of the inventory.
#pragma once

#include "dataset/TDaoDatabase.h"
#include "files/TDaoInfo.h"
#include "dataset/TDaoTable.h"
#include "dataset/TDataSource.h"

#include <QObject>
#include <functional>

class TDM : public QObject
{
    Q_OBJECT

public:
    // The database password every inventory file carries.
    static constexpr const char *DatabasePasswordText = "quietmaple";

    explicit TDM(QObject *parent = nullptr);
    // Closes the connection. A final commit that fails there is told to ReportError and logged;
    // nothing is thrown.
    ~TDM() override;

    TDaoDatabase *DataBase;
    TDaoTable *tblMain;
    TDaoTable *tblModels;
    TDaoTable *tblUsers;
    TDaoTable *tblMyPersonalQuery;
    TDaoTable *tblUnitName;
    TDaoTable *tblDeliverName;
    TDaoTable *tblUnitNumber;
    TDaoTable *tblMark;
    TDaoTable *tblComment;
    TDataSource *srcMain;
    TDataSource *srcModels;
    TDataSource *srcUsers;
    TDataSource *srcUnitName;
    TDataSource *srcDeliverName;
    TDataSource *srcUnitNumber;
    TDataSource *srcMark;
    TDataSource *srcComment;
    TDaoInfo *dbInfo;

    // Program-wide flags of the stamping.
    bool BulkUpdate = false;
    bool RowPosted = false;

    // Filled by the main window: refreshes the grid and rebuilds its pick lists after a post.
    std::function<void()> RefreshPickLists;
    // Filled by the application: lets pending window messages be processed (repaints; no user
    // input, as it runs inside a post). Empty: nothing.
    std::function<void()> ProcessMessages;
    // Filled by the application: tells the user of a failure that cannot be raised (closing the
    // connection in the destructor). Empty: it is only logged.
    std::function<void(const QString &message)> ReportError;

    // The datasets ConnectDatabase opens, in their order.
    QList<TDaoTable *> connectOrder() const;

    // The number to continue row numbering from: -1 when the current row keeps its number (or
    // the query failed), 0 when no row is numbered, else the largest number in the table.
    qint64 NextNumber();
    // The largest row number of the inventory, by the largest-number query through the scratch
    // dataset (null when no row is numbered). Raises when the query fails.
    QVariant LargestNumber();

    // Scratch dataset: runs one SELECT and gives the first field of its first row (null when
    // absent), running ProcessMessages between opening it and reading. leaveOpen keeps the
    // dataset open for a later reader.
    QVariant scratchValue(const QString &sql, bool leaveOpen = false);

    void tblMainBeforePost(TDaoTable *dataSet);
    void tblMainAfterPost(TDaoTable *dataSet);
};

// The program-wide instance.
extern TDM *DM;
