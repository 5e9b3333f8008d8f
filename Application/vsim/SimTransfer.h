#pragma once

#include "link/HandsetConnection.h"
#include "platform/UserInteraction.h"
#include "vsim/SimRecords.h"

#include <string>

// The SIM tab's two buttons without the window: connect, ask, choose the file, run the transfer with the
// progress shown, and tell the person how it went. The window and the command line run them alike.
class TSimTransfer {
public:
    TSimTransfer(THandsetConnection& link, TUserInteraction& ui, TSimRecords& records, std::string listPath);

    // "Transfer SIM to File" and "Transfer SIM to Handset": true when the SIM was moved.
    bool SimToFile();
    bool FileToSim();

    // The message a result code gives, without the elapsed time: the general text with the code where
    // there is no text of its own.
    static std::string FailureText(int code, bool toFile);

    // The last transfer's code (-1 when none ran), its SIM's serial number and the file it wrote.
    int Code = -1;
    std::string SerialNumberText;
    std::string WrittenFile;
    // The pauses at the end of a transfer, in ms; the handset's own when not set otherwise.
    int ReadyPause = 3000;
    int UnreadyPause = 10000;

private:
    bool Run(bool toFile);

    THandsetConnection& Link;
    TUserInteraction& Ui;
    TSimRecords& Records;
    std::string ListPath;
};
