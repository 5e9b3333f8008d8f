#pragma once

#include "platform/HandsetIdentity.h"
#include "platform/UserInteraction.h"
#include "platform/WritePlan.h"

#include <optional>
#include <string>
#include <vector>

// The record of every change made to a handset: "changes.jsonl" in the machine's state folder, one JSON
// object a line for each operation that changed a handset or began to and may have, whichever program
// made it (the window, the command line, a station). Lines are only ever added, each with one write() to
// a file opened for appending, so that programs writing at the same time never mix their lines. The
// bytes are UTF-8.
//
// {"time":"2026-12-10T09:30:00+01:00","user":"alice","pc":"desk-pc","port":"COM12",
//  "serial":"00291 0284280","software":"62018400","pcs":"06Q","operation":"phonebook replace",
//  "via":"cli","changed":{"added":3,"removed":1,"changed":2,"kept":180,"notWritten":0},
//  "backup":"/home/alice/.config/Quorvel/backups/phonebook-....phb","outcome":"done","message":""}
//
// "changed" is null for an operation without a plan (a delete, a SIM move); a delete then says how many
// entries the handset held before in "deleted", where that is known. "via" is left out where the program
// does not say which it is.

// How an operation that began to change a handset ended, as far as the program knows.
enum class TChangeOutcome { Done, Failed, Stopped, Unknown };

// "done", "failed", "stopped", "unknown".
const char* ChangeOutcomeText(TChangeOutcome outcome);
// Unknown when the program could not learn what the handset holds (an exception ended the operation, an
// answer was lost), else done, stopped as asked, or failed.
TChangeOutcome ChangeOutcome(bool done, bool stopped, bool unknown = false);

// What a write's plan counts (WritePlan.h).
struct TChangeCounts {
    int Added = 0;
    int Removed = 0;
    int Changed = 0;
    int Kept = 0;
    int NotWritten = 0;

    bool operator==(const TChangeCounts&) const = default;
};
TChangeCounts ChangeCountsOf(const TWritePlan& plan);

// Who makes a change, on which PC and when: the login name, the host name and the local time with its
// offset from UTC ("2026-12-10T09:30:00+01:00"). The SIM records note the same of their steps
// (CurrentAuthor of vsim/RecordEngine.h), which this layer may not use.
struct TChangeAuthor {
    std::string User;
    std::string Pc;
    std::string Time;
};
TChangeAuthor ChangeAuthorNow();

// One line of the log. The handset's texts (serial, software, PCS) are single bytes of the Windows-1252
// code page as everywhere in the core; the others (names, the backup's path, the message) are the
// system's UTF-8.
struct TChangeRecord {
    std::string Time;
    std::string User;
    std::string Pc;
    // "COM12"; empty when the port is not known.
    std::string Port;
    // The SIM's serial number text, "no SIM" or "not read" (THandsetIdentity::SerialText).
    std::string Serial;
    std::string Software;
    std::string Pcs;
    // "phonebook replace", "speed-dial delete", "sim save", ...
    std::string Operation;
    // "window", "cli", "station"; empty when not known.
    std::string Via;
    std::optional<TChangeCounts> Changed;
    std::optional<int> Deleted;
    std::string Backup;
    // ChangeOutcomeText, or what a later version writes.
    std::string Outcome;
    std::string Message;
    // As read: the line itself, without its line break.
    std::string Line;
};

// StateDir()/changes.jsonl.
std::string ChangeLogPath();

// The record as its line, ended by "\n". The keys stand in the order of TChangeRecord.
std::string ChangeLine(const TChangeRecord& record);

// Appends the record's line and has it on the disk before returning. Gives an empty text when it was
// written, else the reason it was not ("it could not be opened (Permission denied) ..."). A file it
// creates is readable by the owner alone, or by the folder's group as well when the folder is shared
// (setgid and writable by its group, as the package makes /var/lib/quorvel).
std::string AppendChange(const TChangeRecord& record, const std::string& path = ChangeLogPath());

// Which lines a reading takes; an empty field takes every line.
struct TChangeFilter {
    // The serial text exactly as the log has it ("00291 0284280", "no SIM").
    std::string Serial;
    // "YYYY-MM-DD", both days included; the day is the one of the line's own time.
    std::string Since;
    std::string Until;
    // The start of the operation's name: "phonebook" takes "phonebook add" and "phonebook replace".
    std::string Operation;

    bool Takes(const TChangeRecord& record) const;
};

struct TChangeLogContents {
    // Oldest first, as written.
    std::vector<TChangeRecord> Changes;
    // Lines that are no record of a change (cut short, edited by hand), skipped.
    int Damaged = 0;
};

// Every line the filter takes. A log that does not exist holds nothing; one that exists but cannot be read
// raises EFileError (TextFile.h) with the reason.
TChangeLogContents ReadChangeLog(const TChangeFilter& filter = {}, const std::string& path = ChangeLogPath());

// Which program notes the changes: "cli", "station", "window". Unless set, a program with windows says
// "window" and any other says nothing.
void SetChangeVia(const std::string& via);

// Notes an operation's change in the log, once it has ended: nothing when operation is null (nothing
// was sent that changes the handset). Where the log cannot be written the person is warned through ui
// and the operation stands as it is. message is the failure the person was shown (shortened here).
void NoteHandsetChange(TUserInteraction& ui, const THandsetIdentity& handset, const char* operation,
                       const TWritePlan* plan, const std::string& backup, TChangeOutcome outcome,
                       const std::string& message = {}, std::optional<int> deleted = std::nullopt);
