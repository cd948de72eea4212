// Registers the NOCASE replacement and jet_like on a Velostok connection.
#include "sqlite/SqliteFunctions.h"

#include "base/DaoError.h"
#include "filter/JetPattern.h"
#include "base/TextFold.h"

#include <sqlite3.h>

#include <memory>
#include <new>

namespace {

int collateNoCase(void *, int na, const void *a, int nb, const void *b)
{
    return textfold::compareNoCase(static_cast<const char *>(a), na,
                                   static_cast<const char *>(b), nb);
}

void deletePattern(void *p)
{
    delete static_cast<JetPattern *>(p);
}

void jetLikeImpl(sqlite3_context *ctx, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    // The pattern is nearly always one bound parameter for the whole statement: compile it once.
    auto *pattern = static_cast<JetPattern *>(sqlite3_get_auxdata(ctx, 0));
    std::unique_ptr<JetPattern> compiled;
    if (!pattern) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        const int length = sqlite3_value_bytes(argv[0]);
        if (!text) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
        QString error;
        std::optional<JetPattern> p = JetPattern::compile(QString::fromUtf8(text, length), &error);
        if (!p) {
            const QByteArray message = error.toUtf8();
            sqlite3_result_error(ctx, message.constData(), int(message.size()));
            return;
        }
        compiled = std::make_unique<JetPattern>(std::move(*p));
        pattern = compiled.get();
    }

    const auto *value = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const int length = sqlite3_value_bytes(argv[1]);
    if (!value) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    sqlite3_result_int(ctx, pattern->matchesUtf8(value, length) ? 1 : 0);

    // SQLite may run the destructor at once, so the pattern is not touched after this.
    if (compiled)
        sqlite3_set_auxdata(ctx, 0, compiled.release(), deletePattern);
}

void jetLike(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    try {
        jetLikeImpl(ctx, argv);
    } catch (const std::bad_alloc &) {
        sqlite3_result_error_nomem(ctx);
    } catch (...) {
        sqlite3_result_error(ctx, "jet_like: вътрешна грешка", -1);
    }
}

void check(sqlite3 *db, int rc, const char *what)
{
    if (rc != SQLITE_OK) {
        throw DaoError(QStringLiteral("Не може да се регистрира %1: %2")
                           .arg(QString::fromLatin1(what), QString::fromUtf8(sqlite3_errmsg(db))));
    }
}

} // namespace

void registerVelostokFunctions(sqlite3 *db)
{
    check(db,
          sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, collateNoCase, nullptr),
          "NOCASE");
    check(db,
          sqlite3_create_function_v2(db, "jet_like", 2,
                                     SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                     nullptr, jetLike, nullptr, nullptr, nullptr),
          "jet_like");
}
