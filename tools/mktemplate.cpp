// Build tool: writes the template database (Sys/EmptyBase.bck) from the schema and the catalogue.
#include "base/DaoError.h"
#include "sqlite/SqliteSchema.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: mktemplate OUT.bck CATALOGUE.tsv\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString tmp = out + QStringLiteral(".tmp");
    QFile::remove(tmp);
    try {
        sqliteschema::createDatabase(tmp, QString::fromLocal8Bit(argv[2]));
    } catch (const DaoError &e) {
        std::fprintf(stderr, "mktemplate: %s\n", e.what());
        QFile::remove(tmp);
        return 1;
    }
    QFile::remove(out);
    if (!QFile::rename(tmp, out)) {
        std::fprintf(stderr, "mktemplate: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
