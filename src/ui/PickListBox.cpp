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
    const QString text = currentText();
    if (model() != mList.model())
        setModel(mList.model()); // the box deletes a stand-in of its own
    mAttached = true;
    setEditText(text);
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
