#pragma once

#include "platform/Registry.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A record holds a value the SIM move needs in a form it cannot use (a "CRC" that is missing or not a
// number, a text value stored as a number): the store was edited by hand or by another program. The
// message names the SIM, the value and the store file.
class ESimRecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where a SIM's move between handset and file stands, kept in its record as "State". A record without a
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

// The time as the records keep it: "2026-12-09 22:30:00", local time.
std::string RecordTime();

// One record as the store holds it, for listing. A record that cannot be used says why in Problem.
struct TSimRecord {
    std::string SerialNumber;
    std::string Software;
    std::string Pcs;
    std::optional<uint32_t> Crc;
    std::string Sha256; // empty in records written without it
    std::string Saved;  // when the SIM went into its file
    TSimJournal Journal;
    std::string Problem; // empty when the record is sound
};

// The records of SIMs that sit in files: one key per serial number under RecordsKey, with "Software",
// "PCS", "CRC" (the file's byte sum), "SHA256" (the file's SHA-256), "Saved" and the move journal
// "State", "File", "Mark", "Text" and "Released".
class TSimRecords {
public:
    static constexpr const char* RecordsKey = "SOFTWARE\\Ostrel telecom\\Virtual SIM";

    // Over the machine's store or one given; the store is not owned.
    explicit TSimRecords(TRegistry& store);

    static std::string KeyOf(const std::string& serialNumber);

    // Replaces the record of the serial number with these values and the time in one step; the record
    // of an earlier file with the same serial number goes. False when the record could not be written
    // (the store's folder or file may not be written, or the file is damaged); LastError says why.
    bool StoreInRegistry(const std::string& serialNumber, const std::string& software, const std::string& pcs,
                         uint32_t checksum, const std::string& sha256, const TSimJournal& journal = {});

    // Whether the file with these sums is the one recorded: its "CRC" equals checksum and, when the
    // record holds "SHA256", that equals sha256 as well. False when there is no record. Raises
    // ESimRecordError for a "CRC" that is missing or no number or a "SHA256" that is no text, and the
    // store's EStoreError.
    bool RegistryCrcMatches(const std::string& serialNumber, uint32_t checksum,
                            const std::string& sha256) const;

    // The text values of the record; empty when there is no record or no such value. Raise
    // ESimRecordError for a value stored as a number, and the store's EStoreError.
    std::string RegistrySoftware(const std::string& serialNumber) const;
    std::string RegistryPcs(const std::string& serialNumber) const;
    std::string RegistryState(const std::string& serialNumber) const;
    std::string RegistryFile(const std::string& serialNumber) const;
    // The whole journal; empty when there is no record. Raises as the texts do.
    TSimJournal Journal(const std::string& serialNumber) const;

    // Writes the journal of an existing record in one step; an empty text removes its value. False when
    // there is no record or it could not be written; LastError says why.
    bool SetJournal(const std::string& serialNumber, const TSimJournal& journal);

    // True when the record is gone (or was never there). False when it could not be removed; LastError
    // says why, and the record stays.
    bool RemoveFromRegistry(const std::string& serialNumber);

    // Every record, in the store's order; a record that cannot be used is listed with its problem. Raises
    // the store's EStoreError.
    std::vector<TSimRecord> Records() const;

    const std::string& LastError() const { return Error; }
    const TRegistry& Store() const { return Registry; }

private:
    std::optional<TRegistryKey> Open(const std::string& serialNumber) const;
    std::string Text(const std::string& serialNumber, const char* name) const;
    bool Fail(const std::string& reason);

    TRegistry& Registry;
    std::string Error;
};
