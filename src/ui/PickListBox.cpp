// The combo box of a pick list, reading a pending list when the user goes to it.
#include "PickListBox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>

PickListBox::PickListBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The box holds what was typed: an entry is taken only when picked from the open list, and
    // Enter does not swap the text for an entry that differs only in letter case.
    setCompleter(nullptr);
    setDuplicatesEnabled(true);
    // As wide as laid out, not as the longest of a million entries.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    if (auto *view = qobject_cast<QListView *>(this->view()))
        view->setUniformItemSizes(true);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
        if (!mAttached)
            attach();
    });
}

void PickListBox::setPickList(const TPickList &list)
{
    const QString text = currentText();
    mList = list;
    mAttached = false;
    if (!mList.pending()) {
        attach();
        return;
    }
    // An empty stand-in until the list is wanted.
    if (!qobject_cast<QStringListModel *>(model()))
        setModel(new QStringListModel(this));
    setEditText(text);
}

void PickListBox::attach()
{
    // Swapping the model puts a list entry in the box; the text, cursor and selection come back
    // as they were, so that the key that caused the swap acts where the cursor is.
    QLineEdit *edit = lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    const int selStart = edit->selectionStart();
    const int selLength = edit->selectedText().size();
    if (model() != mList.model())
        setModel(mList.model()); // the box deletes a stand-in of its own
    mAttached = true;
    setEditText(text);
    if (selStart >= 0 && selLength > 0) {
        // The cursor stays at the end of the selection it was at.
        if (cursor == selStart)
            edit->setSelection(selStart + selLength, -selLength);
        else
            edit->setSelection(selStart, selLength);
    } else {
        edit->setCursorPosition(cursor);
    }
}

void PickListBox::showPopup()
{
    if (!mAttached)
        attach();
    QComboBox::showPopup();
}

void PickListBox::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (!mAttached && (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown))
        attach();
    QComboBox::keyPressEvent(event);
}
