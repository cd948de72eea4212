// The caption files of the main menu's languages ("..\<code>\Menu.set" beside the program's
// folder): lines of name "=" caption, in code page 1251 (UTF-8 is taken too).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace MenuCaptions {

// Captions by name, the name folded to lower case; the first line of a name wins; lines without
// "=" are left out. Lines end at CR LF, CR or LF.
QHash<QString, QString> parse(const QByteArray &bytes);
// Whether the text holds at least one line.
bool hasLines(const QByteArray &bytes);

} // namespace MenuCaptions
