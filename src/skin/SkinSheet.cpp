// Reading a skin file's style sheet.
#include "SkinSheet.h"

#include "base/TextCodec.h"

#include <QIODevice>
#include <QStringDecoder>

#include <limits>

namespace SkinSheet {

std::optional<QString> read(QIODevice &device, qint64 limit)
{
    if (limit < 0 || limit >= std::numeric_limits<qint64>::max())
        return std::nullopt;
    // One byte more than the limit tells a file that is too large.
    QByteArray bytes;
    char chunk[16384];
    while (bytes.size() <= limit) {
        const qint64 n = device.read(chunk, qMin<qint64>(qint64(sizeof chunk), limit + 1 - bytes.size()));
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        bytes.append(chunk, qsizetype(n));
    }
    if (bytes.size() > limit)
        return std::nullopt;
    // Stateless: a file that ends inside a UTF-8 sequence (a 1251 text whose one letter is its
    // last byte) is no UTF-8; the stateful decoder would drop that last letter without an error.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? TextCodec::decodeCp1251(bytes) : text;
}

} // namespace SkinSheet
