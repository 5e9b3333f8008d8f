#pragma once

#include <QStringList>

class QMenu;
class QTableWidget;
class QWidget;

// The grids of the speed dial and broadcast group tabs: a fixed first column of labels, one editable
// column of values, rows of 18 pixels, cells in the window colour, and a pop-up menu on the data rows.
namespace ListGrid {

// A grid of rows data rows under the two headers; the label column is filled by SetLabels.
QTableWidget* Create(const char* name, int rows, const QStringList& headers, QWidget* parent);
// Writes the labels into column 0 (read-only) and empties column 1.
void Reset(QTableWidget& grid, const QStringList& labels);
// A right-button press on a data row stores the row in menuRow and opens menu at the mouse.
void AttachRowMenu(QTableWidget& grid, QMenu& menu, int& menuRow);

} // namespace ListGrid
