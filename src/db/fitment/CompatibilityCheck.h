// The check of the rows' compatibility entries against the car catalogue: entries that name a
// make or model the catalogue does not have, or years that are not years, grouped by their text,
// with the nearest catalogue car proposed in the picker's form. Entries that read as plain free
// text (no years, no make near a catalogue make) are left alone.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace compatibility {

struct Entry;

struct CatalogueCar
{
    QString make;
    QString model;
    int first = 0; // 0: not given
    int last = 0;
};

struct Finding
{
    QString entry;       // as written, blanks collapsed
    QStringList problems; // "непозната марка", "непознат модел", "грешни години"
    QString proposal;    // the entry as the catalogue would have it; empty when none is clear
    QList<qint64> rows;  // the rows it occurs in, in the order they were given
};

class CompatibilityCheck
{
public:
    explicit CompatibilityCheck(const QList<CatalogueCar> &catalogue);

    // Checks one row's text.
    void addRow(qint64 id, const QString &text);
    // What was found, the entries in most rows first.
    QList<Finding> findings() const;

private:
    struct Make
    {
        QString name;
        QList<CatalogueCar> cars;
    };
    const Make *nearestMake(const QString &make) const;
    Finding check(const Entry &e) const;

    QMap<QString, Make> mMakes; // by folded name
    QStringList mMakeNames;
    QMap<QString, Finding> mFound; // by entry text
    QMap<QString, bool> mChecked;  // entry text -> whether it is a finding
};

// text with every entry that reads as entry (blanks collapsed) replaced by replacement; the
// separators and the other entries stay as they are.
QString replaceEntry(const QString &text, const QString &entry, const QString &replacement);

// Latin letters for Bulgarian ones (folded), so that "Опел" is near "Opel".
QString latin(const QString &folded);

} // namespace compatibility
