// A real number as an SQLite file gives it as text: SQLite's own printing with 15 significant
// digits and always a decimal point ("10.0", "0.3", "1.0e+20"), rounded as SQLite rounds.
#pragma once

#include <QByteArray>

// Appends v's text to out; infinities are "Inf" and "-Inf", negative zero "0.0".
void appendSqliteRealText(QByteArray &out, double v);
