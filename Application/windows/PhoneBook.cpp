// The program: the main window against the handset on the chosen serial port.
#include "link/MailRecorder.h"
#include "platform/Paths.h"
#include "platform/Texts.h"
#include "vsim/DebugToFile.h"
#include "vsim/FleetStore.h"
#include "windows/ComUnit.h"
#include "windows/MainUnit.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

// The program's version, as the build made it (cmake/VersionRecord.cpp.in).
const char* VersionLine();

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

constexpr const char* WindowHelp =
    "usage: quorvel [-?] [-debug] [-outlook] [--record FILE]\n"
    "\n"
    "Manages a DECT handset in its docking station in a window.\n"
    "\n"
    "  -?              a box with these switches when the window opens\n"
    "  -debug          the menu entry of the mail monitor\n"
    "  -outlook        the contacts import (Outlook CSV export or vCard) on the Phone Book tab\n"
    "  --record FILE   write every mail and answer to FILE, one JSON line each\n"
    "  --help          this help\n"
    "  --version       the program's version\n"
    "\n"
    "Switches may begin with \"-\" or \"/\" in any case. quorvel-cli does the same work from a terminal.\n";

// Asked before a window is made: help and version go to the terminal, and a machine without a display
// is told so instead of the window system's abort.
std::optional<int> AnswerWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(WindowHelp, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s\n", VersionLine());
            return 0;
        }
    }
    const auto unset = [](const char* name) {
        const char* value = std::getenv(name);
        return !value || !*value;
    };
    if (unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("QT_QPA_PLATFORM")) {
        std::fputs("quorvel: there is no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not "
                   "set). quorvel-cli does the same work from a terminal.\n",
                   stderr);
        return 1;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> answered = AnswerWithoutWindow(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(Texts::ProgramTitle);
    QApplication::setApplicationDisplayName(Texts::ProgramTitle);
    // The desktop entry's name, by which a Wayland desktop gives the window its menu entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVEL_APP_ID));
    TDebugToFile::Instance().Open(WritableLogFile("debug.txt"));
    // Changes are noted where the SIM records are: on their server when they are shared.
    UseFleetStore();

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
