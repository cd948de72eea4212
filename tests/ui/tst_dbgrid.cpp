// The data grid's model and the data link over a real inventory file, without any window of the
// program: what the model shows, how it follows the dataset, what it writes, and lazy pick lists.
#include "base/DaoError.h"
#include "base/Regional.h"
#include "sqlite/SqliteConnection.h"
#include "TDBGrid.h"
#include "TDBGridModel.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TDaoTable.h"
#include "dataset/TDataSource.h"
#include "TPickList.h"

#include <QAbstractItemModel>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

class TestDbGrid : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;
    QString mPath;
    std::unique_ptr<TDaoDatabase> mDb;
    std::unique_ptr<TDaoTable> mMain;
    std::unique_ptr<TDaoTable> mUsers;
    std::unique_ptr<TDataSource> mSource;
    QList<TColumn> mColumns;

    // The message of the DaoError an action raises, or "none".
    static QString refusal(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const DaoError &e) {
            return e.message();
        }
        return QStringLiteral("none");
    }

    static TColumn column(const char *field, bool readOnly = false)
    {
        TColumn c;
        c.FieldName = QString::fromLatin1(field);
        c.Title = c.FieldName.toUpper();
        c.ReadOnly = readOnly;
        return c;
    }

private slots:
    void initTestCase() { regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria)); }

    void init()
    {
        mPath = mDir.filePath(QStringLiteral("grid.mdb"));
        QFile::remove(mPath);
        QVERIFY(QFile::copy(QStringLiteral(VELOSTOK_TEMPLATE), mPath));
        QFile::setPermissions(mPath, QFile::ReadOwner | QFile::WriteOwner);
        SqliteConnection c;
        c.open(mPath);
        c.exec(QStringLiteral("INSERT INTO main (user_id, unit_name, quantity) VALUES (1, 'Филтър', 2.5), "
                              "(2, 'Свещ', 4), (3, NULL, NULL);"
                              "DELETE FROM users; INSERT INTO users (user_name) VALUES ('Admin'), ('Иван');"));
        mDb = std::make_unique<TDaoDatabase>();
        mDb->setDatabase(mPath);
        mDb->SmartOpen = false;
        mDb->Open();
        auto table = [this](const char *name) {
            auto t = std::make_unique<TDaoTable>();
            t->setDatabase(mDb.get());
            t->setTableName(QString::fromLatin1(name));
            t->Open();
            return t;
        };
        mMain = table("main");
        mUsers = table("users");
        mSource = std::make_unique<TDataSource>();
        mSource->setDataSet(mMain.get());
        mColumns = {column("id"), column("user_id"), column("unit_name"), column("quantity"), column("modifier", true),
                    column("no_such_field")};
    }

    void cleanup()
    {
        mSource.reset();
        mMain.reset();
        mUsers.reset();
        mDb.reset();
    }

    void showsTheRowsAndFollowsTheDataset()
    {
        TDBGridModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumns(&mColumns);
        model.setDataSource(mSource.get());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Филтър"));
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("2,5")); // the regional form
        QCOMPARE(model.index(2, 2).data().toString(), QString());            // null shows empty
        QVERIFY(!model.index(0, 5).data().isValid());                        // a column without a field
        QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("UNIT_NAME"));
        QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::UserRole).toString(), QStringLiteral("unit_name"));
        QCOMPARE(model.headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("\u25B8"));
        // The counter, a read-only column and a column without a field take no typing.
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(model.flags(model.index(0, 2)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(0, 4)) & Qt::ItemIsEditable));
        QVERIFY(!(model.flags(model.index(0, 5)) & Qt::ItemIsEditable));
        model.setReadOnly(true);
        QVERIFY(!(model.flags(model.index(0, 2)) & Qt::ItemIsEditable));
        model.setReadOnly(false);

        // The current row is announced as the dataset moves.
        QSignalSpy current(&model, &TDBGridModel::currentRowChanged);
        mMain->Last();
        QCOMPARE(current.takeLast().at(0).toInt(), 2);
        // A new row is one more row after the last, marked with a star; cancelling removes it.
        mMain->Append();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(TDBGridModel::gridRow(mMain.get()), 3);
        QCOMPARE(model.headerData(3, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("*"));
        mMain->Cancel();
        QCOMPARE(model.rowCount(), 3);
        // Deleting, and rows another program added showing at the re-query.
        mMain->First();
        mMain->Delete();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Свещ"));
        SqliteConnection other;
        other.open(mPath);
        other.exec(QStringLiteral("INSERT INTO main (unit_name) VALUES ('нов')"));
        QCOMPARE(model.rowCount(), 2);
        mMain->Requery();
        QCOMPARE(model.rowCount(), 3);

        // The source given another dataset: the model follows it, columns found anew.
        mSource->setDataSet(mUsers.get());
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.fieldOf(2), -1);
        QList<TColumn> userColumns{column("user_name")};
        model.setColumns(&userColumns);
        QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("Иван"));
        // Closing and destroying the dataset empty the model.
        mUsers->Close();
        QCOMPARE(model.rowCount(), 0);
        mUsers->Open();
        QCOMPARE(model.rowCount(), 2);
        mUsers.reset();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.dataSet());
        model.setColumns(&mColumns);
    }

    void writesTypedTextIntoTheCurrentRow()
    {
        TDBGridModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumns(&mColumns);
        model.setDataSource(mSource.get());
        // Only the dataset's current row is written: the model never moves the dataset.
        QVERIFY(!model.setData(model.index(1, 2), QStringLiteral("Ключ"), Qt::EditRole));
        QCOMPARE(mMain->RecNo(), 0);
        QCOMPARE(mMain->State(), TDaoTable::dsBrowse);
        // Typing into the current row starts an edit.
        mMain->setRecNo(1);
        QVERIFY(model.setData(model.index(1, 2), QStringLiteral("Ключ"), Qt::EditRole));
        QCOMPARE(mMain->RecNo(), 1);
        QCOMPARE(mMain->State(), TDaoTable::dsEdit);
        QCOMPARE(model.index(1, 2).data().toString(), QStringLiteral("Ключ"));
        QCOMPARE(model.headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("I"));
        // A text the field refuses raises the field's error and is not stored; setData says false.
        QCOMPARE(refusal([&] { model.writeCell(model.index(1, 3), QStringLiteral("много")); }),
                 QStringLiteral("'много' is not a valid floating point value for field 'quantity'"));
        QVERIFY(!model.setData(model.index(1, 3), QStringLiteral("x"), Qt::EditRole));
        QCOMPARE(model.index(1, 3).data().toString(), QStringLiteral("4"));
        // Moving away posts the row.
        mMain->First();
        QCOMPARE(mMain->State(), TDaoTable::dsBrowse);
        SqliteConnection c;
        c.open(mPath);
        QCOMPARE(c.scalar(QStringLiteral("SELECT unit_name FROM main WHERE user_id = 2")).toString(), QStringLiteral("Ключ"));
    }

    // The selected rows read from the selection's ranges are Qt's own answer (selectedRows()),
    // whatever the shape.
    void selectedRowsAreQtsAnswer()
    {
        TDBGrid grid;
        grid.setColumns(mColumns);
        grid.setDataSource(mSource.get());
        QItemSelectionModel *s = grid.selectionModel();
        const auto rows = QItemSelectionModel::Select | QItemSelectionModel::Rows;
        const auto idx = [&](int r, int c) { return grid.model()->index(r, c); };
        const QList<std::pair<std::function<void()>, QList<int>>> cases{
            {[&] { grid.selectAll(); }, {0, 1, 2}},
            {[&] { s->select(idx(2, 0), rows); s->select(idx(0, 0), rows); }, {0, 2}},
            {[&] { grid.selectAll(); s->select(idx(1, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows); }, {0, 2}},
            {[&] { s->select(idx(0, 0), rows); s->select(idx(1, 2), QItemSelectionModel::Select); }, {0}},
            {[&] { s->select(QItemSelection(idx(1, 0), idx(1, 2)), QItemSelectionModel::Select);
                   s->select(QItemSelection(idx(1, 3), idx(1, 5)), QItemSelectionModel::Select); }, {1}},
        };
        for (const auto &[select, expected] : cases) {
            s->clearSelection();
            select();
            QCOMPARE(grid.selectedRowNumbers(), expected);
            QCOMPARE(grid.selectedRowCount(), expected.size());
        }
    }

    void gridKeepsTypedTextAndRaisesForRefusedText()
    {
        TDBGrid grid;
        grid.setColumns(mColumns);
        grid.setDataSource(mSource.get());
        grid.resize(600, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setCurrentIndex(grid.model()->index(0, 3));
        QTest::keyClicks(&grid, QStringLiteral("x"));
        QVERIFY(grid.editorOpen());
        // The dataset cannot post while the editor holds a text its field refuses: the post is
        // abandoned with the field's error and the editor keeps the text.
        mMain->Edit();
        QCOMPARE(refusal([&] { mMain->Post(); }), QStringLiteral("'x' is not a valid floating point value for field 'quantity'"));
        QVERIFY(grid.editorOpen());
        QCOMPARE(mMain->State(), TDaoTable::dsEdit);
        grid.closeEditorUnwritten();
        mMain->Cancel();
        // An editor opened on another row than the dataset's: the grid takes the dataset there
        // before writing.
        grid.edit(grid.model()->index(2, 2));
        QTest::keyClicks(grid.cellEditor()->line(), QStringLiteral("V-belt"));
        grid.commitEditor();
        QVERIFY(!grid.editorOpen());
        QCOMPARE(mMain->RecNo(), 2);
        QCOMPARE(mMain->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("V-belt"));
        // Setting a column's visibility outside the column set raises the layer's error.
        QVERIFY_THROWS_EXCEPTION(DaoError, grid.setColumnVisible(6, false));
        // Delete is no typed character, whatever text a keyboard gives it.
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::ControlModifier, QStringLiteral("\x7f"));
        QVERIFY(!TDBGrid::typesCharacter(&del));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QVERIFY(TDBGrid::typesCharacter(&enter));
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        QVERIFY(!TDBGrid::typesCharacter(&tab));
    }

    void pickListsReadWhenFirstLookedAt()
    {
        int reads = 0;
        TPickList list;
        QVERIFY(list.isEmpty());
        list.setPending([&] {
            ++reads;
            return QStringList{QStringLiteral("a"), QStringLiteral("b")};
        });
        QVERIFY(list.pending());
        TPickList copy = list;
        QCOMPARE(reads, 0);
        QCOMPARE(copy.size(), 2); // read once, for every copy
        QVERIFY(!list.pending());
        QCOMPARE(list.items(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(reads, 1);
        // Changing a copy leaves the others as they were.
        copy.clear();
        QVERIFY(copy.isEmpty());
        QCOMPARE(list.size(), 2);
        // A list given again before anyone looked never reads the first way.
        int second = 0;
        list.setPending([&] { return QStringList{QStringLiteral("first")}; });
        list.setPending([&] {
            ++second;
            return QStringList{QStringLiteral("second")};
        });
        QCOMPARE(list.at(0), QStringLiteral("second"));
        QCOMPARE(second, 1);
    }

    void pickListsShareTheirTexts()
    {
        // A list read from the connection's kept values holds the same block, not a copy; a null
        // first entry reads as an empty text; texts in any script come back whole.
        TextList::Builder b;
        b.setLeadingNull(true);
        for (const char *t : {"0 986 452 041", "Накладки ÄÖ", ""})
            b.append(QByteArrayView(t));
        const TextList kept = b.take();
        TPickList list;
        list.setPendingTexts([&] { return kept; });
        QCOMPARE(list.size(), 4);
        QCOMPARE(list.texts().utf8(1).data(), kept.utf8(1).data());
        QCOMPARE(list.items(), (QStringList{QString(), QStringLiteral("0 986 452 041"), QStringLiteral("Накладки ÄÖ"), QString()}));
        QCOMPARE(list.model()->data(list.model()->index(2, 0), Qt::DisplayRole).toString(), QStringLiteral("Накладки ÄÖ"));
        QVERIFY(list.contains(QString()) && list.contains(QStringLiteral("Накладки ÄÖ")) && !list.contains(QStringLiteral("накладки äö")));
        QCOMPARE(list.texts().indexOf(QString()), 0);
        QVERIFY(list.texts() == kept && !(list.texts() == kept.withLeadingNull(false)));
    }
};

QTEST_MAIN(TestDbGrid)
#include "tst_dbgrid.moc"
