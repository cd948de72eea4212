// The regional forms of numbers and dates (decimal separator, short date, long time), from the
// system locale; tests pin one with setLocale. Grid, fields and clipboard all use these.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace regional {

QLocale locale();
void setLocale(const QLocale &locale);

// The C library formats and reads numbers in its numeric locale, which the application object
// sets from the system's (a Bulgarian one writes "10,5"). Files are written and read with the
// C forms: this sets the process's numeric locale back to "C"; the regional forms above come
// from QLocale and do not depend on it.
void keepCNumbers();

// The C numeric locale for this thread while it lives, whatever the process's is: for code that
// writes a file through a C library.
class CNumbers
{
public:
    CNumbers();
    ~CNumbers();
    CNumbers(const CNumbers &) = delete;
    CNumbers &operator=(const CNumbers &) = delete;

private:
    void *mOld = nullptr;
    void *mC = nullptr;
};

QChar decimalSeparator();

// General format: up to 15 significant digits, the regional decimal separator, no grouping.
QString formatNumber(double value);
// A number in the regional form only: digits with the regional decimal separator (a "." is
// refused where the separator is another character), optional sign and exponent, surrounding
// blanks; no grouping. False, and *value untouched, for anything else.
bool parseNumber(const QString &text, double *value);

QString shortDateFormat();
QString longTimeFormat();
// Short date followed by the long time, as the grid and the text conversions show date-times.
QString formatDateTime(const QDateTime &value);
// The regional form (with or without the time), then ISO forms.
QDateTime parseDateTime(const QString &text);

} // namespace regional
