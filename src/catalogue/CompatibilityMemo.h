// The compatibility memo of the record editor and the search window: its double click, Enter and
// its context menu's "Избор" open the compatibility picker and append the picked entry; the
// context menu also copies, cuts and pastes. Its text has CR LF line breaks, as a stored
// compatibility text has them; the typing limit counts them as two characters and holds for what
// is typed or pasted, not for picked entries.
#pragma once

#include <QPlainTextEdit>

class QAction;
class QMenu;

class CompatibilityMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CompatibilityMemo(QWidget *parent = nullptr);

    QMenu *PopupMenu1;
    QAction *Copy1;
    QAction *Cut1;
    QAction *Paste1;
    QAction *N3;
    QAction *Select1;

    QString text() const;
    void setText(const QString &text);
    // 0: none.
    void setTypingLimit(int characters) { mLimit = characters; }
    int typingLimit() const { return mLimit; }

    // Shows the picker; when it closes by "&Добави", appends its entry (after one space when the
    // memo is not empty). True when something was appended.
    bool pick();

    void PopupMenu1Popup();
    void Copy1Click();
    void Cut1Click();
    void Paste1Click();

signals:
    // Esc was pressed in the memo: the window closes.
    void escapePressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;

private:
    // What of text may still be typed in place of the selection under the typing limit.
    QString fitting(const QString &text) const;

    int mLimit = 0;
};
