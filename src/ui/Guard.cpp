// Reporting an error that escaped a handler.
#include "Guard.h"

#include "DaoError.h"
#include "Prompts.h"

#include <QString>

namespace Guard {

void report(const std::exception_ptr &error)
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const DaoError &e) {
        text = e.message();
    } catch (const std::exception &e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Неочаквана грешка.");
    }
    prompts().message(text);
}

} // namespace Guard
