// The texts of a PostgreSQL server's failures, by their SQLSTATE.
#pragma once

#include <QByteArray>
#include <QString>

// The message shown for a failure with this SQLSTATE (five characters; empty for a connection
// that failed or was lost) and the server's own text.
QString pgErrorMessage(const QByteArray &sqlState, const QString &serverMessage);
