#include "vsim/RecordStore.h"

#include "link/NumberConverting.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "vsim/PostgresRecords.h"
#include "vsim/SqliteRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

namespace {

constexpr const char* RecordsFileName = "records.db";
constexpr const char* SqlitePrefix = "sqlite:";

// Where the text store kept the records, one key per serial number.
constexpr const char* OldRecordsKey = "SOFTWARE\\Ostrel telecom\\Virtual SIM";

std::string Quoted(const std::string& text) {
    return "\"" + PrintableText(text) + "\"";
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The records of the text store, every value checked: a record the database could not hold as it is
// stops the move of them all.
std::vector<TSimRecord> OldRecords(const TRegistryTree& tree, const std::string& file,
                                   const std::string& to) {
    std::vector<TSimRecord> records;
    if (!tree.Find(OldRecordsKey))
        return records;
    for (const std::string& serial : tree.SubKeyNames(OldRecordsKey)) {
        const TRegistryKey& key = *tree.Find(std::string(OldRecordsKey) + "\\" + serial);
        const auto refuse = [&](const std::string& why) {
            throw EStoreDamaged("The SIM records of " + Quoted(file) + " cannot be moved into " + Quoted(to) +
                                ": the record of SIM '" + PrintableText(serial) + "' " + why +
                                ". Both files were left as they are.");
        };
        const auto text = [&](const char* name) {
            const TRegistryValue* value = key.Value(name);
            if (value && !std::holds_alternative<std::string>(*value))
                refuse(std::string("has a number where its \"") + name + "\" value should be a text");
            return value ? std::get<std::string>(*value) : std::string();
        };
        TSimRecord record;
        record.SerialNumber = serial;
        record.Software = text("Software");
        record.Pcs = text("PCS");
        record.Sha256 = text("SHA256");
        record.Saved = text("Saved");
        record.Journal = {text("State"), text("File"), text("Mark"), text("Text"), text("Released")};
        const TRegistryValue* crc = key.Value("CRC");
        if (!crc || !std::holds_alternative<uint32_t>(*crc))
            refuse("has no \"CRC\" value that is a 32-bit number");
        record.Crc = std::get<uint32_t>(*crc);
        for (char& c : record.Sha256)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        // A record with no SHA-256 is taken: the old store kept none at first.
        if (const TFieldProblem problem = ForeignRecordProblem(record, false); !problem.Field.empty())
            refuse("has a value \"" + problem.Field + "\" that " + problem.Why);
        records.push_back(std::move(record));
    }
    return records;
}

// A name beside the old file that holds nothing yet.
std::string FreeName(const std::string& path) {
    std::string name = path + ".migrated";
    for (int n = 2; std::filesystem::exists(name); ++n)
        name = path + ".migrated." + std::to_string(n);
    return name;
}

// Moves the records of the old text store in the database's folder into the database, once.
std::string Migrate(TRecordEngine& engine, const std::string& databasePath) {
    const std::string folder = std::filesystem::path(databasePath).parent_path().string();
    TRegistry old(folder.empty() ? "." : folder);
    std::error_code ec;
    if (!std::filesystem::exists(old.FilePath(), ec))
        return {};
    // Raises EStoreDamaged naming the file and the line; the file stays as it is.
    const std::vector<TSimRecord> records = OldRecords(old.Read(), old.FilePath(), databasePath);
    const size_t added = engine.Import(records).size();
    const std::string kept = FreeName(old.FilePath());
    std::filesystem::rename(old.FilePath(), kept, ec);
    if (ec && !std::filesystem::exists(old.FilePath()))
        return {}; // another program moved it at the same moment
    std::string notice = FormatText("The records of %d SIMs in files were moved from \"%s\" into \"%s\".",
                                    int(records.size()), old.FilePath().c_str(), databasePath.c_str());
    if (added != records.size())
        notice += FormatText(" %d of them were there already.", int(records.size() - added));
    if (ec)
        return notice + " The old file could not be renamed (" + ec.message() +
               "); it is read again, and changes nothing, at every start until it is moved away.";
    return notice + " The old file is kept as \"" + kept + "\".";
}

// ---- the stores this user has used ----
//
// Each line of the per-user file names a store this user's programs have used: its id, how many SIMs in
// files it held when last used, when that was, and where it is ("ID<TAB>COUNT<TAB>TIME<TAB>WHERE").
constexpr const char* KnownStoresName = "record-stores.txt";

struct TKnownStore {
    std::string Id;
    long Count = 0;
    std::string Time;
    std::string Where;
};

std::string KnownStoresFile() {
    return PerUserDir() + "/" + KnownStoresName;
}

std::vector<TKnownStore> KnownStores() {
    std::vector<TKnownStore> stores;
    std::string text;
    try {
        text = ReadFileBytes(KnownStoresFile(), size_t(4) << 20);
    } catch (const EFileError&) {
        return stores; // none used yet, or not readable: every store is new to this user
    }
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = std::min(text.find('\n', from), text.size());
        const std::string line = text.substr(from, end - from);
        from = end + 1;
        std::vector<std::string> fields;
        for (size_t at = 0; fields.size() < 3;) {
            const size_t tab = line.find('\t', at);
            if (tab == std::string::npos)
                break;
            fields.push_back(line.substr(at, tab - at));
            at = tab + 1;
            if (fields.size() == 3)
                fields.push_back(line.substr(at));
        }
        if (fields.size() == 4 && !fields[0].empty())
            stores.push_back({fields[0], std::atol(fields[1].c_str()), fields[2], fields[3]});
    }
    return stores;
}

std::optional<TKnownStore> KnownStore(const std::string& where) {
    for (TKnownStore& store : KnownStores())
        if (store.Where == where)
            return store;
    return std::nullopt;
}

// Best effort: a store that cannot be remembered is still used, and is new again next time. The file is
// written only when the store's id or count differs from what it says.
void Remember(const std::string& where, const std::string& id, long count) {
    const std::vector<TKnownStore> stores = KnownStores();
    for (const TKnownStore& store : stores)
        if (store.Where == where && store.Id == id && store.Count == count)
            return;
    std::string text;
    for (const TKnownStore& store : stores)
        if (store.Where != where)
            text +=
                store.Id + "\t" + std::to_string(store.Count) + "\t" + store.Time + "\t" + store.Where + "\n";
    text += id + "\t" + std::to_string(count) + "\t" + CurrentAuthor().Time + "\t" + where + "\n";
    try {
        WriteFileAtomically(KnownStoresFile(), text);
    } catch (const EFileError&) {
    }
}

std::string HeldText(const TKnownStore& known) {
    return FormatText(
        "%s (store id %s) held %s when this user's programs last used it, %s", Quoted(known.Where).c_str(),
        known.Id.c_str(),
        (std::to_string(known.Count) + (known.Count == 1 ? " SIM in a file" : " SIMs in files")).c_str(),
        known.Time.c_str());
}

constexpr const char* InitAdvice =
    " If those records are lost for good, \"quorvel-cli records init\" takes the store that is there now "
    "(making an empty one where there is none); no SIM file of the old store is taken after that.";

// ---- steps kept for a store that could not take them ----
//
// One line per step, its fields as hex digits of their bytes, tab-separated: where, serial number, step,
// expected state, expected mark, "1" to remove, then state, file, mark and text of the journal to write.
constexpr const char* PendingStepsName = "records-pending.txt";

std::string Hex(const std::string& text) {
    return HexDigits(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::string FromHex(const std::string& hex) {
    std::string text;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        text += char(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1]));
    return text;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
        fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    return fields;
}

std::string PendingLine(const std::string& where, const TPendingStep& step) {
    const std::string fields[] = {where,
                                  step.SerialNumber,
                                  step.Step,
                                  step.Expected.State,
                                  step.Expected.Mark,
                                  step.Remove ? "1" : "0",
                                  step.Journal.State,
                                  step.Journal.File,
                                  step.Journal.Mark,
                                  step.Journal.Text};
    std::string line;
    for (const std::string& field : fields)
        line += (line.empty() ? "" : "\t") + Hex(field);
    return line + "\n";
}

std::vector<std::pair<std::string, TPendingStep>> PendingSteps() {
    std::vector<std::pair<std::string, TPendingStep>> steps;
    std::string text;
    try {
        text = ReadFileBytes(PendingStepsFile(), size_t(4) << 20);
    } catch (const EFileError&) {
        return steps;
    }
    for (size_t from = 0; from < text.size();) {
        const size_t end = std::min(text.find('\n', from), text.size());
        std::vector<std::string> f = Fields(text.substr(from, end - from));
        from = end + 1;
        if (f.size() != 10 || !std::all_of(f.begin(), f.end(), [](const std::string& h) {
                return h.size() % 2 == 0 && (h.empty() || IsHexText(h, false));
            }))
            continue; // a line cut by a crash: the step it held is lost, as it would be without the file
        for (std::string& field : f)
            field = FromHex(field);
        TPendingStep step{f[1], f[2], {f[3], "", f[4]}, f[5] == "1", {f[6], f[7], f[8], f[9]}};
        steps.emplace_back(f[0], std::move(step));
    }
    return steps;
}

void WritePendingSteps(const std::vector<std::pair<std::string, TPendingStep>>& steps) {
    std::string text;
    for (const auto& [where, step] : steps)
        text += PendingLine(where, step);
    if (text.empty())
        std::remove(PendingStepsFile().c_str());
    else
        WriteFileDurably(PendingStepsFile(), text);
}

// Takes the steps kept for this store; a store that cannot take them yet keeps them for the next time.
std::string ReplayPending(TRecordEngine& engine) {
    std::vector<std::pair<std::string, TPendingStep>> steps = PendingSteps();
    const std::string where = engine.Where();
    std::vector<std::pair<std::string, TPendingStep>> left;
    std::string notice;
    bool away = false;
    for (auto& [at, step] : steps) {
        if (at != where || away) {
            left.emplace_back(at, step);
            continue;
        }
        try {
            const std::unique_ptr<TMoveClaim> claim = engine.Claim(step.SerialNumber);
            if (!claim) {
                left.emplace_back(at, step);
                continue;
            }
            const std::optional<TSimRecord> record = engine.Find(step.SerialNumber);
            if (!record || record->Journal.State != step.Expected.State ||
                record->Journal.Mark != step.Expected.Mark)
                continue; // the record changed since: the step is no longer the one to take
            if (step.Remove)
                engine.Remove(step.SerialNumber, step.Step);
            else
                engine.SetJournal(step.SerialNumber, step.Journal, step.Step);
            notice += (notice.empty() ? "" : " ") +
                      FormatText("The records now note the step \"%s\" of SIM %s that an earlier command "
                                 "could not note.",
                                 step.Step.c_str(), PrintableText(step.SerialNumber).c_str());
        } catch (const EStoreError&) {
            away = true;
            left.emplace_back(at, step);
        }
    }
    if (left.size() != steps.size()) {
        try {
            WritePendingSteps(left);
        } catch (const EFileError& e) {
            notice +=
                std::string(" ") + e.what() + ": the steps are taken again (and change nothing) next time.";
        }
    }
    return notice;
}

// The engine as OpenRecordStore gives it: the store's count is remembered again when it has changed.
class TRememberedStore : public TRecordEngine {
public:
    TRememberedStore(std::unique_ptr<TRecordEngine> engine, std::string key, std::string id)
        : Engine(std::move(engine))
        , Key(std::move(key))
        , StoreId(std::move(id)) {}
    ~TRememberedStore() override {
        if (!Changed)
            return;
        try {
            Remember(Key, StoreId, long(Engine->All().size()));
        } catch (const std::exception&) {
            // The store is away now: the count of the last open stays.
        }
    }

    std::string Where() const override { return Engine->Where(); }
    std::optional<TSimRecord> Find(const std::string& serialNumber) override {
        return Engine->Find(serialNumber);
    }
    std::vector<TSimRecord> All() override { return Engine->All(); }
    std::vector<TSimStep> Steps(const std::string& serialNumber) override {
        return Engine->Steps(serialNumber);
    }
    void Put(const TSimRecord& record, const std::string& step) override {
        Engine->Put(record, step);
        Changed = true;
    }
    bool SetJournal(const std::string& serialNumber, const TSimJournal& journal,
                    const std::string& step) override {
        return Engine->SetJournal(serialNumber, journal, step);
    }
    bool Remove(const std::string& serialNumber, const std::string& step) override {
        const bool removed = Engine->Remove(serialNumber, step);
        Changed = true;
        return removed;
    }
    std::vector<std::string> Import(const std::vector<TSimRecord>& records) override {
        std::vector<std::string> added = Engine->Import(records);
        Changed = true;
        return added;
    }
    std::unique_ptr<TMoveClaim> Claim(const std::string& serialNumber) override {
        return Engine->Claim(serialNumber);
    }
    std::vector<std::string> SetRetired(const std::vector<std::string>& serialNumbers,
                                        const std::string& retired, const std::string& copyOf,
                                        const std::string& step) override {
        std::vector<std::string> changed = Engine->SetRetired(serialNumbers, retired, copyOf, step);
        Changed = true;
        return changed;
    }
    std::string Id() override { return Engine->Id(); }
    std::string MakeId() override { return Engine->MakeId(); }

private:
    std::unique_ptr<TRecordEngine> Engine;
    std::string Key;
    std::string StoreId;
    bool Changed = false;
};

// The store is the one this user used at its address before (or new to this user, or taken on request):
// its id is remembered with what it holds. A store that is gone, emptied or replaced raises EStoreError
// naming the one that was there.
std::unique_ptr<TRecordEngine> Known(std::unique_ptr<TRecordEngine> engine, bool take, std::string* notice) {
    const std::string where = engine->Where();
    std::string id = engine->Id();
    const std::optional<TKnownStore> known = KnownStore(where);
    if (known && id != known->Id && !take)
        throw EStoreError("The SIM records " + Quoted(where) +
                          " are not the ones this PC used: " + HeldText(*known) + "; the store there now " +
                          (id.empty() ? std::string("holds no id: it was emptied or made anew")
                                      : "is another one (store id " + id + ")") +
                          ". Put the right store back (from a backup) to take those SIM files." + InitAdvice);
    if (id.empty())
        id = engine->MakeId();
    const std::string replayed = ReplayPending(*engine);
    if (notice && !replayed.empty())
        *notice += (notice->empty() ? "" : " ") + replayed;
    Remember(where, id, long(engine->All().size()));
    return std::make_unique<TRememberedStore>(std::move(engine), where, id);
}

} // namespace

std::string DefaultRecordsFile() {
    return StateDir() + "/" + RecordsFileName;
}

std::string RecordStoreAddress() {
    if (const char* own = std::getenv("QUORVEL_RECORDS"); own && *own)
        return own;
    const std::string configured = TIniFile(ProgramIniPath()).ReadString("Records", "Store", "");
    if (!configured.empty())
        return configured;
    return DefaultRecordsFile();
}

std::unique_ptr<TRecordEngine> OpenRecordStore(const std::string& address, std::string* notice,
                                               TStoreOpening opening) {
    const bool take = opening == TStoreOpening::TakeAsItIs;
    if (StartsWith(address, "postgresql://") || StartsWith(address, "postgres://"))
        return Known(OpenPostgresRecords(address), take, notice);
    std::string path = address;
    if (StartsWith(address, SqlitePrefix)) {
        path = address.substr(std::strlen(SqlitePrefix));
        // "sqlite:///var/lib/…" as a URL, "sqlite:/var/lib/…" as a path.
        if (StartsWith(path, "//"))
            path = path.substr(2);
    } else if (address.find("://") != std::string::npos) {
        throw EStoreError("The SIM records address " + Quoted(address) +
                          " names no store: use postgresql://… for a PostgreSQL server, or sqlite:PATH or "
                          "a plain PATH for an SQLite file.");
    }
    if (path.empty())
        throw EStoreError("The SIM records address " + Quoted(address) + " names no file.");
    // Absolute, as the same file is the same store whichever folder the program starts in.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec)
        path = absolute.lexically_normal().string();
    // A store this user used that is gone is not made anew in silence: its SIM files would be refused
    // with no word of why.
    if (!take && !std::filesystem::exists(path, ec)) {
        if (const std::optional<TKnownStore> known = KnownStore(path))
            throw EStoreError("The SIM records " + Quoted(path) + " are gone: " + HeldText(*known) +
                              ". Without them none of those SIM files is taken. Put the file back (from a "
                              "backup) to take them." +
                              InitAdvice);
    }
    std::unique_ptr<TRecordEngine> engine = OpenSqliteRecords(path);
    std::string said = Migrate(*engine, path);
    if (notice)
        *notice = std::move(said);
    return Known(std::move(engine), take, notice);
}

std::string PendingStepsFile() {
    return PerUserDir() + "/" + PendingStepsName;
}

bool KeepPendingStep(const std::string& where, const TPendingStep& step, std::string* error) {
    std::vector<std::pair<std::string, TPendingStep>> steps = PendingSteps();
    steps.emplace_back(where, step);
    try {
        WritePendingSteps(steps);
        return true;
    } catch (const EFileError& e) {
        if (error)
            *error = e.what();
        return false;
    }
}

std::unique_ptr<TRecordEngine> OpenRecordStore(std::string* notice) {
    return OpenRecordStore(RecordStoreAddress(), notice);
}
