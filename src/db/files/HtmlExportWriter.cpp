// The HTML export page.
#include "files/HtmlExportWriter.h"

#include "files/ExportSelection.h"

#include <QFile>

namespace {

void appendHtml(QByteArray &out, QByteArrayView v)
{
    for (char ch : v) {
        switch (ch) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '"':
            out.append("&quot;");
            break;
        default:
            out.append(ch);
        }
    }
}

} // namespace

int HtmlExportWriter::write(ExportSelection &sel, const QString &path)
{
    QFile out(path);
    open(out);
    QByteArray buffer;
    QByteArray scratch;
    buffer.reserve(1 << 17);
    buffer.append("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>");
    appendHtml(buffer, mTitle.toUtf8());
    buffer.append("</title>\n</head>\n<body>\n<table border=\"1\">\n<thead>\n<tr>");
    const int columns = sel.columnCount();
    for (int c = 0; c < columns; ++c) {
        buffer.append("<th>");
        appendHtml(buffer, sel.name(c).toUtf8());
        buffer.append("</th>");
    }
    buffer.append("</tr>\n</thead>\n<tbody>\n");
    DbStatement &st = sel.rows();
    int rows = 0;
    while (st.step()) {
        buffer.append("<tr>");
        for (int c = 0; c < columns; ++c) {
            buffer.append("<td>");
            appendHtml(buffer, sel.plainBytes(c, scratch));
            buffer.append("</td>");
        }
        buffer.append("</tr>\n");
        ++rows;
        if (buffer.size() > (1 << 16)) {
            writeAll(out, buffer);
            buffer.clear();
        }
    }
    buffer.append("</tbody>\n</table>\n</body>\n</html>\n");
    writeAll(out, buffer);
    flush(out);
    return rows;
}
