// XML parts of zip files, streamed.
#include "import/ZipXmlPart.h"

#include "base/DaoError.h"

#include <QFile>
#include <zip.h>

ZipXmlPart::Archive::Archive(const QString &path) : mName(path)
{
    int error = 0;
    mZip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
}

ZipXmlPart::Archive::Archive(const QByteArray &bytes, const QString &name) : mBytes(bytes), mName(name)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(mBytes.constData(), zip_uint64_t(mBytes.size()), 0, &error);
    if (source) {
        mZip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!mZip)
            zip_source_free(source); // the archive owns it only once open
    }
    zip_error_fini(&error);
}

ZipXmlPart::Archive::~Archive()
{
    if (mZip)
        zip_discard(mZip);
}

bool ZipXmlPart::Archive::contains(const QString &part) const
{
    return zip_name_locate(mZip, part.toUtf8().constData(), 0) >= 0;
}

void ZipXmlPart::Archive::fail(const QString &why) const
{
    throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде прочетен: %2.").arg(mName, why));
}

ZipXmlPart::ZipXmlPart(const Archive &archive, const QString &name)
    : ZipXmlPart(archive, name, Subject{QStringLiteral("частта %1").arg(name), false})
{
}

ZipXmlPart::ZipXmlPart(const Archive &archive, const QString &name, const Subject &subject)
    : mArchive(archive), mSubject(subject)
{
    const QByteArray entry = name.toUtf8();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(archive.mZip, entry.constData(), 0, &st) != 0)
        archive.fail(QStringLiteral("липсва частта %1").arg(name));
    if ((st.valid & ZIP_STAT_SIZE) && qint64(st.size) > MaxBytes)
        archive.fail(QStringLiteral("%1 е %2 MB след разархивиране (най-много %3 MB)").arg(mSubject.text).arg(qint64(st.size) >> 20).arg(MaxBytes >> 20));
    mFile = zip_fopen(archive.mZip, entry.constData(), 0);
    if (!mFile)
        fail(QStringLiteral("не може да бъде разархивирана"), QStringLiteral("не може да бъде разархивирано"));
}

ZipXmlPart::~ZipXmlPart()
{
    if (mFile)
        zip_fclose(mFile);
}

void ZipXmlPart::fail(const QString &feminine, const QString &neuter) const
{
    mArchive.fail(mSubject.text + QLatin1Char(' ') + (mSubject.neuter ? neuter : feminine));
}

QXmlStreamReader::TokenType ZipXmlPart::next()
{
    for (;;) {
        const QXmlStreamReader::TokenType t = mXml.readNext();
        if (t != QXmlStreamReader::Invalid)
            return t;
        if (mXml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            mArchive.fail(QStringLiteral("%1 не е правилен XML (%2)").arg(mSubject.text, mXml.errorString()));
        char chunk[64 * 1024];
        const zip_int64_t n = zip_fread(mFile, chunk, sizeof chunk);
        if (n < 0)
            fail(QStringLiteral("е повредена"), QStringLiteral("е повредено"));
        if (n == 0)
            mArchive.fail(QStringLiteral("%1 свършва по средата").arg(mSubject.text));
        mRead += n;
        if (mRead > MaxBytes)
            mArchive.fail(QStringLiteral("%1 е над %2 MB след разархивиране").arg(mSubject.text).arg(MaxBytes >> 20));
        mXml.addData(QByteArray(chunk, int(n)));
    }
}

void ZipXmlPart::skip()
{
    for (int depth = 1; depth > 0;) {
        const QXmlStreamReader::TokenType t = next();
        if (t == QXmlStreamReader::StartElement)
            ++depth;
        else if (t == QXmlStreamReader::EndElement)
            --depth;
        else if (t == QXmlStreamReader::EndDocument)
            mArchive.fail(QStringLiteral("%1 свършва по средата").arg(mSubject.text));
    }
}
