// Compatibility entries checked against the catalogue.
#include "fitment/CompatibilityCheck.h"

#include "base/TextFold.h"
#include "fitment/CompatibilityText.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace compatibility {

namespace {

QString folded(const QString &text) { return textfold::fold(text.simplified()); }

int distance(const QString &a, const QString &b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int up = row[size_t(j)];
            row[size_t(j)] = std::min({up + 1, row[size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row.back();
}

// Near enough to be a misspelling: a third of the letters at most.
bool near(const QString &typed, int d) { return d <= std::max<qsizetype>(1, typed.size() / 3); }

QString yearsText(int from, int to)
{
    if (from && from == to)
        return QString::number(from);
    return (from ? QString::number(from) : QString()) + QLatin1Char('-') + (to ? QString::number(to) : QString());
}

} // namespace

QString latin(const QString &text)
{
    static const char *const letters[] = {"a", "b", "v", "g", "d", "e", "zh", "z", "i", "y", "k", "l", "m", "n", "o", "p",
                                          "r", "s", "t", "u", "f", "h", "ts", "ch", "sh", "sht", "a", "", "y", "e", "yu", "ya"};
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x430 && u <= 0x44F)
            out += QLatin1String(letters[u - 0x430]);
        else
            out += c;
    }
    return out;
}

CompatibilityCheck::CompatibilityCheck(const QList<CatalogueCar> &catalogue)
{
    for (const CatalogueCar &car : catalogue) {
        const QString make = car.make.simplified();
        if (make.isEmpty())
            continue;
        Make &m = mMakes[folded(make)];
        if (m.name.isEmpty()) {
            m.name = make;
            mMakeNames << make;
        }
        if (!car.model.simplified().isEmpty())
            m.cars << CatalogueCar{make, car.model.simplified(), car.first, car.last};
    }
}

const CompatibilityCheck::Make *CompatibilityCheck::nearestMake(const QString &make) const
{
    const QString key = folded(make);
    if (auto it = mMakes.find(key); it != mMakes.end())
        return &*it;
    const QString typed = latin(key);
    const Make *best = nullptr;
    int bestDistance = INT_MAX;
    bool tie = false;
    for (const Make &m : mMakes) {
        const int d = distance(typed, latin(folded(m.name)));
        if (d < bestDistance) {
            best = &m;
            bestDistance = d;
            tie = false;
        } else if (d == bestDistance) {
            tie = true;
        }
    }
    return best && !tie && near(typed, bestDistance) ? best : nullptr;
}

Finding CompatibilityCheck::check(const Entry &e) const
{
    Finding f;
    f.entry = e.text;
    const Make *make = nearestMake(e.make);
    const bool knownMake = make && folded(make->name) == folded(e.make);
    // Free text: no years and nothing like a make of the catalogue.
    if (!make && e.years == Entry::Years::None)
        return f;
    if (!knownMake)
        f.problems << QStringLiteral("непозната марка");
    const CatalogueCar *modelYears = nullptr; // the one catalogue car the entry is nearest
    QString model; // the catalogue's name for the entry's model; empty when none is clear
    bool knownModel = e.model.isEmpty() || !make; // a model is looked for under a make
    if (make && !e.model.isEmpty()) {
        // The nearest model by name, a shortened name ("Golf" for "Golf III") counting as one
        // letter off; among equals, the one whose years are nearest the entry's.
        const QString typed = latin(folded(e.model));
        int bestName = INT_MAX, bestYears = INT_MAX;
        QList<const CatalogueCar *> best;
        for (const CatalogueCar &car : make->cars) {
            const QString name = latin(folded(car.model));
            const int d = name == typed ? 0 : name.startsWith(typed + QLatin1Char(' ')) ? 1 : int(distance(typed, name));
            if (d == 0 && folded(car.model) == folded(e.model))
                knownModel = true;
            int years = INT_MAX / 2;
            if (e.years == Entry::Years::Given && car.first)
                years = std::abs((e.from ? e.from : car.first) - car.first) + std::abs((e.to ? e.to : car.last) - car.last);
            if (d < bestName || (d == bestName && years < bestYears)) {
                best = {&car};
                bestName = d;
                bestYears = years;
            } else if (d == bestName && years == bestYears) {
                best << &car;
            }
        }
        if (best.size() == 1 && near(typed, bestName)) {
            model = best.first()->model;
            modelYears = best.first();
        } else if (best.size() > 1 && std::all_of(best.begin(), best.end(), [&](const CatalogueCar *car) {
                       return latin(folded(car->model)).startsWith(typed + QLatin1Char(' '));
                   })) {
            // A family of generations ("Astra F", "Astra G"): its name as the catalogue spells it,
            // as many words as the entry has.
            const qsizetype words = e.model.simplified().count(QLatin1Char(' ')) + 1;
            model = best.first()->model.section(QLatin1Char(' '), 0, int(words) - 1);
        }
    }
    if (!knownModel)
        f.problems << QStringLiteral("непознат модел");
    if (e.years == Entry::Years::Bad)
        f.problems << QStringLiteral("грешни години");
    if (f.problems.isEmpty() || !make || (!e.model.isEmpty() && model.isEmpty()) || e.text.contains(QLatin1Char('/')))
        return f;
    QString years;
    if (e.years == Entry::Years::Given)
        years = yearsText(e.from, e.to);
    else if (e.years == Entry::Years::Bad) {
        if (!modelYears || !modelYears->first)
            return f;
        years = yearsText(modelYears->first, modelYears->last);
    }
    f.proposal = make->name;
    if (!model.isEmpty())
        f.proposal += QLatin1Char(' ') + model;
    if (!years.isEmpty())
        f.proposal += QLatin1Char(' ') + years;
    if (f.proposal == e.text)
        f.proposal.clear();
    return f;
}

void CompatibilityCheck::addRow(qint64 id, const QString &text)
{
    const QList<Entry> entries = parse(text, mMakeNames);
    for (qsizetype i = 0; i < entries.size();) {
        // The models of a "/" list are one entry: a finding when any of them is.
        qsizetype end = i + 1;
        while (end < entries.size() && entries[end].text == entries[i].text)
            ++end;
        const QString &written = entries[i].text;
        auto seen = mChecked.find(written);
        if (seen == mChecked.end()) {
            Finding f = check(entries[i]);
            for (qsizetype j = i + 1; j < end; ++j)
                for (const QString &p : check(entries[j]).problems)
                    if (!f.problems.contains(p))
                        f.problems << p;
            const bool found = !f.problems.isEmpty();
            seen = mChecked.insert(written, found);
            if (found)
                mFound.insert(written, f);
        }
        if (*seen) {
            QList<qint64> &rows = mFound[written].rows;
            if (rows.isEmpty() || rows.last() != id)
                rows << id;
        }
        i = end;
    }
}

QList<Finding> CompatibilityCheck::findings() const
{
    QList<Finding> out = mFound.values();
    std::stable_sort(out.begin(), out.end(), [](const Finding &a, const Finding &b) { return a.rows.size() > b.rows.size(); });
    return out;
}

QString replaceEntry(const QString &text, const QString &entry, const QString &replacement)
{
    QString out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != QLatin1Char(';') && text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
            continue;
        const QString part = text.mid(start, i - start);
        out += part.simplified() == entry ? replacement : part;
        if (i < text.size())
            out += text[i];
        start = i + 1;
    }
    return out;
}

} // namespace compatibility
