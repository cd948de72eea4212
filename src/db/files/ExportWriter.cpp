// The file handling shared by the export formats written through QFile.
#include "files/ExportWriter.h"

#include "base/DaoError.h"

#include <QFile>

namespace {

[[noreturn]] void notWritten(const QFile &out)
{
    throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(out.fileName(), out.errorString()));
}

} // namespace

void ExportWriter::open(QFile &out)
{
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        notWritten(out);
}

void ExportWriter::writeAll(QFile &out, const QByteArray &bytes)
{
    if (out.write(bytes) != bytes.size())
        notWritten(out);
}

void ExportWriter::flush(QFile &out)
{
    if (!out.flush())
        notWritten(out);
}
