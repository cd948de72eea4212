// A query read through COPY ... TO STDOUT.
#include "postgresql/PgCopyStatement.h"

#include "base/DaoError.h"

#include <cctype>
#include <cstring>
#include <utility>
#include <libpq-fe.h>

PgCopyStatement::PgCopyStatement(PgConnection &conn, const QString &sql) : PgStatement(conn, sql) {}

PgCopyStatement::~PgCopyStatement() { finish(); }

void PgCopyStatement::start()
{
    if (mParams > 0)
        throw DaoError(QStringLiteral("Грешка в базата данни: заявка с параметри не се чете с COPY."));
    mConn.ensureLive();
    // The columns' types, before the rows come in text form.
    describe();
    mTypes.clear();
    for (int i = 0; i < mDescription.columns(); ++i)
        mTypes.push_back(PQftype(mDescription.get(), i));
    mStarted = true;
    PgResult r(PQexec(mConn.handle(), ("COPY (" + mSql.toUtf8() + ") TO STDOUT").constData()));
    if (!r.get() || PQresultStatus(r.get()) != PGRES_COPY_OUT) {
        if (r.get() && PQresultStatus(r.get()) != PGRES_FATAL_ERROR)
            throw DaoError(QStringLiteral("Грешка в базата данни: сървърът не изпрати редовете."));
        mConn.raise(r.get());
    }
    mCopying = true;
}

bool PgCopyStatement::step()
{
    if (!mStarted)
        start();
    if (!mCopying)
        return false;
    if (++mRows % 4096 == 0 && mConn.stopAsked()) {
        finish();
        throw DaoError(QStringLiteral("Заявката беше прекъсната."));
    }
    pg_conn *c = mConn.handle();
    char *line = nullptr;
    const int n = PQgetCopyData(c, &line, 0);
    if (n > 0) {
        parse(line, n);
        PQfreemem(line);
        return true;
    }
    // The end, or a failure: the COPY's own result tells which.
    mCopying = false;
    PgResult end(PQgetResult(c));
    if (end.get() && PQresultStatus(end.get()) == PGRES_COPY_OUT)
        mConn.raise(nullptr); // libpq could not go on reading (out of memory): its message
    drainResults();
    if (!end.get() || PQresultStatus(end.get()) != PGRES_COMMAND_OK)
        mConn.raise(end.get());
    return false;
}

void PgCopyStatement::parse(const char *line, qsizetype size)
{
    if (size > 0 && line[size - 1] == '\n')
        --size;
    mLine.resize(size); // undoing escapes only shortens
    mFields.clear();
    char *out = mLine.data();
    qsizetype at = 0;
    const char *p = line;
    const char *const end = line + size;
    for (;;) {
        const char *stop = static_cast<const char *>(std::memchr(p, '\t', size_t(end - p)));
        if (!stop)
            stop = end;
        if (stop - p == 2 && p[0] == '\\' && p[1] == 'N') {
            mFields.push_back({-1, 0});
        } else {
            const qsizetype begin = at;
            for (const char *c = p; c < stop; ++c) {
                if (*c != '\\' || c + 1 == stop) {
                    out[at++] = *c;
                    continue;
                }
                switch (*++c) {
                case 'b': out[at++] = '\b'; break;
                case 'f': out[at++] = '\f'; break;
                case 'n': out[at++] = '\n'; break;
                case 'r': out[at++] = '\r'; break;
                case 't': out[at++] = '\t'; break;
                case 'v': out[at++] = '\v'; break;
                case 'x': {
                    // \xH or \xHH
                    int v = 0, digits = 0;
                    while (digits < 2 && c + 1 < stop && std::isxdigit(uchar(c[1]))) {
                        const char h = *++c;
                        v = v * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                        ++digits;
                    }
                    out[at++] = digits ? char(v) : 'x';
                    break;
                }
                default:
                    if (*c >= '0' && *c <= '7') {
                        // \d, \dd or \ddd in octal
                        int v = *c - '0';
                        for (int k = 0; k < 2 && c + 1 < stop && c[1] >= '0' && c[1] <= '7'; ++k)
                            v = v * 8 + (*++c - '0');
                        out[at++] = char(v);
                    } else {
                        out[at++] = *c;
                    }
                }
            }
            mFields.push_back({begin, at - begin});
        }
        if (stop == end)
            break;
        p = stop + 1;
    }
    mLine.truncate(at);
}

QByteArrayView PgCopyStatement::field(int i) const
{
    const auto [begin, size] = mFields[size_t(i)];
    return QByteArrayView(mLine.constData() + begin, size);
}

int PgCopyStatement::columnCount() const { return mStarted ? int(mTypes.size()) : PgStatement::columnCount(); }

bool PgCopyStatement::columnIsNull(int i) const { return size_t(i) >= mFields.size() || mFields[size_t(i)].first < 0; }

qint64 PgCopyStatement::columnInt64(int i) const { return columnIsNull(i) ? 0 : int64Of(field(i), mTypes[size_t(i)]); }

QVariant PgCopyStatement::column(int i) const { return columnIsNull(i) ? QVariant() : valueOf(field(i), mTypes[size_t(i)]); }

QByteArrayView PgCopyStatement::columnText(int i) const
{
    return columnIsNull(i) ? QByteArrayView() : textOf(field(i), mTypes[size_t(i)]);
}

void PgCopyStatement::columnInto(int i, DbStatement &into, int index) const
{
    if (columnIsNull(i))
        into.bind(index, QVariant());
    else
        bindText(field(i), mTypes[size_t(i)], into, index);
}

// A COPY cut short by reset is cancelled, which ends its transaction: read again only in a new one.
void PgCopyStatement::reset()
{
    finish();
    mStarted = false;
    mRows = 0;
    mFields.clear();
    PgStatement::reset();
}

void PgCopyStatement::finish() noexcept
{
    if (!std::exchange(mCopying, false))
        return;
    pg_conn *c = mConn.handle();
    if (!c)
        return;
    if (PGcancel *cancel = PQgetCancel(c)) {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
    }
    char *line = nullptr;
    while (PQgetCopyData(c, &line, 0) > 0)
        PQfreemem(line);
    drainResults();
}

void PgCopyStatement::drainResults() noexcept
{
    // A COPY that libpq cannot read on keeps giving its own result, never the end.
    while (PGresult *r = PQgetResult(mConn.handle())) {
        const bool stuck = PQresultStatus(r) == PGRES_COPY_OUT;
        PQclear(r);
        if (stuck)
            break;
    }
}
