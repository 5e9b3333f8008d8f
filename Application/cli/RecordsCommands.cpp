#include "cli/RecordsCommands.h"

#include "cli/JsonOutput.h"
#include "cli/Summary.h"
#include "platform/AnsiText.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "vsim/RecordStore.h"

#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <set>

namespace {

constexpr const char* FormatName = "quorvel-sim-records";
constexpr int FormatVersion = 1;
// Far more than the records of every SIM a company owns; a larger file is no export of ours.
constexpr size_t ImportFileLimit = size_t(256) << 20;
constexpr double MostCrc = 4294967295.0;

// The keys of a record and of its last step in the file; any other key is refused, so that a misspelt
// one ("sha265") does not silently leave its value out.
const std::set<QString> RecordKeys = {"serial", "software", "pcs",  "crc",  "sha256",   "saved",
                                      "state",  "file",     "mark", "text", "released", "lastStep"};
const std::set<QString> StepKeys = {"user", "host", "time"};

struct TArgs {
    std::string file;
    std::optional<std::string> store;
};

TArgs ParseArgs(const std::vector<std::string>& args, bool fileNeeded) {
    const std::string usage = fileNeeded ? "usage: quorvel-cli records import FILE.json [--store ADDRESS]"
                                         : "usage: quorvel-cli records export [FILE.json] [--store ADDRESS]";
    TArgs parsed;
    bool fileGiven = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--store" && i + 1 < args.size()) {
            parsed.store = args[++i];
            if (parsed.store->empty())
                throw TUsageError("--store needs an address: sqlite:PATH or postgresql://...");
        } else if (!fileGiven && !args[i].empty() && (args[i][0] != '-' || args[i] == "-")) {
            parsed.file = args[i];
            fileGiven = true;
        } else {
            throw TUsageError(usage);
        }
    }
    if (fileNeeded && !fileGiven)
        throw TUsageError(usage);
    return parsed;
}

[[noreturn]] void StoreProblem(const std::exception& e) {
    throw TCommandFailure(FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()));
}

// ---- export ----

QJsonObject RecordJson(const TSimRecord& r) {
    // Every text as the records' bytes, each byte one Windows-1252 character, so that an import gives
    // back exactly these bytes.
    return {{"serial", JsonText(r.SerialNumber)},
            {"software", JsonText(r.Software)},
            {"pcs", JsonText(r.Pcs)},
            {"crc", double(r.Crc.value_or(0))},
            {"sha256", JsonText(r.Sha256)},
            {"saved", JsonText(r.Saved)},
            {"state", JsonText(r.Journal.State)},
            {"file", JsonText(r.Journal.File)},
            {"mark", JsonText(r.Journal.Mark)},
            {"text", JsonText(r.Journal.Text)},
            {"released", JsonText(r.Journal.Released)},
            {"lastStep", QJsonObject{{"user", JsonText(r.LastStep.User)},
                                     {"host", JsonText(r.LastStep.Host)},
                                     {"time", JsonText(r.LastStep.Time)}}}};
}

int Export(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.args, false);
    const std::unique_ptr<TRecordEngine> engine = OpenSimRecords(args.store);
    const std::string where = engine->Where();
    std::vector<TSimRecord> records;
    try {
        records = engine->All();
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    // A record the store holds in a form it cannot use would come back as a sound one, or not at all.
    std::vector<std::string> unusable;
    QJsonArray list;
    for (const TSimRecord& r : records) {
        if (!r.Problem.empty())
            unusable.push_back("SIM " + PrintableText(r.SerialNumber) + " (" + PrintableText(r.Problem) +
                               ")");
        list.append(RecordJson(r));
    }
    if (!unusable.empty())
        throw TCommandFailure(Counted(long(unusable.size()), "record", "records") + " of " + where +
                              " cannot be exported: " + JoinedText(unusable) +
                              ". Nothing was written; correct or remove those records first.");

    const QJsonObject document{
        {"format", FormatName}, {"version", FormatVersion}, {"store", JsonPath(where)}, {"records", list}};
    const std::string counted = Counted(long(records.size()), "record", "records");
    if (args.file.empty() || args.file == "-") {
        // Under --json the command's document is the export itself, which import takes as well.
        if (JsonWanted()) {
            AddJson(document);
        } else {
            const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
            std::fwrite(text.data(), 1, size_t(text.size()), stdout);
        }
        PrintMessage("Exported " + counted + " from " + where + ".");
        return Exit::Done;
    }
    try {
        WriteFileDurably(args.file, QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString());
    } catch (const EFileError& e) {
        throw TCommandFailure(std::string(e.what()) + "; nothing was exported.");
    }
    AddJson({{"file", JsonPath(args.file)}, {"store", JsonPath(where)}, {"exported", int(records.size())}});
    PrintResult("Exported " + counted + " from " + where + " into " + args.file + ".");
    return Exit::Done;
}

// ---- import ----

// Reads and checks an export before anything is written: every mistake names the record by its index
// and the field.
class TImportFile {
public:
    explicit TImportFile(std::string path)
        : Path(std::move(path)) {}

    std::vector<TSimRecord> Read() const {
        const QJsonObject top = Document();
        if (top.value("format").toString() != FormatName)
            Refuse("format", std::string("must be \"") + FormatName + "\": this is no export of SIM records");
        if (!top.value("version").isDouble() || top.value("version").toDouble() != FormatVersion)
            Refuse("version", "must be " + std::to_string(FormatVersion) +
                                  ", the version this program reads (a newer program wrote it?)");
        if (!top.value("records").isArray())
            Refuse("records", "must be a list of records");
        const QJsonArray list = top.value("records").toArray();
        std::vector<TSimRecord> records;
        std::set<std::string> serials;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const std::string at = "records[" + std::to_string(i) + "]";
            if (!list[i].isObject())
                Refuse(at, "must be a record (a JSON object)");
            records.push_back(Record(list[i].toObject(), at));
            if (!serials.insert(records.back().SerialNumber).second)
                Refuse(at + ".serial",
                       "the SIM " + PrintableText(records.back().SerialNumber) + " is in the file twice");
        }
        return records;
    }

private:
    [[noreturn]] void Refuse(const std::string& field, const std::string& why) const {
        throw TInputError(Path + ": " + field + ": " + why + ". Nothing was imported.");
    }

    QJsonObject Document() const {
        std::string bytes;
        try {
            if (Path == "-") {
                bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
                if (std::cin.bad())
                    throw EFileError("Cannot read the standard input");
            } else {
                bytes = ReadFileBytes(Path, ImportFileLimit);
            }
        } catch (const EFileError& e) {
            throw TInputError(std::string(e.what()) + "; nothing was imported.");
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(bytes), &error);
        if (error.error != QJsonParseError::NoError)
            throw TInputError(Path + ": no JSON at byte " + std::to_string(error.offset) + ": " +
                              error.errorString().toStdString() + ". Nothing was imported.");
        if (!document.isObject())
            throw TInputError(Path + ": no export of SIM records (a JSON object with \"format\": \"" +
                              FormatName + "\"). Nothing was imported.");
        return document.object();
    }

    // A text field: its characters are the bytes the records keep, one Windows-1252 character each.
    std::string Text(const QJsonObject& object, const char* name, const std::string& at) const {
        const QJsonValue value = object.value(name);
        if (value.isUndefined())
            return {};
        const std::string field = at + "." + name;
        if (!value.isString())
            Refuse(field, "must be a text (a JSON string)");
        const QString text = value.toString();
        std::string bytes = ToAnsi(text);
        if (FromAnsi(bytes) != text)
            Refuse(field, "holds a character the records cannot keep (they keep Windows-1252 characters)");
        return bytes;
    }

    void CheckKeys(const QJsonObject& object, const std::set<QString>& known, const std::string& at) const {
        for (auto it = object.begin(); it != object.end(); ++it)
            if (!known.count(it.key()))
                Refuse(at + "." + it.key().toStdString(), "is no field of a record");
    }

    TSimRecord Record(const QJsonObject& object, const std::string& at) const {
        CheckKeys(object, RecordKeys, at);
        TSimRecord r;
        if (!object.value("serial").isString())
            Refuse(at + ".serial", "must be the SIM's serial number, a text");
        r.SerialNumber = Text(object, "serial", at);
        if (!IsRecordSerial(r.SerialNumber))
            Refuse(at + ".serial", "\"" + PrintableText(r.SerialNumber) +
                                       "\" is no serial number of a record (empty, or it holds \"\\\")");
        const QJsonValue crc = object.value("crc");
        const double sum = crc.toDouble(-1);
        if (!crc.isDouble() || sum < 0 || sum > MostCrc || std::floor(sum) != sum)
            Refuse(at + ".crc", "must be a whole number from 0 to 4294967295");
        r.Crc = uint32_t(sum);
        r.Sha256 = Text(object, "sha256", at);
        if (!r.Sha256.empty() && !IsSha256Text(r.Sha256))
            Refuse(at + ".sha256", "must be empty or 64 hexadecimal digits");
        for (char& c : r.Sha256)
            c = char(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
        r.Software = Text(object, "software", at);
        r.Pcs = Text(object, "pcs", at);
        r.Saved = Text(object, "saved", at);
        r.Journal.State = Text(object, "state", at);
        if (!r.Journal.State.empty() && r.Journal.State != SimMoveState::MovingOut &&
            r.Journal.State != SimMoveState::MovingIn)
            Refuse(at + ".state", std::string("must be empty (the SIM sits in its file), \"") +
                                      SimMoveState::MovingOut + "\" or \"" + SimMoveState::MovingIn + "\"");
        r.Journal.File = Text(object, "file", at);
        r.Journal.Mark = Text(object, "mark", at);
        r.Journal.Text = Text(object, "text", at);
        r.Journal.Released = Text(object, "released", at);
        const QJsonValue step = object.value("lastStep");
        if (!step.isUndefined()) {
            if (!step.isObject())
                Refuse(at + ".lastStep", "must be an object with \"user\", \"host\" and \"time\"");
            const std::string stepAt = at + ".lastStep";
            CheckKeys(step.toObject(), StepKeys, stepAt);
            r.LastStep = {Text(step.toObject(), "user", stepAt), Text(step.toObject(), "host", stepAt),
                          Text(step.toObject(), "time", stepAt)};
        }
        return r;
    }

    std::string Path;
};

int Import(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.args, true);
    // The file first: a file that cannot be taken leaves the store unopened.
    const std::vector<TSimRecord> records = TImportFile(args.file).Read();
    const std::unique_ptr<TRecordEngine> engine = OpenSimRecords(args.store);
    const std::string where = engine->Where();
    std::vector<std::string> added;
    try {
        added = engine->Import(records);
    } catch (const EStoreError& e) {
        // The engine's message names the store and the SIM, and says that nothing was imported.
        throw TCommandFailure(PrintableText(e.what()));
    }
    QJsonArray serials;
    for (const std::string& serial : added)
        serials.append(JsonText(serial));
    const long there = long(records.size()) - long(added.size());
    AddJson({{"store", JsonPath(where)},
             {"added", int(added.size())},
             {"alreadyThere", int(there)},
             {"addedSerials", serials}});
    PrintResult(Counted(long(added.size()), "record", "records") + " added, " + std::to_string(there) +
                " already there (store " + where + ")");
    return Exit::Done;
}

int Records(const TGlobalOptions& options) {
    if (!options.args.empty() && options.args[0] == "export")
        return Export(options);
    if (!options.args.empty() && options.args[0] == "import")
        return Import(options);
    throw TUsageError("usage: quorvel-cli records export [FILE.json] | import FILE.json [--store ADDRESS]");
}

const TOption StoreOption{"--store", "ADDRESS",
                          "the store: sqlite:PATH, or postgresql://HOST/DATABASE (else as QUORVEL_RECORDS or "
                          "the program ini's [Records] Store= say, else records.db of the machine)"};

} // namespace

std::unique_ptr<TRecordEngine> OpenSimRecords(const std::optional<std::string>& address) {
    std::string notice;
    std::unique_ptr<TRecordEngine> engine;
    try {
        engine = address ? OpenRecordStore(*address, &notice) : OpenRecordStore(&notice);
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    if (!notice.empty())
        PrintMessage(notice);
    return engine;
}

std::vector<TCommand> RecordsCommands() {
    return {
        {"records",
         {{"export",
           "[FILE.json] [--store ADDRESS]",
           "write every SIM record into a JSON file",
           "Writes every record of a SIM in a file (serial number, software, PCS, checksum, SHA-256, when\n"
           "it was saved, how far its move is, and who took its last step where and when) as one JSON\n"
           "document into FILE, or onto stdout without FILE (\"-\" as well). The file is on the disk when\n"
           "the command ends, or not there at all. Texts are the records' bytes, each byte one Windows-1252\n"
           "character, so that import gives back exactly the same bytes. A record the store holds in a\n"
           "form it cannot use ends the export with its serial number; nothing is written. No handset is\n"
           "needed.\n",
           {StoreOption},
           "quorvel-cli records export --store sqlite:/var/lib/quorvel/records.db records.json",
           false,
           false},
          {"import",
           "FILE.json [--store ADDRESS]",
           "add the SIM records of an export to the store",
           "Adds the records of FILE (written by records export; \"-\" for stdin) to the store in one step.\n"
           "Every field is checked first; a mistake is named by the record's index and field\n"
           "(records[3].crc), and nothing is imported. A SIM the store already has with the same sums is\n"
           "left as it is; one it has with another checksum or SHA-256 ends the import, and nothing is\n"
           "imported. Prints how many records were added and how many were there. No handset is needed.\n",
           {StoreOption},
           "quorvel-cli records import records.json --store postgresql://records.example.com/quorvel",
           false,
           false}},
         Records},
    };
}
