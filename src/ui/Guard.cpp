// Reporting an error that escaped a handler.
#include "Guard.h"

#include "base/DaoError.h"
#include "Prompts.h"
#include "UiLog.h"

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
    qCDebug(lcUi) << "error shown to the user:" << text;
    prompts().message(text);
}

} // namespace Guard
