#include "windows/PhoneBookGrid.h"

#include "lists/PP5Phonebook.h"
#include "platform/AnsiText.h"
#include "platform/Texts.h"
#include "windows/FixedBands.h"
#include "windows/ListGrid.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

constexpr int ColumnCount = 3;
constexpr int NameColumn = 1;
constexpr int NumberColumn = 2;
constexpr int MaxEntries = 255;
constexpr int InitialColumnWidths[ColumnCount] = {63, 182, 151};
// The headers are padded with spaces to at least these widths, so that the columns start wide enough.
constexpr int HeaderWidths[ColumnCount] = {40, 180, 130};
constexpr int ColumnMargin = 10;
constexpr int SizingGrip = 3;
constexpr int MinColumnWidth = 8;
const QString NumberCharacters = QStringLiteral("0123456789*#-P");

bool IsDialText(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return NumberCharacters.contains(c); });
}

QString DialTextOnly(const QString& text) {
    QString kept;
    for (QChar c : text.toUpper())
        if (NumberCharacters.contains(c))
            kept += c;
    return kept;
}

// The number cell's editor: letters are taken upper case, so "p" is the pause "P", and every other
// printable key that cannot be dialled is dropped. Control and movement keys pass.
class TNumberEditor : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QString typed = event->text();
        if (typed.isEmpty() || !typed.front().isPrint()) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        const QString upper = typed.toUpper();
        if (!IsDialText(upper)) {
            event->accept();
            return;
        }
        if (upper == typed) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        QKeyEvent raised(event->type(), event->key(), event->modifiers(), upper, event->isAutoRepeat(),
                         ushort(event->count()));
        QLineEdit::keyPressEvent(&raised);
        event->setAccepted(raised.isAccepted());
    }
};

} // namespace

// Draws the cells and makes the editors, whose every change goes to the grid's edit rule at once.
class TPhoneBookGridDelegate : public QStyledItemDelegate {
public:
    explicit TPhoneBookGridDelegate(TPhoneBookGrid* grid)
        : QStyledItemDelegate(grid)
        , Grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        const bool number = index.column() == NumberColumn;
        QLineEdit* editor = number ? new TNumberEditor(parent) : new QLineEdit(parent);
        editor->setFrame(false);
        const QPersistentModelIndex cell(index);
        TPhoneBookGrid* grid = Grid;
        QObject::connect(editor, &QLineEdit::textEdited, editor, [grid, editor, cell, number](QString text) {
            if (!cell.isValid())
                return;
            if (number) {
                // A paste can bring anything; keep what can be dialled, as the keys do.
                const QString kept = DialTextOnly(text);
                if (kept != text) {
                    const int cursor = int(DialTextOnly(text.left(editor->cursorPosition())).size());
                    editor->setText(kept);
                    editor->setCursorPosition(cursor);
                    text = kept;
                }
            }
            grid->ApplyEdit(cell.column(), cell.row(), text, editor);
        });
        return editor;
    }

    // Not deleted in the message box's own event loop: see TPhoneBookGrid::ShowingMessage.
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (Grid->ShowingMessage)
            Grid->ClosedEditors.emplace_back(editor);
        else
            QStyledItemDelegate::destroyEditor(editor, index);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        const QWidget* widget = option.widget ? option.widget : Grid;
        QStyle* style = widget->style();
        painter->save();
        painter->setFont(option.font);
        if (index.row() == 0 || index.column() == 0) {
            QStyleOptionHeader header;
            header.initFrom(widget);
            header.rect = option.rect;
            header.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
            header.orientation = Qt::Horizontal;
            header.position = QStyleOptionHeader::Middle;
            header.text = text;
            header.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
            header.fontMetrics = option.fontMetrics;
            style->drawControl(QStyle::CE_Header, &header, painter, widget);
        } else {
            painter->fillRect(option.rect, Grid->RowFill(index.row()));
            painter->setPen(option.palette.color(QPalette::Text));
            painter->drawText(option.rect.adjusted(1, 1, 0, 0),
                              Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
            if (option.state & QStyle::State_HasFocus) {
                QStyleOptionFocusRect focus;
                focus.QStyleOption::operator=(option);
                focus.backgroundColor = Grid->RowFill(index.row());
                style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
            }
        }
        painter->restore();
    }

private:
    TPhoneBookGrid* Grid;
};

// Many cells at once: no painting in between, and none of it taken for the person's edits.
class TPhoneBookGrid::TBulkChange {
public:
    explicit TBulkChange(TPhoneBookGrid& grid)
        : Grid(grid)
        , WasUpdating(grid.Updating)
        , WasPainting(grid.updatesEnabled()) {
        Grid.Updating = true;
        Grid.setUpdatesEnabled(false);
    }
    ~TBulkChange() {
        Grid.setUpdatesEnabled(WasPainting);
        Grid.Updating = WasUpdating;
    }
    TBulkChange(const TBulkChange&) = delete;
    TBulkChange& operator=(const TBulkChange&) = delete;

private:
    TPhoneBookGrid& Grid;
    bool WasUpdating;
    bool WasPainting;
};

TPhoneBookGrid::TPhoneBookGrid(TPP5Phonebook& book, std::function<void(const std::string&)> errorBox,
                               QWidget* parent)
    : QTableWidget(parent)
    , Book(book)
    , ErrorBox(std::move(errorBox))
    , RowColours(RowColourCount, TRowColour::Window) {
    setObjectName("sgPhoneBook");
    setColumnCount(ColumnCount);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(InitialRowHeight);
    for (int col = 0; col < ColumnCount; ++col)
        SetNaturalWidth(col, InitialColumnWidths[col]);
    setShowGrid(true);
    setWordWrap(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    ListGrid::LeaveAtEnds(*this);
    setItemDelegate(new TPhoneBookGridDelegate(this));
    viewport()->setMouseTracking(true);

    pmPhoneBook = new QMenu(this);
    pmPhoneBook->setObjectName("pmPhoneBook");
    QAction* miDeleteCells = pmPhoneBook->addAction(QString::fromUtf8(Texts::DeleteNameAndNumber));
    miDeleteCells->setObjectName("miDeleteCells");
    connect(miDeleteCells, &QAction::triggered, this, &TPhoneBookGrid::miDeleteCellsClick);

    connect(this, &QTableWidget::itemChanged, this, &TPhoneBookGrid::ItemChanged);
    InitPhonebookGrid();
    Bands = std::make_unique<FixedBands::TFixedBands>(*this);
}

TPhoneBookGrid::~TPhoneBookGrid() = default;

// ---- contents ----

void TPhoneBookGrid::SetRows(int entries) {
    const int had = rowCount();
    setRowCount(entries + 1);
    for (int row = had; row <= entries; ++row)
        for (int col = 0; col < ColumnCount; ++col) {
            auto* cell = new QTableWidgetItem;
            // The fixed cells cannot be edited, selected or reached with the keys. (No
            // ItemNeverHasChildren: QTableWidget takes that bit for its header items and then reports
            // no change of the cell.)
            cell->setFlags(row == 0 || col == 0
                               ? Qt::NoItemFlags
                               : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            setItem(row, col, cell);
        }
    for (int row = 1; row <= entries; ++row)
        item(row, 0)->setText(QString::number(row));
}

void TPhoneBookGrid::SetCell(int col, int row, const QString& text) {
    if (QTableWidgetItem* cell = item(row, col))
        cell->setText(text);
}

void TPhoneBookGrid::InitPhonebookGrid() {
    const TBulkChange bulk(*this);
    SetRows(Book.Count());
    const QFontMetrics metrics(font());
    const char* headers[ColumnCount] = {Texts::GridLineNo, Texts::GridName, Texts::GridNumber};
    for (int col = 0; col < ColumnCount; ++col) {
        QString header = QString::fromUtf8(headers[col]);
        while (metrics.horizontalAdvance(header) < HeaderWidths[col])
            header += QLatin1Char(' ');
        SetCell(col, 0, header);
    }
    for (int row = 1; row < rowCount(); ++row) {
        SetCell(NameColumn, row, QString());
        SetCell(NumberColumn, row, QString());
    }
}

void TPhoneBookGrid::ResizePhonebook(int n) {
    n = std::clamp(n, 0, MaxEntries);
    const TBulkChange bulk(*this);
    Book.SetCount(uint8_t(n));
    for (int row = n + 1; row < rowCount(); ++row) {
        SetCell(NameColumn, row, QString());
        SetCell(NumberColumn, row, QString());
    }
    SetRows(n);
}

void TPhoneBookGrid::ShowPhonebookEntry(int i) {
    if (i < 0 || i + 1 >= rowCount())
        return;
    const TBulkChange bulk(*this);
    SetCell(NameColumn, i + 1, FromAnsi(Book.GetName(uint16_t(i))));
    SetCell(NumberColumn, i + 1, FromAnsi(Book.GetNumber(uint16_t(i))));
}

void TPhoneBookGrid::ShowImportedEntry(int i, const std::string& fullName) {
    if (i < 0 || i + 1 >= rowCount())
        return;
    const TBulkChange bulk(*this);
    SetCell(NameColumn, i + 1, FromAnsi(fullName));
    SetCell(NumberColumn, i + 1, FromAnsi(Book.GetNumber(uint16_t(i))));
}

void TPhoneBookGrid::ShowAll() {
    const TBulkChange bulk(*this);
    if (rowCount() != Book.Count() + 1)
        SetRows(Book.Count());
    for (int i = 0; i < Book.Count(); ++i)
        ShowPhonebookEntry(i);
}

void TPhoneBookGrid::ApplyGridFont(int pointSize) {
    const TBulkChange bulk(*this);
    QFont gridFont = font();
    gridFont.setPointSize(pointSize);
    setFont(gridFont);
    const int height = GridRowHeight(pointSize);
    verticalHeader()->setDefaultSectionSize(height);
    for (int row = 0; row < rowCount(); ++row)
        setRowHeight(row, height);
    const QFontMetrics metrics(gridFont);
    for (int col = 0; col < ColumnCount; ++col) {
        int widest = 0;
        for (int row = 0; row < rowCount(); ++row)
            if (const QTableWidgetItem* cell = item(row, col))
                widest = std::max(widest, metrics.horizontalAdvance(cell->text()));
        SetNaturalWidth(col, widest + ColumnMargin);
    }
}

// ---- editing ----

void TPhoneBookGrid::ItemChanged(QTableWidgetItem* cell) {
    if (!Updating)
        sgPhoneBookSetEditText(cell->column(), cell->row(), cell->text());
}

void TPhoneBookGrid::sgPhoneBookSetEditText(int col, int row, const QString& text) {
    ApplyEdit(col, row, text, qobject_cast<QLineEdit*>(indexWidget(model()->index(row, col))));
}

void TPhoneBookGrid::ApplyEdit(int col, int row, const QString& text, QLineEdit* editor) {
    if (Updating || row < 1 || row >= rowCount() || (col != NameColumn && col != NumberColumn))
        return;
    const int limit = int(col == NameColumn ? MaxNameLength : MaxNumberLength);
    const bool tooLong = text.size() > limit;
    const QString kept = text.left(limit);
    {
        // The cut goes into the editor and the cell before the message is shown, so that an editor
        // closed behind the message box commits nothing new and the message comes once.
        const QScopedValueRollback<bool> quiet(Updating, true);
        if (editor && editor->text() != kept) {
            const int cursor = std::min(int(editor->cursorPosition()), limit);
            editor->setText(kept);
            editor->setCursorPosition(cursor);
        }
        // The table takes what the cell shows, cut or not: what is shown is what is written and saved.
        SetCell(col, row, kept);
        if (col == NameColumn)
            Book.SetName(uint16_t(row - 1), ToAnsi(kept));
        else
            Book.SetNumber(uint16_t(row - 1), ToAnsi(kept));
        RepaintRow(row);
        if (tooLong && ErrorBox) {
            const QModelIndex cell = model()->index(row, col);
            {
                const QScopedValueRollback<bool> showing(ShowingMessage, true);
                ErrorBox(col == NameColumn ? Texts::NameTooLong : Texts::NumberTooLong);
            }
            for (const QPointer<QWidget>& closed : std::exchange(ClosedEditors, {}))
                if (closed)
                    closed->deleteLater();
            // A message box takes the focus, and the editor closes with it; the person was typing, so
            // the cell is opened again where it stood.
            if (editor && indexWidget(cell) != editor && currentIndex() == cell) {
                edit(cell);
                if (auto* again = qobject_cast<QLineEdit*>(indexWidget(cell)))
                    again->end(false);
            }
        }
    }
    emit Edited();
}

// ---- row colours ----

QColor TPhoneBookGrid::RowFill(int row) const {
    switch (RowColour(row)) {
    case TRowColour::Red:
        return QColor(255, 0, 0);
    case TRowColour::Yellow:
        return QColor(255, 255, 0);
    case TRowColour::Window:
        break;
    }
    return palette().color(QPalette::Base);
}

void TPhoneBookGrid::SetRowColour(int row, TRowColour colour) {
    if (row < 1 || row >= RowColourCount)
        return;
    RowColours[size_t(row)] = colour;
    RepaintRow(row);
}

void TPhoneBookGrid::ResetRowColours() {
    std::fill(RowColours.begin(), RowColours.end(), TRowColour::Window);
    viewport()->repaint();
}

TRowColour TPhoneBookGrid::RowColour(int row) const {
    return row >= 1 && row < RowColourCount ? RowColours[size_t(row)] : TRowColour::Window;
}

void TPhoneBookGrid::RepaintRow(int row) {
    if (row >= rowCount() || !updatesEnabled())
        return;
    const QRect area =
        visualRect(model()->index(row, NameColumn)) | visualRect(model()->index(row, NumberColumn));
    if (!area.isEmpty())
        viewport()->repaint(area);
}

// ---- context menu ----

bool TPhoneBookGrid::OpenContextMenuAt(int row, const QPoint& globalPos) {
    if (row < 1 || row >= rowCount())
        return false;
    ContextRow = row;
    pmPhoneBook->popup(globalPos);
    return true;
}

void TPhoneBookGrid::miDeleteCellsClick() {
    if (ContextRow < 1 || ContextRow >= rowCount())
        return;
    {
        const TBulkChange bulk(*this);
        SetCell(NameColumn, ContextRow, QString());
        SetCell(NumberColumn, ContextRow, QString());
        Book.ClearEntry(uint16_t(ContextRow - 1));
    }
    SetRowColour(ContextRow, TRowColour::Window);
}

void TPhoneBookGrid::contextMenuEvent(QContextMenuEvent* event) {
    // The menu opens on the press already; the event must not reach the window behind.
    event->accept();
}

// ---- mouse: the menu, and column widths dragged in the header row ----

int TPhoneBookGrid::ColumnBoundaryAt(const QPoint& pos) const {
    if (FixedBands::RowAt(*this, pos) != 0)
        return -1;
    const int fixedRight = columnWidth(0);
    for (int col = 0; col < ColumnCount; ++col) {
        // The line number column stays where it is; a column scrolled under it has no edge to drag.
        const int right = col == 0 ? fixedRight : columnViewportPosition(col) + columnWidth(col);
        if (col > 0 && right <= fixedRight)
            continue;
        if (std::abs(pos.x() - right) <= SizingGrip)
            return col;
    }
    return -1;
}

bool TPhoneBookGrid::OnFixedCells(const QPoint& pos) const {
    return FixedBands::RowAt(*this, pos) == 0 || FixedBands::ColumnAt(*this, pos) == 0;
}

void TPhoneBookGrid::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        OpenContextMenuAt(FixedBands::RowAt(*this, pos), event->globalPosition().toPoint());
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        SizingColumn = ColumnBoundaryAt(pos);
        if (SizingColumn >= 0) {
            SizingStartX = pos.x();
            SizingStartWidth = columnWidth(SizingColumn);
            event->accept();
            return;
        }
    }
    // The cell under a fixed one is hidden: a press there is not meant for it.
    if (OnFixedCells(pos)) {
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void TPhoneBookGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (OnFixedCells(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTableWidget::mouseDoubleClickEvent(event);
}

void TPhoneBookGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
    QTableWidget::scrollTo(index, hint);
    if (index.isValid() && Bands)
        Bands->KeepClear(index.row(), index.column());
}

void TPhoneBookGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (SizingColumn >= 0) {
        SetNaturalWidth(SizingColumn, std::max(MinColumnWidth, SizingStartWidth + pos.x() - SizingStartX));
        event->accept();
        return;
    }
    if (ColumnBoundaryAt(pos) >= 0)
        viewport()->setCursor(Qt::SplitHCursor);
    else
        viewport()->unsetCursor();
    QTableWidget::mouseMoveEvent(event);
}

void TPhoneBookGrid::SetNaturalWidth(int col, int width) {
    if (col == NumberColumn)
        NumberWidth = width;
    else
        setColumnWidth(col, width);
    FitNumberColumn();
}

void TPhoneBookGrid::FitNumberColumn() {
    const int room = viewport()->width() - columnWidth(0) - columnWidth(NameColumn);
    if (const int width = std::max(NumberWidth, room); width != columnWidth(NumberColumn))
        setColumnWidth(NumberColumn, width);
}

bool TPhoneBookGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize)
        FitNumberColumn();
    return QTableWidget::viewportEvent(event);
}

void TPhoneBookGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (SizingColumn >= 0 && event->button() == Qt::LeftButton) {
        SizingColumn = -1;
        event->accept();
        return;
    }
    QTableWidget::mouseReleaseEvent(event);
}

int TPhoneBookGrid::FontSizeAfter(int size, bool increase) {
    struct TStep {
        int size, up, down;
    };
    static constexpr TStep steps[] = {{10, 12, 8}, {12, 14, 10}, {14, 18, 12}, {18, 24, 14}, {24, 24, 18}};
    for (const TStep& step : steps)
        if (step.size == size)
            return increase ? step.up : step.down;
    return increase ? 10 : 8;
}

int TPhoneBookGrid::GridRowHeight(int size) {
    // size + ceil(size * 0.2) + 10, in whole numbers
    return size + (size * 2 + 9) / 10 + 10;
}
