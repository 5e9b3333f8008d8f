#include "windows/ListGrid.h"

#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>

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
