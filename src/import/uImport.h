// The import window: a spreadsheet or text file, its sheet, encoding and delimiter, the heading
// row, each column's field, the key and the modes; a preview of what the import will append,
// change and refuse before anything is written; then the import as one operation, and the
// refused rows saved for another try.
#pragma once

#include "import/DelimitedText.h"
#include "import/ImportPlan.h"
#include "import/SheetFile.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class TDaoTable;

class TfImport : public QDialog
{
    Q_OBJECT

public:
    explicit TfImport(TDaoTable *inventory, QWidget *parent = nullptr);
    ~TfImport() override;

    QLineEdit *eFile;
    QPushButton *bBrowse;
    QComboBox *cbxSheet;
    QComboBox *cbxEncoding;  // UTF-8, Windows-1251
    QComboBox *cbxDelimiter; // ";", ",", TAB
    QSpinBox *eHeadingRow;   // 0: no heading row
    QTableWidget *tblMapping; // column, first value, field (a combo box per column)
    QComboBox *cbxKey;
    QComboBox *cbxMode;
    QComboBox *cbxQuantity;
    QCheckBox *chkSkipDeleted;
    QPushButton *bPreview;
    QLabel *lCounts;
    QTableWidget *lvPreview; // file row, what happens, catalogue number, changes or reasons
    QProgressBar *pbProgress;
    QPushButton *bImport;
    QPushButton *bSaveRefused;
    QPushButton *bClose;

    // Opens a file: its sheets, its text format, the heading row and the columns' fields.
    void loadFile(const QString &path);
    // The field chosen for each column (empty: not imported).
    QStringList mapping() const;
    void setField(int column, const QString &field);
    void bBrowseClick();
    void bPreviewClick();
    void bImportClick();
    void bSaveRefusedClick();
    const inventoryimport::ImportPlan *plan() const { return mPlan.get(); }

private:
    void setupUi();
    void loadSheet();
    void fillMapping();
    void showPreview();
    void forgetPlan();
    std::unique_ptr<SheetReader> openReader() const;
    delimitedtext::Format textFormat() const;
    inventoryimport::Progress progress(const QString &what);
    QStringList headings() const;

    TDaoTable *mInventory;
    QString mPath;
    sheetfile::Kind mKind = sheetfile::Kind::Unknown;
    QList<QVariantList> mHead; // the first rows of the sheet, for the heading row and samples
    QList<qint64> mHeadRows;   // their row numbers
    std::vector<ColumnDecl> mColumns;
    std::unique_ptr<inventoryimport::ImportPlan> mPlan;
    bool mLoading = false;
};

// "Отмяна на последното вмъкване": the last import undone after a confirmation, and what was left.
void UndoLastImport(TDaoTable *inventory);
