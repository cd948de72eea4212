// A cell of a file to import as the value of an inventory field: numbers from typed cells and in
// the regional form, dates from typed cells and the regional text form, yes/no from typed cells
// and words; what does not convert is refused with the reason, text too long for its field is cut
// with a warning (never silently).
#pragma once

#include "engine/FieldType.h"

#include <QString>
#include <QVariant>

namespace cellvalue {

struct Converted
{
    QVariant value;  // typed as the dataset layer takes it; invalid for an empty cell
    QString refusal; // why the cell cannot be imported ("очаква се число, намерено „12,5 лв“")
    QString warning; // imported, but not as it stood
};

// The forms text cells are read in: the regional ones, or those of the program's own export
// (numbers with ".", dates as "yyyy-MM-dd HH:mm:ss").
enum class Form { Regional, Export };

// cell as the readers give it; size: the field's width in characters, for text.
Converted convert(const QVariant &cell, TFieldType type, int size, Form form = Form::Regional);

} // namespace cellvalue
