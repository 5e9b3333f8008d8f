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
    if (!record || record->Crc != checksum)
        return false;
    return record->Sha256.empty() || record->Sha256 == Lower(sha256);
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

bool TSimRecords::SetJournal(const std::string& serialNumber, const TSimJournal& journal) {
    Error.clear();
    if (!IsRecordSerial(serialNumber))
        return Fail("The SIM record cannot be changed: " + Quoted(serialNumber) + " is not a serial number.");
    try {
        if (!Store.SetJournal(serialNumber, journal, StepOf(journal)))
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
