// How a Database setting names an inventory file: paths stored by the older system (backslashes,
// a file system that ignores letter case), a file looked for beside the program, and a file the
// engine cannot open copied as it lies.
#pragma once

#include <QString>

namespace filenames {

// A stored path with forward slashes.
QString normalised(const QString &path);
// A missing file taken to be the one file of its folder whose name differs only in case; the
// path as it stands when there is none or more than one.
QString withFoundCase(const QString &path);
// The file to open for a setting: as found, else (when fallbackDir is named) the file of that
// name in fallbackDir.
QString locate(const QString &database, const QString &fallbackDir);
// The absolute path of a stored path.
QString absolute(const QString &path);
// Copies the file at source into the file at dest byte for byte; shownDest names dest in the
// messages (dest may be a temporary file). Raises DaoError.
void copyBytes(const QString &source, const QString &dest, const QString &shownDest);

} // namespace filenames
