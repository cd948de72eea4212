// Parsing of sort texts and their ORDER BY list.
#include "filter/SortExpression.h"

#include "filter/FilterLexer.h"
#include "engine/SqlDialect.h"

using namespace filtertext;

SortExpression SortExpression::parse(const QString &text)
{
    SortExpression result;
    FilterLexer lex(text, QStringLiteral("Грешка в сортирането при знак %1: %2"));
    const QString end = QStringLiteral("края на сортирането");
    for (;;) {
        const Token t = lex.take();
        if (t.kind == Tok::End)
            break; // empty text, or a trailing comma
        if (t.kind != Tok::Bracket && t.kind != Tok::Name)
            lex.fail(t.pos, QStringLiteral("очаква се име на поле вместо ") + describe(t, end));
        Term term;
        term.column = t.text;
        if (isKeyword(lex.peek(), "ASC")) {
            lex.take();
        } else if (isKeyword(lex.peek(), "DESC")) {
            lex.take();
            term.descending = true;
        }
        result.mTerms.push_back(term);
        result.mPositions.push_back(t.pos);
        const Token sep = lex.take();
        if (sep.kind == Tok::End)
            break;
        if (sep.kind != Tok::Comma) {
            lex.fail(sep.pos, QStringLiteral("очаква се „,“, ASC, DESC или край вместо ")
                                  + describe(sep, end));
        }
    }
    return result;
}

QString SortExpression::toSql(const SqlDialect &dialect, const ColumnResolver &resolver) const
{
    QString sql;
    for (size_t i = 0; i < mTerms.size(); ++i) {
        const ColumnInfo info = resolve(resolver, mTerms[i].column, "в сортирането", mPositions[i]);
        if (i > 0)
            sql += QStringLiteral(", ");
        sql += dialect.sortTerm(dialect.quoteIdentifier(info.name), info.isText, mTerms[i].descending);
    }
    return sql;
}
