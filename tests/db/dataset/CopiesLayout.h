// The rows the several-copies test starts from, shared by the test and its worker (copyworker).
//   contested  ids 1..Contested: every copy edits unit_name; renumbering (filter "[id]<=8", in id
//              order) gives row p the number p; they start numbered Contested + 1 - p
//   doomed     the next Doomed ids: edited like the contested ones, and deleted by whichever copy
//              gets there first
//   owned      OwnedPerCopy rows for each of MaxCopies copies: only their copy writes them
// Every row but the contested ones keeps the number it starts with, so the largest number is
// always Numbered and appended rows must be numbered Numbered + 1, + 2, … in the order stored.
#pragma once

#include <QString>
#include <QStringList>

namespace copies {

constexpr int MaxCopies = 8;
constexpr int Contested = 8;
constexpr int Doomed = 6;
constexpr int OwnedPerCopy = 4;
constexpr int FirstDoomed = Contested + 1;
constexpr int FirstOwned = FirstDoomed + Doomed;
constexpr int Numbered = FirstOwned + MaxCopies * OwnedPerCopy - 1;

inline QString renumberFilter() { return QStringLiteral("[id]<=%1").arg(Contested); }

inline int firstOwnedBy(int copy) { return FirstOwned + copy * OwnedPerCopy; }

inline QString contestedName(int id) { return QStringLiteral("s%1").arg(id); }
inline QString doomedName(int id) { return QStringLiteral("d%1").arg(id); }
inline QString ownedComment(int id) { return QStringLiteral("o%1").arg(id); }

// The schema's rows as SQL.
inline QString startingRowsSql()
{
    QStringList values;
    for (int id = 1; id <= Contested; ++id)
        values << QStringLiteral("(%1, %2, '%3', NULL)").arg(id).arg(Contested + 1 - id).arg(contestedName(id));
    for (int id = FirstDoomed; id < FirstOwned; ++id)
        values << QStringLiteral("(%1, %1, '%2', NULL)").arg(id).arg(doomedName(id));
    for (int id = FirstOwned; id <= Numbered; ++id)
        values << QStringLiteral("(%1, %1, 'o', '%2')").arg(id).arg(ownedComment(id));
    return QStringLiteral("INSERT INTO main (id, user_id, unit_name, comment) VALUES ") + values.join(QStringLiteral(", "));
}

} // namespace copies
