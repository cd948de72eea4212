// Copying inventory rows to the clipboard as TAB-separated lines ended by CR LF, and pasting such
// text back into the grid cell by cell, from the current row and column on, appending rows for
// the lines beyond the view. With the grid's cell editor open, both work on the one cell.
#pragma once

#include <QObject>

class InventoryGrid;
class QProgressBar;
class QWidget;

class RowClipboard : public QObject
{
    Q_OBJECT

public:
    // window is disabled while a row paste runs; progress shows its lines.
    RowClipboard(InventoryGrid *grid, QWidget *window, QProgressBar *progress, QObject *parent = nullptr);

    void Copy2Click();
    void Paste2Click();
    void CopyCellToClipboard();
    void CopyRowsToClipboard();
    void PasteCellFromClipboard();
    void PasteRowsFromClipboard();

    // The confirmation a row paste asks for: L lines into R rows of the view from the current
    // one; empty when nothing is asked.
    static QString pasteQuestion(qint64 lines, qint64 rows);

private:
    InventoryGrid *mGrid;
    QWidget *mWindow;
    QProgressBar *mProgress;
};
