// The program's two base folders: the program directory (the executable's, overridable for
// tests) and the working directory.
#pragma once

#include <QString>

namespace Paths {

QString programDir();
void setProgramDir(const QString &dir); // empty: the executable's folder again
// A path given relative to the program directory, with "\" taken as a separator.
QString fromProgramDir(const QString &relative);

} // namespace Paths
