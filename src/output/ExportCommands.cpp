// Export: the dialog, the overwrite question, the engine's export and the two messages.
#include "ExportCommands.h"

#include "OutputLog.h"
#include "base/DaoError.h"
#include "Paths.h"
#include "Prompts.h"
#include "dataset/TDaoTable.h"
#include "module/uDM.h"

#include <QFileInfo>
#include <QLoggingCategory>

void ExportCommands::Excel1Click()
{
    run(Kind::Spreadsheet);
}

void ExportCommands::Html1Click()
{
    run(Kind::Html);
}

void ExportCommands::Text1Click()
{
    run(Kind::Text);
}

void ExportCommands::run(Kind kind)
{
    Prompts::FileRequest r;
    r.folder = Paths::programDir();
    TDaoTable *t = DM ? DM->tblMain : nullptr;
    if (!t || !t->Active())
        return;
    switch (kind) {
    case Kind::Spreadsheet: // xlsx: no program of today writes the old binary format
        r.defaultSuffix = QStringLiteral("xlsx");
        r.fileName = QStringLiteral("Velostok.xlsx");
        r.filter = QStringLiteral("Excel files|*.xlsx");
        break;
    case Kind::Html:
        r.defaultSuffix = QStringLiteral("htm");
        r.fileName = QStringLiteral("Velostok.htm");
        r.filter = QStringLiteral("Html files|*.htm");
        break;
    case Kind::Text:
        r.defaultSuffix = QStringLiteral("txt");
        r.fileName = QStringLiteral("Velostok.txt");
        r.filter = QStringLiteral("Text files|*.txt");
        break;
    }
    r.mustExist = false;
    const QString file = prompts().saveFile(r);
    if (file.isEmpty())
        return;
    if (QFileInfo::exists(file)
        && !prompts().confirm(QStringLiteral("Този файл вече съществува !\r Искате ли да го промените ?"),
                              QStringLiteral("Предупреждение"), Prompts::Buttons::OkCancel, Prompts::Icon::None))
        return;
    try {
        switch (kind) {
        case Kind::Spreadsheet:
            t->WriteSpreadsheetExport(file, QStringLiteral("Tab1"), 3, true, true);
            break;
        case Kind::Html:
            t->WriteHtmlExport(file, true, true);
            break;
        case Kind::Text:
            t->WriteTextExport(file, true, true);
            break;
        }
    } catch (const std::exception &e) {
        // Only the log has the cause; the user is told the data were not written.
        qCWarning(lcOutput) << "export to" << file << "failed:" << e.what();
        prompts().message(QStringLiteral("Поради възникнала грешка,\rданните не бяха записани!"));
        return;
    }
    prompts().message(QStringLiteral("Файлът ") + QFileInfo(file).fileName() + QStringLiteral(" бе записан успешно."));
}
