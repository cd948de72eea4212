// The report window: never shown itself, it holds the report template of the printed inventory,
// a Letter page with a title, column header, detail, summary and page footer band. The print
// command fills the column slots from the grid; the report engine lays the bands out on paper.
// The printer decides the page: Letter where it takes it, else the nearest size it offers (A4).
#pragma once

#include <QDialog>
#include <QList>
#include <QPageLayout>

#include <functional>
#include <memory>

class ReportPrinter;
class TDBGrid;
class TDaoTable;
namespace report {
struct Layout;
}

class QFrame;
class QLabel;

class TfUniversalReport : public QDialog
{
    Q_OBJECT

public:
    // Raises DaoError when no page layout can be set on the printer.
    explicit TfUniversalReport(QWidget *parent = nullptr);

    // Where the constructor takes its printer from; empty restores the application's printer
    // (tests put stand-ins there).
    static void setPrinterSource(std::function<std::unique_ptr<ReportPrinter>()> source);
    // The page the report is laid out for: Letter, portrait, 10 mm margins on every side.
    static QPageLayout designLayout();
    // The page the printer took when the window was made.
    QPageLayout pageLayout() const { return mPageLayout; }

    static constexpr int SlotCount = 19;
    static constexpr int BandWidth = 740; // the printable width at 96 pixels per inch

    QFrame *QuickRep; // the page; base font Arial 10 pt
    QFrame *TitleBand1;
    QFrame *ColumnHeaderBand1;
    QFrame *DetailBand1;
    QFrame *QRBand1; // summary
    QFrame *PageFooterBand1;

    QLabel *QRLabel23;  // "Дата "
    QLabel *QRSysData3; // today's date
    QLabel *QRLabel20;  // the subtitle
    QLabel *QRLabel19;  // the product mark

    // Column slots: titles in the column header band, cells (data expressions "dataset.field")
    // in the detail band; slot 0 is QRLabel0 and QRExpr0.
    QList<QLabel *> titleSlots;
    QList<QLabel *> cellSlots;
    QLabel *QRLabel0;
    QLabel *QRExpr0;

    QFrame *QRShape1;   // the summary's line
    QLabel *QRSysData1; // the summary's date
    QLabel *QRSysData2; // "Page  " and the page number

    // Fills the column slots from the grid's columns as they are now (titles, field names,
    // widths, two pixels between slots), shows the preview of the grid's rows through the
    // prompts, and returns when it is closed. The grid's dataset does not follow the report.
    void ShowGridReport(TDBGrid *grid);
    // The template as the report engine lays it out: the enabled items of each band.
    report::Layout templateLayout() const;
    // The cells' data expressions ("tblMain.unit_name") are in this property.
    static constexpr const char *ExpressionProperty = "expression";

    // System-data items carry what they show in this property: "date" or "pageNumber"; their
    // text is the fixed prefix.
    static constexpr const char *SysDataProperty = "sysData";

private:
    void setupUi();

    QPageLayout mPageLayout;
    TDaoTable *mDataSet = nullptr; // the dataset the report is bound to
};

// The application's printer, on which printing goes; the print set-up dialog chooses it.
class QPrinter;
QPrinter *reportPrinter();

extern TfUniversalReport *fUniversalReport;
