// The inventory grid: row colours, typing into protected rows, Enter, title sorting, pick lists
// after an in-place edit, the navigation buttons and the grid's own delete.
#include "AppFixture.h"
#include "Paths.h"
#include "base/Regional.h"
#include "ScriptedPrompts.h"
#include "sqlite/SqliteConnection.h"
#include "Startup.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uVelostok.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QMenu>
#include <QToolButton>

class TestGrid : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> mApp;
    QTemporaryDir *mRoot = nullptr;
    ScriptedPrompts *mPrompts = nullptr;
    TDBGrid *grid = nullptr;


    void exec(const QString &sql) { mApp->exec(sql); }
    QVariant scalar(const QString &sql) { return mApp->scalar(sql); }

    // Rows 1..5: 2 locked, 3 deleted, 4 deleted and locked. Deleted rows shown.
    void start(int extraRows = 0)
    {
        exec(QStringLiteral("INSERT INTO main (user_id, unit_name, unit_number, quantity, deleted, locked) VALUES "
                            "(1, 'Филтър', 'F1', 3, FALSE, FALSE), (2, 'Свещ', 'S1', 1, FALSE, TRUE), (3, 'Крушка', 'K1', 5, TRUE, FALSE),"
                            "(4, 'Ремък', 'R1', 2, TRUE, TRUE), (5, 'Амортисьор', 'A1', 4, FALSE, FALSE)"));
        if (extraRows > 0)
            exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                "INSERT INTO main (user_id, unit_name) SELECT 100 + i, 'x' || i FROM n")
                     .arg(extraRows));
        QVERIFY(Startup::createAll());
        fSettings->cbxShowDel->setChecked(true);
        fVelostok->show();
        QVERIFY(DM->DataBase->Connected());
        grid = fVelostok->DBGrid1;
        grid->setFocus();
    }

    // The open cell editor (a closed one may linger until it is deleted).
    QLineEdit *cellEditor() const
    {
        const QList<QLineEdit *> all = grid->viewport()->findChildren<QLineEdit *>();
        for (auto it = all.crbegin(); it != all.crend(); ++it)
            if ((*it)->isVisible())
                return *it;
        return nullptr;
    }

    QColor colourOf(int row, bool selected = false)
    {
        return fVelostok->Inventory->DBGrid1DrawColumnCell(row, selected, QColor(255, 83, 83));
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void init()
    {
        mApp = std::make_unique<AppFixture>(true);
        mRoot = &mApp->root;
        mPrompts = &mApp->prompts;
    }

    void cleanup()
    {
        grid = nullptr;
        mApp.reset();
        mRoot = nullptr;
        mPrompts = nullptr;
    }

    void rowColours()
    {
        start();
        QCOMPARE(grid->model()->rowCount(), 5);
        QCOMPARE(colourOf(0), QColor(255, 83, 83));
        QCOMPARE(colourOf(1), QColor(0, 0, 0));
        QCOMPARE(colourOf(2), QColor(255, 255, 255));
        QCOMPARE(colourOf(3), QColor(255, 255, 255)); // deletion wins over locking
        QCOMPARE(colourOf(1, true), QColor(0, 0, 0)); // also when selected
        QCOMPARE(fVelostok->Inventory->DBGrid1DrawColumnCell(0, true, Qt::white), QColor(Qt::white));
        // While a bulk operation runs every row is drawn as the grid drew it.
        DM->BulkUpdate = true;
        for (int r = 0; r < 4; ++r)
            QCOMPARE(colourOf(r), QColor(255, 83, 83));
        DM->BulkUpdate = false;
        // As drawn: red text in the plain row, black in the locked one, none red in the deleted
        // (none of them the current row, which is drawn selected).
        DM->tblMain->Last();
        fVelostok->resize(1000, 700);
        const QImage shot = grid->viewport()->grab().toImage();
        auto count = [&](int row, auto pred) {
            const QRect r = grid->visualRect(grid->model()->index(row, 2)).intersected(shot.rect());
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    n += pred(shot.pixelColor(x, y)) ? 1 : 0;
            return n;
        };
        auto red = [](const QColor &c) { return c.red() > 200 && c.green() < 140 && c.blue() < 140; };
        auto dark = [](const QColor &c) { return c.red() < 80 && c.green() < 80 && c.blue() < 80; };
        auto white = [](const QColor &c) { return c.red() > 245 && c.green() > 245 && c.blue() > 245; };
        QVERIFY(count(0, red) > 5);
        QVERIFY(count(1, dark) > 5);
        QCOMPARE(count(1, red), 0);
        QVERIFY(count(2, white) > 5);
        QCOMPARE(count(2, red), 0);
    }

    void typingIntoProtectedRows()
    {
        start();
        // Setting on: a locked row takes no typing, and Enter does not open the editor, also
        // when it is reached by keyboard from a plain row (the grid is not read-only then).
        fSettings->cbxPassByChange->setChecked(true);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 2)).center());
        QVERIFY(!grid->ReadOnly());
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(DM->tblMain->RecNo(), 1);
        QTest::keyClicks(grid, QStringLiteral("ab"));
        QVERIFY(!grid->editorOpen());
        QTest::keyClick(grid, Qt::Key_Return);
        QVERIFY(mPrompts->modals.isEmpty());
        // A click on it makes the grid read-only.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 2)).center());
        QVERIFY(grid->ReadOnly());
        QTest::keyClicks(grid, QStringLiteral("ab"));
        QVERIFY(!grid->editorOpen());
        QTest::keyClick(grid, Qt::Key_Return);
        QVERIFY(mPrompts->modals.isEmpty());
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        // A plain row with the setting on: Enter opens the editor (the read-only state stays).
        grid->setCurrentIndex(grid->model()->index(0, 2));
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(mPrompts->modals, QStringList{QStringLiteral("fEditor")});
        // Setting off: a click makes the grid editable and the locked row takes typing.
        fSettings->cbxPassByChange->setChecked(false);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 2)).center());
        QVERIFY(!grid->ReadOnly());
        QCOMPARE(DM->tblMain->RecNo(), 1);
        QTest::keyClicks(grid, QStringLiteral("Z"));
        QVERIFY(grid->editorOpen());
        // Enter with the cell editor open ends the edit, not opening the record editor.
        auto *editor = grid->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate closes its editor by a queued call
        QVERIFY(!grid->editorOpen());
        QCOMPARE(mPrompts->modals.size(), 1);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsEdit);
        QCOMPARE(DM->tblMain->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("Z"));
        // Esc drops the row's edit.
        QTest::keyClick(grid, Qt::Key_Escape);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QCOMPARE(DM->tblMain->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("Свещ"));
    }

    void titleClicksSortAndKeepTheFirstRowCurrent()
    {
        start();
        const int quantity = grid->columnOfField(QStringLiteral("quantity"), 3);
        DM->tblMain->Last();
        QStringList first, second;
        for (QStringList *order : {&first, &second}) {
            grid->horizontalHeader()->sectionClicked(quantity);
            QCOMPARE(DM->tblMain->RecNo(), 0);
            QCOMPARE(grid->currentIndex().row(), 0);
            for (int r = 0; r < grid->model()->rowCount(); ++r)
                *order << grid->model()->index(r, quantity).data().toString();
            QVERIFY(QApplication::overrideCursor() == nullptr);
        }
        QCOMPARE(first, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                                     QStringLiteral("5")}));
        QCOMPARE(second, first);
        QCOMPARE(DM->tblMain->SortedBy(), QStringList{QStringLiteral("[quantity] ASC")});
        // A failing sort shows the error box and still restores the cursor.
        grid->Columns()[quantity].FieldName = QStringLiteral("no_such_field");
        grid->horizontalHeader()->sectionClicked(quantity);
        QCOMPARE(mPrompts->messages.size(), 1);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void pickListsFollowAnInPlaceEdit()
    {
        start();
        const int name = grid->columnOfField(QStringLiteral("unit_name"), 2);
        QVERIFY(!grid->Columns().at(name).PickList.contains(QStringLiteral("Маслен филтър")));
        // Values that only deleted rows have stay listed; an empty entry leads when a row has none.
        QVERIFY(grid->Columns().at(name).PickList.contains(QStringLiteral("Крушка")));
        const int number = grid->columnOfField(QStringLiteral("deliver_name"), 7);
        QCOMPARE(grid->Columns().at(number).PickList.items(), QStringList{QString()}); // every supplier empty
        grid->setCurrentIndex(grid->model()->index(0, name));
        QVERIFY(grid->model()->setData(grid->model()->index(0, name), QStringLiteral("Маслен филтър")));
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsEdit);
        grid->setCurrentIndex(grid->model()->index(4, name)); // leaving the row posts it
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QVERIFY(grid->Columns().at(name).PickList.contains(QStringLiteral("Маслен филтър")));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_name = 'Маслен филтър' AND last_modified IS NOT NULL")).toInt(), 1);
        // The cell editor of a pick-list column offers the list.
        grid->edit(grid->model()->index(4, name));
        auto *box = grid->viewport()->findChild<QComboBox *>();
        QVERIFY(box);
        QCOMPARE(box->count(), grid->Columns().at(name).PickList.size());
        QCOMPARE(box->currentText(), QStringLiteral("Амортисьор"));
    }

    void appendingFromTheLastRow()
    {
        start();
        grid->setCurrentIndex(grid->model()->index(4, 2));
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QCOMPARE(grid->model()->rowCount(), 6);
        QCOMPARE(grid->currentIndex().row(), 5);
        QTest::keyClick(grid, Qt::Key_Down); // an untouched new row: no second one
        QCOMPARE(grid->model()->rowCount(), 6);
        QTest::keyClick(grid, Qt::Key_Up); // leaving it untouched discards it
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QCOMPARE(grid->model()->rowCount(), 5);
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 5);
        // Read-only: no appending.
        grid->setReadOnly(true);
        grid->setCurrentIndex(grid->model()->index(4, 2));
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->model()->rowCount(), 5);
    }

    void textInAnOpenCellEditorIsNeverLost()
    {
        start();
        const int qty = grid->columnOfField(QStringLiteral("quantity"), 3);
        auto typeInto = [this](int row, int col, const QString &text) {
            grid->setCurrentIndex(grid->model()->index(row, col));
            grid->edit(grid->currentIndex());
            auto *editor = cellEditor();
            QVERIFY(editor);
            editor->selectAll();
            QTest::keyClicks(editor, text);
        };
        // Down from the last row with the editor open: the typed value is posted first.
        typeInto(4, qty, QStringLiteral("42"));
        QTest::keyClick(cellEditor(), Qt::Key_Down);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QCOMPARE(scalar(QStringLiteral("SELECT quantity FROM main WHERE user_id = 5")).toInt(), 42);
        DM->tblMain->Cancel();
        // A title click while editing: the value is kept.
        typeInto(0, qty, QStringLiteral("17"));
        grid->horizontalHeader()->sectionClicked(2);
        QCOMPARE(scalar(QStringLiteral("SELECT quantity FROM main WHERE user_id = 1")).toInt(), 17);
        // A command that posts (Commit) with an unsuitable value open: the error is shown and
        // the editor keeps the text; nothing is locked.
        typeInto(0, qty, QStringLiteral("12x"));
        fVelostok->action(QStringLiteral("Commit1"))->trigger();
        QCOMPARE(mPrompts->messages.size(), 1);
        QVERIFY(mPrompts->messages.first().contains(QStringLiteral("12x")));
        auto *editor = cellEditor();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->text(), QStringLiteral("12x"));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main WHERE locked")).toInt(), 2);
        // Tab from the last cell of the last row appends, like Down.
        editor->setText(QStringLiteral("3"));
        fVelostok->action(QStringLiteral("Commit1"))->trigger();
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main WHERE locked")).toInt(), 5);
        // Enter in the editor with an unsuitable value: told, and the editor stays open on its
        // cell with the text until it is corrected or Esc is pressed; the stored value stays.
        typeInto(1, qty, QStringLiteral("abc"));
        QTest::keyClick(cellEditor(), Qt::Key_Return);
        QCoreApplication::processEvents(); // the editor commits by a queued call,
        QCoreApplication::processEvents(); // and the message follows by another
        QCOMPARE(mPrompts->messages.size(), 2);
        QVERIFY(mPrompts->messages.last().contains(QStringLiteral("abc")));
        QVERIFY(grid->editorOpen());
        QCOMPARE(cellEditor()->text(), QStringLiteral("abc"));
        QCOMPARE(grid->currentIndex(), grid->model()->index(1, qty));
        QCOMPARE(scalar(QStringLiteral("SELECT quantity FROM main WHERE user_id = 3")).toInt(), 5);
        QTest::keyClick(cellEditor(), Qt::Key_Escape);
        QVERIFY(!grid->editorOpen());
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QCOMPARE(grid->model()->index(1, qty).data().toString(), QStringLiteral("5"));
        int last = grid->model()->columnCount() - 1;
        while (grid->isColumnHidden(last))
            --last;
        const int rows = grid->model()->rowCount();
        grid->setCurrentIndex(grid->model()->index(rows - 1, last));
        grid->edit(grid->currentIndex());
        QTest::keyClick(cellEditor(), Qt::Key_Tab);
        QCoreApplication::processEvents();
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QCOMPARE(grid->currentIndex().row(), rows);
    }

    void navigationButtons()
    {
        start();
        fVelostok->button(QStringLiteral("tbtLast"))->click();
        QCOMPARE(DM->tblMain->RecNo(), 4);
        fVelostok->button(QStringLiteral("tbtFirst"))->click();
        QCOMPARE(DM->tblMain->RecNo(), 0);
        // An empty row set: nothing happens.
        fVelostok->ApplyFilter(QStringLiteral("[user_id] > 100"));
        QCOMPARE(DM->tblMain->RecordCount(), 0);
        fVelostok->button(QStringLiteral("tbtLast"))->click();
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QVERIFY(mPrompts->messages.isEmpty());
    }

    void ctrlDeleteRemovesRows()
    {
        start(10);
        const int rows = grid->model()->rowCount();
        QCOMPARE(rows, 15);
        // One row: "Delete record?"; cancelled, nothing goes.
        grid->setCurrentIndex(grid->model()->index(0, 2));
        mPrompts->confirmAnswers << false;
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(mPrompts->confirmations, QStringList{QStringLiteral("Confirm|Delete record?")});
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 15);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main WHERE user_id = 1")).toInt(), 0);
        QCOMPARE(grid->model()->rowCount(), 14);
        // Several rows: "Delete all selected records?" and each of them goes.
        grid->clearSelection();
        grid->selectionModel()->select(grid->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        grid->selectionModel()->select(grid->model()->index(5, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        grid->selectionModel()->select(grid->model()->index(13, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString a = grid->model()->index(2, 2).data().toString();
        const QString b = grid->model()->index(13, 2).data().toString();
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(mPrompts->confirmations.last(), QStringLiteral("Confirm|Delete all selected records?"));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 11);
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_name IN ('%1', '%2')").arg(a, b)).toInt(), 0);
        QCOMPARE(grid->model()->rowCount(), 11);
        // An unsaved new row: it is dropped, nothing is written or deleted.
        grid->clearSelection();
        fVelostok->action(QStringLiteral("Add2"))->trigger();
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 11);
        QCOMPARE(mPrompts->confirmations.size(), 4);
        // A selection left behind when the dataset moves does not redirect the delete.
        grid->selectionModel()->select(grid->model()->index(5, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        fVelostok->button(QStringLiteral("tbtFirst"))->click();
        const QString firstName = grid->model()->index(0, 2).data().toString();
        const QString selectedName = grid->model()->index(5, 2).data().toString();
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_name = '%1'").arg(firstName)).toInt(), 0);
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_name = '%1'").arg(selectedName)).toInt(), 1);
        QCOMPARE(mPrompts->confirmations.size(), 5);
        // Read-only or empty: nothing is asked.
        grid->setReadOnly(true);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(mPrompts->confirmations.size(), 5);
        grid->setReadOnly(false);
        fVelostok->ApplyFilter(QStringLiteral("[user_id] > 1000"));
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(mPrompts->confirmations.size(), 5);
    }

    void contextMenuFollowsTheRow()
    {
        start();
        QGuiApplication::clipboard()->clear();
        auto *menu = fVelostok->PopupMenu1;
        DM->tblMain->setRecNo(2); // deleted
        fVelostok->Commands->PopupMenu1Popup();
        QVERIFY(fVelostok->action(QStringLiteral("UnDel2"))->isVisible());
        QVERIFY(fVelostok->action(QStringLiteral("Save2"))->isVisible());
        QVERIFY(!fVelostok->action(QStringLiteral("Paste2"))->isVisible());
        QVERIFY(fVelostok->action(QStringLiteral("Erase2"))->isVisible()); // deleted rows shown
        QVERIFY(fVelostok->action(QStringLiteral("ExportTo2"))->isVisible());
        DM->tblMain->setRecNo(1); // locked
        fVelostok->Commands->PopupMenu1Popup();
        QVERIFY(!fVelostok->action(QStringLiteral("UnDel2"))->isVisible());
        QVERIFY(!fVelostok->action(QStringLiteral("Save2"))->isVisible());
        QGuiApplication::clipboard()->setText(QStringLiteral("1\tx\r\n"));
        fVelostok->Commands->PopupMenu1Popup();
        QVERIFY(fVelostok->action(QStringLiteral("Paste2"))->isVisible());
        QCOMPARE(fVelostok->action(QStringLiteral("Copy2"))->text(), QStringLiteral("&Копирай ред"));
        // Opened during a cell edit: Ctrl+C and Ctrl+V go to the cell editor until next time.
        grid->setCurrentIndex(grid->model()->index(1, 2));
        grid->edit(grid->currentIndex());
        fVelostok->Commands->PopupMenu1Popup();
        QCOMPARE(fVelostok->action(QStringLiteral("Copy2"))->text(), QStringLiteral("&Копирай      Ctrl+C"));
        QVERIFY(fVelostok->action(QStringLiteral("Copy2"))->shortcut().isEmpty());
        fVelostok->Commands->Edit1Click();
        QCOMPARE(fVelostok->action(QStringLiteral("Copy1"))->text(), QStringLiteral("&Копирай        Ctrl+C"));
        QVERIFY(fVelostok->action(QStringLiteral("Paste1"))->isVisible());
        QVERIFY(!fVelostok->action(QStringLiteral("UnDel1"))->isVisible());
        // Deleted rows hidden: no purge entry in the context menu.
        fSettings->cbxShowDel->setChecked(false);
        fVelostok->Commands->PopupMenu1Popup();
        QVERIFY(!fVelostok->action(QStringLiteral("Erase2"))->isVisible());
        // Entries are hidden only while the menu is open: once it closes their keys work again.
        QVERIFY(!fVelostok->action(QStringLiteral("UnDel2"))->isVisible());
        emit menu->aboutToHide();
        QVERIFY(fVelostok->action(QStringLiteral("UnDel2"))->isVisible() && fVelostok->action(QStringLiteral("UnDel2"))->isEnabled());
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestGrid t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_grid.moc"
