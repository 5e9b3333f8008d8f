#include "windows/ListGrid.h"

#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>

#include <algorithm>

namespace ListGrid {

QTableWidget* Create(const char* name, int rows, const QStringList& headers, QWidget* parent,
                     TValues values) {
    auto* grid = new QTableWidget(rows, int(headers.size()), parent);
    grid->setObjectName(name);
    grid->setHorizontalHeaderLabels(headers);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(18);
    if (values == TValues::ReadOnly)
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return grid;
}

void Reset(QTableWidget& grid, const QStringList& labels) {
    const QSignalBlocker quiet(grid);
    // The cells of a read-only list cannot be edited in code either.
    const bool readOnly = grid.editTriggers() == QAbstractItemView::NoEditTriggers;
    for (int row = 0; row < grid.rowCount(); ++row) {
        auto* label = new QTableWidgetItem(row < labels.size() ? labels[row] : QString());
        label->setFlags(label->flags() & ~Qt::ItemIsEditable);
        label->setBackground(grid.palette().button());
        grid.setItem(row, 0, label);
        for (int column = 1; column < grid.columnCount(); ++column) {
            auto* value = new QTableWidgetItem;
            if (readOnly)
                value->setFlags(value->flags() & ~Qt::ItemIsEditable);
            grid.setItem(row, column, value);
        }
    }
}

namespace {

// Widens the last column of its grid whenever the grid's visible area changes size.
class TLastColumnStretcher : public QObject {
public:
    TLastColumnStretcher(QTableWidget& grid)
        : QObject(&grid)
        , Grid(grid)
        , LeastWidth(grid.columnWidth(grid.columnCount() - 1)) {
        grid.viewport()->installEventFilter(this);
        Fit();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            Fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void Fit() {
        const int last = Grid.columnCount() - 1;
        int others = 0;
        for (int column = 0; column < last; ++column)
            others += Grid.columnWidth(column);
        Grid.setColumnWidth(last, std::max(LeastWidth, Grid.viewport()->width() - others));
    }

    QTableWidget& Grid;
    int LeastWidth;
};

} // namespace

void StretchLastColumn(QTableWidget& grid) {
    new TLastColumnStretcher(grid);
}

void AttachRowMenu(QTableWidget& grid, QMenu& menu, int& menuRow) {
    grid.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&grid, &QWidget::customContextMenuRequested, &menu,
                     [&grid, &menu, &menuRow](const QPoint& at) {
                         const int row = grid.rowAt(at.y());
                         if (row < 0)
                             return;
                         menuRow = row;
                         menu.popup(grid.viewport()->mapToGlobal(at));
                     });
}

} // namespace ListGrid
