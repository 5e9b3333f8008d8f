#include "vsim/SimRecords.h"

#include "link/NumberConverting.h"
#include "platform/TextFormat.h"

#include <QDateTime>

namespace {

constexpr const char* SoftwareValue = "Software";
constexpr const char* PcsValue = "PCS";
constexpr const char* CrcValue = "CRC";
constexpr const char* Sha256Value = "SHA256";
constexpr const char* StateValue = "State";
constexpr const char* FileValue = "File";
constexpr const char* MarkValue = "Mark";
constexpr const char* TextValue = "Text";
constexpr const char* SavedValue = "Saved";
constexpr const char* ReleasedValue = "Released";
constexpr size_t Sha256Digits = 64;

// A serial number names one key below the records: never the records' key itself or one further down.
bool IsKeyName(const std::string& serialNumber) {
    return !serialNumber.empty() && serialNumber.find('\\') == std::string::npos;
}

bool IsSha256Text(const std::string& text) {
    return text.size() == Sha256Digits && IsHexText(text, false);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'F')
            c = char(c - 'A' + 'a');
    }
    return text;
}

std::string Quoted(const std::string& text) {
    return "\"" + PrintableText(text) + "\"";
}

// What is wrong with the record's value for the SIM move, or empty.
std::string CrcProblem(const TRegistryKey& key) {
    const TRegistryValue* crc = key.Value(CrcValue);
    if (!crc)
        return "has no \"CRC\" value";
    if (!std::holds_alternative<uint32_t>(*crc))
        return "has a \"CRC\" value that is not a 32-bit number";
    return {};
}

std::string TextProblem(const TRegistryKey& key, const char* name) {
    const TRegistryValue* value = key.Value(name);
    if (value && !std::holds_alternative<std::string>(*value))
        return "has a number where its \"" + std::string(name) + "\" value should be a text";
    return {};
}

std::string Sha256Problem(const TRegistryKey& key) {
    if (std::string problem = TextProblem(key, Sha256Value); !problem.empty())
        return problem;
    const TRegistryValue* value = key.Value(Sha256Value);
    if (value && !IsSha256Text(std::get<std::string>(*value)))
        return "has a \"SHA256\" value that is not 64 hex digits";
    return {};
}

std::string TextOf(const TRegistryKey& key, const char* name) {
    const TRegistryValue* value = key.Value(name);
    return value ? std::get<std::string>(*value) : std::string();
}

// The journal's values, each with the field it is read into.
template <typename Journal, typename Each> void ForJournal(Journal& journal, Each each) {
    each(StateValue, journal.State);
    each(FileValue, journal.File);
    each(MarkValue, journal.Mark);
    each(TextValue, journal.Text);
    each(ReleasedValue, journal.Released);
}

void WriteJournal(TRegistryTree& tree, const std::string& key, const TSimJournal& journal) {
    ForJournal(journal, [&](const char* name, const std::string& value) {
        if (value.empty())
            tree.DeleteValue(key, name);
        else
            tree.SetValue(key, name, value);
    });
}

} // namespace

std::string RecordTime() {
    return QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

TSimRecords::TSimRecords(TRegistry& store)
    : Registry(store) {}

std::string TSimRecords::KeyOf(const std::string& serialNumber) {
    if (!IsKeyName(serialNumber))
        throw std::invalid_argument(Quoted(serialNumber) + " is not a serial number");
    return std::string(RecordsKey) + "\\" + serialNumber;
}

bool TSimRecords::Fail(const std::string& reason) {
    Error = reason;
    return false;
}

bool TSimRecords::StoreInRegistry(const std::string& serialNumber, const std::string& software,
                                  const std::string& pcs, uint32_t checksum, const std::string& sha256,
                                  const TSimJournal& journal) {
    Error.clear();
    if (!IsKeyName(serialNumber))
        return Fail("The SIM record cannot be created: " + Quoted(serialNumber) + " is not a serial number.");
    if (!sha256.empty() && !IsSha256Text(sha256))
        return Fail("The SIM record cannot be created: " + Quoted(sha256) + " is not a SHA-256.");
    const std::string key = KeyOf(serialNumber);
    try {
        Registry.Change([&](TRegistryTree& tree) {
            tree.Delete(key);
            tree.Create(key);
            tree.SetValue(key, SoftwareValue, software);
            tree.SetValue(key, PcsValue, pcs);
            tree.SetValue(key, CrcValue, checksum);
            if (!sha256.empty())
                tree.SetValue(key, Sha256Value, Lower(sha256));
            tree.SetValue(key, SavedValue, RecordTime());
            WriteJournal(tree, key, journal);
        });
    } catch (const EStoreError& e) {
        return Fail(e.what());
    }
    return true;
}

std::optional<TRegistryKey> TSimRecords::Open(const std::string& serialNumber) const {
    if (!IsKeyName(serialNumber))
        return std::nullopt;
    return Registry.OpenKey(KeyOf(serialNumber));
}

bool TSimRecords::RegistryCrcMatches(const std::string& serialNumber, uint32_t checksum,
                                     const std::string& sha256) const {
    const std::optional<TRegistryKey> key = Open(serialNumber);
    if (!key)
        return false;
    std::string problem = CrcProblem(*key);
    if (problem.empty())
        problem = Sha256Problem(*key);
    if (!problem.empty())
        throw ESimRecordError("The record of SIM " + Quoted(serialNumber) + " in " +
                              Quoted(Registry.FilePath()) + " " + problem + ".");
    if (std::get<uint32_t>(*key->Value(CrcValue)) != checksum)
        return false;
    const TRegistryValue* recorded = key->Value(Sha256Value);
    return !recorded || Lower(std::get<std::string>(*recorded)) == Lower(sha256);
}

std::string TSimRecords::Text(const std::string& serialNumber, const char* name) const {
    const std::optional<TRegistryKey> key = Open(serialNumber);
    if (!key)
        return {};
    if (const std::string problem = TextProblem(*key, name); !problem.empty())
        throw ESimRecordError("The record of SIM " + Quoted(serialNumber) + " in " +
                              Quoted(Registry.FilePath()) + " " + problem + ".");
    return TextOf(*key, name);
}

std::string TSimRecords::RegistrySoftware(const std::string& serialNumber) const {
    return Text(serialNumber, SoftwareValue);
}

std::string TSimRecords::RegistryPcs(const std::string& serialNumber) const {
    return Text(serialNumber, PcsValue);
}

std::string TSimRecords::RegistryState(const std::string& serialNumber) const {
    return Text(serialNumber, StateValue);
}

std::string TSimRecords::RegistryFile(const std::string& serialNumber) const {
    return Text(serialNumber, FileValue);
}

TSimJournal TSimRecords::Journal(const std::string& serialNumber) const {
    TSimJournal journal;
    ForJournal(journal, [&](const char* name, std::string& field) { field = Text(serialNumber, name); });
    return journal;
}

bool TSimRecords::SetJournal(const std::string& serialNumber, const TSimJournal& journal) {
    Error.clear();
    if (!IsKeyName(serialNumber))
        return Fail("The SIM record cannot be changed: " + Quoted(serialNumber) + " is not a serial number.");
    const std::string key = KeyOf(serialNumber);
    bool found = false;
    try {
        Registry.Change([&](TRegistryTree& tree) {
            if (!tree.Find(key))
                return;
            found = true;
            WriteJournal(tree, key, journal);
        });
    } catch (const EStoreError& e) {
        return Fail(e.what());
    }
    if (!found)
        return Fail("There is no record of SIM " + Quoted(serialNumber) + " in " +
                    Quoted(Registry.FilePath()) + ".");
    return true;
}

bool TSimRecords::RemoveFromRegistry(const std::string& serialNumber) {
    Error.clear();
    // An empty serial number would name the key of all records.
    if (!IsKeyName(serialNumber))
        return Fail("The SIM record cannot be removed: " + Quoted(serialNumber) + " is not a serial number.");
    try {
        Registry.DeleteKey(KeyOf(serialNumber));
    } catch (const EStoreError& e) {
        return Fail(e.what());
    }
    return true;
}

std::vector<TSimRecord> TSimRecords::Records() const {
    const TRegistryTree tree = Registry.Read();
    if (!tree.Find(RecordsKey))
        return {};
    std::vector<TSimRecord> records;
    for (const std::string& serialNumber : tree.SubKeyNames(RecordsKey)) {
        const TRegistryKey& key = *tree.Find(KeyOf(serialNumber));
        TSimRecord record;
        record.SerialNumber = serialNumber;
        std::vector<std::string> problems;
        const auto text = [&](const char* name, std::string& field) {
            if (std::string problem = TextProblem(key, name); !problem.empty())
                problems.push_back(std::move(problem));
            else
                field = TextOf(key, name);
        };
        text(SoftwareValue, record.Software);
        text(PcsValue, record.Pcs);
        text(SavedValue, record.Saved);
        ForJournal(record.Journal, text);
        if (std::string problem = CrcProblem(key); !problem.empty())
            problems.push_back(std::move(problem));
        else
            record.Crc = std::get<uint32_t>(*key.Value(CrcValue));
        if (std::string problem = Sha256Problem(key); !problem.empty())
            problems.push_back(std::move(problem));
        else
            record.Sha256 = TextOf(key, Sha256Value);
        for (const std::string& problem : problems)
            record.Problem += (record.Problem.empty() ? "" : "; ") + problem;
        records.push_back(std::move(record));
    }
    return records;
}
