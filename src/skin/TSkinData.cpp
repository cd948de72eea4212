// The skin engine over Qt style sheets.
#include "TSkinData.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSkin, "velostok.skin", QtWarningMsg)

TSkinData *SkinData1 = nullptr;

TSkinData::TSkinData(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("SkinData1"));
}

TSkinData::~TSkinData()
{
    if (mActive && qApp)
        qApp->setStyleSheet(QString());
}

void TSkinData::setSkinFile(const QString &path)
{
    mFile = path;
    const QFileInfo info(path);
    if (!info.isFile())
        return; // only the name is kept
    QFile file(path);
    QString sheet;
    if (info.size() > MaxSkinBytes) {
        qCWarning(lcSkin) << path << "is too large to be a skin:" << info.size() << "bytes";
    } else if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcSkin) << path << "cannot be read:" << file.errorString();
    } else if (const std::optional<QString> read = SkinSheet::read(file, MaxSkinBytes)) {
        sheet = *read;
    } else {
        // Grown past the limit since it was looked at, or a read error.
        qCWarning(lcSkin) << path << "is no skin:" << (file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("too large"));
    }
    mSheet = sheet;
    if (mActive)
        apply();
}

void TSkinData::setActive(bool on)
{
    if (mActive == on)
        return;
    mActive = on;
    apply();
}

void TSkinData::apply()
{
    // The whole application: every window, those made later too.
    qApp->setStyleSheet(mActive ? mSheet : QString());
    emit applied();
}
