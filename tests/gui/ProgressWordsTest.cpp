// The progress window counts in words what each list operation goes through, as it does the phone book's
// entries: the speed dial keys a delete empties, the groups a write adds, the profile bytes a write sends.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"

#include "windows/BroadcastGroupsTab.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QComboBox>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProgressWords : TWindowFixture {
    ProgressWords()
        : TWindowFixture("PROFILE=ON\r\nSPEED_DIAL=ON\r\nBROADCAST_GROUPS=ON\r\n") {}
    void Click(const char* sheet, const char* button) {
        form->findChild<QTabWidget*>("PageControl")->setCurrentWidget(form->findChild<QWidget*>(sheet));
        form->findChild<QPushButton*>(button)->click();
    }
    int BarMaximum() const { return progress.findChild<QProgressBar*>("ProgressBar")->maximum(); }

    std::unique_ptr<TFileChoosingForm> form;
};

TEST_F(ProgressWords, CountTheKeysGroupsAndProfileBytesOfEachOperation) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    form = Window(handset);
    {
        TModalAnswerer answerer;
        Click("tsSpeedDial", "bbtnDeleteSpeedDial");
    }
    EXPECT_EQ(progress.CountText().toStdString(), "Deleting key 11 of 11");
    EXPECT_EQ(BarMaximum(), 11);
    EXPECT_FALSE(progress.isVisible());

    // Three groups of sixteen slots: the count goes through the groups the list holds.
    QTemporaryDir files;
    QFile list(files.filePath("list.BGL"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("5\r\n\r\n12\r\n7\r\n" + QByteArray("\r\n").repeated(12));
    list.close();
    form->Chosen = list.fileName();
    form->BroadcastGroups().OpenClick();
    {
        TModalAnswerer answerer(QMessageBox::Ok, WriteModeChoice(0));
        Click("tsBroadcastGroups", "bbtnWriteBroadcastGroups");
    }
    EXPECT_EQ(progress.CountText().toStdString(), "Writing group 3 of 3");
    EXPECT_FALSE(progress.isVisible());

    // One setting changed from what the handset holds, one byte written.
    Click("tsProfile", "bbtnReadDefaultsFromPp");
    auto* tone = form->findChild<QComboBox*>("cbRingerTone");
    tone->setCurrentIndex((tone->currentIndex() + 1) % tone->count());
    {
        TModalAnswerer answerer;
        Click("tsProfile", "bbtnWriteDefaultsToPp");
    }
    EXPECT_EQ(progress.CountText().toStdString(), "Writing profile byte 1 of 1");
    EXPECT_FALSE(progress.isVisible());
}

} // namespace
