// Decoding of text brought from files: UTF-8, else code page 1251.
#include "base/TextCodec.h"

#include <QStringDecoder>

namespace TextCodec {

QString decode(QByteArrayView bytes)
{
    // Stateless: a sequence cut short at the end is an error (a 1251 file whose last byte is a
    // letter), not something held back for input that never comes.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp1251(bytes);
}

QString decodeCp1251(QByteArrayView bytes)
{
    QStringDecoder decoder("windows-1251");
    if (decoder.isValid())
        return decoder(bytes);
    // Without ICU: the Cyrillic letters, which is what names and paths hold.
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const uchar b = uchar(c);
        if (b < 0x80)
            text.append(QChar(b));
        else if (b >= 0xC0)
            text.append(QChar(char16_t(0x0410 + (b - 0xC0))));
        else if (b == 0xA8)
            text.append(QChar(char16_t(0x0401)));
        else if (b == 0xB8)
            text.append(QChar(char16_t(0x0451)));
        else
            text.append(QChar(QChar::ReplacementCharacter));
    }
    return text;
}

} // namespace TextCodec
