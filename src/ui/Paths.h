// The program's two base folders: the program directory (the executable's, overridable for
// tests) and the working directory.
#pragma once

#include <QString>

namespace Paths {

QString programDir();
void setProgramDir(const QString &dir); // empty: the executable's folder again
// A path given relative to the program directory, with "\" taken as a separator.
QString fromProgramDir(const QString &relative);

// A path as stored in a setting: absolute, or relative to the working directory; "\" is a separator.
QString fromCurrentDir(const QString &path);

// A file of the program directory. One whose name differs only in letter case (written on a
// system that ignores case) is the same file.
QString programFile(const QString &name);

} // namespace Paths
