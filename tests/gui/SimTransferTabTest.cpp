// The SIM tab's two buttons in the main window offscreen, against the virtual handset.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"

#include "link/ConnectionSettings.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

struct SimTransferTab : testing::Test {
    SimTransferTab() {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit());
        QFile settings(programFolder.File("settings.cfg"));
        settings.open(QIODevice::WriteOnly);
        settings.write("VIRTUAL_SIM=ON\r\n");
    }
    std::unique_ptr<TFileChoosingForm> Window(const THandsetProcess& handset,
                                              const QStringList& arguments = {"quorvel"}) {
        return ShownWindow(handset, saveQuestion, progress, arguments);
    }
    static void Click(TMainForm& form, const char* button) { form.findChild<QPushButton*>(button)->click(); }
    static QString Status(TMainForm& form) { return form.findChild<QLabel*>("StatusPanel1")->text(); }

    QTemporaryDir config;
    QTemporaryDir machine;
    QTemporaryDir dir;
    TProgramFolderOverride programFolder;
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
};

} // namespace

TEST_F(SimTransferTab, TheSimGoesIntoAFileAndBackAsThePersonIsTold) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    form->Chosen = dir.filePath("backup.sim");
    {
        TModalAnswerer answerer;
        Click(*form, "bbtnBackupSim");
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_TRUE(answerer.Texts[0].startsWith("This will move SIM values from handset to a file."));
    }
    EXPECT_TRUE(Status(*form).startsWith("SIM transferred to file! - ")) << Status(*form).toStdString();
    const QString file = dir.filePath("backup_00291 0284280.sim");
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(form->Chosen));
    EXPECT_FALSE(form->Busy());
    EXPECT_FALSE(progress.isVisible());
    // The tab lists the SIM in its file, with its last step and the step that takes it on; nothing to
    // release.
    auto* records = form->findChild<QTreeWidget*>("twSimRecords");
    ASSERT_EQ(records->topLevelItemCount(), 1);
    EXPECT_EQ(records->topLevelItem(0)->text(0), "00291 0284280");
    EXPECT_EQ(records->topLevelItem(0)->text(4), "in its file");
    EXPECT_THAT(records->topLevelItem(0)->text(5).toStdString(),
                testing::MatchesRegex(".+ on .+, 20[0-9-]+T[0-9:]+(Z|[+-][0-9:]+)"))
        << "who saved it, where and when";
    EXPECT_EQ(records->topLevelItem(0)->text(6), file);
    records->setCurrentItem(records->topLevelItem(0));
    EXPECT_EQ(form->findChild<QLabel*>("lblSimAdvice")->text(),
              "\"Transfer SIM to Handset\" takes the file.");
    EXPECT_FALSE(form->findChild<QPushButton*>("btnReleaseMove")->isEnabled());

    // Anything but a .sim file is refused before anything is sent.
    form->Chosen = dir.filePath("backup.txt");
    {
        TModalAnswerer answerer;
        Click(*form, "bbtnRestoreSim");
        ASSERT_EQ(answerer.Texts.size(), 2u);
        EXPECT_EQ(answerer.Texts[1], "The selected file is not a SIM file!");
    }
    form->Chosen = file;
    {
        TModalAnswerer answerer;
        Click(*form, "bbtnRestoreSim");
        ASSERT_EQ(answerer.Texts.size(), 2u);
        EXPECT_TRUE(answerer.Texts[0].startsWith("Move SIM to handset?"));
        EXPECT_EQ(answerer.Texts[1],
                  "SIM transferred to handset!\n\nPlease change the serial number on the label "
                  "in the handset to \"00291 0284280\".");
    }
    EXPECT_TRUE(Status(*form).startsWith("SIM transferred to handset! - ")) << Status(*form).toStdString();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(records->topLevelItemCount(), 0);
    // Moved back, the file is gone and a copy would not be taken; cancelled, nothing happens.
    {
        TModalAnswerer answerer(QMessageBox::Cancel);
        Click(*form, "bbtnBackupSim");
        EXPECT_EQ(answerer.Texts.size(), 1u);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("backup_00291 0284280.sim")));
    EXPECT_FALSE(form->Busy());
}

// Records that cannot be reached (a server that is away) stop both moves before the handset hears a
// word, with a message that names the records and why.
TEST_F(SimTransferTab, RecordsThatCannotBeReachedStopTheMoveBeforeTheHandsetIsTouched) {
    const QByteArray saved = qgetenv("QUORVEL_RECORDS");
    qputenv("QUORVEL_RECORDS",
            "postgresql:///quorvel?host=" + dir.filePath("no-server").toLocal8Bit() + "&connect_timeout=2");
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    form->Chosen = dir.filePath("backup.sim");
    for (const char* button : {"bbtnBackupSim", "bbtnRestoreSim"}) {
        TModalAnswerer answerer;
        Click(*form, button);
        // The one box: the move's own question, which comes after connecting, is never asked.
        ASSERT_EQ(answerer.Texts.size(), 1u) << button;
        EXPECT_TRUE(answerer.Texts[0].startsWith("The records of SIMs in files cannot be used: "))
            << answerer.Texts[0].toStdString();
        EXPECT_TRUE(answerer.Texts[0].contains("cannot be reached")) << answerer.Texts[0].toStdString();
        EXPECT_FALSE(form->Busy());
    }
    qputenv("QUORVEL_RECORDS", saved);
}
