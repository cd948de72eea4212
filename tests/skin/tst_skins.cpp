// Skins: the start-up step with its default skin, the check box switching the look at once and
// excluding the language switch, "&Отказ" bringing a skin back, a skin picked with the browse
// button saved at once, and files that are no skins; reading a skin file within its limit.
#include "AppFixture.h"
#include "TApplication.h"
#include "SkinSheet.h"
#include "TDBGrid.h"
#include "TSkinData.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QMenuBar>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <cmath>
#include <map>

namespace {

double linear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
std::array<double, 3> rgb(const QColor &c) { return {linear(c.redF()), linear(c.greenF()), linear(c.blueF())}; }
double luminance(const QColor &c) { const auto [r, g, b] = rgb(c); return 0.2126 * r + 0.7152 * g + 0.0722 * b; }

// WCAG 2 contrast ratio.
double contrast(const QColor &a, const QColor &b)
{
    return (std::max(luminance(a), luminance(b)) + 0.05) / (std::min(luminance(a), luminance(b)) + 0.05);
}

// CIE76 colour difference: about 2 is just told apart, 20 at a glance.
double difference(const QColor &a, const QColor &b)
{
    auto lab = [](const QColor &c) {
        const auto [r, g, b] = rgb(c);
        auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
        const double x = f((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047), y = f(luminance(c)), z = f((0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883);
        return std::array<double, 3>{116 * y - 16, 500 * (x - y), 200 * (y - z)};
    };
    const auto p = lab(a), q = lab(b);
    return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
}

// A drawn cell's ground (its commonest colour) and text (the commonest of the others).
std::pair<QColor, QColor> groundAndText(const QImage &cell)
{
    std::map<QRgb, int> count;
    for (int i = 0; i < cell.width() * cell.height(); ++i)
        ++count[cell.pixel(i % cell.width(), i / cell.width())];
    auto commonest = [&] { return std::max_element(count.begin(), count.end(), [](auto a, auto b) { return a.second < b.second; })->first; };
    const QRgb ground = commonest();
    count.erase(ground);
    return {QColor(ground), QColor(count.empty() ? ground : commonest())};
}

} // namespace

class TestSkins : public QObject
{
    Q_OBJECT

    static void settingsFile(AppFixture &f, bool skins, const QString &skinPath, bool changeLanguage)
    {
        QFile file(f.bin(QStringLiteral("set.dll")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("Database=Velostok.mdb\r\nDAOVersion=3.6\r\nArchiveCount=3\r\nSkinPath=%1\r\nSP=No\r\n"
                                  "AutoArchive=No\r\nSpeedButtons=Yes\r\nPassByChange=No\r\nChangeLanguage=%2\r\nSkins=%3\r\n")
                       .arg(skinPath, changeLanguage ? QStringLiteral("Yes") : QStringLiteral("No"),
                            skins ? QStringLiteral("Yes") : QStringLiteral("No"))
                       .toUtf8());
    }

    static QString skin(AppFixture &f, const QString &name, const QByteArray &sheet)
    {
        QDir(f.root.path()).mkpath(QStringLiteral("Skins"));
        const QString path = f.root.filePath(QStringLiteral("Skins/") + name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(sheet);
        return path;
    }

    static QString savedSkinPath(AppFixture &f)
    {
        QFile file(f.bin(QStringLiteral("set.dll")));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith("SkinPath="))
                return QString::fromUtf8(line.mid(9)).trimmed();
        return QString();
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void startUpAndTheLanguageSwitch()
    {
        // Skins on, the configured file missing, the default one beside the program: it is shown,
        // and SkinPath is saved unchanged; the language switch is off even though the file wants it.
        AppFixture f;
        const QString fallback = skin(f, QStringLiteral("MySkin.skn"), "QPushButton { color: #123456; }");
        settingsFile(f, true, QStringLiteral("..\\Skins\\Missing.skn"), true);
        QVERIFY(f.start());
        QVERIFY(SkinData1->Active());
        QCOMPARE(QFileInfo(SkinData1->SkinFile()).canonicalFilePath(), QFileInfo(fallback).canonicalFilePath());
        QCOMPARE(qApp->styleSheet(), QStringLiteral("QPushButton { color: #123456; }"));
        QVERIFY(!fSettings->cbxChangeLanguage->isChecked() && !fSettings->cbxChangeLanguage->isEnabled());
        QVERIFY(!fVelostok->action(QStringLiteral("Language1"))->isVisible());
        fSettings->SaveSettings();
        QCOMPARE(savedSkinPath(f), QStringLiteral("..\\Skins\\Missing.skn"));
        // Unchecked: the platform's look at once; "&Отказ" brings the skin of the file back.
        fSettings->cbSkins->setChecked(false);
        QVERIFY(qApp->styleSheet().isEmpty());
        QVERIFY(fSettings->cbxChangeLanguage->isEnabled());
        fSettings->bCancelClick();
        QVERIFY(fSettings->cbSkins->isChecked());
        QVERIFY(SkinData1->Active());
        QVERIFY(!qApp->styleSheet().isEmpty());
    }

    void checkBoxAndBrowse()
    {
        // A run started with skins off: checking the box shows the skin SkinPath names.
        AppFixture f;
        skin(f, QStringLiteral("Mine.skn"), "QLineEdit { color: red; }");
        const QString dark = skin(f, QStringLiteral("Dark.skn"), "QWidget { background: #222; }");
        settingsFile(f, false, QStringLiteral("../Skins/Mine.skn"), true);
        QVERIFY(f.start());
        QVERIFY(qApp->styleSheet().isEmpty());
        QVERIFY(fSettings->cbxChangeLanguage->isChecked());
        fSettings->cbSkins->setChecked(true);
        QCOMPARE(qApp->styleSheet(), QStringLiteral("QLineEdit { color: red; }"));
        QVERIFY(!fSettings->cbxChangeLanguage->isChecked());
        // The path is changed only through the dialog: typing is dropped, Enter opens it.
        fSettings->show();
        QTest::keyClicks(fSettings->eSkinPath, QStringLiteral("abc"));
        QCOMPARE(fSettings->eSkinPath->text(), QStringLiteral("../Skins/Mine.skn"));
        QTest::keyClick(fSettings->eSkinPath, Qt::Key_Return);
        QCOMPARE(f.prompts.fileRequests.size(), 1);
        QVERIFY(f.prompts.fileRequests.first().startsWith(QStringLiteral("open|Skins|*.skn|All files|*.*|")));
        QVERIFY(fSettings->isVisible()); // cancelled: nothing happens
        // Picked: shown at once, the window closes, the path is saved at once.
        f.prompts.fileAnswers = {dark};
        fSettings->btnSkinLoad->click();
        QVERIFY(!fSettings->isVisible());
        QCOMPARE(qApp->styleSheet(), QStringLiteral("QWidget { background: #222; }"));
        QCOMPARE(savedSkinPath(f), QFileInfo(dark).absoluteFilePath());
        QVERIFY(fSettings->SkinPicked);
        fSettings->bCancelClick();
        QVERIFY(!fSettings->SkinPicked);
        QCOMPARE(qApp->styleSheet(), QStringLiteral("QWidget { background: #222; }"));
    }

    void filesThatAreNoSkins()
    {
        AppFixture f;
        QVERIFY(f.start());
        TSkinData *s = SkinData1;
        s->setActive(true);
        // Too large: not read, the platform's look.
        const QString big = skin(f, QStringLiteral("Big.skn"), QByteArray(TSkinData::MaxSkinBytes + 1, 'x'));
        s->setSkinFile(big);
        QVERIFY(qApp->styleSheet().isEmpty());
        // Not a style sheet at all, random bytes: no crash, the windows still paint.
        QByteArray noise(4096, Qt::Uninitialized);
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 37 + 11) % 256);
        s->setSkinFile(skin(f, QStringLiteral("Noise.skn"), noise));
        fVelostok->grab();
        fSettings->grab();
        // A skin that hides all text: the settings window stays readable, so it can be switched off.
        s->setSkinFile(skin(f, QStringLiteral("Blind.skn"), "* { font-size: 1px; } QWidget { color: white; background: white; }"));
        QVERIFY(fSettings->cbSkins->fontInfo().pixelSize() >= 8);
        QVERIFY(std::abs(fSettings->cbSkins->palette().color(QPalette::WindowText).lightness()
                         - fSettings->cbSkins->palette().color(QPalette::Window).lightness()) >= 60);
        QVERIFY(fVelostok->menuBar()->fontInfo().pixelSize() < 8); // the rest shows the skin
        fSettings->cbSkins->setChecked(false);
        QVERIFY(qApp->styleSheet().isEmpty());
        QVERIFY(fSettings->styleSheet().isEmpty());
        // A missing file keeps the name only.
        s->setSkinFile(QStringLiteral("/nowhere/x.skn"));
        QCOMPARE(s->SkinFile(), QStringLiteral("/nowhere/x.skn"));
        s->setActive(false);
        QVERIFY(qApp->styleSheet().isEmpty());
    }

    // Normal, locked, deleted, and deleted and locked rows, plain and current (drawn selected), as
    // the grid draws them: without a skin in the form's colours; under each shipped skin each text
    // reads on its ground at 4.5:1 or more and stands apart from the other states' at a glance, the
    // deleted and locked row as the deleted one. A skin's colours go with it.
    void rowStates()
    {
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_name, locked, deleted) VALUES (1, 'Нормален', 0, 0), "
                              "(2, 'Заключен', 1, 0), (3, 'Изтрит', 0, 1), (4, 'Изтрит и заключен', 1, 1), (5, 'Променен', 0, 0)"));
        QVERIFY(f.start(true));
        TDBGrid *grid = fVelostok->DBGrid1;
        for (TColumn &c : grid->Columns())
            c.Font.setStyleStrategy(QFont::NoAntialias); // every pixel of a letter in the text's colour
        grid->columnsChanged();
        const char *states[] = {"normal", "locked", "deleted"};
        for (const QString &skin : {QStringLiteral("Dark"), QString(), QStringLiteral("MySkin"), QStringLiteral("HighContrast")}) {
            SkinData1->setSkinFile(QStringLiteral(VELOSTOK_ASSETS "/Skins/%1.skn").arg(skin));
            SkinData1->setActive(!skin.isEmpty());
            std::pair<QColor, QColor> drawn[2][4]; // [selected][row]: ground, text
            for (int k = 0; k < 8; ++k) {
                const int row = k % 4, sel = k / 4;
                DM->tblMain->setRecNo(sel ? row : (row + 1) % 4); // the current row is drawn selected
                const QRect cell = grid->visualRect(grid->model()->index(row, 2)).adjusted(1, 1, -1, -1);
                drawn[sel][row] = groundAndText(grid->viewport()->grab().toImage().copy(cell));
            }
            // A row another counter changed: its ground tinted, told apart at a glance, its text
            // as readable as the others'.
            for (int sel : {0, 1}) {
                DM->tblMain->setRecNo(sel ? 4 : 0);
                f.exec(QStringLiteral("UPDATE main SET quantity = %1 WHERE user_id = 5").arg(sel + (skin.size() + 1) * 10));
                QTRY_VERIFY_WITH_TIMEOUT(grid->gridModel()->markOf(4) > 0.8, 3000);
                const QRect cell = grid->visualRect(grid->model()->index(4, 2)).adjusted(1, 1, -1, -1);
                const auto [ground, text] = groundAndText(grid->viewport()->grab().toImage().copy(cell));
                const QString told = QStringLiteral("%1 changed%2: %3 against %4, text %5:1")
                                         .arg(skin, sel ? QStringLiteral(" selected") : QString())
                                         .arg(difference(ground, drawn[sel][0].first), 0, 'f', 1)
                                         .arg(drawn[sel][0].first.name())
                                         .arg(contrast(ground, text), 0, 'f', 2);
                QVERIFY2(difference(ground, drawn[sel][0].first) >= 15, qPrintable(told));
                QVERIFY2(skin.isEmpty() || contrast(ground, text) >= 4.5, qPrintable(told));
                qInfo("%s", qPrintable(told));
            }
            QString ratios = skin.isEmpty() ? QStringLiteral("no skin") : skin;
            for (int sel : {0, 1})
                for (int i = 0; i < 3; ++i) {
                    const auto [ground, text] = drawn[sel][i];
                    ratios += QStringLiteral(", %1%2 %3:1").arg(QLatin1String(states[i]), sel ? QStringLiteral(" selected") : QString()).arg(contrast(ground, text), 0, 'f', 2);
                    QVERIFY(drawn[sel][3] == drawn[sel][2] && ground != drawn[!sel][i].first);
                    QVERIFY2(skin.isEmpty() || contrast(ground, text) >= 4.5, qPrintable(ratios));
                    for (int j = 0; j < i && !skin.isEmpty(); ++j)
                        QVERIFY2(difference(text, drawn[sel][j].second) >= 20, qPrintable(ratios + QStringLiteral(" ~ ") + QLatin1String(states[j])));
                }
            qInfo("%s", qPrintable(ratios));
            if (skin.isEmpty()) {
                for (int i = 0; i < 3; ++i)
                    QCOMPARE(drawn[0][i], std::make_pair(QColor(192, 192, 192), QList<QColor>{QColor(255, 83, 83), Qt::black, Qt::white}.at(i)));
                QCOMPARE(drawn[1][1].second, QColor(Qt::black));
                QCOMPARE(drawn[1][2].second, QColor(Qt::white));
            }
        }
    }

    void readingStopsAtTheLimit()
    {
        // At most one byte past the limit is taken; exactly the limit is still a skin.
        QByteArray bytes(64, 'x');
        QBuffer device(&bytes);
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(SkinSheet::read(device, 64), std::optional<QString>(QString(64, QLatin1Char('x'))));
        device.seek(0);
        QCOMPARE(SkinSheet::read(device, 10), std::nullopt);
        QCOMPARE(device.pos(), 11);
        // A file that grew past the limit after its size was looked at is still refused.
        QByteArray grown(3 * SkinSheet::MaxBytes, 'y');
        QBuffer big(&grown);
        QVERIFY(big.open(QIODevice::ReadOnly));
        QCOMPARE(SkinSheet::read(big), std::nullopt);
        QCOMPARE(big.pos(), SkinSheet::MaxBytes + 1);
        // Code page 1251 whose one letter is the last byte: that letter is not lost.
        QByteArray cp1251("QLabel { color: red; } /* \xdf");
        QBuffer last(&cp1251);
        QVERIFY(last.open(QIODevice::ReadOnly));
        QCOMPARE(SkinSheet::read(last), std::optional<QString>(QStringLiteral("QLabel { color: red; } /* Я")));
        QByteArray utf8 = QStringLiteral("/* Я */").toUtf8();
        QBuffer whole(&utf8);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QCOMPARE(SkinSheet::read(whole), std::optional<QString>(QStringLiteral("/* Я */")));
    }

    void shippedSkinsCoverEveryControl()
    {
        for (const char *name : {"MySkin.skn", "Dark.skn", "HighContrast.skn"}) {
            QFile f(QStringLiteral(VELOSTOK_ASSETS "/Skins/") + QLatin1String(name));
            QVERIFY2(f.open(QIODevice::ReadOnly), name);
            const QString sheet = QString::fromUtf8(f.readAll());
            for (const char *kind : {"QMenuBar", "QMenu", "QToolBar", "QToolButton", "QComboBox", "QCheckBox", "QRadioButton",
                                     "QProgressBar", "QScrollBar", "QLineEdit", "QPushButton", "QFrame", "QGroupBox",
                                     "QStatusBar", "QTabBar", "QHeaderView"})
                QVERIFY2(sheet.contains(QLatin1String(kind)), qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name), QLatin1String(kind))));
        }
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestSkins t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_skins.moc"
