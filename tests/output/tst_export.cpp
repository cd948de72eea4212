// Export: the statements the dataset composes, the commands with their dialog, question and
// messages, and each file read back by a reader made for its kind (readback.py: openpyxl, csv,
// html.parser) holding exactly the filtered rows and all sixteen columns.
#include "AppFixture.h"
#include "base/DaoError.h"
#include "ExportCommands.h"
#include "files/ExportStatement.h"
#include "base/FileReplacement.h"
#include "TApplication.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

class TestExport : public QObject
{
    Q_OBJECT

    static QJsonObject readBack(const QString &kind, const QString &path)
    {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VELOSTOK_READBACK), kind, path});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            qWarning() << p.readAllStandardError();
            return {};
        }
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

    static const QStringList &allColumns()
    {
        static const QStringList c{
            QStringLiteral("id"),           QStringLiteral("user_id"),      QStringLiteral("unit_number"),
            QStringLiteral("unit_name"),    QStringLiteral("quantity"),     QStringLiteral("price"),
            QStringLiteral("second_price"), QStringLiteral("comment"),      QStringLiteral("deliver_name"),
            QStringLiteral("delivery_unit_number"), QStringLiteral("delivery_country"), QStringLiteral("last_modified"),
            QStringLiteral("modifier"),     QStringLiteral("deleted"),      QStringLiteral("locked"),
            QStringLiteral("created")};
        return c;
    }

    static QString bracketed()
    {
        QStringList b;
        for (const QString &c : allColumns())
            b << QLatin1Char('[') + c + QLatin1Char(']');
        return QLatin1Char(' ') + b.join(QStringLiteral(", "));
    }

private slots:
    void initTestCase() { initWindowTests(); }
    void cleanup() { FileReplacement::renameStep() = nullptr; }

    void statements_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("filtered");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected"); // %C the column list, %W the WHERE part
        QTest::newRow("text") << "text" << false << "/data/exp/Velostok.txt"
                              << "Select %C INTO [Velostok#txt] IN \"/data/exp/\"[Text;] FROM [main] ;";
        QTest::newRow("text, dots, filtered") << "text" << true << "/data/a.b.txt"
                                              << "Select %C INTO [a#b#txt] IN \"/data/\"[Text;] FROM [main]  WHERE %W ;";
        QTest::newRow("text, no folder") << "text" << false << "a.txt" << "Select %C INTO [a#txt] IN \".\"[Text;] FROM [main] ;";
        QTest::newRow("html, filtered") << "html" << true << "/x/Velostok.htm"
                                        << "Select %C INTO [Velostok.htm] IN \"/x/\"[HTML Export;] FROM [main]  WHERE %W ;";
        QTest::newRow("spreadsheet") << "xlsx" << false << "/x/V.xlsx"
                                     << "Select %C INTO [Tab1] IN \"/x/V.xlsx\"[Excel 3.0;] FROM [main] ;";
    }

    void statements()
    {
        QFETCH(QString, kind);
        QFETCH(bool, filtered);
        QFETCH(QString, file);
        QFETCH(QString, expected);
        AppFixture f;
        QVERIFY(f.start(filtered ? false : true)); // deleted rows shown: no filter
        fVelostok->ApplyFilter(filtered ? QStringLiteral("[deleted]=False") : QString());
        TDaoTable *t = DM->tblMain;
        const QString got = kind == QLatin1String("text")   ? t->textExportStatement(file, true)
                            : kind == QLatin1String("html") ? t->htmlExportStatement(file, true)
                                                            : t->spreadsheetExportStatement(file, QStringLiteral("Tab1"), 3, true);
        QCOMPARE(got, QString(expected).replace(QStringLiteral("%C"), bracketed()).replace(QStringLiteral("%W"), QStringLiteral("[deleted]=False")));
        QVERIFY(got.startsWith(QStringLiteral("Select  [id], ")));
        QCOMPARE(TDaoTable::spreadsheetDriver(5), QStringLiteral("Excel 5.0;"));
        QCOMPARE(TDaoTable::spreadsheetDriver(7), QStringLiteral("Excel 8.0;"));
        QVERIFY_THROWS_EXCEPTION(DaoError, t->textExportStatement(QStringLiteral("/data/"), true));
    }

    void statementParsing()
    {
        const ExportStatement s = ExportStatement::parse(
            QStringLiteral("Select  [id], [a].[b] INTO [x#y#txt] IN \"/d ir/\"[Text;] FROM [main]  WHERE [comment] LIKE \"*a;b]*\" ;"));
        QCOMPARE(s.columns, (QStringList{QStringLiteral("id"), QStringLiteral("a.b")}));
        QCOMPARE(s.filter, QStringLiteral("[comment] LIKE \"*a;b]*\""));
        QCOMPARE(s.outputPath(), QStringLiteral("/d ir/x.y.txt"));
        QCOMPARE(s.kind, ExportStatement::Text);
        QCOMPARE(ExportStatement::parse(QStringLiteral("Select * INTO [Tab1] IN \"/a/b.xlsx\"[Excel 8.0;] FROM [main] ;")).outputPath(),
                 QStringLiteral("/a/b.xlsx"));
        QVERIFY_THROWS_EXCEPTION(DaoError, ExportStatement::parse(QStringLiteral("Select * INTO [t] IN \"/a\"[dBase IV;] FROM [main] ;")));
        QVERIFY_THROWS_EXCEPTION(DaoError, ExportStatement::parse(QStringLiteral("DELETE FROM main")));
    }

    void filesReadBack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("xlsx") << "xlsx" << "Склад.xlsx";
        QTest::newRow("csv") << "csv" << "a.b#2.txt"; // a "#" of the name's own stays one
        QTest::newRow("html") << "html" << "Склад#2.htm";
    }

    void filesReadBack()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_number, unit_name, quantity, price, comment, deleted, last_modified) VALUES "
                              "(1, 'A-1', 'Помпа \"Бош\", <нова>', 2.5, 10, 'ред 1\r\nред 2', FALSE, '2024-05-01 10:20:30'),"
                              "(2, 'A-2', 'Изтрит', 1, 1, NULL, TRUE, NULL), (3, 'B-3', 'Ключ & гайка', NULL, 0.5, '', FALSE, NULL)"));
        if (f.server) // not a number, which only the server holds: an empty cell
            f.exec(QStringLiteral("UPDATE main SET second_price = 'NaN' WHERE user_id = 3"));
        QVERIFY(f.start());
        const QString path = QDir(f.work()).filePath(name);
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier");
        old.close();
        // Cancel in the overwrite question: untouched, nothing said.
        f.prompts.fileAnswers = {path};
        f.prompts.confirmAnswers = {false};
        ExportCommands commands;
        const auto run = [&] {
            if (kind == QLatin1String("xlsx"))
                commands.Excel1Click();
            else if (kind == QLatin1String("csv"))
                commands.Text1Click();
            else
                commands.Html1Click();
        };
        run();
        QCOMPARE(f.prompts.confirmations,
                 QStringList{QStringLiteral("Предупреждение|Този файл вече съществува !\r Искате ли да го промените ?")});
        QVERIFY(f.prompts.messages.isEmpty());
        const QString ext = kind == QLatin1String("xlsx") ? QStringLiteral("xlsx") : kind == QLatin1String("csv") ? QStringLiteral("txt") : QStringLiteral("htm");
        const QString filter = kind == QLatin1String("xlsx") ? QStringLiteral("Excel files|*.xlsx")
                               : kind == QLatin1String("csv") ? QStringLiteral("Text files|*.txt")
                                                              : QStringLiteral("Html files|*.htm");
        QCOMPARE(f.prompts.fileRequests.first(), QStringLiteral("save|%1|%2|Velostok.%3").arg(filter, Paths::programDir(), ext));
        // A failure while the file is put in place: the message, the old file as it was, no
        // temporary file left.
        f.prompts.fileAnswers = {path};
        FileReplacement::renameStep() = [](const QByteArray &, const QByteArray &) {
            errno = ENOSPC;
            return -1;
        };
        run();
        QCOMPARE(f.prompts.messages.value(0), QStringLiteral("Поради възникнала грешка,\rданните не бяха записани!"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier"));
        old.close();
        QStringList left = QDir(f.work()).entryList(QDir::Files);
        left.sort();
        QStringList expected{name, QStringLiteral("Velostok.mdb")}; // made at start-up even when a server is named
        if (!f.server)
            expected << QStringLiteral("Velostok.ldb");
        expected.sort();
        QCOMPARE(left.join(QLatin1Char(' ')), expected.join(QLatin1Char(' '))); // no temporary file
        FileReplacement::renameStep() = nullptr;
        // Confirmed: the deleted row left out by the view's filter, every column, the values; the
        // new file keeps the old one's permissions, so that the other counters still read it.
        const QFile::Permissions shared = QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther;
        QVERIFY(QFile::setPermissions(path, shared));
        f.prompts.fileAnswers = {path};
        run();
        QCOMPARE(QFileInfo(path).permissions() & 0x0fff, shared);
        QCOMPARE(f.prompts.messages.value(1), QStringLiteral("Файлът %1 бе записан успешно.").arg(name));
        const QJsonObject back = readBack(kind, path);
        if (kind == QLatin1String("xlsx"))
            QCOMPARE(back.value(QStringLiteral("sheets")).toArray(), QJsonArray{QStringLiteral("Tab1")});
        QStringList header;
        for (const QJsonValue &v : back.value(QStringLiteral("header")).toArray())
            header << v.toString();
        QCOMPARE(header, allColumns());
        const QJsonArray rows = back.value(QStringLiteral("rows")).toArray();
        QCOMPARE(rows.size(), 2);
        const QJsonArray first = rows.at(0).toArray();
        QCOMPARE(first.at(2).toString(), QStringLiteral("A-1"));
        QCOMPARE(first.at(3).toString(), QStringLiteral("Помпа \"Бош\", <нова>"));
        QCOMPARE(first.at(4).toString(), QStringLiteral("2.5"));
        QCOMPARE(first.at(13).toString(), QStringLiteral("False"));
        QCOMPARE(first.at(11).toString(), QStringLiteral("2024-05-01 10:20:30"));
        QVERIFY(first.at(7).toString().startsWith(QStringLiteral("ред 1")) && first.at(7).toString().endsWith(QStringLiteral("ред 2")));
        QCOMPARE(rows.at(1).toArray().at(3).toString(), QStringLiteral("Ключ & гайка"));
        QCOMPARE(rows.at(1).toArray().at(4).toString(), QString()); // null
        QCOMPARE(rows.at(1).toArray().at(6).toString(), QString());
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestExport t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_export.moc"
