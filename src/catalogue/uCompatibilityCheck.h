// The check of the compatibility texts: the entries that the car catalogue does not know, with the
// catalogue's nearest car proposed, and their repair in the rows they occur in.
#pragma once

#include "fitment/CompatibilityCheck.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

class TfCompatibilityCheck : public QDialog
{
    Q_OBJECT

public:
    explicit TfCompatibilityCheck(QWidget *parent = nullptr);

    QLabel *Label1;
    QTreeWidget *lvFindings; // entry, problems, proposal, rows
    QLabel *lblSummary;
    QProgressBar *pbProgress;
    QPushButton *bFix;
    QPushButton *bCancel;

    // Reads the catalogue and every row's text, and lists what it finds.
    void Check();
    // Rewrites the chosen entry as proposed in its rows, after one confirmation.
    void bFixClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setupUi();
    void selectionChanged();

    QList<compatibility::Finding> mFindings;
    bool mChecked = false;
};
