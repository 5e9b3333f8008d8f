// The phone book grid offscreen: layout, the edit rule through a real editor, the number keys, the
// context menu, resizing, row colours and the font.
#include "windows/PhoneBookGrid.h"
#include "support/ModalAnswerer.h"
#include "support/WaitFor.h"

#include "core/MainCore.h"
#include "lists/PP5Phonebook.h"
#include "platform/Texts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct TGrid {
    explicit TGrid(int entries) {
        grid.ResizePhonebook(entries);
        grid.resize(420, 300);
        grid.show();
    }

    QLineEdit* OpenEditor(int col, int row) {
        grid.setCurrentCell(row, col);
        grid.editItem(grid.item(row, col));
        return qobject_cast<QLineEdit*>(grid.indexWidget(grid.model()->index(row, col)));
    }
    QString Cell(int col, int row) const { return grid.item(row, col)->text(); }
    QColor Painted(int col, int row) {
        const QRect cell = grid.visualRect(grid.model()->index(row, col));
        return grid.viewport()->grab().toImage().pixelColor(cell.bottomRight() - QPoint(3, 3));
    }

    TPP5Phonebook book;
    std::vector<std::string> messages;
    TPhoneBookGrid grid{book, [this](const std::string& text) { messages.push_back(text); }};
};

const QString Letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");

TEST(PhoneBookGrid, HeadersLineNumbersAndLayout) {
    TGrid t(3);
    t.book.SetName(1, "kept in the table");
    t.grid.ShowPhonebookEntry(1);
    t.grid.InitPhonebookGrid();
    EXPECT_EQ(t.grid.objectName(), "sgPhoneBook");
    ASSERT_EQ(t.grid.rowCount(), 4);
    const QFontMetrics metrics(t.grid.font());
    const std::pair<const char*, int> headers[] = {
        {Texts::GridLineNo, 40}, {Texts::GridName, 180}, {Texts::GridNumber, 130}};
    for (int col = 0; col < 3; ++col) {
        const QString header = t.Cell(col, 0);
        EXPECT_EQ(header.trimmed(), headers[col].first);
        EXPECT_GE(metrics.horizontalAdvance(header), headers[col].second);
        if (header != headers[col].first) { // padded no further than needed
            EXPECT_LT(metrics.horizontalAdvance(header.chopped(1)), headers[col].second);
        }
        EXPECT_FALSE(t.grid.item(0, col)->flags() & Qt::ItemIsEditable);
    }
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(t.Cell(0, row), QString::number(row));
        EXPECT_FALSE(t.grid.item(row, 0)->flags() & Qt::ItemIsEditable);
        EXPECT_TRUE(t.grid.item(row, 1)->flags() & Qt::ItemIsEditable);
        EXPECT_EQ(t.Cell(1, row), "");
    }
    EXPECT_EQ(t.book.GetName(1), "kept in the table");
    EXPECT_EQ(t.grid.columnWidth(0), 63);
    EXPECT_EQ(t.grid.columnWidth(1), 182);
    // The number column reaches the grid's edge, and keeps its width in a narrow grid.
    EXPECT_EQ(t.grid.columnWidth(2), std::max(151, t.grid.viewport()->width() - 63 - 182));
    t.grid.resize(200, 300);
    QApplication::processEvents();
    EXPECT_EQ(t.grid.columnWidth(2), 151);
    EXPECT_EQ(t.grid.rowHeight(2), 18);

    // Tab goes from the last data cell of a row to the first of the next, past the line number.
    t.grid.setFocus();
    t.grid.setCurrentCell(1, 2);
    QTest::keyClick(&t.grid, Qt::Key_Tab);
    EXPECT_EQ(t.grid.currentRow(), 2);
    EXPECT_EQ(t.grid.currentColumn(), 1);
}

TEST(PhoneBookGrid, NameEdits) {
    TGrid t(3);
    QSignalSpy edited(&t.grid, &TPhoneBookGrid::Edited);
    QLineEdit* editor = t.OpenEditor(1, 1);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, Letters.left(25));
    ASSERT_EQ(t.messages, std::vector<std::string>{Texts::NameTooLong});
    EXPECT_EQ(editor->text(), Letters.left(24));
    EXPECT_EQ(t.book.GetName(0), Letters.left(24).toStdString());
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(t.Cell(1, 1), Letters.left(24));
    EXPECT_EQ(t.messages.size(), 1u);
    EXPECT_EQ(edited.count(), 25);

    // Committed whole, as a paste is: a text at the limit goes in, a longer one is cut in the cell and in
    // the table alike, so that what the grid shows is what is written and saved.
    t.grid.item(2, 1)->setText(Letters.right(24));
    EXPECT_EQ(t.book.GetName(1), Letters.right(24).toStdString());
    t.grid.item(2, 1)->setText(Letters);
    EXPECT_EQ(t.Cell(1, 2), Letters.left(24));
    EXPECT_EQ(t.book.GetName(1), Letters.left(24).toStdString());
    EXPECT_EQ(t.messages.size(), 2u);

    t.grid.sgPhoneBookSetEditText(1, 3, QStringLiteral("Café €"));
    EXPECT_EQ(t.book.GetName(2), "Caf\xe9 \x80");
}

TEST(PhoneBookGrid, NumberEdits) {
    TGrid t(2);
    QLineEdit* editor = t.OpenEditor(2, 1);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "12-34");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(t.Cell(2, 1), "12-34");
    EXPECT_EQ(t.book.GetNumber(0), "12P34");

    editor = t.OpenEditor(2, 2);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QString(24, '7'));
    EXPECT_EQ(t.messages, std::vector<std::string>{Texts::NumberTooLong});
    EXPECT_EQ(editor->text(), QString(23, '7'));
    EXPECT_EQ(t.book.GetNumber(1), std::string(23, '7'));
}

TEST(PhoneBookGrid, NumberEditorTakesOnlyDialCharacters) {
    TGrid t(1);
    QLineEdit* editor = t.OpenEditor(2, 1);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "1a2p+3#* ");
    EXPECT_EQ(editor->text(), "12P3#*");
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(editor->text(), "12P3#");

    QApplication::clipboard()->setText("+49 (30) 12-p");
    editor->selectAll();
    editor->paste();
    EXPECT_EQ(editor->text(), "493012-P");
    EXPECT_EQ(t.book.GetNumber(0), "493012PP");

    QLineEdit* name = t.OpenEditor(1, 1);
    ASSERT_NE(name, nullptr);
    QTest::keyClicks(name, "a+p");
    EXPECT_EQ(name->text(), "a+p");
}

TEST(PhoneBookGrid, ContextMenuClearsTheRowPressed) {
    TGrid t(3);
    auto* menu = t.grid.findChild<QMenu*>("pmPhoneBook");
    ASSERT_NE(menu, nullptr);
    for (int row : {1, 2}) {
        t.grid.sgPhoneBookSetEditText(1, row, "Name");
        t.grid.sgPhoneBookSetEditText(2, row, "123");
    }
    t.grid.SetRowColour(2, TRowColour::Red);

    const auto centre = [&t](int row) { return t.grid.visualRect(t.grid.model()->index(row, 1)).center(); };
    QTest::mousePress(t.grid.viewport(), Qt::RightButton, {}, centre(0));
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(t.grid.PopupRow(), 0);
    EXPECT_FALSE(t.grid.OpenContextMenuAt(0, {}));

    QTest::mousePress(t.grid.viewport(), Qt::RightButton, {}, centre(2));
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(t.grid.PopupRow(), 2);
    menu->close();
    t.grid.findChild<QAction*>("miDeleteCells")->trigger();
    EXPECT_EQ(t.Cell(1, 2), "");
    EXPECT_EQ(t.Cell(2, 2), "");
    EXPECT_EQ(t.book.GetNumber(1), "");
    EXPECT_EQ(t.grid.RowColour(2), TRowColour::Window);
    EXPECT_EQ(t.Cell(1, 1), "Name");
    EXPECT_EQ(t.book.GetNumber(0), "123");
}

TEST(PhoneBookGrid, ResizeKeepsTheRowsUpToTheNewCount) {
    TGrid t(200);
    for (int i = 0; i < 200; ++i) {
        t.book.SetName(uint16_t(i), "N" + std::to_string(i));
        t.book.SetNumber(uint16_t(i), std::to_string(1000 + i));
    }
    QSignalSpy edited(&t.grid, &TPhoneBookGrid::Edited);
    t.grid.ShowAll();
    EXPECT_EQ(t.Cell(1, 200), "N199");
    EXPECT_EQ(edited.count(), 0) << "showing the table is no edit";

    t.grid.ResizePhonebook(80);
    EXPECT_EQ(t.grid.rowCount(), 81);
    EXPECT_EQ(t.book.Count(), 80);
    EXPECT_EQ(t.Cell(1, 80), "N79");
    EXPECT_EQ(t.Cell(2, 1), "1000");
    EXPECT_EQ(t.book.GetName(80), "");
    EXPECT_EQ(t.book.GetNumber(199), "");

    t.grid.ResizePhonebook(200);
    EXPECT_EQ(t.Cell(0, 200), "200");
    EXPECT_EQ(t.Cell(1, 81), "");
    EXPECT_TRUE(t.messages.empty());
}

TEST(PhoneBookGrid, RowColours) {
    TGrid t(3);
    const QColor window = t.grid.palette().color(QPalette::Base);
    t.grid.SetRowColour(1, TRowColour::Yellow);
    t.grid.SetRowColour(2, TRowColour::Red);
    t.grid.SetRowColour(256, TRowColour::Red);
    EXPECT_EQ(t.grid.RowColour(1), TRowColour::Yellow);
    EXPECT_EQ(t.grid.RowColour(256), TRowColour::Window);
    EXPECT_EQ(t.Painted(2, 1), QColor(255, 255, 0));
    EXPECT_EQ(t.Painted(1, 2), QColor(255, 0, 0));
    EXPECT_EQ(t.Painted(1, 3), window);

    t.grid.ResetRowColours();
    EXPECT_EQ(t.grid.RowColour(2), TRowColour::Window);
    EXPECT_EQ(t.Painted(1, 2), window);
}

TEST(PhoneBookGrid, FontSizeFitsRowsAndColumns) {
    TGrid t(5);
    const QString longName(24, 'W');
    t.grid.sgPhoneBookSetEditText(1, 5, longName);
    int lastWidth = 0;
    for (int size : {12, 24}) {
        t.grid.ApplyGridFont(size);
        EXPECT_EQ(t.grid.font().pointSize(), size);
        const QFontMetrics metrics(t.grid.font());
        EXPECT_EQ(t.grid.columnWidth(1), metrics.horizontalAdvance(longName) + 10);
        EXPECT_GT(t.grid.columnWidth(1), lastWidth);
        lastWidth = t.grid.columnWidth(1);
        EXPECT_EQ(t.grid.columnWidth(0), metrics.horizontalAdvance(t.Cell(0, 0)) + 10);
        for (int row : {0, 5})
            EXPECT_EQ(t.grid.rowHeight(row), TPhoneBookGrid::GridRowHeight(size));
    }
    t.grid.ResizePhonebook(8);
    EXPECT_EQ(t.grid.rowHeight(8), TPhoneBookGrid::GridRowHeight(24)) << "rows added later";
}

TEST(PhoneBookGrid, ColumnEdgeDraggedInTheHeaderRow) {
    TGrid t(2);
    const int edge = t.grid.columnViewportPosition(1) + t.grid.columnWidth(1);
    const int y = t.grid.rowViewportPosition(0) + 5;
    QTest::mousePress(t.grid.viewport(), Qt::LeftButton, {}, {edge, y});
    QMouseEvent drag(QEvent::MouseMove, QPointF(edge + 30, y),
                     t.grid.viewport()->mapToGlobal(QPointF(edge + 30, y)), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(t.grid.viewport(), &drag);
    QTest::mouseRelease(t.grid.viewport(), Qt::LeftButton, {}, {edge + 30, y});
    EXPECT_EQ(t.grid.columnWidth(1), 182 + 30);
}

// What the person sees at a point of the grid's viewport: the text of the cell on top there, in the grid
// itself or in a fixed band over it.
QString ShownAt(TPhoneBookGrid& grid, const QPoint& at) {
    const QPoint point = grid.viewport()->mapTo(&grid, at);
    QWidget* shown = grid.childAt(point);
    while (shown && !qobject_cast<QTableView*>(shown))
        shown = shown->parentWidget();
    auto* view = qobject_cast<QTableView*>(shown);
    if (!view)
        return "(nothing)";
    return view->indexAt(view->viewport()->mapFrom(&grid, point)).data().toString();
}

// The strip of the viewport as drawn, whatever lies over the cells.
QImage Drawn(TPhoneBookGrid& grid, const QRect& strip) {
    return grid.grab(strip.translated(grid.viewport()->pos())).toImage();
}

// The middle of the name cell of the current row.
QPoint NameCell(TPhoneBookGrid& grid) {
    return grid.visualRect(grid.model()->index(grid.currentRow(), 1)).center();
}

void Turn(TPhoneBookGrid& grid, QPoint delta) {
    const QPointF at = grid.viewport()->rect().center();
    QWheelEvent wheel(at, grid.viewport()->mapToGlobal(at), {}, delta, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &wheel);
}

// The titles over every column, and beside each row in view its line number.
void ExpectTitlesAndLineNumbers(TPhoneBookGrid& grid) {
    const int titleHeight = grid.rowHeight(0);
    const int numbersWidth = grid.columnWidth(0);
    EXPECT_EQ(ShownAt(grid, {2, titleHeight / 2}).trimmed(), Texts::GridLineNo);
    const int nameAt = std::max(grid.columnViewportPosition(1), numbersWidth) + 2;
    if (nameAt < grid.columnViewportPosition(1) + grid.columnWidth(1)) {
        EXPECT_EQ(ShownAt(grid, {nameAt, titleHeight / 2}).trimmed(), Texts::GridName);
    }
    int rows = 0;
    for (int y = titleHeight + 2; y < grid.viewport()->height(); y += grid.rowHeight(1), ++rows) {
        const int row = grid.rowAt(y);
        ASSERT_GT(row, 0);
        EXPECT_EQ(ShownAt(grid, {2, y}), QString::number(row)) << "at y " << y;
    }
    EXPECT_GT(rows, 5);
}

// The titles and the line numbers stay in view while the cells scroll under them, by the wheel or by
// the keys, down and across; a cell the keys go to is not left hidden under them.
TEST(PhoneBookGrid, TitlesAndLineNumbersStayWhileTheCellsScroll) {
    TGrid t(200);
    for (int i = 0; i < 200; ++i) {
        t.book.SetName(uint16_t(i), "Name " + std::to_string(i + 1));
        t.book.SetNumber(uint16_t(i), std::to_string(1001 + i));
    }
    t.grid.ShowAll();
    QApplication::processEvents();
    const QRect titles(0, 0, t.grid.viewport()->width(), t.grid.rowHeight(0));
    const QImage titlesDrawn = Drawn(t.grid, titles);

    Turn(t.grid, {0, -120});
    ASSERT_GT(t.grid.verticalScrollBar()->value(), 0) << "one turn of the wheel scrolls";
    EXPECT_EQ(Drawn(t.grid, titles), titlesDrawn);
    ExpectTitlesAndLineNumbers(t.grid);

    t.grid.setFocus();
    t.grid.setCurrentCell(100, 1);
    QTest::keyClick(&t.grid, Qt::Key_PageDown);
    QTest::keyClick(&t.grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(t.grid.currentRow(), 200);
    EXPECT_EQ(Drawn(t.grid, titles), titlesDrawn);
    ExpectTitlesAndLineNumbers(t.grid);
    EXPECT_EQ(ShownAt(t.grid, NameCell(t.grid)), "Name 200");

    QTest::keyClick(&t.grid, Qt::Key_Home, Qt::ControlModifier);
    ASSERT_EQ(t.grid.currentRow(), 1);
    EXPECT_EQ(ShownAt(t.grid, NameCell(t.grid)), "Name 1")
        << "the first row is below the titles, not under them";
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(&t.grid, Qt::Key_Down);
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(&t.grid, Qt::Key_Up);
    EXPECT_EQ(ShownAt(t.grid, NameCell(t.grid)), "Name 1");

    // Narrow: the names and numbers scroll across, the line numbers stay.
    t.grid.resize(200, 300);
    QApplication::processEvents();
    Turn(t.grid, {0, -360});
    const QRect numbers(0, 0, t.grid.columnWidth(0), t.grid.viewport()->height());
    const QImage numbersDrawn = Drawn(t.grid, numbers);
    Turn(t.grid, {-240, 0});
    ASSERT_GT(t.grid.horizontalScrollBar()->value(), 0) << "the wheel scrolls across";
    EXPECT_EQ(Drawn(t.grid, numbers), numbersDrawn);
    ExpectTitlesAndLineNumbers(t.grid);

    // The keys bring a cell's start out from under the line numbers, across as well.
    t.grid.setCurrentCell(t.grid.rowAt(t.grid.viewport()->height() / 2), 1);
    QTest::keyClick(&t.grid, Qt::Key_Right);
    ASSERT_EQ(t.grid.currentColumn(), 2);
    const int row = t.grid.currentRow();
    const int start = t.grid.columnViewportPosition(2);
    EXPECT_GE(start, t.grid.columnWidth(0));
    EXPECT_EQ(ShownAt(t.grid, {start + 2, t.grid.rowViewportPosition(row) + 2}), QString::number(1000 + row));
    QTest::keyClick(&t.grid, Qt::Key_Left);
    EXPECT_GE(t.grid.columnViewportPosition(1), t.grid.columnWidth(0));
    EXPECT_EQ(ShownAt(t.grid, NameCell(t.grid)), "Name " + QString::number(row));
}

// The fixed cells take the person's presses for the grid: the pop-up menu opens for a line number's row
// and not on the titles, and a column is sized by its edge in the titles, wherever the cells have scrolled.
TEST(PhoneBookGrid, PressesOnTheFixedCellsAfterScrolling) {
    TGrid t(200);
    auto* menu = t.grid.findChild<QMenu*>("pmPhoneBook");
    Turn(t.grid, {0, -240});
    ASSERT_GT(t.grid.verticalScrollBar()->value(), 0);
    auto* numbers = t.grid.findChild<QTableView*>("FixedColumn");
    auto* titles = t.grid.findChild<QTableView*>("FixedRow");
    ASSERT_NE(numbers, nullptr);
    ASSERT_NE(titles, nullptr);

    const QModelIndex current = t.grid.currentIndex();
    const int y = t.grid.rowHeight(0) * 3 + 5;
    QTest::mousePress(numbers->viewport(), Qt::RightButton, {}, {5, y});
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(t.grid.PopupRow(), t.grid.rowAt(y));
    EXPECT_EQ(ShownAt(t.grid, {5, y}), QString::number(t.grid.PopupRow()));
    menu->close();

    const int edge = t.grid.columnViewportPosition(1) + t.grid.columnWidth(1);
    QTest::mousePress(titles->viewport(), Qt::RightButton, {}, {edge - 20, 5});
    EXPECT_FALSE(menu->isVisible()) << "no menu on the titles";
    QTest::mousePress(titles->viewport(), Qt::LeftButton, {}, {edge, 5});
    QMouseEvent drag(QEvent::MouseMove, QPointF(edge + 30, 5),
                     titles->viewport()->mapToGlobal(QPointF(edge + 30, 5)), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(titles->viewport(), &drag);
    QTest::mouseRelease(titles->viewport(), Qt::LeftButton, {}, {edge + 30, 5});
    EXPECT_EQ(t.grid.columnWidth(1), 182 + 30);
    EXPECT_EQ(titles->columnWidth(1), 182 + 30) << "the titles follow the column";
    EXPECT_EQ(t.grid.currentIndex(), current) << "no cell under the fixed ones was chosen";
}

// With the window's own modal box, which takes the focus from the editor while it is shown.
// The message box of a too long cell runs its own event loop while the key press that brought it is
// still inside the cell's editor; the editor closes when the box takes the focus and must outlive that
// key press. A person takes seconds to answer the box, which the answerer's repeats stand in for.
void TypeTooLongUnderAModalBox(int col, const QString& typed, const char* message) {
    TModalAnswerer answerer;
    TPP5Phonebook book;
    QWidget window;
    auto* grid = new TPhoneBookGrid(
        book,
        [&window](const std::string& text) {
            QMessageBox box(&window);
            box.setText(QString::fromStdString(text));
            box.exec();
        },
        &window);
    grid->ResizePhonebook(1);
    window.resize(420, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    grid->setCurrentCell(1, col);
    grid->editItem(grid->item(1, col));
    QTest::keyClicks(grid->indexWidget(grid->model()->index(1, col)), typed);
    WaitFor([&] { return !answerer.Texts.empty(); });
    const QString kept = typed.left(typed.size() - 1);
    const auto held = [&] { return col == 1 ? book.GetName(0) : book.GetNumber(0); };
    EXPECT_EQ(answerer.Texts, std::vector<QString>{message});
    EXPECT_EQ(held(), kept.toStdString());
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->model()->index(1, col)));
    ASSERT_NE(editor, nullptr) << "the editor is open again after the message";
    EXPECT_EQ(editor->text(), kept);
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(held(), kept.left(kept.size() - 1).toStdString());
}

TEST(PhoneBookGrid, NameTooLongUnderAModalBox) {
    TypeTooLongUnderAModalBox(1, Letters.left(25), Texts::NameTooLong);
}

TEST(PhoneBookGrid, NumberTooLongUnderAModalBox) {
    TypeTooLongUnderAModalBox(2, QString(24, '5'), Texts::NumberTooLong);
}

} // namespace
