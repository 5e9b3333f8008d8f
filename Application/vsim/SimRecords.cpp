#include "vsim/SimRecords.h"

#include "platform/TextFormat.h"

#include <QDateTime>

#include <cctype>

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + PrintableText(text) + "\"";
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The step a journal is noted as: the move it begins, or where the SIM is once it ends.
std::string StepOf(const TSimJournal& journal) {
    if (!journal.State.empty())
        return journal.State;
    return journal.Released.empty() ? "in-file" : "released";
}

} // namespace

std::string RecordTime() {
    return QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

TSimRecords::TSimRecords(TRecordEngine& engine)
    : Store(engine) {}

bool TSimRecords::Fail(const std::string& reason) {
    Error = reason;
    return false;
}

bool TSimRecords::StoreInRegistry(const std::string& serialNumber, const std::string& software,
                                  const std::string& pcs, uint32_t checksum, const std::string& sha256,
                                  const TSimJournal& journal) {
    Error.clear();
    if (!IsRecordSerial(serialNumber))
        return Fail("The SIM record cannot be created: " + Quoted(serialNumber) + " is not a serial number.");
    if (!sha256.empty() && !IsSha256Text(sha256))
        return Fail("The SIM record cannot be created: " + Quoted(sha256) + " is not a SHA-256.");
    TSimRecord record;
    record.SerialNumber = serialNumber;
    record.Software = software;
    record.Pcs = pcs;
    record.Crc = checksum;
    record.Sha256 = Lower(sha256);
    record.Saved = RecordTime();
    record.Journal = journal;
    try {
        Store.Put(record, journal.State.empty() ? "saved" : journal.State);
    } catch (const EStoreError& e) {
        return Fail(e.what());
    }
    return true;
}

std::optional<TSimRecord> TSimRecords::Open(const std::string& serialNumber) const {
    if (!IsRecordSerial(serialNumber))
        return std::nullopt;
    std::optional<TSimRecord> record = Store.Find(serialNumber);
    if (record && !record->Problem.empty())
        throw ESimRecordError("The record of SIM " + Quoted(serialNumber) + " in " + Quoted(Store.Where()) +
                              " " + record->Problem + ".");
    return record;
}

bool TSimRecords::RegistryCrcMatches(const std::string& serialNumber, uint32_t checksum,
                                     const std::string& sha256) const {
    const std::optional<TSimRecord> record = Open(serialNumber);
    if (!record || record->Crc != checksum || !record->Retired.empty())
        return false;
    return record->Sha256.empty() || record->Sha256 == Lower(sha256);
}

std::string TSimRecords::Refusal(const std::string& serialNumber, uint32_t checksum,
                                 const std::string& sha256) const {
    const std::optional<TSimRecord> record = Open(serialNumber);
    const std::string sim = "SIM " + PrintableText(serialNumber);
    if (!record)
        return "The SIM records " + Quoted(Store.Where()) + " have no record of " + sim +
               ": a SIM file is taken only by the records it was saved with, or by records it was moved into "
               "(\"quorvel-cli records export\" there, then \"records import\" here).";
    if (!record->Retired.empty()) {
        std::string why = "The record of " + sim + " in " + Quoted(Store.Where()) + ": " +
                          PrintableText(record->Retired) + ". This store does not take its file";
        if (!record->CopyOf.empty())
            why += " until \"quorvel-cli records activate\" finds that " + Quoted(record->CopyOf) +
                   " has given the SIM up";
        return why + ".";
    }
    if (!RegistryCrcMatches(serialNumber, checksum, sha256))
        return "The file is not the one recorded for " + sim +
               ": its checksum or SHA-256 differs (a copy that "
               "was changed, or an older file of the SIM).";
    return {};
}

std::string TSimRecords::RegistrySoftware(const std::string& serialNumber) const {
    const std::optional<TSimRecord> record = Open(serialNumber);
    return record ? record->Software : std::string();
}

std::string TSimRecords::RegistryPcs(const std::string& serialNumber) const {
    const std::optional<TSimRecord> record = Open(serialNumber);
    return record ? record->Pcs : std::string();
}

std::string TSimRecords::RegistryState(const std::string& serialNumber) const {
    return Journal(serialNumber).State;
}

std::string TSimRecords::RegistryFile(const std::string& serialNumber) const {
    return Journal(serialNumber).File;
}

TSimJournal TSimRecords::Journal(const std::string& serialNumber) const {
    const std::optional<TSimRecord> record = Open(serialNumber);
    return record ? record->Journal : TSimJournal{};
}

bool TSimRecords::SetJournal(const std::string& serialNumber, const TSimJournal& journal,
                             const std::string& step) {
    Error.clear();
    if (!IsRecordSerial(serialNumber))
        return Fail("The SIM record cannot be changed: " + Quoted(serialNumber) + " is not a serial number.");
    try {
        if (!Store.SetJournal(serialNumber, journal, step.empty() ? StepOf(journal) : step))
            return Fail("There is no record of SIM " + Quoted(serialNumber) + " in " + Quoted(Store.Where()) +
                        ".");
    } catch (const EStoreError& e) {
        return Fail(e.what());
    }
    return true;
}

bool TSimRecords::RemoveFromRegistry(const std::string& serialNumber) {
    Error.clear();
    if (!IsRecordSerial(serialNumber))
        return Fail("The SIM record cannot be removed: " + Quoted(serialNumber) + " is not a serial number.");
    try {
        Store.Remove(serialNumber, "removed");
    } catch (const EStoreError& e) {
        return Fail(e.what());
    }
    return true;
}

std::vector<TSimRecord> TSimRecords::Records() const {
    return Store.All();
}

std::unique_ptr<TMoveClaim> TSimRecords::ClaimMove(const std::string& serialNumber) {
    return Store.Claim(serialNumber);
}
