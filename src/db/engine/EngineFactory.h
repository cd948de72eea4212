// The choice of engine for a Database setting: the one unit that knows the engines.
#pragma once

#include "engine/DbEngine.h"

#include <QString>

#include <memory>

namespace engines {

// The engine for a Database setting: a file path for the embedded engine, a connection string
// (keywords or a postgresql:// URI) for a server.
std::unique_ptr<DbEngine> create(const QString &database);
// The engine of an inventory file, whatever the setting: a server inventory's archive copies and
// the template of a new inventory are files.
std::unique_ptr<DbEngine> createForFile();
// Whether a Database setting names a server rather than a file.
bool isServer(const QString &database);
// A Database setting as shown on screen: a server connection without its password.
QString shownName(const QString &database);
// Whether a Database setting holds a password (a server connection that names one).
bool holdsPassword(const QString &database);

} // namespace engines
