#pragma once

#include "platform/StoreError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where a SIM's move between handset and file stands, kept in its record as its state. A record without a
// state is a SIM whose move out of the handset finished: it sits in its file.
namespace SimMoveState {
constexpr const char* MovingOut = "moving-out";
constexpr const char* MovingIn = "moving-in";
} // namespace SimMoveState

// The journal of a SIM's move, kept in its record beside the sums. Empty texts are values not written.
struct TSimJournal {
    std::string State{}; // SimMoveState; empty: the SIM sits in its file
    std::string File{};  // the SIM's file, an absolute path
    // The exact text the move put into the handset's text area: only a handset showing it is the one
    // this move changed. Kept after a move out until the handset it came from is wholly erased.
    std::string Mark{};
    // The 36 bytes of the marked handset's text area from before the mark, in hex: what it gets back.
    std::string Text{};
    // When and why an unfinished move was released by the person.
    std::string Released{};

    bool operator==(const TSimJournal&) const = default;
};

// Who took a step of a SIM's move, where and when: the login name, the PC's host name and the time with
// its offset from UTC ("2026-12-10T09:30:00+01:00"), so that records shared by several PCs tell apart
// what each did.
struct TStepAuthor {
    std::string User;
    std::string Host;
    std::string Time;

    bool operator==(const TStepAuthor&) const = default;
};

// The author of a step taken now by this program.
TStepAuthor CurrentAuthor();

// One record as the store holds it. A record that cannot be used (its row was edited by hand or by
// another program) says why in Problem.
struct TSimRecord {
    std::string SerialNumber;
    std::string Software;
    std::string Pcs;
    std::optional<uint32_t> Crc; // the SIM file's byte sum
    std::string Sha256;          // the SIM file's SHA-256 in lower-case hex; empty in old records
    std::string Saved;           // when the SIM went into its file ("2026-12-09 22:30:00", local time)
    TSimJournal Journal;
    TStepAuthor LastStep; // the last step that wrote the record
    // Why this store no longer takes the SIM's file, empty while it does: its record was moved to another
    // store ("moved to another store by alice on desk-pc at …"), or it came here as a copy.
    std::string Retired;
    // The store a copy came from (its address), whose record of the SIM must be given up before this
    // one is taken; empty for a record that is not a copy.
    std::string CopyOf;
    std::string Problem; // empty when the record is sound
};

// One step of a move as the store keeps it, in the order taken: what the step did ("saved",
// "moving-out", "in-file", "erased", "moving-in", "released", "removed", "imported"), the state and file it
// left, and its author.
struct TSimStep {
    std::string SerialNumber;
    std::string Step;
    std::string State;
    std::string File;
    TStepAuthor Author;
};

// Held while one move of a SIM runs: no other program, on this PC or on any other sharing the store, can
// claim the same SIM until it is destroyed. A program that dies lets go of its claims.
class TMoveClaim {
public:
    virtual ~TMoveClaim() = default;
};

// The records of SIMs in files, in a database. Every change is one transaction that writes the record
// and a step row with its author, and is on the disk (or committed by the server) when the call returns.
// Every call raises EStoreError with a message naming the store when the store cannot be read or changed.
class TRecordEngine {
public:
    virtual ~TRecordEngine() = default;

    // The store as the person is told of it: a file path, or the server and database (never a password).
    virtual std::string Where() const = 0;

    virtual std::optional<TSimRecord> Find(const std::string& serialNumber) = 0;
    // Every record, by serial number.
    virtual std::vector<TSimRecord> All() = 0;
    // The steps of one SIM (every SIM when serialNumber is empty), oldest first.
    virtual std::vector<TSimStep> Steps(const std::string& serialNumber) = 0;

    // Replaces the record of its serial number (its LastStep is the engine's to fill), noting step.
    virtual void Put(const TSimRecord& record, const std::string& step) = 0;
    // Writes the journal of an existing record, noting step; false when there is no record.
    virtual bool SetJournal(const std::string& serialNumber, const TSimJournal& journal,
                            const std::string& step) = 0;
    // Removes the record, noting step; false when there was none.
    virtual bool Remove(const std::string& serialNumber, const std::string& step) = 0;

    // Adds the records in one transaction, each noted as the step "imported" (their LastStep and Saved
    // kept). A record whose serial number is there with the same sums is left as it is, unless it was
    // retired here and comes back as one to take (moved away and back): then it is taken again. One that
    // is there with another "CRC" or SHA-256 raises EStoreError naming it, and nothing is added. Gives
    // the serial numbers added or taken again.
    virtual std::vector<std::string> Import(const std::vector<TSimRecord>& records) = 0;

    // The SIM's claim for one move; nullptr when another program holds it.
    virtual std::unique_ptr<TMoveClaim> Claim(const std::string& serialNumber) = 0;

    // Sets why the store no longer takes each SIM's file (Retired, CopyOf; both empty: it takes it
    // again) in one transaction, noting step for each. Gives the serial numbers that had a record.
    virtual std::vector<std::string> SetRetired(const std::vector<std::string>& serialNumbers,
                                                const std::string& retired, const std::string& copyOf,
                                                const std::string& step) = 0;

    // The store's own id, written when it was made, by which a program tells it from a store made anew
    // in its place; empty for a store that has none yet. MakeId writes one when there is none and gives
    // the id the store holds.
    virtual std::string Id() = 0;
    virtual std::string MakeId() = 0;
};

// The records' own rules, shared by the engines: a serial number is a non-empty text without "\"; a
// SHA-256 is 64 hex digits, kept in lower case.
bool IsRecordSerial(const std::string& serialNumber);
bool IsSha256Text(const std::string& text);
// What keeps a record out of a store when it comes from outside (an import, the old text store): the
// field, as the file names it ("serial", "crc", "lastStep.user"), and why; Field empty when the record
// may be taken. A record from outside must hold a serial number as a handset's label shows it, the
// software and PCS a handset reports, a SHA-256 when sha256Needed, and texts no longer than a move
// writes them.
struct TFieldProblem {
    std::string Field;
    std::string Why;
};
TFieldProblem ForeignRecordProblem(const TSimRecord& record, bool sha256Needed);

// Whether two records are of the same file: the same "CRC", and the same SHA-256 where both have one.
bool SameSums(const TSimRecord& a, const TSimRecord& b);
