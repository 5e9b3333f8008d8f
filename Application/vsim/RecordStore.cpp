#include "vsim/RecordStore.h"

#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/TextFormat.h"
#include "vsim/PostgresRecords.h"
#include "vsim/SqliteRecords.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

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
        if (!IsRecordSerial(serial) || (!record.Sha256.empty() && !IsSha256Text(record.Sha256)))
            refuse("holds a value the records cannot keep");
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

std::unique_ptr<TRecordEngine> OpenRecordStore(const std::string& address, std::string* notice) {
    if (StartsWith(address, "postgresql://") || StartsWith(address, "postgres://"))
        return OpenPostgresRecords(address);
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
    std::unique_ptr<TRecordEngine> engine = OpenSqliteRecords(path);
    std::string said = Migrate(*engine, path);
    if (notice)
        *notice = std::move(said);
    return engine;
}

std::unique_ptr<TRecordEngine> OpenRecordStore(std::string* notice) {
    return OpenRecordStore(RecordStoreAddress(), notice);
}
