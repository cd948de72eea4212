// The data-aware edit box.
#include "TDBEdit.h"

#include "Guard.h"
#include "dataset/TDaoTable.h"
#include "TDataLink.h"

TDBEdit::TDBEdit(QWidget *parent) : QLineEdit(parent), mLink(new TDataLink(this))
{
    connect(this, &QLineEdit::textEdited, this, [this](const QString &t) { typed(t); });
    for (auto signal : {&TDataLink::dataSetChanged, &TDataLink::stateChanged})
        connect(mLink, signal, this, &TDBEdit::refresh);
    for (auto signal : {&TDataLink::currentChanged, &TDataLink::rowChanged})
        connect(mLink, signal, this, &TDBEdit::refresh);
    // Another counter's change of the row shows at once, so that typing starts from it.
    connect(mLink, &TDataLink::rowsFollowed, this, &TDBEdit::refresh);
}

void TDBEdit::setDataSource(TDataSource *source)
{
    mLink->setDataSource(source);
}

TDataSource *TDBEdit::DataSource() const
{
    return mLink->DataSource();
}

void TDBEdit::setDataField(const QString &field)
{
    mField = field;
    refresh();
}

void TDBEdit::refresh()
{
    if (mShowing)
        return;
    QString text;
    TDaoTable *t = mLink->DataSet();
    if (t && t->Active() && !mField.isEmpty()) {
        if (TDaoField *f = t->FindField(mField))
            text = f->AsString();
    }
    if (text != this->text()) {
        mShowing = true;
        const int cursor = cursorPosition();
        setText(text);
        setCursorPosition(qMin(cursor, int(text.size())));
        mShowing = false;
    }
}

void TDBEdit::typed(const QString &text)
{
    TDaoTable *t = mLink->DataSet();
    if (!t || !t->Active() || isReadOnly())
        return;
    // Writing into the buffer reports the row as changed; the box already shows the text.
    mShowing = true;
    const bool ok = Guard::run([&] {
        if (t->State() == TDaoTable::dsBrowse)
            t->Edit();
        t->FieldByName(mField)->setAsString(text);
    });
    mShowing = false;
    if (!ok)
        refresh();
}
