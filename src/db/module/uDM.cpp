// The data module and the inventory stamping.
#include "module/uDM.h"

#include "base/Clock.h"
#include "base/DaoError.h"
#include "base/DbLog.h"

TDM *DM = nullptr;

namespace {
TDataSource *source(QObject *parent, const char *name, TDaoTable *t)
{
    auto *s = new TDataSource(parent);
    s->setObjectName(QLatin1String(name));
    s->setDataSet(t);
    return s;
}
} // namespace

TDM::TDM(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("DM"));
    DataBase = new TDaoDatabase(this);
    DataBase->setObjectName(QStringLiteral("DataBase"));
    DataBase->setDatabase(QStringLiteral("Velostok.mdb"));
    DataBase->setVersion(QStringLiteral("3.6"));
    DataBase->DatabasePassword = QString::fromLatin1(DatabasePasswordText);
    DataBase->SmartOpen = true;

    auto table = [this](const char *name, const QString &source) {
        auto *t = new TDaoTable(this);
        t->setObjectName(QLatin1String(name));
        t->setDatabase(DataBase);
        t->setTableName(source);
        return t;
    };
    tblMain = table("tblMain", QStringLiteral("main"));
    // The dataset's field order, which exports follow.
    tblMain->setFieldNames({QStringLiteral("id"), QStringLiteral("user_id"), QStringLiteral("unit_number"),
                            QStringLiteral("unit_name"), QStringLiteral("quantity"), QStringLiteral("price"),
                            QStringLiteral("second_price"), QStringLiteral("comment"), QStringLiteral("deliver_name"),
                            QStringLiteral("delivery_unit_number"), QStringLiteral("delivery_country"),
                            QStringLiteral("last_modified"), QStringLiteral("modifier"), QStringLiteral("deleted"),
                            QStringLiteral("locked"), QStringLiteral("created")});
    tblMain->BeforePost = [this](TDaoTable *t) { tblMainBeforePost(t); };
    tblMain->AfterPost = [this](TDaoTable *t) { tblMainAfterPost(t); };
    // The stamping reads the largest row number: no other copy may store a row before this one.
    tblMain->setPostAtomic(true);
    tblModels = table("tblModels", QStringLiteral("models"));
    tblUsers = table("tblUsers", QStringLiteral("users"));
    tblMyPersonalQuery = table("tblMyPersonalQuery", QString());
    tblUnitName = table("tblUnitName", QStringLiteral("unit_name"));
    tblDeliverName = table("tblDeliverName", QStringLiteral("deliver_name"));
    tblUnitNumber = table("tblUnitNumber", QStringLiteral("unit_number"));
    tblMark = table("tblMark", QStringLiteral("Mark"));
    tblMark->setReadOnly(true);
    tblComment = table("tblComment", QStringLiteral("comment"));

    srcMain = source(this, "srcMain", tblMain);
    srcModels = source(this, "srcModels", tblModels);
    srcUsers = source(this, "srcUsers", tblUsers);
    srcUnitName = source(this, "srcUnitName", tblUnitName);
    srcDeliverName = source(this, "srcDeliverName", tblDeliverName);
    srcUnitNumber = source(this, "srcUnitNumber", tblUnitNumber);
    srcMark = source(this, "srcMark", tblMark);
    srcComment = source(this, "srcComment", tblComment);

    dbInfo = new TDaoInfo(this);
    dbInfo->setObjectName(QStringLiteral("dbInfo"));
    dbInfo->setDaoInfoDll(QStringLiteral(".\\Msldbusr.dll"));
}

TDM::~TDM()
{
    QString failure;
    try {
        DataBase->Close();
    } catch (const DaoError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (!failure.isEmpty()) {
        qCWarning(lcDb) << "closing the database:" << failure;
        if (ReportError) {
            try {
                ReportError(failure);
            } catch (...) {
                qCWarning(lcDb) << "ReportError raised";
            }
        }
    }
    if (DM == this)
        DM = nullptr;
}

QList<TDaoTable *> TDM::connectOrder() const
{
    return {tblMain, tblUsers, tblModels, tblMark, tblUnitName, tblUnitNumber, tblDeliverName, tblComment};
}

QVariant TDM::scratchValue(const QString &sql, bool leaveOpen)
{
    tblMyPersonalQuery->Close();
    tblMyPersonalQuery->SQL() = QStringList{sql};
    QVariant value;
    try {
        tblMyPersonalQuery->Open();
        if (ProcessMessages)
            ProcessMessages();
        if (tblMyPersonalQuery->RecordCount() > 0 && tblMyPersonalQuery->FieldCount() > 0)
            value = tblMyPersonalQuery->Fields(0)->Value();
    } catch (...) {
        tblMyPersonalQuery->Close();
        throw;
    }
    if (!leaveOpen)
        tblMyPersonalQuery->Close();
    return value;
}

QVariant TDM::LargestNumber()
{
    return scratchValue(QStringLiteral("SELECT Max([user_id]) AS MaxNum FROM main;"));
}

qint64 TDM::NextNumber()
{
    TDaoField *userId = tblMain->FieldByName(QStringLiteral("user_id"));
    if (!userId->IsNull() && userId->AsInteger() >= 1)
        return -1;
    try {
        const QVariant max = LargestNumber();
        if (!max.isValid() || max.isNull())
            return 0;
        return max.toLongLong();
    } catch (const DaoError &) {
        return -1;
    }
}

void TDM::tblMainBeforePost(TDaoTable *dataSet)
{
    if (BulkUpdate)
        return;
    dataSet->FieldByName(QStringLiteral("last_modified"))->setAsDateTime(Clock::now());
    const qint64 n = NextNumber();
    if (n > 0)
        dataSet->FieldByName(QStringLiteral("user_id"))->setAsInteger(n + 1);
    else if (n == 0)
        dataSet->FieldByName(QStringLiteral("user_id"))->setAsInteger(1);
    RowPosted = true;
}

void TDM::tblMainAfterPost(TDaoTable *)
{
    if (!BulkUpdate && RowPosted) {
        if (RefreshPickLists)
            RefreshPickLists();
        RowPosted = false;
    }
}
