#include "TDBEdit.h"

#include "Guard.h"
#include "TDaoTable.h"

TDBEdit::TDBEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this](const QString &t) { typed(t); });
}

void TDBEdit::setDataSource(TDataSource *source)
{
    if (mSource)
        disconnect(mSource, nullptr, this, nullptr);
    mSource = source;
    if (mSource)
        connect(mSource, &TDataSource::dataSetChanged, this, &TDBEdit::attach);
    attach();
}

void TDBEdit::setDataField(const QString &field)
{
    mField = field;
    refresh();
}

void TDBEdit::attach()
{
    for (const auto &c : std::as_const(mConnections))
        disconnect(c);
    mConnections.clear();
    mDataSet = mSource ? mSource->DataSet() : nullptr;
    if (mDataSet) {
        auto show = [this] { refresh(); };
        mConnections << connect(mDataSet, &TDaoTable::dataSetChanged, this, show)
                     << connect(mDataSet, &TDaoTable::currentChanged, this, show)
                     << connect(mDataSet, &TDaoTable::rowChanged, this, show)
                     << connect(mDataSet, &TDaoTable::stateChanged, this, show);
    }
    refresh();
}

void TDBEdit::refresh()
{
    if (mShowing)
        return;
    QString text;
    if (mDataSet && mDataSet->Active() && !mField.isEmpty()) {
        if (TDaoField *f = mDataSet->FindField(mField))
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
    if (!mDataSet || !mDataSet->Active() || isReadOnly())
        return;
    // Writing into the buffer reports the row as changed; the box already shows the text.
    mShowing = true;
    const bool ok = Guard::run([&] {
        if (mDataSet->State() == TDaoTable::dsBrowse)
            mDataSet->Edit();
        mDataSet->FieldByName(mField)->setAsString(text);
    });
    mShowing = false;
    if (!ok)
        refresh();
}
