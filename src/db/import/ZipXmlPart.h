// One XML part of a zip file (a workbook's sheet, a spreadsheet's content) fed to Qt's XML stream
// reader as it unpacks: never the whole part in memory, and never more of it unpacked than
// MaxBytes, whatever the zip's directory claims (a zip bomb is refused, not unpacked). Every
// failure raises DaoError naming the file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

struct zip;
struct zip_file;

class ZipXmlPart
{
public:
    // A zip file held open for its parts, from disk or from bytes in memory (kept with it).
    class Archive
    {
    public:
        explicit Archive(const QString &path);
        // name: the file as messages name it.
        Archive(const QByteArray &bytes, const QString &name);
        ~Archive();
        Archive(const Archive &) = delete;
        Archive &operator=(const Archive &) = delete;

        // False for a file that is no zip.
        bool isOpen() const { return mZip != nullptr; }
        bool contains(const QString &part) const;
        const QString &name() const { return mName; }
        // Raises "the file cannot be read: why".
        [[noreturn]] void fail(const QString &why) const;

    private:
        friend class ZipXmlPart;
        zip *mZip = nullptr;
        QByteArray mBytes;
        QString mName;
    };

    // How messages name the part: by default "частта <name>"; a neuter subject ("съдържанието")
    // takes neuter participles.
    struct Subject
    {
        QString text;
        bool neuter = false;
    };

    static constexpr qint64 MaxBytes = qint64(1) << 30;

    // Opens the part; raises when it is missing, claims more than MaxBytes or cannot be unpacked.
    ZipXmlPart(const Archive &archive, const QString &name);
    ZipXmlPart(const Archive &archive, const QString &name, const Subject &subject);
    ~ZipXmlPart();
    ZipXmlPart(const ZipXmlPart &) = delete;
    ZipXmlPart &operator=(const ZipXmlPart &) = delete;

    QXmlStreamReader &xml() { return mXml; }
    // The next token, the reader fed from the part as it needs more; raises for XML that is not
    // well formed and for a part that is damaged, ends early or unpacks to more than MaxBytes.
    QXmlStreamReader::TokenType next();
    // Past the end of the element just started (the XML reader's own skip stops where the data it
    // has ends).
    void skip();

private:
    [[noreturn]] void fail(const QString &feminine, const QString &neuter) const;

    const Archive &mArchive;
    Subject mSubject;
    zip_file *mFile = nullptr;
    qint64 mRead = 0;
    QXmlStreamReader mXml;
};
