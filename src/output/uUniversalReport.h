// The report window: never shown itself, it holds the report template of the printed inventory,
// a Letter page with a title, column header, detail, summary and page footer band. The print
// command fills the column slots from the grid; the report engine lays the bands out on paper.
#pragma once

#include <QDialog>
#include <QList>
#include <QPageLayout>

#include <functional>

class QFrame;
class QLabel;

class TfUniversalReport : public QDialog
{
    Q_OBJECT

public:
    // Raises DaoError when the printer cannot print the report's page.
    explicit TfUniversalReport(QWidget *parent = nullptr);

    // Replaces the printer check of the constructor; empty restores the real one (tests only).
    static void setPrinterCheck(std::function<bool()> check);
    // The report's page: Letter, portrait, 10 mm margins on every side.
    static QPageLayout pageLayout();

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

    // System-data items carry what they show in this property: "date" or "pageNumber"; their
    // text is the fixed prefix.
    static constexpr const char *SysDataProperty = "sysData";

private:
    void setupUi();
};

extern TfUniversalReport *fUniversalReport;
