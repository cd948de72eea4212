// Program entry. The start-up sequence and the main window arrive with the next step.
#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Velostok v1.4"));
    label.setObjectName(QStringLiteral("placeholder"));
    label.resize(320, 80);
    label.show();
    return app.exec();
}
