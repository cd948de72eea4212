// The main grid and the tables' windows following other counters' changes: another process
// (livewriter) writes while the window is open, on the file and on the server.
#include "AppFixture.h"
#include "TDBGrid.h"
#include "UserInput.h"
#include "module/uDM.h"
#include "uModels.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace UserInput;

namespace {

// The other counter.
class Writer
{
public:
    bool start(const QString &database)
    {
        mProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mProcess.start(QStringLiteral(VELOSTOK_TEST_BIN_DIR "/livewriter"), {database});
        return mProcess.waitForStarted() && answer() == QLatin1String("ready");
    }
    ~Writer()
    {
        mProcess.closeWriteChannel();
        if (!mProcess.waitForFinished(5000))
            mProcess.kill();
    }
    // Runs a command; its answer ("ok …" once committed).
    QString ask(const QString &command)
    {
        mProcess.write((command + QLatin1Char('\n')).toUtf8());
        return answer();
    }

private:
    QString answer()
    {
        while (!mProcess.canReadLine())
            if (!mProcess.waitForReadyRead(20000))
                return QStringLiteral("<no answer>");
        return QString::fromUtf8(mProcess.readLine()).trimmed();
    }
    QProcess mProcess;
};

} // namespace

class TestLiveView : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> mApp;
    TDBGrid *grid = nullptr;
    int name = -1;

    qint64 idOf(int userId) { return mApp->scalar(QStringLiteral("SELECT id FROM main WHERE user_id = %1").arg(userId)).toLongLong(); }
    QString cell(int row, int column) const { return grid->model()->index(row, column).data().toString(); }
    QString label() const { return fVelostok->findChild<QLabel *>(QStringLiteral("lblOthers"))->text(); }
    // The rows' keys in the grid's order.
    QList<qint64> rowKeys() const
    {
        QList<qint64> out;
        for (int i = 0; i < DM->tblMain->RecordCount(); ++i)
            out << DM->tblMain->rowValue(i, 0).toLongLong();
        return out;
    }

    // Rows "Част 01".."Част 60" (user_id 1..60), the window shown and active.
    void start(int rows = 60)
    {
        mApp->exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                  "INSERT INTO main (user_id, unit_name, deleted) SELECT i, 'Част ' || CASE WHEN i < 10 THEN '0' ELSE '' END || i, "
                                  "FALSE FROM n")
                       .arg(rows));
        QVERIFY(mApp->start());
        fVelostok->resize(1000, 500);
        grid = fVelostok->DBGrid1;
        name = grid->columnOfField(QStringLiteral("unit_name"), -1);
        QVERIFY(name >= 0);
        QVERIFY(QTest::qWaitForWindowExposed(fVelostok));
        QVERIFY(activate(fVelostok));
        grid->setFocus();
    }

private slots:
    void initTestCase() { initWindowTests(); }
    void init() { mApp = std::make_unique<AppFixture>(true); }
    void cleanup()
    {
        grid = nullptr;
        mApp.reset();
    }

    // Values, appends and purges come in; the current cell, the selection, the scroll position
    // and the open editor with its typed text and cursor stay. Another counter's change of the
    // row under the editor waits, and the post from it is refused as a conflict.
    void othersChangesComeWithoutMovingTheUser()
    {
        start();
        Writer other;
        QVERIFY(other.start(mApp->database()));
        grid->verticalScrollBar()->setValue(20);
        grid->setCurrentIndex(grid->model()->index(25, name));
        grid->selectionModel()->select(grid->model()->index(27, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(type(fVelostok, QStringLiteral("Пиша")));
        QTRY_VERIFY(grid->editorOpen());
        auto *box = qobject_cast<QComboBox *>(QApplication::focusWidget());
        QVERIFY(box && box->lineEdit());
        box->lineEdit()->setCursorPosition(2);
        // (command, row that changes, rows after, the user's current row, top row, selection)
        const struct {
            QString command;
            int row;
            QString shown;
            int rows, current, top;
            QList<int> selected;
        } steps[] = {{QStringLiteral("set %1 unit_name Сменена").arg(idOf(30)), 29, QStringLiteral("Сменена"), 60, 25, 20, {25, 27}},
                     {QStringLiteral("append Нова"), 60, QStringLiteral("Нова"), 61, 25, 20, {25, 27}},
                     {QStringLiteral("purge %1").arg(idOf(5)), 4, QStringLiteral("Част 06"), 60, 24, 19, {24, 26}}};
        for (const auto &step : steps) {
            QVERIFY(other.ask(step.command).startsWith(QLatin1String("ok ")));
            QTRY_COMPARE_WITH_TIMEOUT(cell(step.row, name), step.shown, 3000);
            QCOMPARE(grid->model()->rowCount(), step.rows);
            QCOMPARE(label(), QStringLiteral("1 ред променен от друго работно място "));
            // Changed and new rows are marked, no other.
            QCOMPARE(grid->gridModel()->markOf(step.row) > 0, !step.command.startsWith(QLatin1String("purge")));
            QCOMPARE(grid->gridModel()->markOf(step.row - 1), 0.0);
            QCOMPARE(grid->currentIndex(), grid->model()->index(step.current, name));
            QCOMPARE(DM->tblMain->RecNo(), step.current);
            QCOMPARE(grid->verticalScrollBar()->value(), step.top);
            QVERIFY(grid->editorOpen() && QApplication::focusWidget() == box);
            QCOMPARE(box->currentText(), QStringLiteral("Пиша"));
            QCOMPARE(box->lineEdit()->cursorPosition(), 2);
            QList<int> rows;
            for (const QModelIndex &i : grid->selectionModel()->selectedRows())
                rows << i.row();
            std::sort(rows.begin(), rows.end());
            QCOMPARE(rows, step.selected);
        }

        // The row under the editor: its change waits; the typed text goes into the row, whose
        // post meets the conflict.
        QSignalSpy changed(DM->DataBase, &TDaoDatabase::othersChanged);
        QVERIFY(other.ask(QStringLiteral("set %1 comment чужд").arg(idOf(26))).startsWith(QLatin1String("ok ")));
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 3000);
        QVERIFY(grid->editorOpen());
        QCOMPARE(box->currentText(), QStringLiteral("Пиша"));
        QVERIFY(keys(fVelostok, {QStringLiteral("Tab")}));
        QTRY_COMPARE(DM->tblMain->State(), TDaoTable::dsEdit);
        QCOMPARE(cell(24, name), QStringLiteral("Пиша"));
        mApp->prompts.messages.clear();
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_VERIFY(!mApp->prompts.messages.isEmpty());
        QVERIFY2(mApp->prompts.messages.last().contains(QStringLiteral("друг потребител го е променил")),
                 qPrintable(mApp->prompts.messages.last()));
        QCOMPARE(mApp->scalar(QStringLiteral("SELECT unit_name FROM main WHERE user_id = 26")).toString(), QStringLiteral("Част 26"));
    }

    // In a sorted grid, rows come where a re-query would put them, a few or many at once; the
    // program's own posts are not counted; the catalogue window follows its table; with the
    // setting off nothing comes.
    void sortedRowsOwnPostsCatalogueAndTheSetting()
    {
        start(40);
        Writer other;
        QVERIFY(other.start(mApp->database()));
        QSignalSpy changed(DM->DataBase, &TDaoDatabase::othersChanged);
        fVelostok->Inventory->DBGrid1TitleClick(name);
        grid->setCurrentIndex(grid->model()->index(10, name));
        const qint64 current = DM->tblMain->rowValue(10, 0).toLongLong();
        const QList<QPair<QString, int>> commands{{QStringLiteral("append Ааа"), 1},
                                                  {QStringLiteral("paste 5 Б"), 5},
                                                  {QStringLiteral("paste 50 Част"), 50},
                                                  {QStringLiteral("set %1 unit_name Ябълка").arg(idOf(3)), 0}};
        for (const auto &[command, added] : commands) {
            const int before = grid->model()->rowCount();
            changed.clear();
            QVERIFY(other.ask(command).startsWith(QLatin1String("ok ")));
            QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty() && grid->model()->rowCount() == before + added, 3000);
            const QList<qint64> followed = rowKeys();
            QCOMPARE(DM->tblMain->rowValue(DM->tblMain->RecNo(), 0).toLongLong(), current);
            // Changed values keep their places; new rows are where a re-query puts them.
            if (added > 0) {
                DM->tblMain->Requery();
                QCOMPARE(followed, rowKeys());
                DM->tblMain->setRecNo(int(followed.indexOf(current)));
            }
        }
        // This counter's post and another's append in one interval: one row told.
        changed.clear();
        DM->tblMain->Edit();
        DM->tblMain->FieldByName(QStringLiteral("comment"))->setAsString(QStringLiteral("свой"));
        DM->tblMain->Post();
        QVERIFY(other.ask(QStringLiteral("append Друга")).startsWith(QLatin1String("ok ")));
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 3000);
        QCOMPARE(changed.first().first().toInt(), 1);

        fModels->show();
        const int models = fModels->DBGrid1->model()->rowCount();
        mApp->exec(QStringLiteral("INSERT INTO models (mark_name, model_name) VALUES ('Zaz', 'Zaporozhets')"));
        QTRY_COMPARE_WITH_TIMEOUT(fModels->DBGrid1->model()->rowCount(), models + 1, 3000);
        fModels->hide();

        fSettings->cbAutoRefresh->setChecked(false);
        fSettings->bStart->click();
        QVERIFY(DM->DataBase->Connected() && !DM->DataBase->watchingCommits());
        const int rows = grid->model()->rowCount();
        changed.clear();
        QVERIFY(other.ask(QStringLiteral("append Невидима")).startsWith(QLatin1String("ok ")));
        QTest::qWait(1200); // nothing to wait for: two idle periods of the watch
        QCOMPARE(grid->model()->rowCount(), rows);
        QCOMPARE(changed.count(), 0);
    }
};

QTEST_MAIN(TestLiveView)
#include "tst_liveview.moc"
