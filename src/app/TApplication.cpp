// The application object that reports errors escaping event delivery.
#include "TApplication.h"

#include "Guard.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        Guard::report(std::current_exception());
        return true;
    }
}
