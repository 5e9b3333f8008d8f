#pragma once

#include "platform/HandsetIdentity.h"
#include "platform/HandsetOutcome.h"
#include "platform/UserInteraction.h"
#include "platform/WritePlan.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The record of every change made to a handset: "changes.jsonl" in the machine's state folder (or the rows
// of the shared store that hold the same lines, ChangeStore.h), one JSON
// object a line for each operation that changed a handset or began to and may have, whichever program
// made it (the window, the command line, a station). Lines are only ever added, each with one write() to
// a file opened for appending, so that programs writing at the same time never mix their lines. The
// bytes are UTF-8.
//
// {"time":"2026-12-10T09:30:00+01:00","user":"alice","pc":"desk-pc","port":"COM12",
//  "serial":"00291 0284280","software":"62018400","pcs":"06Q","operation":"phonebook replace",
//  "via":"cli","changed":{"added":3,"removed":1,"changed":2,"kept":180,"notWritten":0},
//  "backup":"/home/alice/.local/share/Quorvel/backups/phonebook-....phb","outcome":"done","message":""}
//
// "changed" is null for an operation without a plan (a SIM move); a delete says how many entries the
// handset held before in "deleted", where that is known. "via" is left out where the program does not say
// which it is.
//
// An operation that goes through the runner (link/HandsetChange.h) writes two lines with the same "id": one
// with the outcome "begun" (and its plan's counts as "planned") before its first mail that changes the
// handset, and one when it has ended, whose "changed" counts are what the read after the writes found.
// A "begun" line without its end is an operation that never ended (the program was killed, the PC lost
// power): the handset may hold part of it.

// How an operation that began to change a handset ended, as far as the program knows.
enum class TChangeOutcome { Done, Failed, Stopped, Unknown };

// The outcome of a "begun" line, and what a reading says of one that has no end.
inline constexpr const char* BegunOutcome = "begun";
inline constexpr const char* InterruptedOutcome = "interrupted";

// "done", "failed", "stopped", "unknown".
const char* ChangeOutcomeText(TChangeOutcome outcome);
// Unknown when the program could not learn what the handset holds (an exception ended the operation, an
// answer was lost), else done, stopped as asked, or failed.
TChangeOutcome ChangeOutcome(bool done, bool stopped, bool unknown = false);

// Who makes a change, on which PC and when: the login name, the host name (or $QUORVEL_PC_NAME where it is
// set) and the local time with its offset from UTC ("2026-12-10T09:30:00+01:00"). The SIM records note the
// same of their steps (CurrentAuthor of vsim/RecordEngine.h), which this layer may not use.
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
    // The provisioning template the operation came from (its folder's name) and the SHA-256 of its
    // content; empty for any other operation.
    std::string Template;
    std::string TemplateHash;
    std::optional<TChangeCounts> Changed;
    std::optional<int> Deleted;
    std::string Backup;
    // ChangeOutcomeText, or what a later version writes.
    std::string Outcome;
    std::string Message;
    // On a "begun" line: what the plan would change.
    std::optional<TChangeCounts> Planned;
    // The operation's own: its "begun" line and its end have the same; empty on a line of its own.
    std::string Id;
    // As read: the line itself, without its line break.
    std::string Line;
    // As read: a row kept on this PC because the shared store did not take it yet.
    bool Owed = false;
};

// ChangesDir()/changes.jsonl.
std::string ChangeLogPath();

// The record as its line, ended by "\n". The keys stand in the order of TChangeRecord.
std::string ChangeLine(const TChangeRecord& record);

// The record a line holds; nothing for a line that is no record of a change (cut short, edited by hand).
std::optional<TChangeRecord> ChangeRecordOf(std::string_view line);

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
    // The PC the line was written on, and the template's folder name, exactly.
    std::string Host = {};
    std::string Template = {};

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
// from: the lines from this byte of the file on (the size it had when a station began, say).
TChangeLogContents ReadChangeLog(const TChangeFilter& filter = {}, const std::string& path = ChangeLogPath(),
                                 int64_t from = 0);
// The size of the log now: where the lines written from now on begin.
int64_t ChangeLogEnd(const std::string& path = ChangeLogPath());

// Each operation once, oldest first: a "begun" line is dropped where the line that ends it follows, and
// one that has no end is given the outcome "interrupted" (its backup and plan as the "begun" line has
// them). Lines without an id stand as they are.
std::vector<TChangeRecord> PairedChanges(const std::vector<TChangeRecord>& lines);

// Which program notes the changes: "cli", "station", "window". Unless set, a program with windows says
// "window" and any other says nothing.
void SetChangeVia(const std::string& via);
// The template a provisioning gives: the lines of its operations name it (empty names none).
void SetChangeTemplate(const std::string& name, const std::string& hash);

// Notes an operation's change in the log, once it has ended: nothing when operation is null (nothing
// was sent that changes the handset). Where the log cannot be written the person is warned through ui
// and the operation stands as it is. message is the failure the person was shown (shortened here).
void NoteHandsetChange(TUserInteraction& ui, const THandsetIdentity& handset, const char* operation,
                       const TWritePlan* plan, const std::string& backup, TChangeOutcome outcome,
                       const std::string& message = {}, std::optional<int> deleted = std::nullopt);

// One operation's two lines: Begin before its first mail that changes the handset, End once it has
// ended, with what the handset was found to hold. End without Begin writes nothing (nothing was sent
// that changes the handset). Where the log cannot be written the person is warned, as above; where the
// log's server is away Begin writes nothing and gives why, and no change may begin.
class TChangeNote {
public:
    std::string Begin(TUserInteraction& ui, const THandsetIdentity& handset, const char* operation,
                      const TWritePlan* plan, const std::string& backup);
    void End(TUserInteraction& ui, const THandsetIdentity& handset,
             const std::optional<TChangeCounts>& changed, const std::string& backup, TChangeOutcome outcome,
             const std::string& message = {}, std::optional<int> deleted = std::nullopt);
    // Whether Begin was called and End not yet.
    bool Open() const { return Operation != nullptr; }
    // The id of the last Begin.
    const std::string& Id() const { return OwnId; }

private:
    const char* Operation = nullptr;
    std::string OwnId;
};
