// The broadcast groups tab in the main window offscreen: its grid, file entries and handset operations.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"

#include "windows/BroadcastGroupsTab.h"
#include "windows/ListGrid.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct BroadcastGroupsTab : TWindowFixture {
    BroadcastGroupsTab()
        : TWindowFixture("") {}
    static QTableWidget* Grid(TMainForm& form) { return form.findChild<QTableWidget*>("sgBroadcastGroups"); }
    static QString Cell(TMainForm& form, int row) { return Grid(form)->item(row, 1)->text(); }
};

} // namespace

TEST_F(BroadcastGroupsTab, AListFromAFileGoesIntoTheHandsetAndComesBack) {
    THandsetProcess handset({"--groups", "12"});
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    EXPECT_EQ(Grid(*form)->rowCount(), 16);
    EXPECT_EQ(Grid(*form)->item(0, 0)->text(), "1");
    EXPECT_EQ(Grid(*form)->item(15, 0)->text(), "16");

    form->Chosen = WriteFile("list.BGL", "5\r\n\r\n12\r\n7\r\n" + QByteArray("\r\n").repeated(12));
    form->BroadcastGroups().OpenClick();
    EXPECT_EQ(Cell(*form, 0), "5");
    EXPECT_EQ(Cell(*form, 2), "12");
    {
        // Add: 12 is there already; Ignore goes on with 7.
        TModalAnswerer answerer(QMessageBox::Ignore, WriteModeChoice(0));
        Click(*form, "bbtnWriteBroadcastGroups");
        EXPECT_EQ(answerer.Dialogs, 1);
        // The plan's question, then the one about the group the handset holds.
        ASSERT_EQ(answerer.Texts.size(), 2u);
        EXPECT_EQ(answerer.Texts[0], "Add list to existing groups in handset?");
        EXPECT_EQ(answerer.Texts[1], "The group \"12\" already exists!");
    }
    EXPECT_EQ(Status(*form), "Finished writing to handset!");
    EXPECT_FALSE(form->Busy());

    Click(*form, "bbtnCleanGridBroadcastGroups");
    EXPECT_EQ(Cell(*form, 0), "");
    EXPECT_EQ(form->BroadcastGroups().Groups().GetGroup(0), "");
    Click(*form, "bbtnReadBroadcastGroups");
    EXPECT_EQ(Status(*form), "Finished reading from handset!");
    EXPECT_EQ(Cell(*form, 0), "12");
    EXPECT_EQ(Cell(*form, 1), "5");
    EXPECT_EQ(Cell(*form, 2), "7");
    EXPECT_EQ(Cell(*form, 3), "");

    {
        TModalAnswerer answerer(QMessageBox::Ok, WriteModeChoice(1));
        Click(*form, "bbtnWriteBroadcastGroups"); // replace with what was read
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_EQ(answerer.Texts[0], "Replace the broadcast groups in the connected handset? Its groups are "
                                     "deleted; afterwards it belongs to the 3 groups of this list.");
    }
    // The list just read is what the handset holds: its plan changes nothing, so nothing is sent.
    EXPECT_EQ(Status(*form), "The handset already holds these broadcast groups; nothing was written.");
    {
        TModalAnswerer answerer;
        Click(*form, "bbtnDeleteBroadcastGroups");
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_EQ(answerer.Texts[0], "Delete the broadcast groups in the connected handset?");
    }
    EXPECT_EQ(Status(*form), "Broadcast Groups Deleted!");
    EXPECT_EQ(Cell(*form, 0), "12"); // the grid is not changed
}

TEST_F(BroadcastGroupsTab, EditsAreCheckedAndTheFileEntriesReportFailures) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    TBroadcastGroupsTab& tab = form->BroadcastGroups();
    QTableWidget* grid = Grid(*form);

    grid->item(0, 1)->setText("9");
    for (const char* bad : {"256", "-1", "12a", "1000"}) {
        TModalAnswerer answerer;
        grid->item(0, 1)->setText(bad);
        ASSERT_EQ(answerer.Texts.size(), 1u) << bad;
        EXPECT_EQ(answerer.Texts[0], "Value must be in the range 0-255!");
        EXPECT_EQ(Cell(*form, 0), "9"); // the cell shows the slot's group again
        EXPECT_EQ(tab.Groups().GetGroup(0), "9");
    }
    grid->item(1, 1)->setText("007");
    EXPECT_EQ(tab.Groups().GetGroup(1), "007");

    // The pop-up entry empties its slot and draws the grid again from the slots.
    tab.MenuRow = 1;
    tab.DeleteRowClick();
    EXPECT_EQ(tab.Groups().GetGroup(1), "");
    EXPECT_EQ(Cell(*form, 0), "9");
    EXPECT_EQ(Cell(*form, 1), "");

    form->Chosen = dir.filePath("saved.BGL");
    tab.SaveAsClick();
    QFile saved(form->Chosen);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "9\r\n" + QByteArray("\r\n").repeated(15));
    {
        TModalAnswerer answerer;
        form->Chosen = dir.filePath("no/such/folder.BGL");
        tab.SaveAsClick();
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_EQ(answerer.Texts[0], "Could not write file!");
    }
    {
        // Fifteen lines: refused, and the grid stays empty.
        TModalAnswerer answerer;
        form->Chosen = WriteFile("short.BGL", "4\r\n" + QByteArray("\r\n").repeated(14));
        tab.OpenClick();
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_EQ(answerer.Texts[0], "Could not read file!");
        EXPECT_EQ(Cell(*form, 0), "");
    }
    {
        // A slot of a file that is no group number stops the write before anything is sent.
        form->Chosen = WriteFile("bad.BGL", "4\r\n1A\r\n" + QByteArray("\r\n").repeated(14));
        tab.OpenClick();
        TModalAnswerer answerer;
        Click(*form, "bbtnWriteBroadcastGroups");
        EXPECT_EQ(answerer.Dialogs, 0);
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_TRUE(answerer.Texts[0].startsWith("Slot 2 holds \"1A\"")) << answerer.Texts[0].toStdString();
    }
}

// The grid of a list that is only shown: its cells take no edit, however the person tries.
TEST(ListGrid, AReadOnlyListTakesNoEdit) {
    QWidget window;
    QTableWidget* editable = ListGrid::Create("editable", 2, {"Key", "Number"}, &window);
    QTableWidget* shown =
        ListGrid::Create("shown", 2, {"Key", "Handset", "File"}, &window, ListGrid::TValues::ReadOnly);
    ListGrid::Reset(*editable, {"1", "2"});
    ListGrid::Reset(*shown, {"1", "2"});
    window.show();
    EXPECT_EQ(shown->columnCount(), 3);
    EXPECT_EQ(shown->item(1, 0)->text(), "2");
    const auto editorAfterDoubleClick = [](QTableWidget* grid, int column) {
        const QPoint at = grid->visualItemRect(grid->item(0, column)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        return grid->findChild<QLineEdit*>() != nullptr;
    };
    EXPECT_TRUE(editorAfterDoubleClick(editable, 1));
    for (int column : {1, 2}) {
        EXPECT_FALSE(editorAfterDoubleClick(shown, column)) << column;
        shown->edit(shown->model()->index(0, column));
        EXPECT_EQ(shown->findChild<QLineEdit*>(), nullptr) << column;
    }
}
