// The speed dial tab in the main window offscreen: its file entries, grid and handset operations.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"

#include "link/ConnectionSettings.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/SpeedDialTab.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QValidator>

#include <gtest/gtest.h>

namespace {

struct SpeedDialTab : TWindowFixture {
    SpeedDialTab()
        : TWindowFixture("SPEED_DIAL=ON\r\n") {}
    static QString Cell(TMainForm& form, int row) {
        return form.findChild<QTableWidget*>("sgSpeedDial")->item(row, 1)->text();
    }
};

} // namespace

TEST_F(SpeedDialTab, AListFromAFileGoesIntoTheHandsetAndComesBack) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    auto* grid = form->findChild<QTableWidget*>("sgSpeedDial");
    EXPECT_EQ(grid->item(0, 0)->text(), "#0");
    EXPECT_EQ(grid->item(10, 0)->text(), "#A");

    QFile file(dir.filePath("list.sdl"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Key_0,12P3\r\nkey_3 , 555\r\n");
    file.close();
    form->Chosen = file.fileName();
    form->SpeedDial().OpenClick();
    EXPECT_EQ(Cell(*form, 0), "12P3");
    EXPECT_EQ(Cell(*form, 3), "555");
    {
        TModalAnswerer answerer;
        Click(*form, "bbtnWriteSpeedDial");
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_EQ(answerer.Texts[0], "Replace the Speed Dial List in the connected handset?");
    }
    EXPECT_EQ(form->findChild<QLabel*>("StatusPanel1")->text(), "Finished writing to handset!");
    Click(*form, "bbtnCleanGridSpeedDial");
    EXPECT_EQ(Cell(*form, 0), "");
    Click(*form, "bbtnReadSpeedDial");
    EXPECT_EQ(Cell(*form, 0), "12-3");
    EXPECT_EQ(Cell(*form, 3), "555");

    // An edit longer than 23 characters is refused: the cell shows the list's number again, so that what
    // is shown is what is written.
    {
        TModalAnswerer answerer;
        grid->item(3, 1)->setText("123456789012345678901234");
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_EQ(answerer.Texts[0], "The number must not exceed 23 digits!");
    }
    EXPECT_EQ(Cell(*form, 3), "555");
    EXPECT_EQ(form->SpeedDial().List().Numbers[3], "555");

    // The pop-up menu's entry empties the number of its row, as an edit would.
    form->SpeedDial().MenuRow = 0;
    form->SpeedDial().DeleteRowClick();
    EXPECT_EQ(Cell(*form, 0), "");
    EXPECT_EQ(form->SpeedDial().List().Numbers[0], "");
    form->SpeedDial().List().SetNumber(0, "12-3");

    // Typing: a "p" is the pause, letters are not taken.
    grid->setCurrentCell(5, 1);
    grid->editItem(grid->item(5, 1));
    auto* editor = grid->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "1p2x3");
    EXPECT_EQ(editor->text(), "1P23");
    // Only the digits 0 to 9 are digits here: others of Unicode are not taken.
    QString arabic = QString::fromUtf8("1\u0663"), wide = QString::fromUtf8("\uFF12");
    int at = 0;
    EXPECT_EQ(editor->validator()->validate(arabic, at), QValidator::Invalid);
    EXPECT_EQ(editor->validator()->validate(wide, at), QValidator::Invalid);

    form->Chosen = dir.filePath("saved.sdl");
    form->SpeedDial().SaveAsClick();
    QFile saved(form->Chosen);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().startsWith("Key_0,12-3\r\nKey_1,\r\n"));
}
