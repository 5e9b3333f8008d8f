#pragma once

#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ProgramFolderOverride.h"
#include "support/WaitFor.h"

#include "link/ConnectionSettings.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// A shown main window on the handset's port, with the test's dialogs, once its port is open.
inline std::unique_ptr<TFileChoosingForm> ShownWindow(const THandsetProcess& handset,
                                                      TSaveQuestionForm& saveQuestion,
                                                      TProgressForm& progress,
                                                      const QStringList& arguments = {"quorvel"}) {
    ConnectionSettings::WriteDeviceNo(handset.ComNumber());
    auto form = std::make_unique<TFileChoosingForm>(arguments);
    form->SetWindows(nullptr, &saveQuestion, &progress);
    form->Core().SelectedPort = handset.ComNumber();
    form->show();
    EXPECT_TRUE(WaitFor([&] { return form->Core().Engine().IsPortOpen(); }));
    return form;
}

// The surroundings of a main window test: a per-user folder of its own, a program folder whose
// settings.cfg switches on the tabs the test needs ("SPEED_DIAL=ON\r\n"; none: the program's own), the
// window's dialogs and a
// folder for the test's files.
struct TWindowFixture : testing::Test {
    explicit TWindowFixture(const QByteArray& features) {
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        if (features.isEmpty())
            return;
        QFile settings(programFolder.File("settings.cfg"));
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(features);
    }

    // A shown window on the handset's port, with the fixture's dialogs.
    std::unique_ptr<TFileChoosingForm> Window(const THandsetProcess& handset,
                                              const QStringList& arguments = {"quorvel"}) {
        return ShownWindow(handset, saveQuestion, progress, arguments);
    }
    static void Click(TMainForm& form, const char* button) { form.findChild<QPushButton*>(button)->click(); }
    static QString Status(TMainForm& form) { return form.findChild<QLabel*>("StatusPanel1")->text(); }
    // A file of the test's folder with the text given; its path.
    QString WriteFile(const char* name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }

    QTemporaryDir config;
    QTemporaryDir dir;
    TProgramFolderOverride programFolder;
    TSaveQuestionForm saveQuestion;
    TProgressForm progress;
};
