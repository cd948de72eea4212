// Recursive-descent parser of filter texts, and their translation to parameterised SQL.
#include "filter/FilterExpression.h"

#include "filter/FilterLexer.h"
#include "filter/JetPattern.h"
#include "base/TextFold.h"
#include "engine/SqlDialect.h"

#include <QLocale>
#include <vector>

struct FilterExpression::Node
{
    enum class Type { Column, Integer, Real, Text, Boolean, Null, Not, And, Or, Compare, Like, IsNull, Fits };

    explicit Node(Type t) : type(t) {}

    Type type;
    int position = 0; // of the token that made the node
    int height = 1;
    QString text;     // Column: the name as written; Text: the value; Compare: the operator; Fits: the make
    QString model;    // Fits: the model, empty for any
    qint64 integer = 0;
    double real = 0;
    bool flag = false; // Boolean: the value; Like, IsNull: negated
    std::shared_ptr<const Node> left;
    std::shared_ptr<const Node> right;
};

namespace {

using namespace filtertext;
using Node = FilterExpression::Node;
using NodePtr = std::shared_ptr<const Node>;
using Type = Node::Type;

// Limits far above what the program writes. The height keeps the recursive printer and
// destructor and the engine's expression depth (1000) safe; the nesting of parentheses and NOTs
// keeps the SQL inside the engine's parser stack (100 entries; up to five per level, so 17 levels
// would just fit).
constexpr int kMaxHeight = 200;
constexpr int kMaxNesting = 12;

class FilterParser
{
public:
    explicit FilterParser(const QString &text)
        : mLex(text, QStringLiteral("Грешка във филтъра при знак %1: %2"))
    {
    }

    NodePtr parse()
    {
        NodePtr root = parseOr();
        const Token &t = mLex.peek();
        if (t.kind != Tok::End) {
            mLex.fail(t.pos, QStringLiteral("очаква се AND, OR или край на филтъра вместо ")
                                 + describe(t, QString()));
        }
        requireCondition(root);
        return root;
    }

private:
    static QString endText() { return QStringLiteral("края на филтъра"); }

    NodePtr make(Node node)
    {
        int h = 0;
        if (node.left)
            h = node.left->height;
        if (node.right)
            h = std::max(h, node.right->height);
        node.height = h + 1;
        if (node.height > kMaxHeight)
            mLex.fail(node.position, QStringLiteral("филтърът е твърде сложен"));
        return std::make_shared<const Node>(std::move(node));
    }

    NodePtr makeBinary(Type type, int pos, NodePtr left, NodePtr right, const QString &text = {})
    {
        Node n(type);
        n.position = pos;
        n.text = text;
        n.left = std::move(left);
        n.right = std::move(right);
        return make(std::move(n));
    }

    // A text cannot stand for a condition; this is also what a stray quote in a search value
    // usually leaves behind ("[a] LIKE "x" OR "y*"").
    void requireCondition(const NodePtr &node) const
    {
        if (node->type == Type::Text) {
            mLex.fail(node->position, QStringLiteral("очаква се условие вместо текста ")
                                          + quoted(node->text));
        }
    }

    void enter(int pos)
    {
        if (++mNesting > kMaxNesting)
            mLex.fail(pos, QStringLiteral("филтърът е твърде сложен"));
    }

    NodePtr parseOr()
    {
        NodePtr left = parseAnd();
        while (isKeyword(mLex.peek(), "OR")) {
            const Token op = mLex.take();
            NodePtr right = parseAnd();
            requireCondition(left);
            requireCondition(right);
            left = makeBinary(Type::Or, op.pos, left, right);
        }
        return left;
    }

    NodePtr parseAnd()
    {
        NodePtr left = parseNot();
        while (isKeyword(mLex.peek(), "AND")) {
            const Token op = mLex.take();
            NodePtr right = parseNot();
            requireCondition(left);
            requireCondition(right);
            left = makeBinary(Type::And, op.pos, left, right);
        }
        return left;
    }

    NodePtr parseNot()
    {
        if (isKeyword(mLex.peek(), "NOT")) {
            const Token op = mLex.take();
            enter(op.pos);
            NodePtr operand = parseNot();
            --mNesting;
            requireCondition(operand);
            return makeBinary(Type::Not, op.pos, operand, nullptr);
        }
        return parseCompare();
    }

    NodePtr parseCompare()
    {
        NodePtr left = parseOperand();
        const Token &t = mLex.peek();
        if (t.kind == Tok::Op) {
            const Token op = mLex.take();
            NodePtr right = parseOperand();
            return makeBinary(Type::Compare, op.pos, left, right, op.text);
        }
        bool negated = false;
        if (isKeyword(t, "NOT")) {
            mLex.take();
            if (!isKeyword(mLex.peek(), "LIKE")) {
                const Token &after = mLex.peek();
                mLex.fail(after.pos, QStringLiteral("след NOT се очаква LIKE вместо ")
                                         + describe(after, endText()));
            }
            negated = true;
        }
        if (isKeyword(mLex.peek(), "LIKE")) {
            const Token op = mLex.take();
            NodePtr pattern = parseOperand();
            if (pattern->type == Type::Text) {
                QString error;
                if (!JetPattern::compile(pattern->text, &error))
                    mLex.fail(pattern->position, QStringLiteral("невалиден шаблон: ") + error);
            }
            Node n(Type::Like);
            n.position = op.pos;
            n.flag = negated;
            n.left = left;
            n.right = pattern;
            return make(std::move(n));
        }
        if (isKeyword(mLex.peek(), "IS")) {
            const Token op = mLex.take();
            bool isNot = false;
            if (isKeyword(mLex.peek(), "NOT")) {
                mLex.take();
                isNot = true;
            }
            const Token &tail = mLex.peek();
            if (!isKeyword(tail, "NULL")) {
                mLex.fail(tail.pos, QStringLiteral("след IS се очаква NULL или NOT NULL вместо ")
                                        + describe(tail, endText()));
            }
            mLex.take();
            Node n(Type::IsNull);
            n.position = op.pos;
            n.flag = isNot;
            n.left = left;
            return make(std::move(n));
        }
        return left;
    }

    NodePtr number(const Token &t, bool negative)
    {
        Node n(Type::Integer);
        n.position = t.pos;
        const QString digits = negative ? QLatin1Char('-') + t.text : t.text;
        bool ok = false;
        if (t.kind == Tok::Integer)
            n.integer = digits.toLongLong(&ok);
        if (!ok) { // a decimal, or an integer too long for 64 bits
            n.type = Type::Real;
            n.real = digits.toDouble();
        }
        return make(std::move(n));
    }

    NodePtr parseOperand()
    {
        const Token t = mLex.take();
        switch (t.kind) {
        case Tok::Bracket: {
            Node n(Type::Column);
            n.position = t.pos;
            n.text = t.text;
            return make(std::move(n));
        }
        case Tok::Name: {
            if (isKeyword(t, "FITS") && mLex.peek().kind == Tok::LParen)
                return parseFits(t);
            Node n(Type::Column);
            n.position = t.pos;
            if (isKeyword(t, "TRUE") || isKeyword(t, "FALSE")) {
                n.type = Type::Boolean;
                n.flag = isKeyword(t, "TRUE");
            } else if (isKeyword(t, "NULL")) {
                n.type = Type::Null;
            } else if (isKeyword(t, "AND") || isKeyword(t, "OR") || isKeyword(t, "NOT")
                       || isKeyword(t, "LIKE") || isKeyword(t, "IS")) {
                mLex.fail(t.pos, QStringLiteral("очаква се поле или стойност вместо ")
                                     + describe(t, endText()));
            } else {
                n.text = t.text;
            }
            return make(std::move(n));
        }
        case Tok::Integer:
        case Tok::Real:
            return number(t, false);
        case Tok::Minus: {
            const Token &digits = mLex.peek();
            if (digits.kind != Tok::Integer && digits.kind != Tok::Real) {
                mLex.fail(digits.pos, QStringLiteral("след „-“ се очаква число вместо ")
                                          + describe(digits, endText()));
            }
            return number(mLex.take(), true);
        }
        case Tok::String: {
            Node n(Type::Text);
            n.position = t.pos;
            n.text = t.text;
            return make(std::move(n));
        }
        case Tok::LParen: {
            enter(t.pos);
            NodePtr inner = parseOr();
            --mNesting;
            const Token &close = mLex.peek();
            if (close.kind == Tok::End)
                mLex.fail(t.pos, QStringLiteral("незатворена скоба „(“, очаква се „)“"));
            if (close.kind != Tok::RParen)
                mLex.fail(close.pos, QStringLiteral("очаква се „)“ вместо ") + describe(close, {}));
            mLex.take();
            return inner;
        }
        case Tok::End:
            mLex.fail(t.pos, QStringLiteral("неочакван край на филтъра"));
        default:
            mLex.fail(t.pos, QStringLiteral("очаква се поле или стойност вместо ")
                                 + describe(t, endText()));
        }
    }

    // FITS("make", "model", year): the rows with a compatibility entry of that car; an empty
    // model and the year 0 stand for any.
    NodePtr parseFits(const Token &head)
    {
        const QString usage = QStringLiteral(": FITS(\"марка\", \"модел\", година)");
        auto expect = [&](Tok kind, const char *what) {
            const Token t = mLex.take();
            if (t.kind != kind)
                mLex.fail(t.pos, QStringLiteral("очаква се %1 вместо ").arg(QString::fromUtf8(what))
                                     + describe(t, endText()) + usage);
            return t;
        };
        expect(Tok::LParen, "„(“");
        const Token mark = expect(Tok::String, "марка в кавички");
        if (mark.text.trimmed().isEmpty())
            mLex.fail(mark.pos, QStringLiteral("марката не може да е празна") + usage);
        expect(Tok::Comma, "„,“");
        const Token model = expect(Tok::String, "модел в кавички");
        expect(Tok::Comma, "„,“");
        const Token year = expect(Tok::Integer, "година");
        const int y = year.text.size() <= 4 ? year.text.toInt() : -1;
        if (y != 0 && (y < 1886 || y > 2100))
            mLex.fail(year.pos, QStringLiteral("годината трябва да е от 1886 до 2100 или 0 за всяка"));
        expect(Tok::RParen, "„)“");
        Node n(Type::Fits);
        n.position = head.pos;
        n.text = mark.text;
        n.model = model.text;
        n.integer = y;
        return make(std::move(n));
    }

    FilterLexer mLex;
    int mNesting = 0;
};

QString dumpNode(const Node &n)
{
    auto bin = [&](const QString &head) {
        QString s = QLatin1Char('(') + head + QLatin1Char(' ') + dumpNode(*n.left);
        if (n.right)
            s += QLatin1Char(' ') + dumpNode(*n.right);
        return s + QLatin1Char(')');
    };
    switch (n.type) {
    case Type::Column:
        return QLatin1Char('[') + n.text + QLatin1Char(']');
    case Type::Integer:
        return QString::number(n.integer);
    case Type::Real:
        return QString::number(n.real, 'g', QLocale::FloatingPointShortest);
    case Type::Text:
        return QLatin1Char('"') + QString(n.text).replace(QLatin1Char('"'), QStringLiteral("\"\""))
               + QLatin1Char('"');
    case Type::Boolean:
        return n.flag ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Null:
        return QStringLiteral("Null");
    case Type::Not:
        return bin(QStringLiteral("NOT"));
    case Type::And:
        return bin(QStringLiteral("AND"));
    case Type::Or:
        return bin(QStringLiteral("OR"));
    case Type::Compare:
        return bin(n.text);
    case Type::Like:
        return bin(n.flag ? QStringLiteral("NOT LIKE") : QStringLiteral("LIKE"));
    case Type::IsNull:
        return bin(n.flag ? QStringLiteral("IS NOT NULL") : QStringLiteral("IS NULL"));
    case Type::Fits:
        return QStringLiteral("(FITS \"%1\" \"%2\" %3)").arg(n.text, n.model).arg(n.integer);
    }
    return {};
}

class SqlWriter
{
public:
    SqlWriter(const SqlDialect &dialect, const ColumnResolver &resolver) : mDialect(dialect), mResolver(resolver) {}

    QVariantList params;
    bool fitment = false;

    // The SQL of n, appending its parameters in the order their "?" appear.
    QString expr(const Node &n, bool *isText = nullptr)
    {
        if (isText)
            *isText = false;
        switch (n.type) {
        case Type::Column: {
            const ColumnInfo info = resolve(mResolver, n.text, "във филтъра", n.position);
            if (isText)
                *isText = info.isText;
            return mDialect.quoteIdentifier(info.name);
        }
        case Type::Integer:
            return bind(QVariant::fromValue(n.integer));
        case Type::Real:
            return bind(QVariant::fromValue(n.real));
        case Type::Text:
            if (isText)
                *isText = true;
            return bind(QVariant::fromValue(n.text));
        case Type::Boolean:
            return bind(mDialect.booleanValue(n.flag));
        case Type::Null:
            return QStringLiteral("NULL");
        case Type::Not:
            return QStringLiteral("(NOT ") + expr(*n.left) + QLatin1Char(')');
        case Type::And:
        case Type::Or: {
            // A chain of one operator is written flat: nesting it would overflow the
            // engine's parser stack after a hundred terms, and AND and OR are associative.
            std::vector<const Node *> operands;
            gather(n, n.type, operands);
            const QString op = n.type == Type::And ? QStringLiteral(" AND ") : QStringLiteral(" OR ");
            QString sql = QStringLiteral("(");
            for (size_t i = 0; i < operands.size(); ++i) {
                if (i > 0)
                    sql += op;
                sql += expr(*operands[i]);
            }
            return sql + QLatin1Char(')');
        }
        case Type::Compare: {
            bool leftText = false;
            bool rightText = false;
            const QString l = expr(*n.left, &leftText);
            const QString r = expr(*n.right, &rightText);
            return QLatin1Char('(') + mDialect.comparison(l, leftText, n.text, r, rightText) + QLatin1Char(')');
        }
        case Type::Like: {
            // The pattern comes first in the call, so its parameters are bound first.
            const QString pattern = expr(*n.right);
            const QString value = expr(*n.left);
            const QString call = mDialect.patternMatch(pattern, value);
            return n.flag ? QStringLiteral("(NOT ") + call + QLatin1Char(')') : call;
        }
        case Type::IsNull:
            return QLatin1Char('(') + expr(*n.left)
                   + (n.flag ? QStringLiteral(" IS NOT NULL)") : QStringLiteral(" IS NULL)"));
        case Type::Fits: {
            // Only the inventory has compatibility texts and their index.
            resolve(mResolver, QStringLiteral("comment"), "във филтъра", n.position);
            fitment = true;
            QString sql = QStringLiteral("(%1 IN (SELECT row_id FROM fitment WHERE make = %2")
                              .arg(mDialect.rowKey(), bind(textfold::fold(n.text.simplified())));
            if (!n.model.trimmed().isEmpty())
                sql += QStringLiteral(" AND model = ") + bind(textfold::fold(n.model.simplified()));
            if (n.integer != 0) {
                sql += QStringLiteral(" AND year_from <= ") + bind(QVariant::fromValue(n.integer));
                sql += QStringLiteral(" AND year_to >= ") + bind(QVariant::fromValue(n.integer));
            }
            return sql + QStringLiteral("))");
        }
        }
        return {};
    }

private:
    static void gather(const Node &n, Type type, std::vector<const Node *> &out)
    {
        if (n.type != type) {
            out.push_back(&n);
            return;
        }
        gather(*n.left, type, out);
        gather(*n.right, type, out);
    }

    QString bind(QVariant value)
    {
        params.append(std::move(value));
        return QStringLiteral("?");
    }

    const SqlDialect &mDialect;
    const ColumnResolver &mResolver;
};

} // namespace

FilterExpression::FilterExpression() = default;

FilterExpression FilterExpression::parse(const QString &text)
{
    FilterExpression result;
    if (text.trimmed().isEmpty())
        return result;
    result.mRoot = FilterParser(text).parse();
    return result;
}

bool FilterExpression::isEmpty() const
{
    return !mRoot;
}

bool FilterExpression::usesFitment() const
{
    std::vector<const Node *> open{mRoot.get()};
    while (!open.empty()) {
        const Node *n = open.back();
        open.pop_back();
        if (!n)
            continue;
        if (n->type == Type::Fits)
            return true;
        open.push_back(n->left.get());
        open.push_back(n->right.get());
    }
    return false;
}

QString FilterExpression::dump() const
{
    return mRoot ? dumpNode(*mRoot) : QString();
}

SqlFragment FilterExpression::toSql(const SqlDialect &dialect, const ColumnResolver &resolver) const
{
    if (!mRoot)
        return {QStringLiteral("1"), {}};
    SqlWriter writer(dialect, resolver);
    SqlFragment out;
    out.sql = writer.expr(*mRoot);
    out.params = std::move(writer.params);
    out.fitment = writer.fitment;
    return out;
}

