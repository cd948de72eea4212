// The product's images, drawn at run time.
#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace {

enum class Kind {
    None, Users, Refresh, Save, First, Last, Add, Delete, Search, Print, Settings, Edit, Help, Car,
    Erase, Export, Exit, Connect, Contents, Updates, Compact, PrintSetup, Language, Copy, Paste,
    Undelete, NewBase, Renumber
};

// Image indexes of the tool bar's list.
Kind toolBarKind(int index)
{
    switch (index) {
    case 0: return Kind::Users;
    case 1: return Kind::Refresh;
    case 2: return Kind::Save;
    case 3: return Kind::First;
    case 6: return Kind::Last;
    case 7: return Kind::Add;
    case 8: return Kind::Delete;
    case 9: return Kind::Search;
    case 10: return Kind::Print;
    case 11: return Kind::Settings;
    case 12: return Kind::Edit;
    case 13: return Kind::Help;
    case 15: return Kind::Car;
    default: return Kind::None;
    }
}

// Image indexes of the menu's list.
Kind menuKind(int index)
{
    switch (index) {
    case 0: return Kind::Erase;
    case 1: return Kind::Save;
    case 2: return Kind::Refresh;
    case 3: return Kind::Add;
    case 4: return Kind::Delete;
    case 5: return Kind::Export;
    case 6: return Kind::Edit;
    case 7: return Kind::Print;
    case 8: return Kind::Exit;
    case 9: return Kind::Users;
    case 12: return Kind::Connect;
    case 13: return Kind::Search;
    case 14: return Kind::Settings;
    case 15: return Kind::Contents;
    case 16: return Kind::Help;
    case 18: return Kind::Car;
    case 19: return Kind::Updates;
    case 21: return Kind::Compact;
    case 22: return Kind::PrintSetup;
    case 23: return Kind::Language;
    case 24: return Kind::Copy;
    case 25: return Kind::Paste;
    case 26: return Kind::Undelete;
    case 27: return Kind::NewBase;
    case 28: return Kind::Renumber;
    default: return Kind::None;
    }
}

const QColor Blue(31, 78, 140);
const QColor Green(46, 139, 87);
const QColor Red(200, 52, 52);
const QColor Orange(232, 128, 58);
const QColor Grey(90, 98, 112);

// A symbol from the font, centred.
void glyph(QPainter &p, const QRectF &r, const QString &text, const QColor &c, qreal scale = 0.8)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(qMax(6, int(r.height() * scale)));
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, text);
}

void sheet(QPainter &p, const QRectF &r, const QColor &edge)
{
    p.setPen(QPen(edge, r.width() / 16));
    p.setBrush(Qt::white);
    const qreal w = r.width();
    QPainterPath path;
    path.moveTo(r.left() + w * 0.2, r.top() + w * 0.08);
    path.lineTo(r.left() + w * 0.62, r.top() + w * 0.08);
    path.lineTo(r.left() + w * 0.8, r.top() + w * 0.26);
    path.lineTo(r.left() + w * 0.8, r.bottom() - w * 0.08);
    path.lineTo(r.left() + w * 0.2, r.bottom() - w * 0.08);
    path.closeSubpath();
    p.drawPath(path);
}

void draw(QPainter &p, Kind kind, int size)
{
    const QRectF r(0, 0, size, size);
    const qreal s = size;
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    switch (kind) {
    case Kind::None:
        break;
    case Kind::Users: {
        p.setPen(Qt::NoPen);
        p.setBrush(Blue);
        p.drawEllipse(QRectF(s * 0.34, s * 0.1, s * 0.32, s * 0.32));
        QPainterPath body;
        body.addRoundedRect(QRectF(s * 0.16, s * 0.48, s * 0.68, s * 0.44), s * 0.2, s * 0.2);
        p.drawPath(body);
        break;
    }
    case Kind::Refresh: glyph(p, r, QStringLiteral("\u21BB"), Green, 0.95); break;
    case Kind::Save: glyph(p, r, QStringLiteral("\u2714"), Green); break;
    case Kind::First:
    case Kind::Last: {
        const bool first = kind == Kind::First;
        p.setPen(Qt::NoPen);
        p.setBrush(Blue);
        const qreal barY = first ? s * 0.16 : s * 0.76;
        p.drawRect(QRectF(s * 0.2, barY, s * 0.6, s * 0.09));
        QPolygonF tri;
        if (first)
            tri << QPointF(s * 0.5, s * 0.3) << QPointF(s * 0.18, s * 0.8) << QPointF(s * 0.82, s * 0.8);
        else
            tri << QPointF(s * 0.5, s * 0.7) << QPointF(s * 0.18, s * 0.2) << QPointF(s * 0.82, s * 0.2);
        p.drawPolygon(tri);
        break;
    }
    case Kind::Add: glyph(p, r, QStringLiteral("\u271A"), Green); break;
    case Kind::Delete: glyph(p, r, QStringLiteral("\u2716"), Red); break;
    case Kind::Search: {
        p.setPen(QPen(Blue, s * 0.11, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(QColor(220, 232, 246));
        p.drawEllipse(QRectF(s * 0.14, s * 0.14, s * 0.46, s * 0.46));
        p.drawLine(QPointF(s * 0.55, s * 0.55), QPointF(s * 0.86, s * 0.86));
        break;
    }
    case Kind::Print:
    case Kind::PrintSetup: {
        p.setPen(QPen(Grey, qMax(1.0, s / 20)));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(s * 0.28, s * 0.1, s * 0.44, s * 0.3));
        p.setBrush(Grey);
        p.drawRoundedRect(QRectF(s * 0.1, s * 0.38, s * 0.8, s * 0.34), s * 0.06, s * 0.06);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(s * 0.28, s * 0.62, s * 0.44, s * 0.28));
        if (kind == Kind::PrintSetup)
            glyph(p, QRectF(s * 0.45, s * 0.45, s * 0.55, s * 0.55), QStringLiteral("\u2699"), Orange, 0.95);
        break;
    }
    case Kind::Settings: glyph(p, r, QStringLiteral("\u2699"), Grey, 0.95); break;
    case Kind::Edit: glyph(p, r, QStringLiteral("\u270E"), Orange, 0.9); break;
    case Kind::Help: glyph(p, r, QStringLiteral("?"), Blue, 0.85); break;
    case Kind::Car: {
        p.setPen(Qt::NoPen);
        p.setBrush(Red);
        QPainterPath body;
        body.moveTo(s * 0.06, s * 0.66);
        body.lineTo(s * 0.06, s * 0.5);
        body.lineTo(s * 0.24, s * 0.46);
        body.lineTo(s * 0.36, s * 0.28);
        body.lineTo(s * 0.68, s * 0.28);
        body.lineTo(s * 0.8, s * 0.46);
        body.lineTo(s * 0.94, s * 0.5);
        body.lineTo(s * 0.94, s * 0.66);
        body.closeSubpath();
        p.drawPath(body);
        p.setBrush(QColor(210, 228, 245));
        p.drawRect(QRectF(s * 0.4, s * 0.33, s * 0.24, s * 0.12));
        p.setBrush(QColor(43, 47, 54));
        p.drawEllipse(QRectF(s * 0.16, s * 0.56, s * 0.2, s * 0.2));
        p.drawEllipse(QRectF(s * 0.64, s * 0.56, s * 0.2, s * 0.2));
        break;
    }
    case Kind::Erase: glyph(p, r, QStringLiteral("\u2718"), Red); break;
    case Kind::Export:
        sheet(p, r, Green);
        glyph(p, QRectF(s * 0.2, s * 0.3, s * 0.6, s * 0.6), QStringLiteral("\u2192"), Green, 0.9);
        break;
    case Kind::Exit: {
        p.setPen(QPen(Red, s / 9, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(s * 0.18, s * 0.2, s * 0.64, s * 0.64), 120 * 16, 300 * 16);
        p.drawLine(QPointF(s * 0.5, s * 0.1), QPointF(s * 0.5, s * 0.48));
        break;
    }
    case Kind::Connect: {
        p.setPen(QPen(Grey, qMax(1.0, s / 16)));
        p.setBrush(QColor(201, 206, 214));
        for (int i = 2; i >= 0; --i)
            p.drawEllipse(QRectF(s * 0.18, s * (0.14 + i * 0.22), s * 0.64, s * 0.28));
        glyph(p, QRectF(s * 0.4, s * 0.4, s * 0.6, s * 0.6), QStringLiteral("\u21C4"), Blue, 0.9);
        break;
    }
    case Kind::Contents:
        sheet(p, r, Blue);
        p.setPen(QPen(Blue, qMax(1.0, s / 16)));
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(s * 0.32, s * (0.4 + i * 0.15)), QPointF(s * 0.68, s * (0.4 + i * 0.15)));
        break;
    case Kind::Updates: glyph(p, r, QStringLiteral("\u2605"), Orange, 0.9); break;
    case Kind::Compact: {
        p.setPen(QPen(Grey, qMax(1.0, s / 16)));
        p.setBrush(QColor(201, 206, 214));
        p.drawEllipse(QRectF(s * 0.2, s * 0.5, s * 0.6, s * 0.3));
        p.drawEllipse(QRectF(s * 0.2, s * 0.36, s * 0.6, s * 0.3));
        glyph(p, QRectF(0, 0, s, s * 0.42), QStringLiteral("\u21E9"), Blue, 0.95);
        break;
    }
    case Kind::Language: glyph(p, r, QStringLiteral("Aa"), Blue, 0.62); break;
    case Kind::Copy:
        sheet(p, QRectF(-s * 0.1, -s * 0.06, s * 0.9, s * 0.9), Grey);
        sheet(p, QRectF(s * 0.18, s * 0.16, s * 0.84, s * 0.84), Blue);
        break;
    case Kind::Paste: {
        p.setPen(QPen(Grey, qMax(1.0, s / 16)));
        p.setBrush(QColor(205, 160, 110));
        p.drawRoundedRect(QRectF(s * 0.14, s * 0.12, s * 0.62, s * 0.8), s * 0.06, s * 0.06);
        sheet(p, QRectF(s * 0.26, s * 0.24, s * 0.74, s * 0.74), Blue);
        break;
    }
    case Kind::Undelete: glyph(p, r, QStringLiteral("\u21B6"), Green, 0.95); break;
    case Kind::NewBase: {
        p.setPen(QPen(Grey, qMax(1.0, s / 16)));
        p.setBrush(QColor(201, 206, 214));
        p.drawEllipse(QRectF(s * 0.1, s * 0.5, s * 0.6, s * 0.3));
        p.drawEllipse(QRectF(s * 0.1, s * 0.34, s * 0.6, s * 0.3));
        glyph(p, QRectF(s * 0.45, 0, s * 0.55, s * 0.55), QStringLiteral("\u271A"), Green, 0.9);
        break;
    }
    case Kind::Renumber: glyph(p, r, QStringLiteral("1\u20262"), Blue, 0.5); break;
    }
}

QPixmap render(Kind kind, int size, bool hot)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    if (hot) {
        // The picture under the mouse sits on a soft highlight.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 226, 170));
        p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
    }
    draw(p, kind, size);
    return pm;
}

} // namespace

namespace Pictures {

QIcon toolBarIcon(int index)
{
    const Kind k = toolBarKind(index);
    QIcon icon;
    if (k == Kind::None)
        return icon;
    icon.addPixmap(render(k, 32, false), QIcon::Normal);
    icon.addPixmap(render(k, 32, true), QIcon::Active);
    return icon;
}

QIcon menuIcon(int index)
{
    const Kind k = menuKind(index);
    QIcon icon;
    if (k == Kind::None)
        return icon;
    icon.addPixmap(render(k, 16, false), QIcon::Normal);
    icon.addPixmap(render(k, 32, false), QIcon::Normal);
    return icon;
}

QPixmap picture(const QString &name)
{
    return QPixmap(QStringLiteral(":/pictures/%1.jpg").arg(name));
}

} // namespace Pictures
