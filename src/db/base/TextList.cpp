// A compact list of texts.
#include "base/TextList.h"

const std::vector<qint64> &TextList::ends() const
{
    static const std::vector<qint64> none;
    return mEnds ? *mEnds : none;
}

QByteArrayView TextList::utf8(qsizetype i) const
{
    if (mLeadingNull) {
        if (i == 0)
            return {};
        --i;
    }
    const std::vector<qint64> &e = ends();
    if (i < 0 || size_t(i) >= e.size())
        return {};
    const qint64 begin = i == 0 ? 0 : e[size_t(i) - 1];
    return QByteArrayView(mBlock.constData() + begin, e[size_t(i)] - begin);
}

qsizetype TextList::indexOf(const QString &text) const
{
    // A null entry reads as an empty text.
    if (text.isEmpty() && mLeadingNull)
        return 0;
    const QByteArray wanted = text.toUtf8();
    for (qsizetype i = 0, n = size(); i < n; ++i)
        if (utf8(i) == QByteArrayView(wanted))
            return i;
    return -1;
}

bool TextList::operator==(const TextList &other) const
{
    if (size() != other.size() || mLeadingNull != other.mLeadingNull)
        return false;
    for (qsizetype i = 0, n = size(); i < n; ++i)
        if (utf8(i) != other.utf8(i))
            return false;
    return true;
}

QStringList TextList::toStringList() const
{
    QStringList out;
    out.reserve(size());
    for (qsizetype i = 0, n = size(); i < n; ++i)
        out << at(i);
    return out;
}

void TextList::Builder::reserve(qsizetype entries, qsizetype bytes)
{
    mEnds.reserve(size_t(entries));
    mBlock.reserve(bytes);
}

void TextList::Builder::append(QByteArrayView utf8)
{
    mBlock.append(utf8);
    mEnds.push_back(mBlock.size());
}

TextList TextList::Builder::take()
{
    TextList out;
    mBlock.squeeze();
    mEnds.shrink_to_fit();
    out.mBlock = std::exchange(mBlock, {});
    if (!mEnds.empty())
        out.mEnds = std::make_shared<const std::vector<qint64>>(std::exchange(mEnds, {}));
    out.mLeadingNull = std::exchange(mLeadingNull, false);
    return out;
}
