// The secondary windows as their forms lay them out: controls, captions, sizes, closing.
// With VELOSTOK_WINDOW_SHOTS set to a folder, each window is also saved there as a PNG.
#include "AppFixture.h"
#include "base/DaoError.h"
#include "StandInPrinter.h"
#include "TSkinData.h"
#include "uAbout.h"
#include "uFiters.h"
#include "uMarkAndModels.h"
#include "uModels.h"
#include "uPass.h"
#include "uSearchForm.h"
#include "uUniversalReport.h"
#include "ueditor.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOption>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <map>
#include <memory>

namespace {

QString textOf(const QObject *o)
{
    if (auto *l = qobject_cast<const QLabel *>(o))
        return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(o))
        return b->text();
    if (auto *e = qobject_cast<const QLineEdit *>(o))
        return e->text();
    if (auto *c = qobject_cast<const QComboBox *>(o))
        return c->currentText();
    if (auto *m = qobject_cast<const QPlainTextEdit *>(o))
        return m->toPlainText();
    if (auto *g = qobject_cast<const QGroupBox *>(o))
        return g->title();
    if (auto *a = qobject_cast<const QAction *>(o))
        return a->text();
    return QString();
}

// The widgets a form names (not the parts Qt builds inside combo boxes, grids and memos).
QList<QWidget *> namedChildren(QWidget *parent)
{
    QList<QWidget *> out;
    for (QObject *o : parent->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (w && !w->isWindow() && !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            out << w;
    }
    return out;
}

// The texts of a control that its style gives too little room: a label's size hint; the contents
// of a button or check box; an edit box's text, scrolled when painted; each tab's text, inside its
// bar; each grid title, in the font the style draws it with.
QStringList clippedTexts(QWidget *w)
{
    QStringList out;
    auto need = [&](const QString &text, QSize size, QRect room) {
        if (!text.isEmpty() && (size.width() > room.width() || size.height() > room.height()))
            out << text;
    };
    auto size = [w](const QString &text) { return w->fontMetrics().size(Qt::TextShowMnemonic, text); };
    QStyle *style = w->style();
    if (auto *l = qobject_cast<QLabel *>(w); l && l->pixmap().isNull())
        need(l->text(), l->sizeHint(), l->rect());
    if (auto *b = qobject_cast<QAbstractButton *>(w); b && !qobject_cast<QToolButton *>(w)) {
        QStyleOptionButton o;
        o.initFrom(b);
        if (auto *p = qobject_cast<QPushButton *>(b); p && p->autoDefault())
            o.features = QStyleOptionButton::AutoDefaultButton;
        need(b->text(), size(b->text()), style->subElementRect(qobject_cast<QCheckBox *>(b) ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &o, b));
    }
    if (auto *c = qobject_cast<QComboBox *>(w); c && c->lineEdit()) {
        QLineEdit *e = c->lineEdit();
        const QString text = e->text();
        auto start = [e] { // where the text starts, painted with the cursor after it
            e->grab();
            e->setCursorPosition(0);
            return e->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
        };
        e->clear();
        const int unscrolled = start();
        e->setText(text);
        if (start() != unscrolled)
            out << text;
    }
    if (auto *tabs = qobject_cast<QTabBar *>(w))
        for (int i = 0; i < tabs->count(); ++i) {
            QStyleOptionTab o;
            o.initFrom(tabs);
            o.shape = tabs->shape();
            o.rect = tabs->tabRect(i);
            const bool inside = tabs->rect().contains(o.rect);
            need(tabs->tabText(i), size(tabs->tabText(i)), inside ? style->subElementRect(QStyle::SE_TabBarTabText, &o, tabs) : QRect());
        }
    if (auto *grid = qobject_cast<QTableView *>(w))
        for (int i = 0; i < grid->model()->columnCount(); ++i) {
            QHeaderView *h = grid->horizontalHeader();
            QStyleOptionHeader o;
            o.initFrom(h);
            const QVariant font = h->model()->headerData(i, Qt::Horizontal, Qt::FontRole);
            o.fontMetrics = QFontMetrics(font.isValid() ? font.value<QFont>() : h->font());
            o.rect = QRect(0, 0, h->sectionSize(i), h->height());
            o.text = QStringLiteral(""); // the style's size hint without the text, and with it
            const int bare = style->sizeFromContents(QStyle::CT_HeaderSection, &o, QSize(), h).width();
            o.text = h->model()->headerData(i, Qt::Horizontal).toString();
            const int width = style->sizeFromContents(QStyle::CT_HeaderSection, &o, QSize(), h).width() - bare;
            if (!h->isSectionHidden(i))
                need(o.text, QSize(width, 0), style->subElementRect(QStyle::SE_HeaderLabel, &o, h));
        }
    return out;
}

// Every control of a window, also those on unnamed panels; not the parts that Qt builds inside
// combo boxes, grids and memos.
QList<QWidget *> controlsOf(QWidget *window)
{
    QList<QWidget *> out;
    for (int i = -1; i < int(out.size()); ++i)
        for (auto *w : (i < 0 ? window : out.at(i))->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (!w->isWindow() && !w->objectName().startsWith(QLatin1String("qt_")) && !qobject_cast<QComboBox *>(w->parentWidget())
                && !qobject_cast<QAbstractScrollArea *>(w->parentWidget()))
                out << w;
    return out;
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

    std::map<QString, std::unique_ptr<QDialog>> mWindows;

    QDialog *form(const QString &name) { return mWindows.at(name).get(); }

private slots:
    void initTestCase()
    {
        initWindowTests();
        // Start-up's order.
        for (QDialog *w : std::initializer_list<QDialog *>{
                 new TAboutBox, new TfSearchForm, new TfFiters, new TfModels, new TfPass, new TfEditor,
                 new TfMarkAndModels, new TfUniversalReport})
            mWindows[w->objectName()].reset(w);
        QCOMPARE(mWindows.size(), size_t(8));
    }

    void cleanupTestCase()
    {
        const QString shots = qEnvironmentVariable("VELOSTOK_WINDOW_SHOTS");
        if (shots.isEmpty())
            return;
        QDir().mkpath(shots);
        for (auto &[name, w] : mWindows) {
            w->show();
            QVERIFY(w->grab().save(QDir(shots).filePath(name + QStringLiteral(".png"))));
            w->hide();
        }
    }

    void controls_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        auto row = [](const char *window, const char *name, const char *kind, const QString &text = QString()) {
            QTest::addRow("%s.%s", window, name) << QString::fromLatin1(window) << QString::fromLatin1(name)
                                                 << QString::fromLatin1(kind) << text;
        };
        row("AboutBox", "AboutBox", "QFrame");
        row("AboutBox", "Image1", "QLabel");
        row("AboutBox", "AppName", "QLabel", QStringLiteral("Velostok\nversion 1.0"));
        row("AboutBox", "Version", "QLabel", QStringLiteral("© 2005 Велософт ООД, София"));
        row("AboutBox", "email", "QLabel", QStringLiteral("support@velosoft.bg"));
        row("AboutBox", "Copy1", "QAction", QStringLiteral("&Copy"));
        row("AboutBox", "Email1", "QAction", QStringLiteral("&Email"));
        row("AboutBox", "Memo1", "QPlainTextEdit", QStringLiteral("*")); // the maker's notice
        row("AboutBox", "bOk", "QPushButton", QStringLiteral("&OK"));
        row("AboutBox", "bHelp", "QPushButton", QStringLiteral("&Help"));

        row("fSearchForm", "Panel1", "QFrame");
        row("fSearchForm", "Image1", "QLabel");
        row("fSearchForm", "Label1", "QLabel", QStringLiteral("№"));
        row("fSearchForm", "eID", "QLineEdit");
        row("fSearchForm", "Label2", "QLabel", QStringLiteral("Каталожен №"));
        row("fSearchForm", "cbxUnitNum", "QComboBox");
        row("fSearchForm", "Label3", "QLabel", QStringLiteral("Наименование"));
        row("fSearchForm", "cbxUnitName", "QComboBox");
        row("fSearchForm", "Label4", "QLabel", QStringLiteral("Съвместимост"));
        row("fSearchForm", "Label5", "QLabel", QStringLiteral("( Тук можете да посочите повече от една дума ! )"));
        row("fSearchForm", "eComment", "QPlainTextEdit");
        row("fSearchForm", "Label6", "QLabel", QStringLiteral("Доставчик"));
        row("fSearchForm", "eDeliverName", "QLineEdit");
        row("fSearchForm", "Label7", "QLabel", QStringLiteral("№ при дост."));
        row("fSearchForm", "eDeliverNum", "QLineEdit");
        row("fSearchForm", "Label8", "QLabel", QStringLiteral("Произведено"));
        row("fSearchForm", "eDeliveryCountry", "QLineEdit");
        row("fSearchForm", "Label9", "QLabel", QStringLiteral("Количество"));
        row("fSearchForm", "lblException", "QLabel", QStringLiteral("="));
        row("fSearchForm", "eQuantity", "QLineEdit");
        row("fSearchForm", "Less", "QToolButton", QStringLiteral("<"));
        row("fSearchForm", "Equal", "QToolButton", QStringLiteral("="));
        row("fSearchForm", "More", "QToolButton", QStringLiteral(">"));
        row("fSearchForm", "cbxStar", "QCheckBox", QStringLiteral("Търсене по начални символи"));
        row("fSearchForm", "cbxHide", "QCheckBox", QStringLiteral("Да се скрива след търсене"));
        row("fSearchForm", "bNewSearch", "QPushButton", QStringLiteral("&Ново търсене"));
        row("fSearchForm", "bSearch", "QPushButton", QStringLiteral("&Търси"));
        row("fSearchForm", "bCancel", "QPushButton", QStringLiteral("&Изход"));
        for (const char *w : {"fSearchForm", "fEditor"}) {
            row(w, "Copy1", "QAction", QStringLiteral("Копирай"));
            row(w, "Cut1", "QAction", QStringLiteral("Изрежи"));
            row(w, "Paste1", "QAction", QStringLiteral("Постави"));
            row(w, "N3", "QAction");
            row(w, "Select1", "QAction", QStringLiteral("Избор"));
        }

        row("fFiters", "Label1", "QLabel", QStringLiteral("Търсене по име"));
        row("fFiters", "tbxSearchValue", "QLineEdit");
        row("fFiters", "Image1", "QLabel");
        row("fFiters", "DBGrid1", "QTableView");
        row("fFiters", "Label2", "QLabel", QStringLiteral("Име"));
        row("fFiters", "DBEdit1", "QLineEdit");
        row("fFiters", "Label3", "QLabel", QStringLiteral("Парола"));
        row("fFiters", "DBEdit2", "QLineEdit");
        row("fFiters", "bYes", "QPushButton", QStringLiteral("&Промени"));
        row("fFiters", "bCancel", "QPushButton", QStringLiteral("&Отказ"));

        row("fPass", "Panel1", "QFrame");
        row("fPass", "Label1", "QLabel", QStringLiteral("Парола на администратора"));
        row("fPass", "ePass", "QLineEdit");
        row("fPass", "bYes", "QPushButton", QStringLiteral("&Да"));
        row("fPass", "bCancel", "QPushButton", QStringLiteral("&Изход"));

        row("fModels", "Label1", "QLabel", QStringLiteral("Търсене по марка"));
        row("fModels", "tbxSearchValue", "QLineEdit");
        row("fModels", "Image1", "QLabel");
        row("fModels", "DBGrid1", "QTableView");
        row("fModels", "delete1", "QAction", QStringLiteral("Премахни"));
        row("fModels", "N1", "QAction", QStringLiteral("Добави"));
        row("fModels", "dxButton1", "QPushButton", QStringLiteral("&Премахни"));
        row("fModels", "bCancel", "QPushButton", QStringLiteral("&Изход"));

        row("fMarkAndModels", "Label1", "QLabel", QStringLiteral("Марка"));
        row("fMarkAndModels", "dbcbMark", "QComboBox");
        row("fMarkAndModels", "Label2", "QLabel", QStringLiteral("Модел"));
        row("fMarkAndModels", "dbcbModel", "QComboBox");
        row("fMarkAndModels", "Label3", "QLabel", QStringLiteral("Произвеждан от "));
        row("fMarkAndModels", "eFirstDate", "QLineEdit");
        row("fMarkAndModels", "Label4", "QLabel", QStringLiteral("до годината"));
        row("fMarkAndModels", "eLastDate", "QLineEdit");
        row("fMarkAndModels", "dxButton1", "QPushButton", QStringLiteral("&Добави"));
        row("fMarkAndModels", "bCancel", "QPushButton", QStringLiteral("&Изход"));

        row("fEditor", "Panel1", "QFrame");
        row("fEditor", "Image1", "QLabel");
        const char *editorRows[][3] = {
            {"eID", "Label1", "№"}, {"cbxUnitNum", "Label2", "Каталожен №"},
            {"cbxUnitName", "Label3", "Наименование"}, {"eQuantity", "Label4", "Количество"},
            {"ePrice", "Label5", "Цена"}, {"eSecondPrice", "Label6", "Цена-едро"},
            {"eComment", "Label7", "Съвместимост"}, {"eDeliverName", "Label8", "Доставчик"},
            {"eDeliverNum", "Label9", "№ при дост."}, {"eDeliveryCountry", "Label10", "Произведено"},
            {"cbxUsers", "lblUsers", "Променил"}, {"ePassword", "lblPass", "Парола"}};
        for (const auto &r : editorRows) {
            const QByteArray box(r[0]);
            row("fEditor", r[1], "QLabel", QString::fromUtf8(r[2]));
            row("fEditor", r[0], box.startsWith("cbx") ? "QComboBox" : box == "eComment" ? "QPlainTextEdit" : "QLineEdit");
        }
        row("fEditor", "bChange", "QPushButton", QStringLiteral("&Промяна"));
        row("fEditor", "bCancel", "QPushButton", QStringLiteral("&Изход"));

        row("fUniversalReport", "QuickRep", "QFrame");
        for (const char *b : {"TitleBand1", "ColumnHeaderBand1", "DetailBand1", "QRBand1", "PageFooterBand1"})
            row("fUniversalReport", b, "QFrame");
        row("fUniversalReport", "QRLabel23", "QLabel", QStringLiteral("Дата "));
        row("fUniversalReport", "QRSysData3", "QLabel");
        row("fUniversalReport", "QRLabel20", "QLabel", QStringLiteral("Текущи данни"));
        row("fUniversalReport", "QRLabel19", "QLabel", QStringLiteral("Velostok®"));
        row("fUniversalReport", "QRShape1", "QFrame");
        row("fUniversalReport", "QRSysData1", "QLabel");
        row("fUniversalReport", "QRSysData2", "QLabel", QStringLiteral("Page  "));
    }

    void controls()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        const QList<QObject *> found = form(window)->findChildren<QObject *>(name);
        QCOMPARE(found.size(), 1);
        QObject *o = found.first();
        QVERIFY2(o && o->inherits(kind.toLatin1()), qPrintable(name + QStringLiteral(" is a ") + (o ? o->metaObject()->className() : "nothing")));
        if (text == QLatin1String("*"))
            QVERIFY(!textOf(o).isEmpty());
        else
            QCOMPARE(textOf(o), text);
    }

    void windows_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QSize>("size");
        QTest::newRow("about") << "AboutBox" << "About" << QSize(371, 226);
        QTest::newRow("search") << "fSearchForm" << "Търсене" << QSize(536, 361);
        QTest::newRow("users") << "fFiters" << "Номенклатури" << QSize(548, 336);
        QTest::newRow("models") << "fModels" << "Модели" << QSize(456, 344);
        QTest::newRow("password") << "fPass" << "Търсене покупки" << QSize(250, 108);
        QTest::newRow("editor") << "fEditor" << "Редактиране" << QSize(400, 380);
        QTest::newRow("picker") << "fMarkAndModels" << "Модели" << QSize(330, 124);
        QTest::newRow("report") << "fUniversalReport" << "" << QSize(816, 1056);
    }

    // Caption and client size; fixed size; every control inside its parent, apart from its
    // siblings, and wide enough for its caption.
    void windows()
    {
        QFETCH(QString, window);
        QFETCH(QString, caption);
        QFETCH(QSize, size);
        QDialog *w = form(window);
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(w->size(), size);
        QCOMPARE(w->minimumSize(), size);
        QCOMPARE(w->maximumSize(), size);
        w->show();
        QList<QWidget *> parents{w};
        while (!parents.isEmpty()) {
            QWidget *parent = parents.takeFirst();
            const QList<QWidget *> kids = namedChildren(parent);
            for (int i = 0; i < kids.size(); ++i) {
                QWidget *a = kids.at(i);
                const QString where = parent->objectName() + QLatin1Char('.') + a->objectName();
                QVERIFY2(parent->rect().contains(a->geometry()), qPrintable(where + QStringLiteral(" leaves its parent")));
                for (int j = i + 1; j < kids.size(); ++j)
                    QVERIFY2(!a->geometry().intersects(kids.at(j)->geometry()),
                             qPrintable(where + QStringLiteral(" overlaps ") + kids.at(j)->objectName()));
                const QStringList clipped = clippedTexts(a);
                QVERIFY2(clipped.isEmpty(), qPrintable(where + QStringLiteral(" is too small for ") + clipped.join(QLatin1Char(' '))));
                parents << a;
            }
        }
        w->hide();
    }

    // Under every shipped skin and without one, each control of every window shows all of its text.
    void textsFit()
    {
        AppFixture app;
        QVERIFY(app.start());
        QStringList clipped;
        for (const QString &skin : {QString(), QStringLiteral("MySkin"), QStringLiteral("Dark"), QStringLiteral("HighContrast")}) {
            SkinData1->setSkinFile(QStringLiteral(VELOSTOK_ASSETS "/Skins/%1.skn").arg(skin));
            SkinData1->setActive(!skin.isEmpty());
            QList<QWidget *> windows{fVelostok};
            for (QDialog *d : fVelostok->findChildren<QDialog *>())
                windows << d;
            for (QWidget *window : windows) {
                window->show();
                for (QWidget *w : controlsOf(window))
                    for (const QString &text : clippedTexts(w))
                        clipped << QStringLiteral("%1 %2.%3: %4").arg(skin.isEmpty() ? QStringLiteral("no skin") : skin, window->objectName(), w->objectName(), text);
                window->hide();
            }
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
    }

    void gridColumns_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<int>>("widths");
        QTest::newRow("users") << "fFiters" << QStringList{"id", "user_name", "pass_stars", "comment"}
                               << QStringList{"№", "Име", "Парола", "Коментар"} << QList<int>{28, 145, 121, 195};
        QTest::newRow("models") << "fModels" << QStringList{"id", "mark_name", "model_name", "first_date", "last_date"}
                                << QStringList{"№", "Марка", "Модел", "Нач. год. произ.", "Кр-на год. пр."}
                                << QList<int>{36, 105, 98, 85, 73};
    }

    void gridColumns()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, titles);
        QFETCH(QList<int>, widths);
        auto *grid = form(window)->findChild<QTableView *>(QStringLiteral("DBGrid1"));
        QVERIFY(grid);
        QAbstractItemModel *m = grid->model();
        QCOMPARE(m->columnCount(), int(fields.size()));
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(m->headerData(i, Qt::Horizontal, Qt::UserRole).toString(), fields.at(i));
            QCOMPARE(m->headerData(i, Qt::Horizontal).toString(), titles.at(i));
            QCOMPARE(grid->columnWidth(i), widths.at(i));
        }
        QVERIFY(!grid->verticalHeader()->isHidden() && !grid->horizontalHeader()->isHidden());
        QVERIFY(grid->tabKeyNavigation());
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QVERIFY(grid->editTriggers() & QAbstractItemView::AnyKeyPressed);
    }

    // Typing limits and the characters the password boxes show.
    void boxes_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("echo");
        QTest::newRow("pass") << "fPass" << "ePass" << 32767 << "#";
        QTest::newRow("editor password") << "fEditor" << "ePassword" << 32767 << "#";
        QTest::newRow("users password") << "fFiters" << "DBEdit2" << 20 << "*";
        QTest::newRow("users name") << "fFiters" << "DBEdit1" << 30 << "";
        QTest::newRow("editor quantity") << "fEditor" << "eQuantity" << 30 << "";
        QTest::newRow("editor price") << "fEditor" << "ePrice" << 30 << "";
        QTest::newRow("editor wholesale") << "fEditor" << "eSecondPrice" << 32767 << "";
        QTest::newRow("editor supplier") << "fEditor" << "eDeliverName" << 50 << "";
        QTest::newRow("editor made in") << "fEditor" << "eDeliveryCountry" << 50 << "";
        QTest::newRow("search number") << "fSearchForm" << "eID" << 32767 << "";
        QTest::newRow("search supplier no") << "fSearchForm" << "eDeliverNum" << 50 << "";
    }

    void boxes()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(int, limit);
        QFETCH(QString, echo);
        auto *e = form(window)->findChild<QLineEdit *>(name);
        QVERIFY(e);
        QCOMPARE(e->maxLength(), limit);
        QCOMPARE(e->echoMode() == QLineEdit::Password, !echo.isEmpty());
        if (!echo.isEmpty()) {
            QStyleOptionFrame opt;
            opt.initFrom(e);
            QCOMPARE(QChar(char16_t(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, &opt, e))), echo.at(0));
        }
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("product name") << "AboutBox" << "AppName" << "Arial" << 12 << true << false << QColor(130, 99, 81);
        QTest::newRow("notice") << "AboutBox" << "Version" << "MS Sans Serif" << 8 << true << false << QColor(128, 128, 128);
        QTest::newRow("address") << "AboutBox" << "email" << "MS Sans Serif" << 8 << false << false << QColor(130, 0, 3);
        QTest::newRow("legal") << "AboutBox" << "Memo1" << "MS Sans Serif" << 8 << false << false << QColor(96, 96, 96);
        QTest::newRow("note") << "fSearchForm" << "Label5" << "MS Sans Serif" << -1 << false << true << QColor(128, 128, 128);
        QTest::newRow("comparison") << "fSearchForm" << "lblException" << "MS Sans Serif" << -1 << true << false << QColor(255, 0, 0);
        QTest::newRow("subtitle") << "fUniversalReport" << "QRLabel20" << "Arial" << 16 << true << true << QColor(0, 0, 128);
        QTest::newRow("mark") << "fUniversalReport" << "QRLabel19" << "Arial" << 8 << false << false << QColor(0, 0, 128);
        QTest::newRow("date caption") << "fUniversalReport" << "QRLabel23" << "Arial" << 8 << true << false << QColor(Qt::black);
        QTest::newRow("slot title") << "fUniversalReport" << "QRLabel7" << "Arial" << 8 << false << false << QColor(Qt::black);
        QTest::newRow("slot cell") << "fUniversalReport" << "QRExpr18" << "Arial" << 8 << false << false << QColor(Qt::black);
    }

    void fonts()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(int, points);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(QColor, colour);
        auto *w = form(window)->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(w->font().family(), family);
        if (points > 0)
            QCOMPARE(w->font().pointSize(), points);
        else
            QCOMPARE(w->font().pixelSize(), 11);
        QCOMPARE(w->font().bold(), bold);
        QCOMPARE(w->font().italic(), italic);
        const QPalette::ColorRole role = qobject_cast<QPlainTextEdit *>(w) ? QPalette::Text : QPalette::WindowText;
        QCOMPARE(w->palette().color(w->isEnabled() ? QPalette::Active : QPalette::Disabled, role), colour);
    }

    // The report's 19 column slots, in the order the bands hold them, start from slot 0.
    void reportSlots()
    {
        QWidget *report = form(QStringLiteral("fUniversalReport"));
        for (const char *band : {"ColumnHeaderBand1", "DetailBand1"}) {
            auto *b = report->findChild<QWidget *>(QLatin1String(band));
            QVERIFY(b);
            const QList<QWidget *> items = namedChildren(b);
            QCOMPARE(items.size(), TfUniversalReport::SlotCount);
            const QString prefix = band == QByteArray("DetailBand1") ? QStringLiteral("QRExpr") : QStringLiteral("QRLabel");
            for (int i = 0; i < items.size(); ++i)
                QCOMPARE(items.at(i)->objectName(), prefix + QString::number(i));
        }
        auto *r = static_cast<TfUniversalReport *>(report);
        // Each title has its line along the bottom edge.
        r->show();
        const QImage header = r->ColumnHeaderBand1->grab().toImage();
        r->hide();
        for (QLabel *title : r->titleSlots) {
            const QRect g = title->geometry();
            QCOMPARE(QColor(header.pixel(g.center().x(), g.bottom())), QColor(Qt::black));
            QCOMPARE(QColor(header.pixel(g.center().x(), g.bottom() - 2)), QColor(Qt::white));
        }
        QCOMPARE(r->QRLabel0->x(), 1);
        QCOMPARE(r->QRExpr0->x(), 0);
        QCOMPARE(r->TitleBand1->width(), 740);
        QCOMPARE(r->DetailBand1->height(), 22);
    }

    void comparisonButtons()
    {
        auto *s = static_cast<TfSearchForm *>(form(QStringLiteral("fSearchForm")));
        QVERIFY(s->Equal->isChecked() && !s->Less->isChecked() && !s->More->isChecked());
        s->More->click();
        QVERIFY(s->More->isChecked() && !s->Equal->isChecked());
        s->More->click(); // pressing the button that is down keeps it down
        QVERIFY(s->More->isChecked());
        s->Equal->click();
        QVERIFY(!s->cbxStar->isChecked() && !s->cbxHide->isChecked());
    }

    // How a window closes: by a button, Esc or Enter in a box, or not at all.
    void closing_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key"); // 0: click the control
        QTest::addColumn<int>("result"); // -1: stays open
        QTest::newRow("pass yes") << "fPass" << "bYes" << 0 << int(QDialog::Accepted);
        QTest::newRow("pass cancel") << "fPass" << "bCancel" << 0 << int(QDialog::Rejected);
        QTest::newRow("pass enter") << "fPass" << "ePass" << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("pass esc") << "fPass" << "ePass" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("about ok") << "AboutBox" << "bOk" << 0 << int(QDialog::Accepted);
        QTest::newRow("about esc") << "AboutBox" << "bOk" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("search exit") << "fSearchForm" << "bCancel" << 0 << int(QDialog::Rejected);
        QTest::newRow("search enter") << "fSearchForm" << "eID" << int(Qt::Key_Return) << -1;
        QTest::newRow("search esc") << "fSearchForm" << "cbxUnitName" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("users cancel") << "fFiters" << "bCancel" << 0 << int(QDialog::Rejected);
        QTest::newRow("users enter") << "fFiters" << "DBEdit2" << int(Qt::Key_Return) << -1;
        QTest::newRow("models exit") << "fModels" << "bCancel" << 0 << int(QDialog::Rejected);
        QTest::newRow("models esc") << "fModels" << "tbxSearchValue" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("editor exit") << "fEditor" << "bCancel" << 0 << int(QDialog::Rejected);
        QTest::newRow("editor enter") << "fEditor" << "eQuantity" << int(Qt::Key_Return) << -1;
        QTest::newRow("editor esc") << "fEditor" << "eDeliverNum" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("picker esc") << "fMarkAndModels" << "eFirstDate" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("picker enter") << "fMarkAndModels" << "eLastDate" << int(Qt::Key_Return) << -1;
    }

    void closing()
    {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(int, result);
        QDialog *w = form(window);
        w->open();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto *c = w->findChild<QWidget *>(control);
        QVERIFY(c);
        c->setFocus();
        if (key == 0)
            QTest::mouseClick(c, Qt::LeftButton);
        else
            QTest::keyClick(c, Qt::Key(key));
        QCOMPARE(w->isVisible(), result == -1);
        if (result != -1)
            QCOMPARE(w->result(), result);
        w->hide();
    }

    void reportNeedsPrinter()
    {
        const int windowsBefore = int(QApplication::topLevelWidgets().size());
        TfUniversalReport::setPrinterSource([] {
            auto p = std::make_unique<StandInPrinter>(QList<QPageSize>{QPageSize(QPageSize::Letter)});
            p->refuseAll = true;
            return p;
        });
        try {
            TfUniversalReport refused;
            QFAIL("a printer that takes no page layout must stop the report window");
        } catch (const DaoError &e) {
            QCOMPARE(e.message(), QStringLiteral("Драйвера на принтера не поддържа този режим!"));
        }
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windowsBefore);

        // The real printer again: this platform's printer (PDF when none is installed) takes Letter.
        TfUniversalReport::setPrinterSource({});
        TfUniversalReport real;
        QCOMPARE(real.pageLayout().pageSize().id(), QPageSize::Letter);
        QCOMPARE(TfUniversalReport::designLayout().pageSize().id(), QPageSize::Letter);
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
