// An editable combo box showing a pick list, whose model it shares. The box holds the text as
// typed: there is no completion, and an entry comes into the box only when picked from the
// open list. A list not read yet is read when the box is first opened, browsed with the row
// keys or typed into, not when the box is given it: a window that shows a list of a million
// catalogue numbers opens at once, and the list is read only if the user goes to it.
#pragma once

#include "TPickList.h"

#include <QComboBox>

class PickListBox : public QComboBox
{
    Q_OBJECT

public:
    explicit PickListBox(QWidget *parent = nullptr);

    // Shows list; the text in the box stays.
    void setPickList(const TPickList &list);
    const TPickList &pickList() const { return mList; }
    // Whether the box shows the list's entries yet.
    bool listAttached() const { return mAttached; }

    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void attach();

    TPickList mList; // held: its model lives while the box shows it
    bool mAttached = false;
};
