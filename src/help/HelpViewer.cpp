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
#include <QWindow>

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
    Browser->setFocus(); // the text takes the keys (Page Down, Alt+Left) when the window opens
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
    followModal();
    raise();
    activateWindow();
}

bool THelpViewer::event(QEvent *e)
{
    // A modal window shown after this one blocks it; once that has settled, follow it.
    if (e->type() == QEvent::WindowBlocked)
        QMetaObject::invokeMethod(this, &THelpViewer::followModal, Qt::QueuedConnection);
    return QDialog::event(e);
}

void THelpViewer::followModal()
{
    QWindow *own = windowHandle();
    QWindow *owner = QGuiApplication::modalWindow();
    if (!own || owner == own || (owner && own->isAncestorOf(owner, QWindow::IncludeTransients)))
        return;
    if (!owner && parentWidget())
        owner = parentWidget()->window()->windowHandle();
    // Qt lets a modal window's transient children take input; the widget's parent stays.
    own->setTransientParent(owner);
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
