// The application object: an error that escapes any event delivery is reported like one that
// escapes a handler, so that no event handler takes the program down. Qt's own dialogs and
// buttons (file and print dialogs, OK and Cancel) speak Bulgarian, as the program does.
#pragma once

#include <QApplication>

class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
