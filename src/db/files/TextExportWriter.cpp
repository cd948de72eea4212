// The comma-separated export file.
#include "files/TextExportWriter.h"

#include "files/ExportSelection.h"

#include <QFile>

namespace {

void appendCsv(QByteArray &out, QByteArrayView v, bool quoteAlways)
{
    bool quote = quoteAlways;
    for (char ch : v)
        if (ch == ',' || ch == '"' || ch == '\n' || ch == '\r') {
            quote = true;
            break;
        }
    if (!quote) {
        out.append(v);
        return;
    }
    out.append('"');
    for (char ch : v) {
        if (ch == '"')
            out.append('"');
        out.append(ch);
    }
    out.append('"');
}

} // namespace

int TextExportWriter::write(ExportSelection &sel, const QString &path)
{
    QFile out(path);
    open(out);
    QByteArray buffer;
    QByteArray scratch;
    buffer.reserve(1 << 17);
    const int columns = sel.columnCount();
    for (int c = 0; c < columns; ++c) {
        if (c)
            buffer.append(',');
        appendCsv(buffer, sel.name(c).toUtf8(), false);
    }
    buffer.append("\r\n");
    DbStatement &st = sel.rows();
    int rows = 0;
    while (st.step()) {
        for (int c = 0; c < columns; ++c) {
            if (c)
                buffer.append(',');
            appendCsv(buffer, sel.plainBytes(c, scratch), sel.type(c) == ExportSelection::Type::Text && !st.columnIsNull(c));
        }
        buffer.append("\r\n");
        ++rows;
        if (buffer.size() > (1 << 16)) {
            writeAll(out, buffer);
            buffer.clear();
        }
    }
    writeAll(out, buffer);
    flush(out);
    return rows;
}
