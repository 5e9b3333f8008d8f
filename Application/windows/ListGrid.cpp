#include "windows/ListGrid.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTableWidget>

#include <algorithm>
#include <utility>

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
    grid->setTabKeyNavigation(true);
    LeaveAtEnds(*grid);
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

// Lets the grid take a Tab to its next cell; when that would go round to the grid's start again (or stay
// where it is), the cell stays and the focus moves on instead.
class TEndLeaver : public QObject {
public:
    explicit TEndLeaver(QTableWidget& grid)
        : QObject(&grid)
        , Grid(grid) {
        grid.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (Inside || event->type() != QEvent::KeyPress || !Grid.tabKeyNavigation())
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool forward = key->key() == Qt::Key_Tab && modifiers == Qt::NoModifier;
        const bool backward =
            key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && modifiers == Qt::ShiftModifier);
        if (!forward && !backward)
            return QObject::eventFilter(watched, event);

        const QModelIndex before = Grid.currentIndex();
        Pass(*key);
        const QModelIndex after = Grid.currentIndex();
        if (!Grid.hasFocus() || !before.isValid() || (after.isValid() && Ahead(before, after, forward)))
            return true;
        Grid.setCurrentIndex(before);
        Grid.setTabKeyNavigation(false);
        Pass(*key);
        Grid.setTabKeyNavigation(true);
        return true;
    }

private:
    void Pass(const QKeyEvent& key) {
        Inside = true;
        QKeyEvent again(key.type(), key.key(), key.modifiers(), key.text());
        QCoreApplication::sendEvent(&Grid, &again);
        Inside = false;
    }
    // Whether `after` comes after `before` in reading order (before it, going backwards).
    static bool Ahead(const QModelIndex& before, const QModelIndex& after, bool forward) {
        const auto place = [](const QModelIndex& cell) { return std::pair(cell.row(), cell.column()); };
        return forward ? place(after) > place(before) : place(after) < place(before);
    }

    QTableWidget& Grid;
    bool Inside = false;
};

} // namespace

void LeaveAtEnds(QTableWidget& grid) {
    new TEndLeaver(grid);
}

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
