#pragma once

#include "link/HandsetConnection.h"
#include "platform/UserInteraction.h"
#include "vsim/SimRecords.h"
#include "vsim/SimResult.h"

#include <chrono>
#include <optional>
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
    static std::string FailureText(std::optional<TSimResult> code, bool toFile);

    // The last transfer's code (-1 when none ran), its SIM's serial number and the file it wrote.
    std::optional<TSimResult> Code;
    std::string SerialNumberText;
    std::string WrittenFile;
    // The SIM moved, but its handset's erase was not confirmed to its end: a step the person must still
    // take ("Transfer SIM to File" on that handset again).
    bool Pending = false;
    // The pauses at the end of a transfer; the handset's own when not set otherwise.
    std::chrono::milliseconds ReadyPause{3000};
    std::chrono::milliseconds UnreadyPause{10000};

private:
    bool Run(bool toFile);

    THandsetConnection& Link;
    TUserInteraction& Ui;
    TSimRecords& Records;
    std::string ListPath;
};

// What the records say of a SIM in a file: how far its move is, and the step that takes it on. The SIM
// tab and the command line show the same texts.
const char* SimStateName(const TSimJournal& journal);
std::string SimMoveAdvice(const std::string& serialNumber, const TSimJournal& journal);
// The same for a whole record: one this store gave up, or holds as a copy, says so instead.
std::string SimRecordAdvice(const TSimRecord& record);
// Who took a step, where and when: "alice on desk-pc, 2026-12-10T09:30:00+01:00"; empty when the record
// does not say (records moved in from the old store).
std::string SimStepAuthorText(const TStepAuthor& author);

// Releases the unfinished move of the SIM, after the person has confirmed the risk that the handset it
// was moving out of or into holds it: its file is taken again, and the journal says when. True when
// released. No handset is needed.
bool ReleaseUnfinishedMove(TUserInteraction& ui, TSimRecords& records, const std::string& serialNumber);
