// The engine-neutral parts of the inventory schema.
#include "engine/InventorySchema.h"

#include "base/DaoError.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

namespace inventoryschema {

QString firstUserSql()
{
    return QStringLiteral("INSERT INTO users (user_name, pass_stars, password, comment) "
                          "VALUES ('Admin', '', '', 'Администратор: сменете паролата')");
}

QString catalogueInsertSql()
{
    return QStringLiteral("INSERT INTO models (mark_name, model_name, first_date, last_date) VALUES (?, ?, ?, ?)");
}

void readCatalogue(const QString &path, const std::function<void(const CatalogueRow &)> &each)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        throw DaoError(QStringLiteral("Каталогът \"%1\" не може да бъде прочетен.").arg(path));
    QTextStream in(&f);
    in.setEncoding(QStringConverter::Utf8);
    in.readLine(); // heading
    int lineNo = 1;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNo;
        if (line.trimmed().isEmpty())
            continue;
        const QStringList cells = line.split(QLatin1Char('\t'));
        // The widths of mark_name and model_name.
        if (cells.size() != 4 || cells[0].size() > 20 || cells[1].size() > 30)
            throw DaoError(QStringLiteral("Грешен ред %1 в каталога \"%2\".").arg(lineNo).arg(path));
        each({cells[0], cells[1], cells[2].isEmpty() ? QVariant() : QVariant(cells[2].toLongLong()),
              cells[3].isEmpty() ? QVariant() : QVariant(cells[3].toLongLong())});
    }
}

} // namespace inventoryschema
