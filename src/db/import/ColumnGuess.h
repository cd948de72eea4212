// Which inventory field a file's column holds, guessed from its heading: the field names (as the
// export writes them), the grid's Bulgarian titles and the headings suppliers use, compared
// without regard to letter case, spaces and punctuation.
#pragma once

#include <QStringList>
#include <QVariantList>

namespace columnguess {

// The heading as compared: lower case, letters and digits only ("№" counts as a letter).
QString key(const QString &heading);
// The field a heading names, or an empty text.
QString fieldFor(const QString &heading);
// The field of each column of a heading row; a field goes to the first column that names it,
// later ones get an empty text (not imported).
QStringList guess(const QStringList &headings);
// Whether a row looks like headings: at least two of its cells name a field, and none is a number.
bool looksLikeHeadings(const QVariantList &cells);

} // namespace columnguess
