#include "cli/CliSession.h"

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/Summary.h"
#include "link/SendMailHandling.h"
#include "link/TpaProComImpl.h"
#include "platform/DeviceMap.h"
#include "platform/Texts.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

TCliSession::TCliSession(const TGlobalOptions& options)
    : Terminal(options)
    , Recording(OpenRecording(options.record))
    , Main(Terminal, SerialPort) {
    Main.SelectedPort = ResolvePort(options.port);
    AddJsonHandset({Main.SelectedPort, std::nullopt, {}, {}});
    Main.ConfigureEngine();
    Main.Engine().SetRecorder(Recording.get());
}

TCliSession::~TCliSession() {
    // A command that ends by raising its failure gets here before its text is printed.
    try {
        if (const std::string cause = Terminal.FailureCause ? Terminal.FailureCause() : ""; !cause.empty())
            PrintMessage(cause);
        // A dry run says once, however many writes the command planned, that it wrote nothing.
        if (Terminal.Given.dryRun && Terminal.Given.printPlans && !Terminal.Record().plans.empty()) {
            AddJson({{"dryRun", true}});
            PrintMessage("Dry run: nothing was written to the handset" + OfHandset() + ".");
        }
        // For a script: the line went away during the command (a retry with the docking station back may
        // do what it did not).
        if (Main.Engine().LineLosses() > 0 && JsonWanted())
            AddJson({{"lineLost", true}});
    } catch (...) {
        // Nothing more can be said.
    }
}

std::string TCliSession::PortProblem() {
    const TPortFailure failure = SerialPort.LastFailure();
    std::string text = PortFailureText(Main.SelectedPort, failure);
    using Kind = TPortFailure::Kind;
    if (failure.kind == Kind::NotMapped || failure.kind == Kind::NotFound)
        text += "\r\"quorvel-cli ports\" lists the ports there are; the device map " +
                DeviceMap::MapFilePath() + " names the device of each COM number.";
    if (failure.kind == Kind::Busy) {
        const std::string holder = failure.device.empty() ? "" : PortHolder(failure.device);
        if (!holder.empty())
            text += "\rIt is held by " + holder +
                    "; close that program (a modem manager may be told to leave "
                    "the port alone) and try again.";
    }
    return text;
}

void TCliSession::OpenPort() {
    // Several files of one command (a verify) share the port.
    if (Engine().IsPortOpen())
        return;
    if (!Engine().OpenPort(uint8_t(Main.SelectedPort), TMainCore::HandsetBaudRate))
        throw TCommandFailure(std::string(Texts::SerialDeviceClosed) + " " + PortProblem());
    // A handset that must be a certain one shows its serial number before anything is sent to it.
    if (Terminal.Given.expectedSerial)
        ConnectHandset();
}

void TCliSession::ConnectHandset() {
    const TConnectResult result = Main.ConnectHandset();
    if (result == TConnectResult::Connected)
        return;
    if (result == TConnectResult::Stopped)
        throw TCommandStopped(Texts::StoppedAsAsked);
    std::string text = ConnectionResultText(result);
    if (result == TConnectResult::NoAnswer)
        text += " (COM" + std::to_string(Main.SelectedPort) + ", no answer to " + std::to_string(ProbeTries) +
                " probes)\r" + NoAnswerHint;
    else if (result == TConnectResult::PortClosed) {
        // A line lost during the connection step is told once, first.
        const std::string cause = Terminal.FailureCause ? Terminal.FailureCause() : "";
        text = cause.empty() ? text + " " + PortProblem() : cause + "\r" + text;
    }
    throw TCommandFailure(text);
}
