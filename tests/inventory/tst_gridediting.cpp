// Editing in the data grids as a user does it, with keys and clicks: on an X display through
// xdotool (run as tst_gridediting_xcb), and offscreen with the same keys. The drop-down columns'
// arrow keys, what a drop-down cell stores, the column kept across posts, drops and sorts, the
// current row drawn as such, and a refused value kept in its editor; the same in the users'
// and the makes-and-models windows' grids.
#include "AppFixture.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "UserInput.h"
#include "uFiters.h"
#include "uModels.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QToolButton>

using namespace UserInput;

class TestGridEditing : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> mApp;
    TDBGrid *grid = nullptr;

    QString stored(const char *field, int userId)
    {
        return mApp->scalar(QStringLiteral("SELECT %1 FROM main WHERE user_id = %2").arg(QLatin1String(field)).arg(userId)).toString();
    }

    // Rows in the order of user_id 1..4; the main window shown, the grid on (row, column).
    void start()
    {
        mApp->exec(QStringLiteral(
            "INSERT INTO main (user_id, unit_number, unit_name, quantity, deliver_name) VALUES "
            "(1, 'VAL-0615', 'Водна помпа', 2, 'Авто'), (2, 'VAL-0700', 'Водна помпа усилен', 3, 'Авто'),"
            "(3, 'NS-1', 'Носач десен', 4, 'Бош'), (4, 'K-1', 'Ключ', 5, 'Бош')"));
        QVERIFY(mApp->start());
        fVelostok->resize(1000, 600);
        grid = fVelostok->DBGrid1;
        QVERIFY(QTest::qWaitForWindowExposed(fVelostok));
        QVERIFY(activate(fVelostok));
        grid->setFocus();
    }

    void goTo(TDBGrid *g, int row, int column)
    {
        g->setCurrentIndex(g->model()->index(row, column));
        g->setFocus();
        QCoreApplication::processEvents();
    }

    QPoint cellCentre(TDBGrid *g, int row, int column)
    {
        return g->visualRect(g->model()->index(row, column)).center();
    }

    static QString editorText(TDBGrid *g)
    {
        const QList<QLineEdit *> all = g->viewport()->findChildren<QLineEdit *>();
        for (auto it = all.crbegin(); it != all.crend(); ++it)
            if ((*it)->isVisible())
                return (*it)->text();
        return QStringLiteral("<none>");
    }

    static QList<int> selectedRows(TDBGrid *g)
    {
        QList<int> rows;
        for (const QModelIndex &i : g->selectionModel()->selectedRows())
            rows << i.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }

private slots:
    void initTestCase()
    {
        initWindowTests();
        qInfo() << "platform:" << QGuiApplication::platformName();
    }

    void init() { mApp = std::make_unique<AppFixture>(true); }

    void cleanup()
    {
        grid = nullptr;
        mApp.reset();
    }

    void arrowKeysInDropDownCells()
    {
        start();
        const int name = 2;
        QVERIFY(!grid->Columns().at(name).PickList.isEmpty());
        // Typing in a drop-down cell, then Down: the row is posted with the text and the next
        // row becomes current, in the same column.
        goTo(grid, 0, name);
        QVERIFY(type(fVelostok, QStringLiteral("Ключ abc 12")));
        QTRY_VERIFY(grid->editorOpen());
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(qobject_cast<QComboBox *>(focus) || qobject_cast<QComboBox *>(focus->parentWidget()));
        QCOMPARE(editorText(grid), QStringLiteral("Ключ abc 12"));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(grid->currentIndex(), grid->model()->index(1, name));
        QCOMPARE(stored("unit_name", 1), QStringLiteral("Ключ abc 12"));
        QCOMPARE(DM->tblMain->RecNo(), 1);
        // Up goes back, also from an open drop-down cell.
        QVERIFY(type(fVelostok, QStringLiteral("Помпа")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Up")}));
        QTRY_COMPARE(grid->currentIndex(), grid->model()->index(0, name));
        QCOMPARE(stored("unit_name", 2), QStringLiteral("Помпа"));
        // Down on the last row appends a row.
        goTo(grid, 3, name);
        QVERIFY(type(fVelostok, QStringLiteral("Ключ 2")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QCOMPARE(stored("unit_name", 4), QStringLiteral("Ключ 2"));
        QCOMPARE(grid->currentIndex(), grid->model()->index(4, name));
        QVERIFY(keys(fVelostok, {QStringLiteral("Escape")}));
        QTRY_COMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        // The list opens with Alt+Down; an entry picked from it is what the cell stores.
        goTo(grid, 0, name);
        QVERIFY(type(fVelostok, QStringLiteral("В")));
        QVERIFY(keys(fVelostok, {QStringLiteral("alt+Down")}));
        auto *box = grid->viewport()->findChildren<QComboBox *>().last();
        QTRY_VERIFY(box->view()->isVisible());
        const QString first = box->itemText(0);
        QVERIFY(keys(box->view()->window(), {QStringLiteral("Home"), QStringLiteral("Return")}));
        QTRY_VERIFY(!box->view()->isVisible());
        QCOMPARE(editorText(grid), first);
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(stored("unit_name", 1), first);
    }

    void aDropDownCellStoresWhatWasTyped()
    {
        start();
        const int number = 1, name = 2;
        // "VAL-0" begins an entry of the list; a click on another row stores it as typed.
        goTo(grid, 1, number);
        QVERIFY(type(fVelostok, QStringLiteral("VAL-0")));
        QTRY_COMPARE(editorText(grid), QStringLiteral("VAL-0"));
        QVERIFY(click(grid->viewport(), cellCentre(grid, 3, number)));
        QTRY_COMPARE(DM->tblMain->RecNo(), 3);
        QCOMPARE(stored("unit_number", 2), QStringLiteral("VAL-0"));
        // "Нос" then Tab: the cell holds "Нос", not the entry it begins.
        goTo(grid, 2, name);
        QVERIFY(type(fVelostok, QStringLiteral("Нос")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Tab")}));
        QTRY_VERIFY(!grid->editorOpen());
        QCOMPARE(DM->tblMain->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("Нос"));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(stored("unit_name", 3), QStringLiteral("Нос"));
        // The wheel over the open box scrolls the grid, it does not put an entry in place.
        goTo(grid, 0, name);
        QVERIFY(type(fVelostok, QStringLiteral("Нос")));
        QTRY_COMPARE(editorText(grid), QStringLiteral("Нос"));
        QVERIFY(wheelDown(grid->viewport(), cellCentre(grid, 0, name)));
        QCOMPARE(editorText(grid), QStringLiteral("Нос"));
        QVERIFY(keys(fVelostok, {QStringLiteral("Escape")}));
        QTRY_VERIFY(!grid->editorOpen());
        // Letter case is the user's too.
        goTo(grid, 0, name);
        QVERIFY(type(fVelostok, QStringLiteral("ключ")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Return"), QStringLiteral("Down")}));
        QTRY_COMPARE(stored("unit_name", 1), QStringLiteral("ключ"));
    }

    void theColumnStaysTheUsers()
    {
        start();
        const int qty = 3;
        // After a post by Down.
        goTo(grid, 1, qty);
        QVERIFY(type(fVelostok, QStringLiteral("7")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(stored("quantity", 2), QStringLiteral("7"));
        QCOMPARE(grid->currentIndex(), grid->model()->index(2, qty));
        // After a post by a click on another row: the clicked cell.
        QVERIFY(type(fVelostok, QStringLiteral("8")));
        QVERIFY(click(grid->viewport(), cellCentre(grid, 0, 5)));
        QTRY_COMPARE(stored("quantity", 3), QStringLiteral("8"));
        QCOMPARE(grid->currentIndex(), grid->model()->index(0, 5));
        // After an untouched new row is dropped.
        goTo(grid, 3, qty);
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QVERIFY(keys(fVelostok, {QStringLiteral("Up")}));
        QTRY_COMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QCOMPARE(grid->model()->rowCount(), 4);
        QCOMPARE(grid->currentIndex(), grid->model()->index(3, qty));
        // After a sort: the first row, the same column.
        QVERIFY(click(grid->horizontalHeader()->viewport(), QPoint(grid->horizontalHeader()->sectionViewportPosition(2) + 20, 8)));
        QTRY_COMPARE(DM->tblMain->SortedBy(), QStringList{QStringLiteral("[unit_name] ASC")});
        QCOMPARE(grid->currentIndex(), grid->model()->index(0, qty));
        // After a refresh from the menu's command.
        goTo(grid, 2, 4);
        fVelostok->action(QStringLiteral("Rollback1"))->trigger();
        QCOMPARE(grid->currentIndex(), grid->model()->index(0, 4));
    }

    void theCurrentRowIsDrawnAsCurrent()
    {
        start();
        // "Последен", Ctrl+Home, Ctrl+End: the highlight goes with the current row.
        goTo(grid, 1, 2);
        QCOMPARE(selectedRows(grid), QList<int>{1});
        QToolButton *last = fVelostok->button(QStringLiteral("tbtLast"));
        QVERIFY(click(last, last->rect().center()));
        QTRY_COMPARE(DM->tblMain->RecNo(), 3);
        QCOMPARE(selectedRows(grid), QList<int>{3});
        grid->setFocus();
        QVERIFY(keys(fVelostok, {QStringLiteral("ctrl+Home")}));
        QTRY_COMPARE(DM->tblMain->RecNo(), 0);
        QCOMPARE(selectedRows(grid), QList<int>{0});
        QCOMPARE(grid->currentIndex().column(), 2); // the column stays
        QVERIFY(keys(fVelostok, {QStringLiteral("ctrl+End")}));
        QTRY_COMPARE(DM->tblMain->RecNo(), 3);
        QCOMPARE(selectedRows(grid), QList<int>{3});
        QCOMPARE(grid->currentIndex().column(), 2);
        // A row chosen by its indicator: the same column too.
        QHeaderView *indicator = grid->verticalHeader();
        QVERIFY(click(indicator->viewport(), QPoint(indicator->width() / 2, indicator->sectionViewportPosition(1) + 5)));
        QTRY_COMPARE(DM->tblMain->RecNo(), 1);
        QCOMPARE(grid->currentIndex(), grid->model()->index(1, 2));
        QCOMPARE(selectedRows(grid), QList<int>{1});
        // Several rows chosen with Ctrl: both stay selected, and the grid's delete asks for all.
        QVERIFY(ctrlClick(grid->viewport(), cellCentre(grid, 3, 2)));
        QTRY_COMPARE(selectedRows(grid), (QList<int>{1, 3}));
        mApp->prompts.confirmAnswers << false;
        QVERIFY(keys(fVelostok, {QStringLiteral("ctrl+Delete")}));
        QTRY_COMPARE(mApp->prompts.confirmations, QStringList{QStringLiteral("Confirm|Delete all selected records?")});
        QVERIFY(click(grid->viewport(), cellCentre(grid, 3, 2)));
        QTRY_COMPARE(selectedRows(grid), QList<int>{3});
        // Ctrl+D marks the row the user sees as current.
        QVERIFY(keys(fVelostok, {QStringLiteral("ctrl+d")}));
        QTRY_COMPARE(mApp->scalar(QStringLiteral("SELECT deleted FROM main WHERE user_id = 4")).toInt(), 1);
        QCOMPARE(mApp->scalar(QStringLiteral("SELECT count(*) FROM main WHERE deleted")).toInt(), 1);
        // After a post the row stays drawn as current (the first, after the re-query).
        QCOMPARE(selectedRows(grid), QList<int>{grid->currentIndex().row()});
        goTo(grid, 1, 3);
        QVERIFY(type(fVelostok, QStringLiteral("9")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(stored("quantity", 2), QStringLiteral("9"));
        QCOMPARE(selectedRows(grid), QList<int>{2});
        // Rows the user selected on purpose stay selected when the dataset moves.
        grid->selectionModel()->select(grid->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        DM->tblMain->First();
        QCOMPARE(selectedRows(grid), (QList<int>{0, 2}));
    }

    void aRefusedValueStaysInItsEditor()
    {
        start();
        const int qty = 3;
        goTo(grid, 0, qty);
        QVERIFY(type(fVelostok, QStringLiteral("x5")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        const QString refusal = QStringLiteral("'x5' is not a valid floating point value for field 'quantity'");
        QTRY_COMPARE(mApp->prompts.messages, QStringList{refusal});
        QVERIFY(grid->editorOpen());
        QCOMPARE(editorText(grid), QStringLiteral("x5"));
        QCOMPARE(grid->currentIndex(), grid->model()->index(0, qty));
        QCOMPARE(DM->tblMain->RecNo(), 0);
        QCOMPARE(stored("quantity", 1), QStringLiteral("2"));
        // Enter: told again, still open with the text.
        QVERIFY(keys(fVelostok, {QStringLiteral("Return")}));
        QTRY_COMPARE(mApp->prompts.messages.size(), 2);
        QVERIFY(grid->editorOpen());
        QCOMPARE(editorText(grid), QStringLiteral("x5"));
        // A click on another row does not leave it either.
        QVERIFY(click(grid->viewport(), cellCentre(grid, 2, 2)));
        QTRY_COMPARE(mApp->prompts.messages.size(), 3);
        QCOMPARE(grid->currentIndex(), grid->model()->index(0, qty));
        QCOMPARE(editorText(grid), QStringLiteral("x5"));
        // Corrected, it is stored; Esc instead would have dropped it.
        QVERIFY(keys(fVelostok, {QStringLiteral("BackSpace"), QStringLiteral("BackSpace")}));
        QVERIFY(type(fVelostok, QStringLiteral("6")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(stored("quantity", 1), QStringLiteral("6"));
        goTo(grid, 1, qty);
        QVERIFY(type(fVelostok, QStringLiteral("x")));
        QVERIFY(keys(fVelostok, {QStringLiteral("Down")}));
        QTRY_COMPARE(mApp->prompts.messages.size(), 4);
        QVERIFY(keys(fVelostok, {QStringLiteral("Escape")}));
        QTRY_VERIFY(!grid->editorOpen());
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QCOMPARE(grid->model()->index(1, qty).data().toString(), QStringLiteral("3"));
    }

    void theUsersGrid()
    {
        mApp->exec(QStringLiteral("DELETE FROM users; INSERT INTO users (user_name, comment) VALUES ('Admin', ''), ('Иван', ''), ('Мария', '')"));
        QVERIFY(mApp->start());
        TfFiters *w = fFiters;
        TDBGrid *g = w->DBGrid1;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // The column after a post by Down, and the current row drawn.
        goTo(g, 1, 3);
        QVERIFY(type(w, QStringLiteral("бележка")));
        QVERIFY(keys(w, {QStringLiteral("Down")}));
        QTRY_COMPARE(mApp->scalar(QStringLiteral("SELECT comment FROM users WHERE user_name = 'Иван'")).toString(),
                     QStringLiteral("бележка"));
        QCOMPARE(g->currentIndex(), g->model()->index(2, 3));
        QCOMPARE(selectedRows(g), QList<int>{2});
        // After a sort.
        QVERIFY(click(g->horizontalHeader()->viewport(), QPoint(g->horizontalHeader()->sectionViewportPosition(1) + 20, 8)));
        QTRY_COMPARE(DM->tblUsers->SortedBy(), QStringList{QStringLiteral("[user_name] ASC")});
        QCOMPARE(g->currentIndex(), g->model()->index(0, 3));
        QCOMPARE(selectedRows(g), QList<int>{0});
        w->hide();
    }

    void theModelsGrid()
    {
        QVERIFY(mApp->start());
        TfModels *w = fModels;
        TDBGrid *g = w->DBGrid1;
        QVERIFY(g->model()->rowCount() > 3);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QString first = DM->tblModels->FieldByName(QStringLiteral("first_date"))->AsString();
        // A year cell takes only the characters of an integer; a refused year stays in its
        // editor; Esc cancels the edit and closes the window.
        goTo(g, 0, 3);
        QVERIFY(type(w, QStringLiteral("x5-,5")));
        QTRY_COMPARE(editorText(g), QStringLiteral("5-5"));
        QVERIFY(keys(w, {QStringLiteral("Down")}));
        QTRY_COMPARE(mApp->prompts.messages.size(), 1);
        QVERIFY(mApp->prompts.messages.first().contains(QStringLiteral("'5-5'")));
        QCOMPARE(g->currentIndex(), g->model()->index(0, 3));
        QCOMPARE(editorText(g), QStringLiteral("5-5"));
        QVERIFY(keys(w, {QStringLiteral("Escape")}));
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(DM->tblModels->State(), TDaoTable::dsBrowse);
        QCOMPARE(g->model()->index(0, 3).data().toString(), first);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // A make cell takes at most the field's 20 characters.
        goTo(g, 0, 1);
        QVERIFY(type(w, QStringLiteral("Абвгдежзийклмнопрстуфх")));
        QTRY_COMPARE(editorText(g), QStringLiteral("Абвгдежзийклмнопрсту"));
        QVERIFY(keys(w, {QStringLiteral("Escape")}));
        QTRY_VERIFY(!w->isVisible());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        // The column after a post, and the current row drawn.
        goTo(g, 0, 4);
        QVERIFY(type(w, QStringLiteral("2030")));
        QVERIFY(keys(w, {QStringLiteral("Down")}));
        QTRY_COMPARE(g->currentIndex(), g->model()->index(1, 4));
        QCOMPARE(selectedRows(g), QList<int>{1});
        w->hide();
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestGridEditing t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_gridediting.moc"
