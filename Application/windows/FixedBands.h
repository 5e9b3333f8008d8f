#pragma once

#include <QObject>

#include <array>

class QEvent;
class QPoint;
class QTableView;

// A grid's first row and first column that stay in view while its cells scroll: the titles and the line
// numbers of the phone book. Three copies of the grid's own view lie over its scrolling cells: the first
// row, which follows the grid across only, the first column, which follows it down only, and the corner
// they share, which stays. They show the grid's model with its delegate and take no focus; the mouse
// presses, moves and wheel turns on them reach the grid's viewport at the same place, so that the grid
// handles them as on its own fixed cells (FixedBands::RowAt, ColumnAt). The grid scrolls across by the
// pixel, so that every part of a cell can be brought out from under the first column, and the current
// cell is scrolled out from under the bands (KeepClear).
namespace FixedBands {

class TBand;

// The three bands over grid, from construction on. Destroyed before the grid is: while the grid is being
// destroyed its model's last changes would still reach them.
class TFixedBands : public QObject {
public:
    explicit TFixedBands(QTableView& grid);
    ~TFixedBands() override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    // Scrolls the grid back as far as needed so that the cell of row and column is not hidden under the
    // fixed row or column.
    void KeepClear(int row, int column);

private:
    void Update();
    void Place();
    std::array<TBand*, 3> Bands() const;

    QTableView& Grid;
    TBand* Row;
    TBand* Column;
    TBand* Corner;
};

// The row and the column under a point of the grid's viewport, the fixed ones where they lie over the
// others: 0 inside the fixed row or column, else what the grid has
// there (-1 for none).
int RowAt(const QTableView& grid, const QPoint& at);
int ColumnAt(const QTableView& grid, const QPoint& at);

} // namespace FixedBands
