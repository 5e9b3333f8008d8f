#pragma once

#include "cli/CliOptions.h"
#include "cli/CliRecording.h"
#include "cli/CommandUser.h"
#include "core/MainCore.h"
#include "link/TpaProComImpl.h"

// The main window's work for one command, on the port the options name, with the terminal as the
// person.
class TCliSession {
public:
    explicit TCliSession(const TGlobalOptions& options);
    // Tells a lost line that no message has told yet, and that a dry run wrote nothing, before what the
    // command prints of its end.
    ~TCliSession();
    TCliSession(const TCliSession&) = delete;
    TCliSession& operator=(const TCliSession&) = delete;

    // Opens the port at 115200 baud; a port that cannot be opened ends the command with the reason.
    void OpenPort();
    // The connection step of every handset operation; a failure ends the command with its text.
    void ConnectHandset();

    TMainCore& Core() { return Main; }
    TMailControl& Engine() { return Main.Engine(); }
    TCommandUser& User() { return Terminal; }
    int Port() const { return Main.SelectedPort; }

private:
    std::string PortProblem();

    TCommandUser Terminal;
    TTpaProComImpl SerialPort;
    // Opened before the engine exists, and outlives it.
    std::unique_ptr<TMailRecorder> Recording;
    TMainCore Main;
};
