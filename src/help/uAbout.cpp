// The about window's form.
#include "uAbout.h"

#include "FormLook.h"
#include "Guard.h"
#include "HelpViewer.h"
#include "Prompts.h"
#include "Pictures.h"

#include <QAction>
#include <QFrame>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLoggingCategory>

TAboutBox *AboutBox = nullptr;

namespace {

// Stands in for the product picture while the product ships none: a wheel on a dark gradient.
QPixmap drawnPicture(QSize size)
{
    QPixmap pm(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, QColor(92, 70, 58));
    g.setColorAt(1, QColor(30, 24, 22));
    p.fillRect(pm.rect(), g);
    const qreal w = size.width();
    const QPointF c(w / 2, size.height() * 0.4);
    const qreal r = w * 0.36;
    p.setPen(QPen(QColor(230, 226, 220), w / 14));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(QColor(190, 180, 170), w / 40));
    for (int i = 0; i < 6; ++i) {
        QLineF spoke(c, c + QPointF(r, 0));
        spoke.setAngle(i * 60 + 15);
        p.drawLine(spoke);
    }
    p.setBrush(QColor(130, 99, 81));
    p.drawEllipse(c, r / 5, r / 5);
    QFont f = FormLook::pixelFont(QStringLiteral("Arial"), int(w / 6.5), true);
    p.setFont(f);
    p.setPen(QColor(240, 236, 230));
    p.drawText(QRectF(0, size.height() * 0.74, w, size.height() * 0.2), Qt::AlignCenter,
               QStringLiteral("Velostok"));
    return pm;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TAboutBox::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("AboutBox"), QStringLiteral("About"), 371, 226);
    FormLook::setBackground(this, QColor(219, 219, 219));

    AboutBox = new QFrame(this);
    AboutBox->setObjectName(QStringLiteral("AboutBox"));
    AboutBox->setGeometry(3, 4, 366, 189);
    // Lowered outer and raised inner bevel: the etched box.
    AboutBox->setFrameStyle(QFrame::Box | QFrame::Sunken);
    AboutBox->setLineWidth(1);
    AboutBox->setMidLineWidth(0);
    FormLook::setBackground(AboutBox, Qt::white);

    Image1 = new QLabel(AboutBox);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 121, 169);
    QPixmap picture = Pictures::picture(QStringLiteral("about"));
    if (picture.isNull())
        picture = drawnPicture(Image1->size());
    Image1->setPixmap(picture.scaled(Image1->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

    AppName = new QLabel(QStringLiteral("Velostok\nversion 1.0"), AboutBox);
    AppName->setObjectName(QStringLiteral("AppName"));
    AppName->setFont(FormLook::pointFont(QStringLiteral("Arial"), 12, true));
    FormLook::setTextColour(AppName, QColor(130, 99, 81));
    AppName->move(167, 8);
    AppName->adjustSize();

    Version = new QLabel(QStringLiteral("© 2005 Велософт ООД, София"), AboutBox);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setFont(FormLook::pointFont(QStringLiteral("MS Sans Serif"), 8, true));
    FormLook::setTextColour(Version, QColor(128, 128, 128));
    Version->move(155, 51);
    Version->adjustSize();

    email = new QLabel(QStringLiteral("support@velosoft.bg"), AboutBox);
    email->setObjectName(QStringLiteral("email"));
    email->setFont(FormLook::pointFont(QStringLiteral("MS Sans Serif"), 8));
    FormLook::setTextColour(email, QColor(130, 0, 3));
    email->move(193, 67);
    email->adjustSize();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Copy1 = PopupMenu1->addAction(QStringLiteral("&Copy"));
    Copy1->setObjectName(QStringLiteral("Copy1"));
    Email1 = PopupMenu1->addAction(QStringLiteral("&Email"));
    Email1->setObjectName(QStringLiteral("Email1"));

    Memo1 = new QPlainTextEdit(AboutBox);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(139, 84, 217, 91);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setReadOnly(true);
    Memo1->setEnabled(false);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setFont(FormLook::pointFont(QStringLiteral("MS Sans Serif"), 8));
    Memo1->document()->setDocumentMargin(0);
    {
        QPalette p = Memo1->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            p.setColor(group, QPalette::Base, Qt::white);
            p.setColor(group, QPalette::Text, QColor(96, 96, 96));
        }
        Memo1->setPalette(p);
    }
    Memo1->setPlainText(QStringLiteral(
        "Внимание: тази програма е защитена от закона за авторското право и сродните му права. "
        "Неразрешеното възпроизвеждане или разпространение на програмата или на част от нея "
        "се преследва по закон."));

    bOk = new QPushButton(QStringLiteral("&OK"), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setGeometry(138, 196, 109, 25);
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);

    bHelp = new QPushButton(QStringLiteral("&Help"), this);
    bHelp->setObjectName(QStringLiteral("bHelp"));
    bHelp->setGeometry(258, 196, 109, 25);

    bOk->setDefault(true);

    connect(bHelp, &QPushButton::clicked, this, Guard::slot([this] { bHelpClick(); }));
    connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
    connect(Email1, &QAction::triggered, this, Guard::slot([this] { emailClick(); }));
    email->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(email, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(email->mapToGlobal(at)); });
    for (QWidget *w : {static_cast<QWidget *>(email), static_cast<QWidget *>(AppName), static_cast<QWidget *>(AboutBox),
                       static_cast<QWidget *>(Version), static_cast<QWidget *>(Memo1)}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
}

QString TAboutBox::mailLink() const
{
    return QStringLiteral("mailto:") + email->text() + QStringLiteral("?subject=About Velostok version 1.0");
}

QString TAboutBox::webSite()
{
    return QStringLiteral("https://www.velosoft.bg/");
}

void TAboutBox::emailClick()
{
    // The platform finds no program for the link: no mail program is installed.
    if (!prompts().openDocument(mailLink()))
        prompts().message(QStringLiteral("За съжаление на компютъра Ви няма инсталиран клиент за електронна поща !\r     "
                                         "За да изпратите e-mail, копирайте адреса с десният бутон на мишката ."));
}

void TAboutBox::Copy1Click()
{
    QGuiApplication::clipboard()->setText(email->text());
}

void TAboutBox::AppNameClick()
{
    prompts().openDocument(webSite());
}

void TAboutBox::bHelpClick()
{
    const auto close = qScopeGuard([this] { accept(); }); // closes also when nothing opened
    Help::open();
}

void TAboutBox::emailMouseMove()
{
    email->setCursor(Qt::PointingHandCursor);
    QFont f = email->font();
    f.setUnderline(true);
    email->setFont(f);
}

void TAboutBox::AboutBoxMouseMove()
{
    QFont f = email->font();
    f.setUnderline(false);
    email->setFont(f);
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (watched == email) {
            emailMouseMove();
        } else if (watched == Version || watched == Memo1) {
            AboutBoxMouseMove();
        } else if (watched == AboutBox) {
            // A move over the address that the address left to its panel is still over it.
            const auto *m = event->type() == QEvent::MouseMove ? static_cast<QMouseEvent *>(event) : nullptr;
            if (!m || !email->geometry().contains(m->position().toPoint()))
                AboutBoxMouseMove();
        }
    } else if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == email)
            Guard::run([this] { emailClick(); });
        else if (watched == AppName)
            Guard::run([this] { AppNameClick(); });
    }
    return QDialog::eventFilter(watched, event);
}
