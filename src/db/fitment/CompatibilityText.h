// The entries of a row's compatibility text, read back: the picker writes each as make, model,
// first and last year ("VW Golf 1991-1997;"); people type them with extra blanks, several models
// at once ("VW Golf/Jetta 1991-1997"), Cyrillic makes, open ranges ("2003-", "-1998"), one year,
// no years, or no ";" at the end.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace compatibility {

struct Entry
{
    enum class Years { None, Given, Bad };

    QString text;  // the entry as written, blanks collapsed, without its ";"
    QString make;  // the first word, or the longest known make the entry begins with
    QString model; // what lies between the make and the years (one model of a "/" list)
    Years years = Years::None;
    int from = 0; // first year; 0: open
    int to = 0;   // last year; 0: open

    // Whether the car of make and model built in year fits this entry (make and model compared
    // without regard to case; an empty model fits every model; year 0: any year).
    bool fits(const QString &make, const QString &model, int year) const;
};

// The entries of text, separated by ";" or line breaks; makes of more than one word are told
// from knownMakes (the catalogue's). Empty entries are left out.
QList<Entry> parse(const QString &text, const QStringList &knownMakes = {});

// A year as an entry may hold it: four digits from 1886 to 2100.
bool isYear(QStringView text);

} // namespace compatibility
