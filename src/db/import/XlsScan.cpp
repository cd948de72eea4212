// The cost of opening an xls file in libfreexl (1.0.x), read as the library reads it.
#include "import/XlsScan.h"

#include <QBitArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace xlsscan {
namespace {

constexpr quint32 EndOfChain = 0xFFFFFFFEu;
constexpr quint32 Unused = 0xFFFFFFFFu;
constexpr qint64 Saturated = qint64(1) << 62;
// The grid cells past which no cell is tracked for a second value: far past any limit a reader
// sets, so that the workbook is refused for its size anyway.
constexpr qint64 MostFilled = qint64(1) << 27;

quint16 u16(const char *p) { return qFromLittleEndian<quint16>(p); }
quint32 u32(const char *p) { return qFromLittleEndian<quint32>(p); }

qint64 add(qint64 a, qint64 b) { return std::min(a + b, Saturated); }
qint64 times(qint64 a, qint64 b) { return a != 0 && b > Saturated / a ? Saturated : a * b; }

// The days counted for a date cell holding v: its whole part, out-of-range values as the most an
// int holds (where the conversion saturates).
qint64 days(double v)
{
    if (std::isnan(v) || v < 2)
        return 0;
    return qint64(std::min(std::floor(v), 2147483647.0));
}

// An RK number: a 30-bit integer or the top of a double, either perhaps in hundredths.
qint64 rkDays(quint32 rk)
{
    if ((rk & 2) && !(rk & 1))
        return std::max<qint64>(0, qint32(rk) >> 2);
    if (rk & 2)
        return days((qint32(rk) >> 2) / 100.0);
    const quint64 bits = quint64(rk & ~3u) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return days(rk & 1 ? d / 100 : d);
}

// A format the library takes for a date (or a date and time): it counts the letters of years,
// months and days in the format's text, whatever they stand for.
bool datingText(const char *text, qsizetype size)
{
    bool y = false, m = false, d = false;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = char(text[i] | 0x20);
        y = y || c == 'y';
        m = m || c == 'm';
        d = d || c == 'd';
    }
    return m && (y || d);
}

// A directory entry named name, as the library compares names: the name's UTF-16 up to its end or
// the first NUL.
bool named(const char *entry, QStringView name)
{
    const quint16 size = u16(entry + 64);
    const qsizetype n = name.size();
    if (size < 2 * n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (u16(entry + 2 * i) != name.at(i).unicode())
            return false;
    return size == 2 * n || (size >= 2 * n + 2 && u16(entry + 2 * n) == 0);
}

class Scanner
{
public:
    explicit Scanner(QIODevice &device) : mDevice(device) {}

    Cost run()
    {
        compound();
        return total();
    }

private:
    struct Sheet
    {
        quint32 offset = 0;
        bool dimension = false;
        bool cells = false; // any before its DIMENSION, or without one
        qint64 rows = 0, columns = 0;
        QBitArray filled; // the cells given a value
    };

    // n bytes at where, found as the library finds them (32-bit offsets wrap); all or refused.
    QByteArray bytes(quint32 where, qint64 n) const
    {
        if (!mDevice.seek(where))
            throw Refusal::Damaged;
        QByteArray b = mDevice.read(n);
        if (b.size() != n)
            throw Refusal::Damaged;
        return b;
    }
    QByteArray sector(quint32 s) const { return bytes((s + 1u) * mSectorSize, mSectorSize); }

    void fatSector(quint32 s)
    {
        // The library keeps a FAT entry in a node of its own: a list of sectors that repeats one
        // sector endlessly would fill the memory.
        if (++mFatSectors > mFatLimit)
            throw Refusal::Damaged;
        const QByteArray b = sector(s);
        for (int i = 0; i < mSectorSize; i += 4)
            mFat << u32(b.constData() + i);
    }

    void compound()
    {
        mDevice.seek(0);
        const QByteArray header = mDevice.read(512);
        if (header.size() < 512 || !header.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
            throw Refusal::NotWorkbook; // the library would take it for Excel 4 or older
        const char *h = header.constData();
        const quint16 shift = u16(h + 0x1E);
        if (shift != 9 && shift != 12)
            throw Refusal::NotWorkbook;
        mSectorSize = 1 << shift;
        const qint64 fileSectors = mDevice.size() / mSectorSize;
        mFatLimit = 109 + fileSectors / 32;

        for (int i = 0; i < 109; ++i)
            if (const quint32 s = u32(h + 0x4C + 4 * i); s != Unused)
                fatSector(s);
        if (const quint32 count = u32(h + 0x48); count > 0) {
            if (count > fileSectors)
                throw Refusal::Damaged;
            quint32 next = u32(h + 0x44);
            quint32 blocks = 0;
            for (bool end = false; !end;) {
                const QByteArray b = sector(next);
                ++blocks;
                const int last = mSectorSize / 4 - 1;
                for (int i = 0; i <= last; ++i) {
                    const quint32 v = u32(b.constData() + 4 * i);
                    if (v == EndOfChain) {
                        end = true;
                        break;
                    }
                    if (i == last)
                        next = v;
                    else if (v != Unused)
                        fatSector(v);
                }
                end = end || blocks == count;
            }
            if (blocks != count)
                throw Refusal::Damaged;
        }
        quint32 miniCutOff = 0;
        if (const quint32 count = u32(h + 0x40); count > 0) {
            miniCutOff = u32(h + 0x38);
            // The library reads that many sectors in a row, from one sector before the one the
            // header names, into a node for each entry.
            const quint32 where = (u32(h + 0x3C) - 1u) * mSectorSize;
            if (count > mFatLimit || where + qint64(count) * mSectorSize > mDevice.size())
                throw Refusal::Damaged;
        }
        if (mFat.isEmpty())
            throw Refusal::Damaged;

        // The workbook among the first directory sector's entries; the mini stream's place from a
        // root entry before it.
        const QByteArray directory = sector(u32(h + 0x30));
        bool root = false, found = false;
        quint32 rootStart = 0, rootSize = 0, start = 0, size = 0;
        for (int i = 0; i < mSectorSize / 128 && !found; ++i) {
            const char *e = directory.constData() + 128 * i;
            if (u16(e + 64) > 64) // the library would read the name on past its entry
                throw Refusal::Damaged;
            if (named(e, u"Root Entry")) {
                root = true;
                rootStart = u32(e + 0x74);
                rootSize = u32(e + 0x78);
            } else if (named(e, u"Workbook") || named(e, u"Book")) {
                found = true;
                start = u32(e + 0x74);
                size = u32(e + 0x78);
            }
        }
        if (!found)
            throw Refusal::NotWorkbook;
        if (size <= miniCutOff)
            miniStream(root, rootStart, rootSize, size);
        else
            stream(start, size);
    }

    // A workbook in the mini stream: the library reads the whole mini stream and the workbook from
    // its start, whatever the mini FAT says.
    void miniStream(bool root, quint32 s, quint32 rootSize, quint32 size)
    {
        if (!root || rootSize > mDevice.size() || size > rootSize)
            throw Refusal::Damaged;
        QByteArray data;
        for (qint64 read = 0;;) {
            const QByteArray b = sector(s);
            read += mSectorSize;
            if (data.size() < size)
                data += b.left(size - data.size());
            if (s >= quint32(mFat.size()))
                throw Refusal::Damaged;
            s = mFat.at(s);
            if (s == EndOfChain) {
                if (read < rootSize || read - mSectorSize >= rootSize)
                    throw Refusal::Damaged;
                break;
            }
            if (read >= rootSize)
                throw Refusal::Damaged;
        }
        for (qint64 at = 0; at + 4 <= size;) {
            const quint16 type = u16(data.constData() + at), length = u16(data.constData() + at + 2);
            at += 4;
            if (length >= 8192 || at + length > size)
                throw Refusal::Damaged;
            record(type, data.constData() + at, length);
            at += length;
        }
    }

    // A workbook in sectors of its own. The library follows the chain to its end whatever the
    // stream's size, so a chain longer than the size needs is refused.
    void stream(quint32 s, quint32 size)
    {
        QList<quint32> chain;
        for (const qint64 most = (qint64(size) + mSectorSize - 1) / mSectorSize;;) {
            chain << s;
            if (chain.size() > std::min<qint64>(most, mFat.size()) || s >= quint32(mFat.size()))
                throw Refusal::Damaged;
            s = mFat.at(s);
            if (s == EndOfChain)
                break;
        }
        QByteArray data; // the sectors read so far that records still need
        qint64 consumed = 0; // bytes of the stream before data
        qsizetype next = 0;
        const auto need = [&](qint64 end) {
            while (consumed + data.size() < end && next < chain.size())
                data += sector(chain.at(next++));
            return consumed + data.size() >= end;
        };
        for (qint64 at = 0;;) {
            if (at + 4 > size || !need(at + 4))
                break;
            const char *p = data.constData() + (at - consumed);
            const quint16 type = u16(p), length = u16(p + 2);
            if ((type == 0 && length == 0) || length > 8224 || at + 4 + length > size || !need(at + 4 + length))
                break;
            record(type, data.constData() + (at - consumed) + 4, length);
            at += 4 + length;
            // Keep only what the next record may need.
            const qint64 drop = (at - consumed) / mSectorSize * mSectorSize;
            data.remove(0, drop);
            consumed += drop;
        }
    }

    [[noreturn]] static void damaged() { throw Refusal::Damaged; }

    void record(quint16 type, const char *body, quint16 length)
    {
        const quint32 base = mOffset;
        mOffset += length + 4u;
        if (type == 0x003C) { // CONTINUE, of the shared strings when they come before
            if (mPrevious == 0x00FC)
                sharedStrings(body, length);
            return;
        }
        mPrevious = type;
        if (mBof < 0) {
            if (type != 0x0809 || length < 2)
                throw Refusal::NotWorkbook;
            const quint16 version = u16(body);
            if (version != 0x0500 && version != 0x0600)
                throw Refusal::NotWorkbook;
            mBiff8 = version == 0x0600;
            mBof = 1;
            return;
        }
        if (mBof == 0) {
            if (type != 0x0809)
                damaged();
            mBof = 1;
            mActive = -1;
            for (qsizetype i = 0; i < mSheets.size() && mActive < 0; ++i)
                if (mSheets.at(i).offset == base)
                    mActive = i;
            return;
        }
        switch (type) {
        case 0x000A: // EOF
            mBof = 0;
            break;
        case 0x002F: // FILEPASS
            throw Refusal::Encrypted;
        case 0x0085: // BOUNDSHEET
            if (length < 7 || body[6] == 0)
                damaged();
            mSheets << Sheet();
            mSheets.last().offset = u32(body);
            break;
        case 0x0200: { // DIMENSION: the grid the library allocates
            if (length < (mBiff8 ? 12 : 8))
                damaged();
            const qint64 rows = mBiff8 ? u32(body + 4) : u16(body + 2);
            const qint64 columns = u16(body + (mBiff8 ? 10 : 6));
            if (mActive >= 0) {
                Sheet &sheet = mSheets[mActive];
                if (sheet.dimension) // a second grid, the first one lost
                    damaged();
                sheet.rows = rows;
                sheet.columns = columns;
                sheet.dimension = true;
                mCells = add(mCells, rows * columns);
            }
            break;
        }
        case 0x041E: // FORMAT
            if (length < 2)
                damaged();
            if (datingFormat(body, length))
                mDatingFormats.insert(u16(body));
            break;
        case 0x00E0: // XF: its number format, or none known when the record is too short
            mXfs << (length >= 4 ? int(u16(body + 2)) : -1);
            break;
        case 0x00FC: // SST
            sharedStrings(body, length);
            break;
        case 0x0204: // LABEL: its text, which the library reads as long as the record says
            cell(type, body, length);
            if (mBiff8)
                text(body, length, 6);
            else if (length < 8 || 8 + u16(body + 6) > length)
                damaged();
            break;
        case 0x0203: case 0x0205: case 0x027E: case 0x00BD: case 0x00FD:
            cell(type, body, length);
            break;
        default:
            break;
        }
    }

    // The library reads an Excel 5 format's text within its record buffer, as long as the record
    // says, into what the buffer held before: a text that does not fit is taken for a date format.
    // An Excel 97 text it reads on past the buffer: refused.
    bool datingFormat(const char *body, quint16 length) const
    {
        if (!mBiff8) { // it reads the length byte as the text's first character
            if (length < 4)
                return true;
            const int n = uchar(body[3]);
            return 3 + n > length || datingText(body + 3, n);
        }
        const qint64 start = text(body, length, 2);
        return datingText(body + start, length - start);
    }

    // The start of an Excel 97 text whose character count is at at, which must end its record
    // (or be followed only by what the library skips); refused when the library would read past
    // the record or finds it empty.
    qint64 text(const char *body, quint16 length, qint64 at) const
    {
        if (at + 3 > length)
            damaged();
        const quint16 n = u16(body + at);
        const uchar flags = uchar(body[at + 2]);
        const qint64 start = at + 3 + (flags & 8 ? 2 : 0) + (flags & 4 ? 4 : 0);
        if (n == 0 || start + (flags & 1 ? 2 * qint64(n) : n) > length)
            damaged();
        return start;
    }

    // The shared strings, followed as the library follows them across CONTINUE records, so that
    // it never reads past a record.
    void sharedStrings(const char *body, quint16 length)
    {
        qint64 at = 0;
        if (!mSst) {
            if (length < 8)
                damaged();
            mSst = true;
            mStrings = u32(body + 4);
            if (mStrings > 1024 * 1024) // the library's own limit
                damaged();
            at = 8;
        } else if (mSplitLength > 0) { // a string split at the record's end goes on here
            if (length < 1)
                damaged();
            const qint64 left = qint64(mSplitLength) - mSplitDone;
            at = 1 + (body[0] & 1 ? 2 * left : left);
            if (at > length)
                damaged();
            at += mSplitSkip; // what the library skips here it never reads again
            mSplitLength = 0;
            ++mString;
        }
        for (; mString < mStrings; ++mString) {
            if (at >= length)
                return;
            at += mSkip;
            mSkip = 0;
            if (at + 3 > length)
                damaged();
            const quint16 n = u16(body + at);
            const uchar flags = uchar(body[at + 2]);
            qint64 start = at + 3;
            quint32 skip = 0;
            if (flags & 8) {
                if (start + 2 > length)
                    damaged();
                skip += 4u * u16(body + start);
                start += 2;
            }
            if (flags & 4) {
                if (start + 4 > length)
                    damaged();
                skip += u32(body + start);
                start += 4;
            }
            if (start > length)
                damaged();
            const qint64 bytes = flags & 1 ? 2 * qint64(n) : n;
            if (bytes > length - start) { // goes on in the next record
                mSplitLength = n;
                mSplitDone = flags & 1 ? (length - start) / 2 : length - start;
                mSplitSkip = skip;
                return;
            }
            if (n == 0)
                damaged();
            at = start + bytes + skip;
            mSkip = at > length ? at - length : 0;
        }
    }

    void cell(quint16 type, const char *body, quint16 length)
    {
        if (length < 4)
            damaged();
        const quint16 row = u16(body), column = u16(body + 2);
        if (mActive >= 0) {
            Sheet &sheet = mSheets[mActive];
            if (!sheet.dimension) { // its grid grows to its cells' extent
                sheet.cells = true;
                sheet.rows = std::max<qint64>(sheet.rows, row);
                sheet.columns = std::max<qint64>(sheet.columns, column);
            } else {
                // A cell given a value twice: the library drops the first one's text without
                // freeing it. Cells past the grid make it fail.
                const int count = type == 0x00BD ? std::max(0, (length - 5) / 6) : 1;
                if (sheet.filled.isEmpty() && sheet.rows * sheet.columns > 0 && mCells <= MostFilled)
                    sheet.filled.resize(sheet.rows * sheet.columns);
                for (int i = 0; i < count && row < sheet.rows && column + i < sheet.columns && !sheet.filled.isEmpty(); ++i) {
                    const qsizetype at = row * sheet.columns + column + i;
                    if (sheet.filled.testBit(at))
                        damaged();
                    sheet.filled.setBit(at);
                }
            }
        }
        if (type == 0x0203) { // NUMBER
            if (length < 14)
                damaged();
            const quint64 bits = qFromLittleEndian<quint64>(body + 6);
            double v;
            std::memcpy(&v, &bits, sizeof v);
            charge(u16(body + 4), days(v));
        } else if (type == 0x027E) { // RK
            if (length < 10)
                damaged();
            charge(u16(body + 4), rkDays(u32(body + 6)));
        } else if (type == 0x00BD) { // MULRK
            for (int at = 4; at + 6 < length; at += 6)
                charge(u16(body + at), rkDays(u32(body + at + 2)));
        }
    }

    void charge(quint16 xf, qint64 n)
    {
        if (n > 0)
            mDaysByXf[xf] = add(mDaysByXf.value(xf), n);
    }

    // Whether the library shows cells of style xf as dates (not times): built-in date formats, and
    // the formats whose text it takes for dates. Past its table of 8192 styles it reads whatever
    // follows.
    bool datingStyle(quint16 xf) const
    {
        if (mXfs.size() >= 65536) // its count of styles wraps
            return true;
        if (xf >= mXfs.size())
            return false;
        if (xf >= 8192 || mXfs.at(xf) < 0)
            return true;
        const int format = mXfs.at(xf);
        if ((format >= 14 && format <= 17) || format == 22)
            return true;
        if ((format >= 18 && format <= 21) || (format >= 45 && format <= 47))
            return false;
        return mDatingFormats.contains(quint16(format));
    }

    Cost total() const
    {
        Cost cost;
        cost.cells = mCells;
        // For each sheet without a DIMENSION the library allocates the grid of the sheet last
        // read, whichever that is, to the extent of the cells found, and then fails on their
        // values or loses another sheet's: only an empty sheet alone is taken.
        qint64 largest = 0, without = 0;
        for (const Sheet &s : mSheets) {
            largest = std::max(largest, times(s.rows + 1, s.columns + 1));
            without += s.dimension ? 0 : 1;
        }
        for (const Sheet &s : mSheets)
            if (!s.dimension && (s.cells || mSheets.size() > 1))
                throw Refusal::SheetWithoutSize;
        cost.cells = add(cost.cells, times(without, largest));
        for (auto it = mDaysByXf.cbegin(); it != mDaysByXf.cend(); ++it)
            if (datingStyle(it.key()))
                cost.days = add(cost.days, it.value());
        return cost;
    }

    QIODevice &mDevice;
    int mSectorSize = 512;
    QList<quint32> mFat;
    qint64 mFatSectors = 0;
    qint64 mFatLimit = 0;

    int mBof = -1; // -1 before the first BOF, 0 between substreams, 1 in one
    bool mBiff8 = true;
    quint32 mOffset = 0;
    QList<Sheet> mSheets;
    qsizetype mActive = -1;
    qint64 mCells = 0;
    QList<int> mXfs;
    QSet<quint16> mDatingFormats;
    QHash<quint16, qint64> mDaysByXf;

    quint16 mPrevious = 0; // the record before, CONTINUE records left out
    bool mSst = false;
    quint32 mStrings = 0, mString = 0;
    qint64 mSkip = 0; // bytes the next record starts with that the last string left
    quint16 mSplitLength = 0; // a string split across records: its length, how much came
    qint64 mSplitDone = 0;
    quint32 mSplitSkip = 0;
};

} // namespace

Cost scan(QIODevice &device)
{
    return Scanner(device).run();
}

} // namespace xlsscan
