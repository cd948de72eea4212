// The about window (mail link, copy, hover, web site, Help) and the help command with its
// fall-back to the read-me file; the shipped manual has a section for every main-menu entry.
#include "AppFixture.h"
#include "HelpViewer.h"
#include "MainMenus.h"
#include "TDBGrid.h"
#include "TApplication.h"
#include "uAbout.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>

class TestAbout : public QObject
{
    Q_OBJECT

    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void aboutWindow()
    {
        AppFixture f;
        QVERIFY(f.start());
        TAboutBox *a = AboutBox;
        a->show();
        // No mail program: the message; with one, the link only.
        f.prompts.openAnswer = false;
        QTest::mouseClick(a->email, Qt::LeftButton);
        QCOMPARE(f.prompts.opened, QStringList{QStringLiteral("mailto:") + a->email->text()
                                               + QStringLiteral("?subject=About Velostok version 1.0")});
        QCOMPARE(f.prompts.messages,
                 QStringList{QStringLiteral("За съжаление на компютъра Ви няма инсталиран клиент за електронна поща !\r     "
                                            "За да изпратите e-mail, копирайте адреса с десният бутон на мишката .")});
        f.prompts.openAnswer = true;
        a->Email1->trigger();
        QCOMPARE(f.prompts.messages.size(), 1);
        // "&Copy": the address alone.
        a->Copy1->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), a->email->text());
        QVERIFY(!QGuiApplication::clipboard()->text().contains(QLatin1String("mailto:")));
        // Hover: underlined over the address, not after the panel.
        QTest::mouseMove(a->email);
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), a->email->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(a->email, &move);
        QVERIFY(a->email->font().underline());
        QCOMPARE(a->email->cursor().shape(), Qt::PointingHandCursor);
        QMouseEvent panel(QEvent::MouseMove, QPointF(300, 180), a->AboutBox->mapToGlobal(QPointF(300, 180)), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(a->AboutBox, &panel);
        QVERIFY(!a->email->font().underline());
        // The product name opens the web site.
        QTest::mouseClick(a->AppName, Qt::LeftButton);
        QVERIFY(f.prompts.opened.last().startsWith(QLatin1String("http")));
        // Help with neither file: nothing opens, the window closes all the same.
        QVERIFY(!QFileInfo::exists(Help::helpFilePath()));
        a->bHelp->click();
        QVERIFY(!a->isVisible());
        QVERIFY(!Help::viewer()->isVisible());
        // The read-me file when the manual is missing.
        write(Help::readmePath(), "Velostok read-me");
        a->show();
        a->bHelp->click();
        QVERIFY(!a->isVisible());
        QTRY_VERIFY(Help::viewer()->isVisible());
        QCOMPARE(Help::viewer()->shownFile, Help::readmePath());
        QVERIFY(Help::viewer()->Browser->toPlainText().contains(QLatin1String("read-me")));
        // The manual when it is there, from the menu and with F1 at the matching section.
        write(Help::helpFilePath(), "<html><body><h1 id=\"start\">Начало</h1><h2 id=\"grid\">Таблица</h2></body></html>");
        fVelostok->Contents1Click();
        QCOMPARE(Help::viewer()->shownFile, Help::helpFilePath());
        QCOMPARE(Help::viewer()->Browser->source().fileName(), QStringLiteral("velostok.html"));
        fVelostok->DBGrid1->setFocus();
        fVelostok->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fVelostok));
        fVelostok->DBGrid1->setFocus();
        QTest::keyClick(fVelostok->DBGrid1, Qt::Key_F1);
        QCOMPARE(Help::viewer()->Browser->source().fragment(), QStringLiteral("grid"));
        delete Help::viewer();
    }

    void manualCoversEveryCommand()
    {
        QFile manual(QStringLiteral(VELOSTOK_ASSETS "/Help/velostok.html"));
        QVERIFY2(manual.open(QIODevice::ReadOnly), "the manual is shipped");
        const QString html = QString::fromUtf8(manual.readAll());
        for (const QString &name : MainMenus::mainMenuNames()) {
            if (name.startsWith(QLatin1Char('N')) && name.size() <= 3 && name != QLatin1String("N2"))
                continue; // separators
            QVERIFY2(html.contains(QStringLiteral("id=\"%1\"").arg(name)), qPrintable(name));
        }
        for (const char *section : {"start", "grid", "editor", "search", "models", "users", "settings", "files", "clipboard",
                                    "export", "printing", "languages", "skins", "messages"})
            QVERIFY2(html.contains(QStringLiteral("id=\"%1\"").arg(QLatin1String(section))), section);
        // Every picture it shows is shipped with it, a window's size (no screen grab), shown at
        // its own width: the viewer scales pictures without smoothing.
        static const QRegularExpression img(QStringLiteral("src=\"([^\"]+)\"(?: width=\"(\\d+)\")?"));
        for (auto it = img.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QImage picture(QStringLiteral(VELOSTOK_ASSETS "/Help/") + m.captured(1));
            QVERIFY2(!picture.isNull() && picture.width() <= 640 && m.captured(2).toInt() == picture.width(), qPrintable(m.captured(1)));
        }
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestAbout t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_about.moc"
