// Switching the main menu's captions from the language folders' caption files.
#include "AppFixture.h"
#include "Guard.h"
#include "MainMenus.h"
#include "MenuCaptions.h"
#include "TApplication.h"

#include <QAction>
#include <QMenu>
#include <QRandomGenerator>

class TestLanguages : public QObject
{
    Q_OBJECT

    static void write(AppFixture &f, const QString &language, const QByteArray &bytes)
    {
        QDir(f.root.path()).mkpath(language);
        QFile file(f.root.filePath(language + QStringLiteral("/Menu.set")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QString caption(const QString &name) { return fVelostok->action(name)->text(); }

    static QStringList captions()
    {
        QStringList out;
        for (const QString &n : MainMenus::mainMenuNames()) {
            const QAction *a = fVelostok->action(n);
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        return out;
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void captionFileRules()
    {
        AppFixture f;
        QVERIFY(f.start());
        const QStringList builtIn = captions();
        // No file: nothing changes; an empty file neither.
        fVelostok->English1Click();
        QCOMPARE(captions(), builtIn);
        write(f, QStringLiteral("Eng"), QByteArray());
        fVelostok->English1Click();
        QCOMPARE(captions(), builtIn);
        // Only Exit1, in another case, a caption with "=", a name with a blank, a repeated name.
        write(f, QStringLiteral("Eng"), QByteArray("EXIT1=E&xit = leave\r\nexit1=second\nFind1 =Find\rjunk line\r\n"));
        fVelostok->English1Click();
        QCOMPARE(caption(QStringLiteral("Exit1")), QStringLiteral("E&xit = leave"));
        QCOMPARE(caption(QStringLiteral("Find1")), QString());
        QCOMPARE(caption(QStringLiteral("Actions1")), QString());
        QVERIFY(!fVelostok->action(QStringLiteral("N7"))->isSeparator()); // its name is missing
        QCOMPARE(caption(QStringLiteral("Excel1")), QStringLiteral("Excel")); // deeper: untouched
        QCOMPARE(caption(QStringLiteral("Bulgarian1")), QStringLiteral("Bulgarian"));
        // Code page 1251, and "-" for a separator.
        write(f, QStringLiteral("Bul"), QByteArray("Exit1=\xc8\xe7&\xf5\xee\xe4\r\nN7=-\r\n"));
        fVelostok->Bulgarian1Click();
        QCOMPARE(caption(QStringLiteral("Exit1")), QStringLiteral("Из&ход"));
        QVERIFY(fVelostok->action(QStringLiteral("N7"))->isSeparator());
        // A folder in place of the file: the error is told, nothing changes; random bytes do no harm.
        QFile::remove(f.root.filePath(QStringLiteral("Eng/Menu.set")));
        QVERIFY(QDir(f.root.filePath(QStringLiteral("Eng"))).mkdir(QStringLiteral("Menu.set")));
        const QStringList before = captions();
        Guard::run([] { fVelostok->English1Click(); });
        QCOMPARE(f.prompts.messages.size(), 1);
        QCOMPARE(captions(), before);
        QByteArray noise(1 << 20, Qt::Uninitialized);
        QRandomGenerator r(11);
        for (char &c : noise)
            c = char(r.bounded(256));
        QVERIFY(MenuCaptions::parse(noise).size() >= 0);
    }

    void shippedFiles()
    {
        AppFixture f;
        QVERIFY(QDir(f.root.path()).mkpath(QStringLiteral("Bul")) && QDir(f.root.path()).mkpath(QStringLiteral("Eng")));
        QVERIFY(QFile::copy(QStringLiteral(VELOSTOK_ASSETS "/Bul/Menu.set"), f.root.filePath(QStringLiteral("Bul/Menu.set"))));
        QVERIFY(QFile::copy(QStringLiteral(VELOSTOK_ASSETS "/Eng/Menu.set"), f.root.filePath(QStringLiteral("Eng/Menu.set"))));
        QVERIFY(f.start());
        const QStringList builtIn = captions();
        fVelostok->English1Click();
        const QStringList english = captions();
        for (qsizetype i = 0; i < english.size(); ++i) {
            QVERIFY2(!english.at(i).isEmpty(), qPrintable(MainMenus::mainMenuNames().at(i)));
            QCOMPARE(english.at(i) == QLatin1String("-"), builtIn.at(i) == QLatin1String("-"));
        }
        QCOMPARE(caption(QStringLiteral("Actions1")), QStringLiteral("&Operations"));
        // Back to Bulgarian: every built-in caption, the shortcut padding included.
        fVelostok->Bulgarian1Click();
        QCOMPARE(captions(), builtIn);
        // The language is not kept: a new start shows the built-in captions.
        Startup::destroyAll();
        QVERIFY(f.start());
        QCOMPARE(captions(), builtIn);
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestLanguages t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_languages.moc"
