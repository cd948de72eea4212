// The texts of server failures, by class and code.
#include "postgresql/PgErrors.h"

QString pgErrorMessage(const QByteArray &sqlState, const QString &serverMessage)
{
    const QByteArray cls = sqlState.left(2);
    if (sqlState.isEmpty() || cls == "08" || sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03")
        return QStringLiteral("Няма връзка със сървъра на базата: %1").arg(serverMessage);
    if (sqlState == "55P03" || sqlState == "40P01" || sqlState == "40001")
        return QStringLiteral("Базата е заета от друг потребител. Опитайте отново след малко.");
    if (sqlState == "53100")
        return QStringLiteral("Дискът на сървъра е пълен: промените не могат да бъдат записани.");
    if (sqlState == "25006")
        return QStringLiteral("Базата е само за четене: промените не могат да бъдат записани.");
    if (cls == "23" || cls == "22")
        return QStringLiteral("Стойността не е допустима за базата: %1").arg(serverMessage);
    if (cls == "28")
        return QStringLiteral("Сървърът на базата отказа достъп: %1").arg(serverMessage);
    if (sqlState == "57014")
        return QStringLiteral("Заявката беше прекъсната.");
    return QStringLiteral("Грешка в базата данни: %1").arg(serverMessage);
}
