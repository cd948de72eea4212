// The row clipboard: rows copied as TAB-separated lines, pasted back cell by cell with the
// confirmation, the appended rows' numbers and the text rules; the one-cell copy and paste; the
// splitting of the pasted text and the values its cells give.
#include "AppFixture.h"
#include "Guard.h"
#include "PasteText.h"
#include "base/Regional.h"
#include "RowClipboard.h"
#include "TApplication.h"
#include "TDBGrid.h"

#include <QClipboard>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

class TestClipboard : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> mApp;
    TDBGrid *grid = nullptr;

    // n rows numbered 1..n: unit_number N-i, price i,5, supplier empty on row 2.
    void start(int n, bool special = false)
    {
        mApp = std::make_unique<AppFixture>();
        for (int i = 1; i <= n; ++i)
            mApp->exec(QStringLiteral("INSERT INTO main (user_id, unit_number, unit_name, quantity, price, deliver_name, "
                                      "last_modified, modifier) VALUES (%1, 'N-%1', 'Име %1', %1, %1.5, '%2', '2024-05-0%3 00:00:00', 'Иван')")
                           .arg(i)
                           .arg(i == 2 ? QString() : QStringLiteral("Бош"))
                           .arg(qMin(i, 9)));
        QVERIFY(mApp->start());
        fSettings->cbxShowSpecial->setChecked(special);
        fVelostok->Inventory->showSpecialColumns(special);
        grid = fVelostok->DBGrid1;
    }

    void select(const QList<int> &rows)
    {
        grid->selectionModel()->clearSelection();
        for (int r : rows)
            grid->selectionModel()->select(grid->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    void goTo(int row, int column)
    {
        DM->tblMain->setRecNo(row);
        grid->setCurrentIndex(grid->model()->index(row, column));
    }

    QString stored(const char *field, const QString &where) const
    {
        return mApp->scalar(QStringLiteral("SELECT %1 FROM main WHERE %2").arg(QLatin1String(field), where)).toString();
    }

    static QString clip() { return QGuiApplication::clipboard()->text(); }

private slots:
    void initTestCase() { initWindowTests(); }
    void cleanup() { mApp.reset(); }

    void copyRows()
    {
        start(4, true);
        RowClipboard *c = fVelostok->Clipboard;
        select({3, 0, 1}); // copied in view order
        c->CopyRowsToClipboard();
        QStringList lines = clip().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.last().isEmpty()); // every line ends with CR LF
        for (int i = 0; i < 3; ++i)
            QCOMPARE(lines.at(i).count(QLatin1Char('\t')), 12);
        QCOMPARE(lines.at(0), QStringLiteral("1\tN-1\tИме 1\t1\t1,5\t\t\tБош\t\t\t%1\tИван\tFalse")
                                  .arg(regional::locale().toString(QDate(2024, 5, 1), regional::shortDateFormat())));
        QVERIFY(lines.at(1).contains(QStringLiteral("\t\t\t\t\t")));  // row 2: no supplier either
        QVERIFY(lines.at(2).startsWith(QStringLiteral("4\tN-4\t")));
        QCOMPARE(DM->tblMain->RecNo(), 3); // on the last row copied
        // The special columns hidden: ten cells, a TAB after each, the last right before CR LF.
        fVelostok->Inventory->showSpecialColumns(false);
        select({0, 2, 3});
        c->CopyRowsToClipboard();
        lines = clip().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(lines.at(i).count(QLatin1Char('\t')), 10);
            QVERIFY(lines.at(i).endsWith(QLatin1Char('\t')));
        }
        // Nothing selected, or an empty view: the clipboard keeps what it had.
        QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
        grid->selectionModel()->clearSelection();
        c->CopyRowsToClipboard();
        QCOMPARE(clip(), QStringLiteral("earlier"));
        fVelostok->ApplyFilter(QStringLiteral("[user_id]=99"));
        c->CopyRowsToClipboard();
        QCOMPARE(clip(), QStringLiteral("earlier"));
    }

    void pasteQuestion_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("text");
        QTest::newRow("one line") << 1 << 10 << "Ще бъде променен един ред !";
        QTest::newRow("no line break") << 0 << 10 << "Ще бъде променен един ред !";
        QTest::newRow("two of ten") << 2 << 10 << "Ще бъдат променени 2 реда !";
        QTest::newRow("as many") << 4 << 4 << "Ще бъдат променени 4 реда !";
        QTest::newRow("more") << 3 << 1 << "Ще бъдат променени 1 и добавени 2 реда !";
        QTest::newRow("empty view") << 3 << 0 << "Ще бъдат добавени 3 реда !";
        QTest::newRow("nothing at all") << 0 << 0 << "";
    }

    void pasteQuestion()
    {
        QFETCH(int, lines);
        QFETCH(int, rows);
        QFETCH(QString, text);
        QCOMPARE(RowClipboard::pasteQuestion(lines, rows), text);
    }

    void pasteTextLines_data()
    {
        // Each line as its cells joined by "|", then "/" when a CR ended it, "+" when the paste
        // moves on a row after it; lines joined by " ".
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("lines");
        QTest::newRow("nothing") << "" << "";
        QTest::newRow("only LFs") << "\n\n" << "";
        QTest::newRow("only dropped characters") << "\x01\n\x1b" << "";
        QTest::newRow("one cell") << "A" << "A";
        QTest::newRow("a final empty cell is none") << "A\t" << "A";
        QTest::newRow("a lone TAB") << "\t" << "";
        QTest::newRow("two TABs") << "\t\t" << "|";
        QTest::newRow("CR LF ends the paste") << "A\tB\r\n" << "A|B/";
        QTest::newRow("a last line without a break") << "A\r\nB" << "A/+ B";
        QTest::newRow("an empty line between") << "A\r\n\r\nB\r\n" << "A/+ /+ B/";
        QTest::newRow("a lone CR is a line") << "\r" << "/";
        QTest::newRow("a control character after the break moves on") << "A\r\x01" << "A/+";
        QTest::newRow("LFs after the break do not") << "A\r\n\n\n" << "A/";
        QTest::newRow("dropped inside a cell") << QStringLiteral("A\x00" "B\x1b" "C\x1c\tD") << QStringLiteral("ABC\x1c|D");
    }

    void pasteTextLines()
    {
        QFETCH(QString, text);
        QFETCH(QString, lines);
        QStringList got;
        for (const PasteText::Line &l : PasteText::split(text))
            got << l.cells.join(QLatin1Char('|')) + (l.ended ? QStringLiteral("/") : QString()) + (l.nextRow ? QStringLiteral("+") : QString());
        QCOMPARE(got.join(QLatin1Char(' ')), lines);
    }

    void pasteTextValues()
    {
        regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
        QCOMPARE(PasteText::wholeNumber(QStringLiteral("2147483647")), 2147483647);
        QCOMPARE(PasteText::wholeNumber(QStringLiteral("-2147483648")), std::numeric_limits<qint32>::min());
        QCOMPARE(PasteText::wholeNumber(QStringLiteral("2147483648")), 0);
        QCOMPARE(PasteText::wholeNumber(QStringLiteral("12,5")), 0);
        QCOMPARE(PasteText::number(QStringLiteral("12,5")), 12.5);
        QCOMPARE(PasteText::number(QStringLiteral("1.5")), 0.0); // "." is not the separator
        QCOMPARE(PasteText::number(QStringLiteral("1e400")), 0.0);
        QCOMPARE(PasteText::number(QStringLiteral("-2,5E3")), -2500.0);
        // The time after " г." goes with the marker.
        const QDateTime march5(QDate(2005, 3, 5), QTime(0, 0));
        QCOMPARE(PasteText::dateTime(QStringLiteral("5.3.2005 г. 14:22:10")), march5);
        QCOMPARE(PasteText::dateTime(regional::formatDateTime(QDateTime(QDate(2005, 3, 5), QTime(14, 22, 10)))), march5);
        QCOMPARE(PasteText::dateTime(QStringLiteral("5.03.2005 14:22:10")), QDateTime(QDate(2005, 3, 5), QTime(14, 22, 10)));
        QVERIFY(!PasteText::dateTime(QStringLiteral("буквите г.")).isValid());
        QVERIFY(!PasteText::dateTime(QStringLiteral(" г.5.3.2005")).isValid());
    }

    void pasteRows_data()
    {
        QTest::addColumn<int>("rows");    // in the view; -1: one row, filtered out of the view
        QTest::addColumn<int>("current"); // row
        QTest::addColumn<int>("column");  // where the paste starts
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("numbers"); // unit_number of every row by user_id, after
        QTest::newRow("last of five, three lines")
            << 5 << 4 << 1 << "A\r\nB\r\nC\r\n" << "Ще бъдат променени 1 и добавени 2 реда !" << "1:N-1 2:N-2 3:N-3 4:N-4 5:A 6:B 7:C";
        QTest::newRow("first of five, two lines, no final break")
            << 5 << 0 << 1 << "A\r\nB" << "Ще бъде променен един ред !" << "1:A 2:B 3:N-3 4:N-4 5:N-5";
        QTest::newRow("one line") << 5 << 2 << 1 << "A\r\n" << "Ще бъде променен един ред !" << "1:N-1 2:N-2 3:A 4:N-4 5:N-5";
        QTest::newRow("empty view, no line break") << -1 << 0 << 1 << "A" << "" << "1:N-1 2:A";
        QTest::newRow("empty view, text without cells") << -1 << 0 << 1 << "\n" << "" << "1:N-1";
        QTest::newRow("numbers typed") << 2 << 1 << 0 << "40\tX\r\n50\tY\r\n" << "Ще бъдат променени 1 и добавени 1 реда !"
                                       << "1:N-1 40:X 50:Y";
        QTest::newRow("control characters and a lone CR")
            << 1 << 0 << 1 << QStringLiteral("A\x01\x1b" "b\x1c\r") << "Ще бъдат променени 1 реда !" << QStringLiteral("1:Ab\x1c");
    }

    void pasteRows()
    {
        QFETCH(int, rows);
        QFETCH(int, current);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, question);
        QFETCH(QString, numbers);
        start(qAbs(rows));
        goTo(current, column);
        if (rows < 0)
            fVelostok->ApplyFilter(QStringLiteral("[user_id]=99"));
        QGuiApplication::clipboard()->setText(text);
        fVelostok->Clipboard->PasteRowsFromClipboard();
        QCOMPARE(mApp->prompts.confirmations,
                 question.isEmpty() ? QStringList() : QStringList{QStringLiteral("Предупреждение|") + question});
        QCOMPARE(mApp->joined(QStringLiteral("SELECT user_id || ':' || unit_number FROM main ORDER BY user_id"), QStringLiteral(" ")),
                 numbers);
        QVERIFY(fVelostok->isEnabled());
        QVERIFY(!fVelostok->ProgressBar1->isVisible());
        QVERIFY(!DM->BulkUpdate);
        QVERIFY(!DM->tblMain->BulkMode());
    }

    void pasteNumbersAfterRowsAnotherCopyStored()
    {
        // Another copy stores row 6 after the paste read the largest number but before its write
        // batch began: the appended rows take the numbers after it, none twice.
        start(5);
        goTo(4, 1);
        DM->ProcessMessages = [] {}; // the other copy's row comes with the paste's own event handling
        QTimer::singleShot(0, [this] {
            mApp->exec(QStringLiteral("INSERT INTO main (user_id, unit_number) VALUES (6, 'ДРУГ')"));
        });
        QGuiApplication::clipboard()->setText(QStringLiteral("A\r\nB\r\nC\r\n"));
        fVelostok->Clipboard->PasteRowsFromClipboard();
        QCOMPARE(mApp->joined(QStringLiteral("SELECT user_id || ':' || unit_number FROM main ORDER BY user_id, id"), QStringLiteral(" ")),
                 QStringLiteral("1:N-1 2:N-2 3:N-3 4:N-4 5:A 6:ДРУГ 7:B 8:C"));
    }

    void pasteOfBadTextAndAFailure()
    {
        start(3);
        // One line of a 50 MB cell, NULs and a thousand cells: cut to the field, the rest dropped.
        goTo(0, 1);
        QString line = QString(50 * 1024 * 1024, QLatin1Char('x'));
        line += QStringLiteral("\t\x00Име\x00");
        for (int i = 0; i < 1000; ++i)
            line += QStringLiteral("\t%1").arg(i);
        QGuiApplication::clipboard()->setText(line);
        line.clear();
        fVelostok->Clipboard->PasteRowsFromClipboard();
        QCOMPARE(stored("unit_number", QStringLiteral("user_id = 1")), QString(40, QLatin1Char('x')));
        QCOMPARE(stored("unit_name", QStringLiteral("user_id = 1")), QStringLiteral("Име"));
        QCOMPARE(mApp->scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 3);
        // Another copy changed the second row: the paste stops there with the error told, the
        // first row keeps what was pasted, the window comes back.
        goTo(0, 2);
        grid->viewport()->repaint(); // the rows as the user sees them
        mApp->exec(QStringLiteral("UPDATE main SET unit_name = 'Чужда' WHERE user_id = 2"));
        QGuiApplication::clipboard()->setText(QStringLiteral("Едно\r\nДве\r\nТри\r\n"));
        Guard::run([] { fVelostok->Clipboard->PasteRowsFromClipboard(); }); // as the menu runs it
        QCOMPARE(mApp->prompts.messages.size(), 1);
        QVERIFY(mApp->prompts.messages.first().startsWith(QStringLiteral("Записът не е запазен")));
        QCOMPARE(stored("unit_name", QStringLiteral("user_id = 1")), QStringLiteral("Едно"));
        QCOMPARE(stored("unit_name", QStringLiteral("user_id = 2")), QStringLiteral("Чужда"));
        QVERIFY(fVelostok->isEnabled());
        QVERIFY(!DM->BulkUpdate);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        // The grid goes on working: the same paste again, now over the current values.
        goTo(0, 2);
        fVelostok->Clipboard->PasteRowsFromClipboard();
        QCOMPARE(stored("unit_name", QStringLiteral("user_id = 3")), QStringLiteral("Три"));
    }

    void pasteRulesAndCells()
    {
        start(3, true);
        const QString date = regional::locale().toString(QDate(2005, 3, 5), regional::shortDateFormat());
        // Cancelled: nothing changes.
        goTo(0, 3);
        QGuiApplication::clipboard()->setText(QStringLiteral("7\r\n8\r\n"));
        mApp->prompts.confirmAnswers = {false};
        fVelostok->Clipboard->PasteRowsFromClipboard();
        QCOMPARE(stored("quantity", QStringLiteral("user_id = 1")).toDouble(), 1.0);
        // quantity, price, second_price, comment, supplier (empty), …, last_modified, modifier, deleted.
        goTo(0, 3);
        QGuiApplication::clipboard()->setText(QStringLiteral("x\t12,5\t1.5\tGolf\t\tN\tBG\t5.3.2005 г. 14:22:10\tМария\tTrue\textra\r\n"
                                                             "2\t3\t4\t\t\t\t\tбуквите\r\n"
                                                             "2\t3\t4\t\t\t\t\t%1\r\n")
                                                  .arg(date));
        fVelostok->Clipboard->PasteRowsFromClipboard();
        QCOMPARE(stored("quantity", QStringLiteral("user_id = 1")).toDouble(), 0.0);
        QCOMPARE(stored("price", QStringLiteral("user_id = 1")).toDouble(), 12.5);
        QCOMPARE(stored("second_price", QStringLiteral("user_id = 1")).toDouble(), 0.0); // "." is not the separator
        QCOMPARE(stored("deliver_name", QStringLiteral("user_id = 1")), QString());
        QCOMPARE(stored("last_modified", QStringLiteral("user_id = 1")), QStringLiteral("2005-03-05 00:00:00"));
        QCOMPARE(stored("modifier", QStringLiteral("user_id = 1")), QStringLiteral("Мария"));
        QCOMPARE(stored("deleted", QStringLiteral("user_id = 1")).toInt(), 0);
        QCOMPARE(stored("last_modified", QStringLiteral("user_id = 2")), QStringLiteral("2024-05-02 00:00:00")); // letters
        QCOMPARE(stored("last_modified", QStringLiteral("user_id = 3")), QStringLiteral("2005-03-05 00:00:00")); // as copied
        // Nothing on the clipboard.
        QGuiApplication::clipboard()->clear();
        fVelostok->Clipboard->Paste2Click();
        QCOMPARE(mApp->prompts.messages, QStringList{QStringLiteral("Няма нищо за поставяне !")});

        // One cell, with the cell editor open on the price: the stored value is copied, not what
        // was typed; a pasted decimal becomes 0, a whole number stays.
        goTo(2, 4);
        grid->setFocus();
        QTest::keyClicks(grid, QStringLiteral("99"));
        QVERIFY(grid->editorOpen());
        fVelostok->Clipboard->Copy2Click();
        QCOMPARE(clip(), QStringLiteral("3")); // as stored by the paste above
        QGuiApplication::clipboard()->setText(QStringLiteral("12,5"));
        fVelostok->Clipboard->Paste2Click();
        QCOMPARE(stored("price", QStringLiteral("user_id = 3")).toDouble(), 0.0);
        QVERIFY(!grid->editorOpen());
        goTo(2, 3);
        grid->edit(grid->currentIndex());
        QGuiApplication::clipboard()->setText(QStringLiteral("42"));
        fVelostok->Clipboard->Paste2Click();
        QCOMPARE(stored("quantity", QStringLiteral("user_id = 3")).toDouble(), 42.0);
        // A text cell takes the field's width; the date is cleared and stamped again.
        goTo(2, 1);
        grid->edit(grid->currentIndex());
        QGuiApplication::clipboard()->setText(QString(50, QLatin1Char('k')));
        fVelostok->Clipboard->Paste2Click();
        QCOMPARE(stored("unit_number", QStringLiteral("user_id = 3")), QString(40, QLatin1Char('k')));
        QVERIFY(stored("last_modified", QStringLiteral("user_id = 3")) > QStringLiteral("2025"));
        // A cell of a new row: its own (empty) value, not the row above's.
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Insert);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QTest::keyClicks(grid, QStringLiteral("Z"));
        QVERIFY(grid->editorOpen());
        fVelostok->Clipboard->Copy2Click();
        QCOMPARE(clip(), QString());
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestClipboard t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_clipboard.moc"
