#pragma once

#include "windows/MainUnit.h"

#include <QString>

// The main window with its file dialog answered by the test: every question for a file gives Chosen.
class TFileChoosingForm : public TMainForm {
public:
    using TMainForm::TMainForm;

    std::string AskFileName(bool, const char*, const char*) override { return Chosen.toStdString(); }

    QString Chosen;
};
