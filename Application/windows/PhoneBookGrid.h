#pragma once

#include "platform/UserInteraction.h"

#include <QPointer>
#include <QTableWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLineEdit;
class QMenu;
class TPP5Phonebook;
class TPhoneBookGridDelegate;
namespace FixedBands {
class TFixedBands;
}

// The phone book as an editable string grid: row 0 and column 0 are fixed (the headers and the line
// numbers, which stay in view while the other cells scroll: FixedBands), row r shows entry r-1. The grid is
// the only editor of the table; every change of a cell's text goes into the table at once. Cells are
// addressed (col, row) throughout, the fixed ones included; Qt's own headers are hidden.
class TPhoneBookGrid : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int RowColourCount = 256; // rows 1..255 (a handset reports up to 255 entries)
    static constexpr int InitialRowHeight = 18;

    // errorBox shows an error message: the window passes its own message box, tests a recorder.
    TPhoneBookGrid(TPP5Phonebook& book, std::function<void(const std::string&)> errorBox,
                   QWidget* parent = nullptr);
    ~TPhoneBookGrid() override;

    // Headers, line numbers 1..Count, every name and number cell empty.
    void InitPhonebookGrid();
    // Sets the table's count to n; the rows beyond it go, rows 1..n keep what they show.
    void ResizePhonebook(int n);
    void ShowPhonebookEntry(int i);
    // Every entry in use, after the table was filled from elsewhere (an import, a load).
    void ShowAll();
    // An imported entry: the name as the contact has it, whole, and the number as the table keeps it.
    void ShowImportedEntry(int i, const std::string& fullName);
    // Font size, row heights and column widths; the window keeps the size in its ini itself.
    void ApplyGridFont(int pointSize);
    // The next font size up or down from size, and the row height for a size.
    static int FontSizeAfter(int size, bool increase);
    static int GridRowHeight(int size);

    // row is the grid row (1..255); the row is repainted at once.
    void SetRowColour(int row, TRowColour colour);
    void ResetRowColours();
    TRowColour RowColour(int row) const;

    // A cell's text was changed by the person: a name of up to 24 characters or a number of up to 23
    // goes into the table; a longer text is refused with a message and cut back in the cell, and the
    // table keeps what it had.
    void sgPhoneBookSetEditText(int col, int row, const QString& text);

    // The context menu: opens (without waiting for it) for a data row and remembers that row.
    bool OpenContextMenuAt(int row, const QPoint& globalPos);
    int PopupRow() const { return ContextRow; }
    void miDeleteCellsClick();

    // A cell the grid scrolls to is not left under the fixed row or column.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

signals:
    // After each cell edit has gone into the table.
    void Edited();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class TPhoneBookGridDelegate;
    class TBulkChange;

    void SetRows(int entries);
    void SetCell(int col, int row, const QString& text);
    void ItemChanged(QTableWidgetItem* item);
    void ApplyEdit(int col, int row, const QString& text, QLineEdit* editor);
    QColor RowFill(int row) const;
    void RepaintRow(int row);
    int ColumnBoundaryAt(const QPoint& pos) const;
    // Whether a point of the viewport is on the fixed row or column, which the person does not edit.
    bool OnFixedCells(const QPoint& pos) const;
    // Sets a column's width as the font or the person wants it; the number column is then widened to
    // the edge of the grid.
    void SetNaturalWidth(int col, int width);
    void FitNumberColumn();

    TPP5Phonebook& Book;
    std::function<void(const std::string&)> ErrorBox;
    std::vector<TRowColour> RowColours;
    QMenu* pmPhoneBook = nullptr;
    int ContextRow = 0;
    // Set while the grid changes cells itself, so that only the person's changes reach the table.
    bool Updating = false;
    // Set while the grid's message box is up. An editor closed meanwhile is deleted only after the box
    // is gone: the key press that brought the message may still be running in that very editor.
    bool ShowingMessage = false;
    std::vector<QPointer<QWidget>> ClosedEditors;
    // Dragging a column's right edge in the header row.
    int SizingColumn = -1;
    int SizingStartX = 0;
    int SizingStartWidth = 0;
    // The number column's width before it is widened to the grid's edge: the least it keeps.
    int NumberWidth = 0;
    // The titles and the line numbers over the scrolling cells.
    std::unique_ptr<FixedBands::TFixedBands> Bands;
};
