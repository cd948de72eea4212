// The compatibility memo shared by the record editor and the search window.
#include "CompatibilityMemo.h"

#include "Guard.h"
#include "Prompts.h"
#include "uMarkAndModels.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>

namespace {

QString withCrLf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

// The length of a text as it is stored: a line break is CR LF.
qsizetype storedLength(const QString &plain)
{
    return plain.size() + plain.count(QLatin1Char('\n'));
}

} // namespace

CompatibilityMemo::CompatibilityMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("eComment"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    setToolTip(QStringLiteral("Щракнете два пъти с мишката"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char *name, const QString &text, QKeyCombination key) {
        QAction *a = PopupMenu1->addAction(text);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(QKeySequence(key));
        a->setShortcutContext(Qt::WidgetShortcut);
        addAction(a); // the keys work while the memo has the focus
        return a;
    };
    Copy1 = item("Copy1", QStringLiteral("Копирай"), Qt::CTRL | Qt::Key_C);
    Cut1 = item("Cut1", QStringLiteral("Изрежи"), Qt::CTRL | Qt::Key_X);
    Paste1 = item("Paste1", QStringLiteral("Постави"), Qt::CTRL | Qt::Key_V);
    N3 = PopupMenu1->addSeparator();
    N3->setObjectName(QStringLiteral("N3"));
    Select1 = item("Select1", QStringLiteral("Избор"), Qt::CTRL | Qt::Key_S);
    connect(Copy1, &QAction::triggered, this, Guard::slot([this] { Copy1Click(); }));
    connect(Cut1, &QAction::triggered, this, Guard::slot([this] { Cut1Click(); }));
    connect(Paste1, &QAction::triggered, this, Guard::slot([this] { Paste1Click(); }));
    connect(Select1, &QAction::triggered, this, Guard::slot([this] { pick(); }));
    connect(PopupMenu1, &QMenu::aboutToShow, this, Guard::slot([this] { PopupMenu1Popup(); }));
}

QString CompatibilityMemo::text() const
{
    return withCrLf(toPlainText());
}

void CompatibilityMemo::setText(const QString &text)
{
    setPlainText(text);
}

bool CompatibilityMemo::pick()
{
    if (prompts().showModal(fMarkAndModels) != QDialog::Accepted)
        return false;
    // Beyond the typing limit: a picked entry is appended whole.
    QString now = toPlainText();
    if (!now.isEmpty())
        now += QLatin1Char(' ');
    setPlainText(now + PickedCompatibility);
    moveCursor(QTextCursor::End);
    return true;
}

void CompatibilityMemo::PopupMenu1Popup()
{
    Paste1->setEnabled(QGuiApplication::clipboard()->mimeData() && QGuiApplication::clipboard()->mimeData()->hasText());
    const bool selected = textCursor().hasSelection();
    Copy1->setEnabled(selected);
    Cut1->setEnabled(selected);
}

void CompatibilityMemo::Copy1Click()
{
    copy();
}

void CompatibilityMemo::Cut1Click()
{
    cut();
}

void CompatibilityMemo::Paste1Click()
{
    const QMimeData *m = QGuiApplication::clipboard()->mimeData();
    if (m && m->hasText())
        paste();
}

QString CompatibilityMemo::fitting(const QString &text) const
{
    if (mLimit <= 0)
        return text;
    const qsizetype kept = storedLength(toPlainText()) - storedLength(textCursor().selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')));
    qsizetype room = mLimit - kept;
    QString out;
    for (const QChar c : text) {
        const int cost = c == QLatin1Char('\n') ? 2 : 1;
        if (room < cost)
            break;
        out += c;
        room -= cost;
    }
    return out;
}

void CompatibilityMemo::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter) {
        // The picker first; the Enter then still makes its line break.
        Guard::run([this] { pick(); });
        if (!fitting(QStringLiteral("\n")).isEmpty())
            textCursor().insertText(QStringLiteral("\n"));
        return;
    }
    const QString typed = event->text();
    if (mLimit > 0 && !typed.isEmpty() && typed.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier)) {
        const QString fits = fitting(typed);
        if (fits.isEmpty())
            return;
        if (fits != typed) {
            textCursor().insertText(fits);
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CompatibilityMemo::mouseDoubleClickEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    Guard::run([this] { pick(); });
}

void CompatibilityMemo::contextMenuEvent(QContextMenuEvent *event)
{
    PopupMenu1->exec(event->globalPos());
}

bool CompatibilityMemo::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasText();
}

void CompatibilityMemo::insertFromMimeData(const QMimeData *source)
{
    if (!source->hasText())
        return;
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    textCursor().insertText(fitting(text));
}
