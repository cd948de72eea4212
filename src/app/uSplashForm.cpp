// The splash window.
#include "uSplashForm.h"

#include "Pictures.h"

#include <QAction>
#include <QElapsedTimer>
#include <QWindow>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <unistd.h>

TfSplashForm::TfSplashForm(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("fSplashForm"));
    setFixedSize(583, 215);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(rect());
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(Panel1->contentsRect());
    Image1->setPixmap(Pictures::picture(QStringLiteral("splash")));
    Image1->setScaledContents(false);
    Image1->setAlignment(Qt::AlignCenter);

    Label1 = new QLabel(QStringLiteral("Моля почакайте ..."), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(20, 52);
    Label1->adjustSize();
    Label1->setAttribute(Qt::WA_TranslucentBackground);

    Label2 = new QLabel(QStringLiteral("Velostok v1.4"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(19);
    f.setBold(true);
    Label2->setFont(f);
    QPalette p = Label2->palette();
    p.setColor(QPalette::WindowText, QColor(68, 68, 68));
    Label2->setPalette(p);
    Label2->move(14, 2);
    Label2->adjustSize();
    Label2->setAttribute(Qt::WA_TranslucentBackground);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Close1 = PopupMenu1->addAction(QStringLiteral("Close"));
    Close1->setObjectName(QStringLiteral("Close1"));
    connect(Close1, &QAction::triggered, this, [this] { Close1Click(); });
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(Image1->mapToGlobal(pos)); });

    if (const QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TfSplashForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TfSplashForm::FormShow()
{
    // Wait (briefly) for the window system to map the splash, so that it is really painted.
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    repaint();
    QApplication::processEvents();
}

void TfSplashForm::Close1Click()
{
    ::_exit(0);
}
