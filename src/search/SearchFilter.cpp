// Building the search window's filter expression.
#include "SearchFilter.h"

QStringList compatibilityWords(const QString &text)
{
    QStringList words;
    QString word;
    for (const QChar ch : text) {
        if (ch == QLatin1Char(' ') || ch == QLatin1Char(';') || ch == QLatin1Char('-') || ch == QLatin1Char('\r')
            || ch == QLatin1Char('\n')) {
            if (!word.isEmpty())
                words << std::exchange(word, QString());
        } else {
            word += ch;
        }
    }
    if (!word.isEmpty())
        words << word;
    return words;
}

QString searchFilter(const SearchCriteria &c)
{
    const QString w = c.fromStart ? QString() : QStringLiteral("*");
    const QChar q = QLatin1Char('"');
    QString e;
    QString s;
    if (!c.showDeleted) {
        e = QStringLiteral("[deleted]=False");
        s = QStringLiteral(" AND ");
    }
    const auto add = [&](const QString &term) {
        e += s + term;
        s = QStringLiteral(" AND ");
    };
    const auto like = [&](const char *field, const QString &text) {
        if (!text.isEmpty())
            add(QLatin1Char('[') + QLatin1String(field) + QStringLiteral("] LIKE ") + q + w + text + QLatin1Char('*') + q);
    };
    if (!c.id.isEmpty())
        add(QStringLiteral("[user_id]=") + c.id);
    if (!c.quantity.isEmpty())
        add(QStringLiteral("[quantity]") + c.comparison + c.quantity);
    like("unit_number", c.unitNumber);
    like("unit_name", c.unitName);
    like("deliver_name", c.deliverName);
    like("delivery_unit_number", c.deliverNumber);
    like("delivery_country", c.deliveryCountry);
    QString group;
    for (const QString &word : compatibilityWords(c.comment))
        group += (group.isEmpty() ? QString() : QStringLiteral(" OR ")) + QStringLiteral("[comment] LIKE ") + q + w + word
                 + QLatin1Char('*') + q;
    if (!group.isEmpty())
        e += s + QLatin1Char('(') + group + QLatin1Char(')');
    return e;
}
