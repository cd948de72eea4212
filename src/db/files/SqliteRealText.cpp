// A real number printed by SQLite itself.
#include "files/SqliteRealText.h"

#include <sqlite3.h>

void appendSqliteRealText(QByteArray &out, double v)
{
    char text[64];
    sqlite3_snprintf(int(sizeof text), text, "%!.15g", v);
    out.append(text);
}
