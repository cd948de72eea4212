// The skin engine over Qt style sheets.
#include "TSkinData.h"

#include "SkinLog.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QSet>
#include <QWidget>

TSkinData *SkinData1 = nullptr;

namespace {

// A style sheet sets the properties it names ("qproperty-name: value;") once and never takes
// them back: those that can be reset return to their defaults when that sheet goes.
void resetSheetProperties(const QString &sheet)
{
    static const QRegularExpression named(QStringLiteral("qproperty-([A-Za-z_][A-Za-z0-9_]*)"));
    QSet<QByteArray> names;
    for (const QRegularExpressionMatch &m : named.globalMatch(sheet))
        names << m.captured(1).toLatin1();
    if (names.isEmpty())
        return;
    for (QWidget *w : QApplication::allWidgets()) {
        const QMetaObject *meta = w->metaObject();
        for (const QByteArray &name : names) {
            const int i = meta->indexOfProperty(name.constData());
            if (i >= 0 && meta->property(i).isResettable())
                meta->property(i).reset(w);
        }
    }
}

} // namespace

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

bool TSkinData::useFirstOf(const QStringList &files, bool activate)
{
    for (const QString &file : files) {
        if (QFileInfo(file).isFile()) {
            setSkinFile(file);
            if (activate)
                setActive(true);
            return true;
        }
    }
    return false;
}

void TSkinData::apply()
{
    resetSheetProperties(qApp->styleSheet());
    // The whole application: every window, those made later too.
    qApp->setStyleSheet(mActive ? mSheet : QString());
    emit applied();
}
