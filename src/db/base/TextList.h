// A long list of texts kept compactly: one UTF-8 block and where each text ends. A pick list can
// hold a million catalogue numbers; as QStrings each would cost some 70 bytes of overhead, here 8.
// Built once, then never changed: copies share the block and may be kept on any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class TextList
{
public:
    TextList() = default;

    qsizetype size() const { return qsizetype(ends().size()) + (mLeadingNull ? 1 : 0); }
    bool isEmpty() const { return size() == 0; }
    // Whether the entry stands for "no value" (only the first one can).
    bool isNull(qsizetype i) const { return mLeadingNull && i == 0; }
    QByteArrayView utf8(qsizetype i) const;
    QString at(qsizetype i) const { return QString::fromUtf8(utf8(i)); }
    // The first entry equal to text; -1 if none.
    qsizetype indexOf(const QString &text) const;
    QStringList toStringList() const;
    bool operator==(const TextList &other) const;

    // The bytes held (the block and its ends), for the memory figures.
    qsizetype bytes() const { return mBlock.size() + qsizetype(ends().size() * sizeof(qint64)); }

    class Builder
    {
    public:
        void reserve(qsizetype entries, qsizetype bytes);
        void append(QByteArrayView utf8);
        void append(const QString &text) { append(QByteArrayView(text.toUtf8())); }
        void setLeadingNull(bool on) { mLeadingNull = on; }
        qsizetype size() const { return qsizetype(mEnds.size()); }
        // The last text appended; valid until the next append.
        QByteArrayView last() const
        {
            const qint64 begin = mEnds.size() > 1 ? mEnds[mEnds.size() - 2] : 0;
            return mEnds.empty() ? QByteArrayView() : QByteArrayView(mBlock.constData() + begin, mEnds.back() - begin);
        }
        TextList take();

    private:
        QByteArray mBlock;
        std::vector<qint64> mEnds;
        bool mLeadingNull = false;
    };

    // The same texts (shared, not copied) with a null entry before them, or without it.
    TextList withLeadingNull(bool on) const
    {
        TextList out = *this;
        out.mLeadingNull = on;
        return out;
    }

private:
    const std::vector<qint64> &ends() const;

    QByteArray mBlock;
    std::shared_ptr<const std::vector<qint64>> mEnds; // null when empty
    bool mLeadingNull = false;
};

using TextListPtr = std::shared_ptr<const TextList>;
