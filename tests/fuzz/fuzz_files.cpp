// libFuzzer target: the readers of the program's small text files and the export statement. The
// first byte chooses the reader; each must return or fail with a DaoError, never crash or hang:
// - the settings file (set.dll): read, then written and read again to the same values;
// - the main menu's caption file (Menu.set): every caption it gives comes from one of its lines;
// - the export statement: parsed or refused; a parsed one names a known kind.
#include "DaoError.h"
#include "ExportStatement.h"
#include "MenuCaptions.h"
#include "SettingsFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void violation(const char *what, const QString &detail)
{
    std::fprintf(stderr, "fuzz_files: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

void settings(const QByteArray &bytes)
{
    const SettingsFile::Values v = SettingsFile::read(SettingsFile::splitLines(bytes), SettingsFile::Values());
    const SettingsFile::Values again = SettingsFile::read(SettingsFile::splitLines(SettingsFile::bytes(v)), SettingsFile::Values());
    // Texts holding a line break cannot survive one line each: compare the rest.
    const auto flat = [](const QString &s) { return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')); };
    if (!flat(v.database) && !flat(v.daoVersion) && !flat(v.archiveCount) && !flat(v.skinPath) && !(again == v))
        violation("settings written and read again differ", QString::fromUtf8(bytes.toHex()));
}

void captions(const QByteArray &bytes)
{
    const QHash<QString, QString> c = MenuCaptions::parse(bytes);
    for (auto it = c.cbegin(); it != c.cend(); ++it) {
        if (it.key().contains(QLatin1Char('=')) || it.key().contains(QLatin1Char('\n')) || it.key().contains(QLatin1Char('\r')))
            violation("a caption name holds a separator", it.key());
        if (it.value().contains(QLatin1Char('\n')) || it.value().contains(QLatin1Char('\r')))
            violation("a caption holds a line break", it.value());
    }
}

void exportStatement(const QByteArray &bytes)
{
    try {
        const ExportStatement s = ExportStatement::parse(QString::fromUtf8(bytes));
        if (s.kind != ExportStatement::Text && s.kind != ExportStatement::Html && s.kind != ExportStatement::Spreadsheet)
            violation("an export of no known kind", QString::fromUtf8(bytes));
        (void)s.outputPath();
    } catch (const DaoError &) {
        // refused: fine
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0:
        settings(bytes);
        break;
    case 1:
        captions(bytes);
        break;
    default:
        exportStatement(bytes);
        break;
    }
    return 0;
}
