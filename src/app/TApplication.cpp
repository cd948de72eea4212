// The application object that reports errors escaping event delivery.
#include "TApplication.h"

#include "AppLog.h"
#include "Guard.h"
#include "base/Regional.h"
#include "sqlite/SqliteConnection.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // Without TZ the C library reads the zone file again at every local-time conversion (a
    // stat each time): half of a renumbering's time went there, converting the rows' dates.
    // Named, the same zone file is read once.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // Set before anything opens a database.
    SqliteConnection::configureLibrary();
    // The application object took every locale category from the system; numbers in files stay
    // in the C form.
    regional::keepCNumbers();
    // The program speaks Bulgarian whatever the system's language.
    auto *qt = new QTranslator(this);
    if (qt->load(QLocale(QLocale::Bulgarian, QLocale::Bulgaria), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qt);
    else
        qCWarning(lcApp) << "Qt's Bulgarian translations were not found in" << QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        Guard::report(std::current_exception());
        return true;
    }
}
