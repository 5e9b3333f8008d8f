// The program: the main window against the handset on the chosen serial port.
#include "link/MailRecorder.h"
#include "platform/Paths.h"
#include "platform/PhoneBookResourceStrings.h"
#include "vsim/DebugToFile.h"
#include "windows/ComUnit.h"
#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QApplication>
#include <QMessageBox>

#include <memory>
#include <optional>

namespace {

// The file of "--record FILE" (or "--record=FILE"); an empty name when the option has no value.
std::optional<std::string> RecordArgument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--record")
            return i + 1 < arguments.size() ? arguments[i + 1].toStdString() : std::string();
        if (arguments[i].startsWith("--record="))
            return arguments[i].mid(9).toStdString();
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(Texts::ProgramTitle);
    QApplication::setApplicationDisplayName(Texts::ProgramTitle);
    // The desktop entry's name, by which a Wayland desktop gives the window its menu entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVEL_APP_ID));
    TDebugToFile::Instance().Open(WritableProgramFile("debug.txt"));

    // A conversation to be recorded is recorded from its first mail, or not begun.
    std::unique_ptr<TMailRecorder> recording;
    if (const auto path = RecordArgument(QApplication::arguments())) {
        try {
            recording = std::make_unique<TMailRecorder>(*path);
        } catch (const ERecordingError& e) {
            QMessageBox::critical(nullptr, Texts::ProgramTitle, QString::fromLocal8Bit(e.what()));
            return 2;
        }
        recording->OnFailure = [](const std::string& failure) {
            QMessageBox::warning(nullptr, Texts::ProgramTitle, QString::fromLocal8Bit(failure.c_str()));
        };
    }

    TMainForm mainForm(QApplication::arguments());
    mainForm.Core().Engine().SetRecorder(recording.get());
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
