// Scope helpers: what a handler switches on for its duration is switched off again however it ends.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include "dataset/TDaoTable.h"

// The hourglass while a long operation runs; the previous pointer comes back at the end.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// A dataset's attached controls suspended (DisableControls) until the end of the scope.
class ControlsSuspended
{
public:
    explicit ControlsSuspended(TDaoTable *dataSet) : mDataSet(dataSet) { mDataSet->DisableControls(); }
    ~ControlsSuspended()
    {
        if (mDataSet)
            mDataSet->EnableControls();
    }
    ControlsSuspended(const ControlsSuspended &) = delete;
    ControlsSuspended &operator=(const ControlsSuspended &) = delete;

private:
    QPointer<TDaoTable> mDataSet;
};

// A window disabled until the end of the scope.
class WidgetDisabled
{
public:
    explicit WidgetDisabled(QWidget *widget) : mWidget(widget) { mWidget->setEnabled(false); }
    ~WidgetDisabled()
    {
        if (mWidget)
            mWidget->setEnabled(true);
    }
    WidgetDisabled(const WidgetDisabled &) = delete;
    WidgetDisabled &operator=(const WidgetDisabled &) = delete;

private:
    QPointer<QWidget> mWidget;
};
