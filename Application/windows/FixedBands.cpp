#include "windows/FixedBands.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace FixedBands {

enum class TFollows { Across, Down, Neither };

// One band: the grid's view again, scrolled as the grid is in the one direction it follows and held at
// the start in the other.
class TBand : public QTableView {
public:
    TBand(QTableView& grid, TFollows follows, const char* name)
        : QTableView(&grid)
        , Grid(grid)
        , Follows(follows) {
        setObjectName(name);
        setModel(grid.model());
        setItemDelegate(grid.itemDelegate());
        horizontalHeader()->hide();
        verticalHeader()->hide();
        horizontalHeader()->setMinimumSectionSize(1);
        verticalHeader()->setMinimumSectionSize(1);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollMode(grid.horizontalScrollMode());
        setVerticalScrollMode(grid.verticalScrollMode());
        setFrameShape(QFrame::NoFrame);
        setShowGrid(grid.showGrid());
        setWordWrap(grid.wordWrap());
        setSelectionMode(QAbstractItemView::NoSelection);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        setFocusPolicy(Qt::NoFocus);
        setTabKeyNavigation(false);
        viewport()->setMouseTracking(true);
        CopySizes();
    }

    void CopySizes() {
        verticalHeader()->setDefaultSectionSize(Grid.verticalHeader()->defaultSectionSize());
        horizontalHeader()->setDefaultSectionSize(Grid.horizontalHeader()->defaultSectionSize());
        for (int row = 0; row < model()->rowCount(); ++row)
            CopyRow(row);
        for (int column = 0; column < model()->columnCount(); ++column)
            CopyColumn(column);
    }
    void CopyRow(int row) {
        if (rowHeight(row) != Grid.rowHeight(row))
            setRowHeight(row, Grid.rowHeight(row));
    }
    void CopyColumn(int column) {
        if (columnWidth(column) != Grid.columnWidth(column))
            setColumnWidth(column, Grid.columnWidth(column));
    }

    void Follow() {
        horizontalScrollBar()->setValue(Follows == TFollows::Across ? Grid.horizontalScrollBar()->value()
                                                                    : 0);
        verticalScrollBar()->setValue(Follows == TFollows::Down ? Grid.verticalScrollBar()->value() : 0);
    }

protected:
    // The scroll ranges are made anew here; the band takes the grid's place in them again.
    void updateGeometries() override {
        QTableView::updateGeometries();
        Follow();
    }

    bool viewportEvent(QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            QMouseEvent passed(event->type(), ToGrid(mouse->position()), mouse->globalPosition(),
                               mouse->button(), mouse->buttons(), mouse->modifiers());
            QCoreApplication::sendEvent(Grid.viewport(), &passed);
            return true;
        }
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            QWheelEvent passed(ToGrid(wheel->position()), wheel->globalPosition(), wheel->pixelDelta(),
                               wheel->angleDelta(), wheel->buttons(), wheel->modifiers(), wheel->phase(),
                               wheel->inverted());
            QCoreApplication::sendEvent(Grid.viewport(), &passed);
            return true;
        }
        case QEvent::ContextMenu:
            // The grid opens its menu on the press, which it has had.
            return true;
        default:
            return QTableView::viewportEvent(event);
        }
    }

private:
    QPointF ToGrid(const QPointF& at) const {
        return Grid.viewport()->mapFromGlobal(viewport()->mapToGlobal(at));
    }

    QTableView& Grid;
    TFollows Follows;
};

namespace {

bool HasCells(const QTableView& grid) {
    return grid.model() && grid.model()->rowCount() > 0 && grid.model()->columnCount() > 0;
}

} // namespace

TFixedBands::TFixedBands(QTableView& grid)
    : Grid(grid) {
    // By the item, the cell scrolled to the left edge would always have its start under the first column.
    grid.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    Row = new TBand(grid, TFollows::Across, "FixedRow");
    Column = new TBand(grid, TFollows::Down, "FixedColumn");
    Corner = new TBand(grid, TFollows::Neither, "FixedCorner");
    grid.viewport()->installEventFilter(this);
    connect(grid.horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        for (TBand* band : Bands())
            band->CopyColumn(column);
        if (column == 0)
            Place();
    });
    connect(grid.verticalHeader(), &QHeaderView::sectionResized, this, [this](int row, int, int) {
        for (TBand* band : Bands())
            band->CopyRow(row);
        if (row == 0)
            Place();
    });
    // Rows and columns come and go with the grid's headers.
    for (QHeaderView* header : {grid.horizontalHeader(), grid.verticalHeader()})
        connect(header, &QHeaderView::sectionCountChanged, this, [this] { Update(); });
    connect(grid.horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { Row->Follow(); });
    connect(grid.verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { Column->Follow(); });
    // The keys move the current cell; the grid has scrolled to it already.
    connect(grid.selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    KeepClear(current.row(), current.column());
            });
    Update();
}

TFixedBands::~TFixedBands() {
    for (TBand* band : Bands())
        delete band;
}

std::array<TBand*, 3> TFixedBands::Bands() const {
    return {Row, Column, Corner};
}

bool TFixedBands::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move)
        Place();
    return QObject::eventFilter(watched, event);
}

void TFixedBands::Update() {
    for (TBand* band : Bands())
        band->CopySizes();
    Place();
}

void TFixedBands::Place() {
    const QAbstractItemModel* model = Grid.model();
    const bool cells = model->rowCount() > 0 && model->columnCount() > 0;
    const QRect area = Grid.viewport()->geometry();
    const int width = cells ? std::min(Grid.columnWidth(0), area.width()) : 0;
    const int height = cells ? std::min(Grid.rowHeight(0), area.height()) : 0;
    Row->setGeometry(area.x(), area.y(), area.width(), height);
    Column->setGeometry(area.x(), area.y(), width, area.height());
    Corner->setGeometry(area.x(), area.y(), width, height);
    for (TBand* band : Bands()) {
        band->setVisible(cells);
        band->raise();
        band->Follow();
    }
}

void TFixedBands::KeepClear(int row, int column) {
    const QAbstractItemModel* model = Grid.model();
    if (model->rowCount() == 0 || model->columnCount() == 0)
        return;
    QScrollBar* down = Grid.verticalScrollBar();
    while (row > 0 && Grid.rowViewportPosition(row) < Grid.rowHeight(0) && down->value() > down->minimum())
        down->setValue(down->value() - 1);
    QScrollBar* across = Grid.horizontalScrollBar();
    while (column > 0 && Grid.columnViewportPosition(column) < Grid.columnWidth(0) &&
           across->value() > across->minimum())
        across->setValue(across->value() - 1);
}

int RowAt(const QTableView& grid, const QPoint& at) {
    if (HasCells(grid) && at.y() >= 0 && at.y() < grid.rowHeight(0))
        return 0;
    return grid.rowAt(at.y());
}

int ColumnAt(const QTableView& grid, const QPoint& at) {
    if (HasCells(grid) && at.x() >= 0 && at.x() < grid.columnWidth(0))
        return 0;
    return grid.columnAt(at.x());
}

} // namespace FixedBands
