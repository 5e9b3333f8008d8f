#include "cli/CliSession.h"

#include "link/TpaProComImpl.h"
#include "platform/PhoneBookResourceStrings.h"

TCliSession::TCliSession(const TGlobalOptions& options)
    : Terminal(options.yes)
    , Recording(OpenRecording(options.record))
    , Main(Terminal, SerialPort) {
    Main.SelectedPort = ResolvePort(options.port);
    Main.ConfigureEngine();
    Main.Engine().SetRecorder(Recording.get());
}

std::string TCliSession::PortProblem() {
    return PortFailureText(Main.SelectedPort, SerialPort.LastFailure());
}

void TCliSession::OpenPort() {
    if (!Engine().OpenPort(uint8_t(Main.SelectedPort), TMainCore::HandsetBaudRate))
        throw TCommandFailure(std::string(Texts::SerialDeviceClosed) + " " + PortProblem());
}

void TCliSession::ConnectHandset() {
    const int result = Main.ConnectHandset();
    if (result > 0)
        return;
    std::string text = ConnectionResultText(result);
    if (result < 0)
        text += " " + PortProblem();
    else
        text += " (COM" + std::to_string(Main.SelectedPort) + ", no answer to 6 probes)";
    throw TCommandFailure(text);
}
