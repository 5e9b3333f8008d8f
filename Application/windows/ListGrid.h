#pragma once

#include <QStringList>

class QMenu;
class QTableWidget;
class QWidget;

// The grids of short lists (the speed dial and broadcast group tabs): a fixed first column of labels,
// columns of values, rows of 18 pixels, cells in the window colour, and a pop-up menu on the data rows.
// The person edits the values of an editable list; a read-only list only shows them.
namespace ListGrid {

enum class TValues { Editable, ReadOnly };

// A grid of rows data rows, with a column for each header; the label column is filled by Reset.
QTableWidget* Create(const char* name, int rows, const QStringList& headers, QWidget* parent,
                     TValues values = TValues::Editable);
// Writes the labels into column 0 (read-only) and empties the value columns, which are editable only in
// an editable list.
void Reset(QTableWidget& grid, const QStringList& labels);
// The last column fills the width the grid has beyond its other columns; its present width is the least
// it keeps in a narrow window.
void StretchLastColumn(QTableWidget& grid);
// A right-button press on a data row stores the row in menuRow and opens menu at the mouse.
void AttachRowMenu(QTableWidget& grid, QMenu& menu, int& menuRow);
// Tab goes from cell to cell, and from the last cell on to the next control of the window (Shift+Tab
// from the first cell to the one before), instead of round the grid again: the keyboard can leave it.
void LeaveAtEnds(QTableWidget& grid);

} // namespace ListGrid
