// The settings file's rules without any window: how each key is read back, the form written,
// and a round trip of all ten values.
#include "SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

class TestSettingsFile : public QObject
{
    Q_OBJECT

    using Values = SettingsFile::Values;

    // The value of one setting, as text: "on"/"off" for the yes/no ones.
    static QString field(const Values &v, const QString &name)
    {
        auto onOff = [](bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); };
        if (name == QLatin1String("Database"))
            return v.database;
        if (name == QLatin1String("DAOVersion"))
            return v.daoVersion;
        if (name == QLatin1String("ArchiveCount"))
            return v.archiveCount;
        if (name == QLatin1String("SkinPath"))
            return v.skinPath;
        if (name == QLatin1String("SP"))
            return onOff(v.showDeleted);
        if (name == QLatin1String("AutoArchive"))
            return onOff(v.autoArchive);
        if (name == QLatin1String("SpeedButtons"))
            return onOff(v.speedButtons);
        if (name == QLatin1String("PassByChange"))
            return onOff(v.passByChange);
        if (name == QLatin1String("ChangeLanguage"))
            return onOff(v.changeLanguage);
        if (name == QLatin1String("Skins"))
            return onOff(v.skins);
        if (name == QLatin1String("HistoryDays"))
            return QString::number(v.historyDays);
        if (name == QLatin1String("AutoRefresh"))
            return onOff(v.autoRefresh);
        return QStringLiteral("?");
    }

private slots:
    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("expected");
        QTest::newRow("key case ignored") << QByteArray("sp=Yes\r\n") << "SP" << "on";
        QTest::newRow("value case kept") << QByteArray("SP=yes\r\n") << "SP" << "off";
        QTest::newRow("speed buttons missing") << QByteArray("SP=Yes\r\n") << "SpeedButtons" << "off";
        QTest::newRow("pass by change") << QByteArray("PassByChange=Yes\n") << "PassByChange" << "on";
        QTest::newRow("language") << QByteArray("ChangeLanguage=Yes\n") << "ChangeLanguage" << "on";
        QTest::newRow("skins empty") << QByteArray("Skins=\r\n") << "Skins" << "on";
        QTest::newRow("skins missing") << QByteArray("SP=No\r\n") << "Skins" << "on";
        QTest::newRow("skins No") << QByteArray("Skins=No\r\n") << "Skins" << "off";
        QTest::newRow("skins NO") << QByteArray("Skins=NO\r\n") << "Skins" << "on";
        QTest::newRow("archive no") << QByteArray("AutoArchive=no\r\n") << "AutoArchive" << "on";
        QTest::newRow("archive No") << QByteArray("AutoArchive=No\r\n") << "AutoArchive" << "off";
        QTest::newRow("count text") << QByteArray("ArchiveCount=abc\r\n") << "ArchiveCount" << "4";
        QTest::newRow("count missing") << QByteArray("SP=No\r\n") << "ArchiveCount" << "4";
        QTest::newRow("count 07") << QByteArray("ArchiveCount=07\r\n") << "ArchiveCount" << "7";
        QTest::newRow("count 0") << QByteArray("ArchiveCount=0\r\n") << "ArchiveCount" << "0";
        QTest::newRow("skin path empty") << QByteArray("SkinPath=\r\n") << "SkinPath" << "..\\Skins\\MySkin.skn";
        QTest::newRow("skin path") << QByteArray("SkinPath=C:\\skins\\a.skn\r\n") << "SkinPath" << "C:\\skins\\a.skn";
        QTest::newRow("database empty") << QByteArray("Database=\r\n") << "Database" << "";
        QTest::newRow("database missing") << QByteArray("SP=No\r\n") << "Database" << "";
        QTest::newRow("first line wins") << QByteArray("Database=a.mdb\r\nDATABASE=b.mdb\r\n") << "Database" << "a.mdb";
        QTest::newRow("space before =") << QByteArray("Database =a.mdb\r\n") << "Database" << "";
        QTest::newRow("value kept whole") << QByteArray("Database= a=b.mdb \r\n") << "Database" << " a=b.mdb ";
        QTest::newRow("CR ends") << QByteArray("SP=Yes\rDatabase=x.mdb\r") << "Database" << "x.mdb";
        QTest::newRow("LF ends") << QByteArray("Database=x.mdb\nSP=Yes\n") << "SP" << "on";
        QTest::newRow("no final end") << QByteArray("SP=No\r\nDatabase=x.mdb") << "Database" << "x.mdb";
        QTest::newRow("utf-8 path") << QByteArray("Database=C:\\Склад\\база.mdb\r\n") << "Database" << "C:\\Склад\\база.mdb";
        QTest::newRow("cp1251 path") << QByteArray("Database=C:\\\xd1\xea\xeb\xe0\xe4.mdb\r\n") << "Database" << "C:\\Склад.mdb";
        QTest::newRow("dao version kept") << QByteArray("DAOVersion=3.5 (Access 97)\r\n") << "DAOVersion" << "3.5 (Access 97)";
        QTest::newRow("history days") << QByteArray("historydays=30\r\n") << "HistoryDays" << "30";
        QTest::newRow("history for ever") << QByteArray("HistoryDays=0\r\n") << "HistoryDays" << "0";
        QTest::newRow("history missing") << QByteArray("SP=No\r\n") << "HistoryDays" << "365";
        QTest::newRow("history negative") << QByteArray("HistoryDays=-5\r\n") << "HistoryDays" << "365";
        QTest::newRow("history text") << QByteArray("HistoryDays=1 year\r\n") << "HistoryDays" << "365";
        QTest::newRow("refresh missing") << QByteArray("SP=No\r\n") << "AutoRefresh" << "on";
        QTest::newRow("refresh no") << QByteArray("AutoRefresh=no\r\n") << "AutoRefresh" << "on";
        QTest::newRow("refresh No") << QByteArray("autorefresh=No\r\n") << "AutoRefresh" << "off";
        QTest::newRow("dao version missing") << QByteArray("SP=No\r\n") << "DAOVersion" << "";
    }

    void readingRules()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, setting);
        QFETCH(QString, expected);
        Values current;
        current.skinPath = QStringLiteral("..\\Skins\\MySkin.skn");
        const Values read = SettingsFile::read(SettingsFile::splitLines(file), current);
        QCOMPARE(field(read, setting), expected);
    }

    void writtenFormAndRoundTrip()
    {
        Values v;
        v.database = QStringLiteral("D:\\Склад\\shop.mdb");
        v.daoVersion = QStringLiteral("3.5");
        v.archiveCount = QStringLiteral("9");
        v.skinPath = QStringLiteral("../Skins/Other.skn");
        v.showDeleted = true;
        v.autoArchive = false;
        v.speedButtons = false;
        v.passByChange = true;
        v.changeLanguage = true;
        v.skins = false;
        v.historyDays = 90;
        v.autoRefresh = false;
        const QByteArray expected = QStringLiteral("Database=D:\\Склад\\shop.mdb\r\nDAOVersion=3.5\r\nArchiveCount=9\r\n"
                                                   "SkinPath=../Skins/Other.skn\r\nSP=Yes\r\nAutoArchive=No\r\n"
                                                   "SpeedButtons=No\r\nPassByChange=Yes\r\nChangeLanguage=Yes\r\nSkins=No\r\n"
                                                   "HistoryDays=90\r\nAutoRefresh=No\r\n")
                                        .toUtf8();
        QCOMPARE(SettingsFile::bytes(v), expected);
        // Read back over the defaults: the same values, whatever the start.
        QCOMPARE(SettingsFile::read(SettingsFile::splitLines(expected), Values()), v);
        Values flipped = v;
        flipped.showDeleted = !flipped.showDeleted;
        flipped.skins = !flipped.skins;
        flipped.skinPath = QStringLiteral("x");
        QCOMPARE(SettingsFile::read(SettingsFile::splitLines(expected), flipped), v);
        // The defaults written and read back.
        QCOMPARE(SettingsFile::read(SettingsFile::splitLines(SettingsFile::bytes(Values())), v), Values());
    }

    void files()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.dll"));
        QString error;
        QVERIFY(!SettingsFile::readFile(path, &error));
        QVERIFY(error.isEmpty()); // missing is not an error
        QVERIFY(SettingsFile::writeFile(path, "SP=Yes\r\n"));
        QCOMPARE(SettingsFile::readFile(path, &error).value_or(QStringList()), (QStringList{"SP=Yes", ""}));
        // The permissions asked for, whatever the file replaced had (Qt's flags: 0x6004 is 0604).
        const mode_t mask = ::umask(027);
        const auto restoreMask = qScopeGuard([mask] { ::umask(mask); });
        for (const auto &[asked, expected] : {std::pair(FileReplacement::Permissions::OfTarget, 0x6004),
                                              std::pair(FileReplacement::Permissions::OfNewFile, 0x6040),
                                              std::pair(FileReplacement::Permissions::OwnerOnly, 0x6000)}) {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
            QVERIFY(SettingsFile::writeFile(path, "SP=No\r\n", asked));
            QCOMPARE(int(QFileInfo(path).permissions() & 0x7077), expected);
        }
        // A folder in the file's place: nothing written, and the caller is told.
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("grid.ini"))));
        QVERIFY(!SettingsFile::writeFile(dir.filePath(QStringLiteral("grid.ini")), "x"));
        // A file that cannot be read is an error, not a missing file.
        QFile::setPermissions(path, QFileDevice::Permissions());
        if (!QFile(path).open(QIODevice::ReadOnly)) { // root reads anything
            QVERIFY(!SettingsFile::readFile(path, &error));
            QVERIFY(!error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
