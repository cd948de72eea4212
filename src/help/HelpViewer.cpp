// The help viewer and the help command.
#include "HelpViewer.h"

#include "Paths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

THelpViewer::THelpViewer(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fHelp"));
    setWindowTitle(QStringLiteral("Velostok – помощ"));
    setModal(false);
    auto *bar = new QHBoxLayout;
    auto button = [&](const char *name, const QString &text) {
        auto *b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        bar->addWidget(b);
        return b;
    };
    bBack = button("bBack", QStringLiteral("← Назад"));
    bForward = button("bForward", QStringLiteral("Напред →"));
    bHome = button("bHome", QStringLiteral("Съдържание"));
    bar->addStretch();
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(Browser, 1);
    resize(820, 700);
    bBack->setEnabled(false);
    bForward->setEnabled(false);
    connect(bBack, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(bForward, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(bHome, &QToolButton::clicked, Browser, &QTextBrowser::home);
    connect(Browser, &QTextBrowser::backwardAvailable, bBack, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, bForward, &QToolButton::setEnabled);
}

void THelpViewer::showFile(const QString &path, const QString &section)
{
    if (path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        QFile file(path);
        Browser->setPlainText(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString());
    } else {
        QUrl url = QUrl::fromLocalFile(path);
        if (!section.isEmpty())
            url.setFragment(section);
        Browser->setSource(url, QTextDocument::HtmlResource);
    }
    shownFile = path;
    show();
    raise();
    activateWindow();
}

namespace Help {

QString helpFilePath()
{
    return QDir(Paths::programDir()).filePath(QStringLiteral("velostok.html"));
}

QString readmePath()
{
    return QDir(Paths::programDir()).filePath(QStringLiteral("Readme.txt"));
}

THelpViewer *viewer()
{
    static QPointer<THelpViewer> v;
    if (!v)
        v = new THelpViewer(QApplication::activeWindow());
    return v;
}

bool open(const QString &section)
{
    if (QFileInfo::exists(helpFilePath())) {
        viewer()->showFile(helpFilePath(), section);
        return true;
    }
    if (QFileInfo::exists(readmePath())) {
        viewer()->showFile(readmePath());
        return true;
    }
    return false;
}

} // namespace Help
