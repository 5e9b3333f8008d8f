#pragma once

#include "vsim/RecordEngine.h"

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

// The time as the records keep it: "2026-12-09 22:30:00", local time.
std::string RecordTime();

// The records of SIMs that sit in files, over a record engine: one record per serial number with the
// software and PCS of the handset the SIM came from, the file's byte sum ("CRC") and SHA-256, when it was
// saved, and the journal of its move.
class TSimRecords {
public:
    // The engine is not owned.
    explicit TSimRecords(TRecordEngine& engine);

    // Replaces the record of the serial number with these values and the time in one step; the record
    // of an earlier file with the same serial number goes. False when the record could not be written;
    // LastError says why.
    bool StoreInRegistry(const std::string& serialNumber, const std::string& software, const std::string& pcs,
                         uint32_t checksum, const std::string& sha256, const TSimJournal& journal = {});

    // Whether the file with these sums is the one recorded and taken here: its "CRC" equals checksum and,
    // when the record holds a SHA-256, that equals sha256 as well, and the record was not moved to
    // another store. False when there is no record. Raises
    // ESimRecordError for a record that cannot be used, and the store's EStoreError.
    bool RegistryCrcMatches(const std::string& serialNumber, uint32_t checksum,
                            const std::string& sha256) const;

    // Why the store does not take the SIM's file with these sums, for the person: it has no record of the
    // SIM, the record was moved to another store or is a copy, or the sums differ. Empty when the file is
    // taken (as far as the record goes). Raises as RegistryCrcMatches does.
    std::string Refusal(const std::string& serialNumber, uint32_t checksum, const std::string& sha256) const;

    // The text values of the record; empty when there is no record. Raise ESimRecordError for a record
    // that cannot be used, and the store's EStoreError.
    std::string RegistrySoftware(const std::string& serialNumber) const;
    std::string RegistryPcs(const std::string& serialNumber) const;
    std::string RegistryState(const std::string& serialNumber) const;
    std::string RegistryFile(const std::string& serialNumber) const;
    // The whole journal; empty when there is no record. Raises as the texts do.
    TSimJournal Journal(const std::string& serialNumber) const;

    // Writes the journal of an existing record in one step, noted as step (by default the place it leaves
    // the SIM: the state, "in-file" or "released"). False when there is no record or it could not be
    // written; LastError says why.
    bool SetJournal(const std::string& serialNumber, const TSimJournal& journal,
                    const std::string& step = {});

    // True when the record is gone (or was never there). False when it could not be removed; LastError
    // says why, and the record stays.
    bool RemoveFromRegistry(const std::string& serialNumber);

    // Every record, by serial number; a record that cannot be used is listed with its problem. Raises the
    // store's EStoreError.
    std::vector<TSimRecord> Records() const;

    // The claim of one move of the SIM, held until it is destroyed; nullptr when another program (here
    // or on another PC sharing the store) is moving the same SIM. Raises the store's EStoreError.
    std::unique_ptr<TMoveClaim> ClaimMove(const std::string& serialNumber);

    const std::string& LastError() const { return Error; }
    TRecordEngine& Engine() const { return Store; }

private:
    std::optional<TSimRecord> Open(const std::string& serialNumber) const;
    bool Fail(const std::string& reason);

    TRecordEngine& Store;
    std::string Error;
};
