// Program entry. Until the main window arrives it opens the shop's database, made from the
// template when missing, and tells how many rows it holds.
#include "DaoError.h"
#include "uDM.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TDM dm;
    DM = &dm;
    const QString templ = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../Sys/EmptyBase.bck"));
    if (QFile::exists(templ) && !QFile::exists(QStringLiteral("Velostok.mdb")))
        QFile::copy(templ, QStringLiteral("Velostok.mdb"));
    QString text;
    try {
        dm.DataBase->Open();
        for (TDaoTable *t : dm.connectOrder())
            t->Open();
        text = QStringLiteral("Velostok v1.4\n%1\nЗаписи: %2, модели: %3")
                   .arg(dm.DataBase->Database())
                   .arg(dm.tblMain->RecordCount())
                   .arg(dm.tblModels->RecordCount());
    } catch (const DaoError &e) {
        text = QStringLiteral("Не може да се установи връзка с базата или тя е повредена !\n") + e.message();
    }
    QLabel label(text);
    label.setObjectName(QStringLiteral("placeholder"));
    label.setMargin(12);
    label.show();
    return app.exec();
}
