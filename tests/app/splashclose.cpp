// Helper process for the start-up test: shows the splash, holds something whose clean-up would
// leave a mark, and chooses "Close" from the picture's menu. With --hold it only shows the
// splash (for looking at it).
#include "Startup.h"
#include "TApplication.h"
#include "uSplashForm.h"

#include <QAction>
#include <QFile>
#include <QTimer>

namespace {
struct Mark
{
    QString path;
    ~Mark()
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("cleaned up");
    }
};
} // namespace

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    Startup::setupFonts();
    Mark mark{QString::fromLocal8Bit(argc > 1 ? argv[1] : "mark")};
    TfSplashForm splash;
    splash.show();
    if (argc < 2 || qstrcmp(argv[1], "--hold") != 0)
        QTimer::singleShot(0, &splash, [&] { splash.Close1->trigger(); });
    app.exec();
    return 3; // not reached when Close ends the process
}
