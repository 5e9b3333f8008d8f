// The program: the main window against the handset on the chosen serial port.
#include "platform/Paths.h"
#include "platform/PhoneBookResourceStrings.h"
#include "vsim/DebugToFile.h"
#include "windows/ComUnit.h"
#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(Texts::ProgramTitle);
    QApplication::setApplicationDisplayName(Texts::ProgramTitle);
    // The desktop entry's name, by which a Wayland desktop gives the window its menu entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVEL_APP_ID));
    TDebugToFile::Instance().Open(WritableProgramFile("debug.txt"));

    TMainForm mainForm(QApplication::arguments());
    TComForm comForm(mainForm.Core().Engine(), mainForm.Core().SelectedPort, &mainForm);
    if (!comForm.HasPorts()) {
        QMessageBox::critical(nullptr, Texts::ProgramTitle, Texts::NoComPorts);
        return 0;
    }
    TSaveQuestionForm saveQuestion(&mainForm);
    TProgressForm progress(&mainForm);
    mainForm.SetWindows(&comForm, &saveQuestion, &progress);

    mainForm.show();
    const int result = app.exec();
    TDebugToFile::Instance().Close();
    return result;
}
