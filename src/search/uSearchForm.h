// The search window: criteria on the inventory's fields, combined into one filter.
#pragma once

#include <QDialog>
#include <QMultiHash>

class CompatibilityMemo;
class QButtonGroup;
class QCheckBox;
class PickListBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

class TfSearchForm : public QDialog
{
    Q_OBJECT

public:
    explicit TfSearchForm(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Image1;
    QLabel *Label1;
    QLineEdit *eID;
    QLabel *Label2;
    PickListBox *cbxUnitNum; // the grid's list of catalogue numbers, shared
    QLabel *Label3;
    PickListBox *cbxUnitName; // the grid's list of names, shared
    QLabel *Label4;
    QLabel *Label5; // the note under "Съвместимост"
    CompatibilityMemo *eComment; // with its pop-up menu PopupMenu1
    QLabel *Label6;
    QLineEdit *eDeliverName;
    QLabel *Label7;
    QLineEdit *eDeliverNum;
    QLabel *Label8;
    QLineEdit *eDeliveryCountry;
    QLabel *Label9;
    QLabel *lblException; // the quantity comparison character
    QLineEdit *eQuantity;
    QToolButton *Less;
    QToolButton *Equal;
    QToolButton *More;
    QButtonGroup *ComparisonGroup; // exactly one of Less, Equal, More is down
    QCheckBox *cbxStar;
    QCheckBox *cbxHide;
    // The cars a part fits, from the rows' compatibility entries.
    QGroupBox *gbFitment;
    QLabel *Label10;
    QComboBox *cbxFitMake; // the catalogue's makes
    QLabel *Label11;
    QComboBox *cbxFitModel; // the chosen make's models
    QLabel *Label12;
    QLineEdit *eFitYear;
    QPushButton *bFitSearch;
    QPushButton *bNewSearch;
    QPushButton *bSearch;
    QPushButton *bCancel; // closes the window with the cancel result

    // The quantity comparison, "<", "=" or ">"; kept for the run.
    QString QuantityComparison = QStringLiteral("=");

    void FormShow();
    void bSearchClick();
    void bNewSearchClick();
    void bFitSearchClick();
    void cbxFitMakeChange();
    void LessClick();
    void EqualClick();
    void MoreClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setupUi();
    void comparisonClicked(QToolButton *button, const QString &character);
    void fillCatalogue();

    QMultiHash<QString, QString> mModels; // folded make -> its models
    QString mFitBase;    // the grid's filter the last fitment search narrowed
    QString mFitApplied; // the filter it gave
};

extern TfSearchForm *fSearchForm;
