#pragma once

#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/WaitFor.h"

#include "link/ConnectionSettings.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QApplication>

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
