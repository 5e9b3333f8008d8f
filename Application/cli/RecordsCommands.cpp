#include "cli/RecordsCommands.h"

#include "cli/CliOptions.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/Summary.h"
#include "cli/TerminalUser.h"
#include "platform/AnsiText.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "vsim/RecordStore.h"

#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <map>
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

// The words of an export file that say what it is: a move (its records were given up by the store it
// came from) or a copy (they were not).
constexpr const char* MoveKind = "move";
constexpr const char* CopyKind = "copy";

struct TArgs {
    std::vector<std::string> words; // the file, or the serial numbers
    std::optional<std::string> store;
    std::optional<std::string> from;
    bool copy = false;
};

// The form has said which of --store, --from and --copy it takes; mostWords is how many files or serial
// numbers it takes.
TArgs ParseArgs(const TFormArgs& form, size_t mostWords) {
    TArgs parsed;
    parsed.store = form.Value("--store");
    parsed.from = form.Value("--from");
    parsed.copy = form.Has("--copy");
    for (const auto& [option, address] :
         {std::pair{"--store", parsed.store}, std::pair{"--from", parsed.from}})
        if (address && address->empty())
            throw TUsageError(std::string(option) + " needs an address: sqlite:PATH or postgresql://...");
    if (form.Operands().size() > mostWords)
        RefuseCall("records");
    parsed.words = form.Operands();
    return parsed;
}

// What a store that gives up its records notes in them.
std::string MovedAway(const std::string& to) {
    const TStepAuthor now = CurrentAuthor();
    return "moved to " + to + " by " + now.User + " on " + now.Host + " at " + now.Time;
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

// The records this store takes (one moved away or a copy is not this store's to give), read once the
// claim of every SIM is held: a move running now would change its record after it was written out, so
// the claims stay held (claims) until the export is over.
std::vector<TSimRecord> HeldRecords(TRecordEngine& engine, std::vector<std::unique_ptr<TMoveClaim>>& claims) {
    std::vector<TSimRecord> records;
    try {
        for (const TSimRecord& r : engine.All()) {
            if (!r.Retired.empty())
                continue;
            claims.push_back(engine.Claim(r.SerialNumber));
            if (!claims.back())
                throw TCommandFailure(FormatText(Texts::SimMoveBusy, PrintableText(r.SerialNumber).c_str()) +
                                      " Nothing was exported.");
        }
        for (TSimRecord& r : engine.All())
            if (r.Retired.empty())
                records.push_back(std::move(r));
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    return records;
}

// The export into file, whole or not at all, or onto stdout ("-"; under --json the command's document is
// the export itself, which import takes as well).
void PutExport(const std::string& file, const QJsonObject& document, bool copy) {
    const QByteArray text = QJsonDocument(document).toJson(QJsonDocument::Indented);
    if (file != "-") {
        try {
            WriteFileDurably(file, text.toStdString());
        } catch (const EFileError& e) {
            throw TCommandFailure(std::string(e.what()) + "; nothing was exported.");
        }
        return;
    }
    if (JsonWanted())
        AddJson(document);
    else
        std::fwrite(text.data(), 1, size_t(text.size()), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw TCommandFailure("The export could not be written onto the standard output; " +
                              std::string(copy ? "nothing was exported." : "no record was moved."));
}

int Export(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.form, 1);
    const std::string file = args.words.empty() ? std::string("-") : args.words[0];
    const std::unique_ptr<TRecordEngine> engine = OpenSimRecords(args.store);
    const std::string where = engine->Where();
    std::vector<std::unique_ptr<TMoveClaim>> claims;
    const std::vector<TSimRecord> records = HeldRecords(*engine, claims);
    // A record the store holds in a form it cannot use would come back as a sound one, or not at all.
    std::vector<std::string> unusable;
    QJsonArray list;
    std::vector<std::string> serials;
    for (const TSimRecord& r : records) {
        if (!r.Problem.empty())
            unusable.push_back("SIM " + PrintableText(r.SerialNumber) + " (" + PrintableText(r.Problem) +
                               ")");
        list.append(RecordJson(r));
        serials.push_back(r.SerialNumber);
    }
    if (!unusable.empty())
        throw TCommandFailure(Counted(long(unusable.size()), "record", "records") + " of " + where +
                              " cannot be exported: " + JoinedText(unusable) +
                              ". Nothing was written; correct them, or take them out with \"quorvel-cli "
                              "records remove\".");

    const QJsonObject document{{"format", FormatName},
                               {"version", FormatVersion},
                               {"kind", args.copy ? CopyKind : MoveKind},
                               {"store", JsonPath(where)},
                               {"records", list}};
    const std::string counted = Counted(long(records.size()), "record", "records");
    const std::string into = file == "-" ? std::string() : " into " + file;
    PutExport(file, document, args.copy);
    const auto told = [&](const char* kind, const std::string& text) {
        if (file != "-")
            AddJson({{"file", JsonPath(file)},
                     {"store", JsonPath(where)},
                     {"exported", int(records.size())},
                     {"kind", kind}});
        // On stdout the records themselves are the output: the words go to stderr.
        if (file == "-")
            PrintMessage(text);
        else
            PrintResult(text);
        return Exit::Done;
    };
    if (args.copy)
        return told(CopyKind,
                    "Copied " + counted + " of " + where + into +
                        ". This store still takes their files; an import of the copy takes none of "
                        "them until \"quorvel-cli records activate\" there finds that this store has "
                        "given them up.");
    // The file holds the records; from now on only the store that imports it takes their SIM files.
    try {
        engine->SetRetired(serials, MovedAway("another store"), "", "retired");
    } catch (const EStoreError& e) {
        if (file != "-")
            std::remove(file.c_str());
        throw TCommandFailure(
            "The records of " + where +
            " could not be given up, so they stay here: " + PrintableText(e.what()) +
            (file == "-" ? " Do not import what was written." : " The export file was removed again."));
    }
    return told(MoveKind, "Moved " + counted + " out of " + where + into +
                              ": this store no longer takes their SIM files; the store that imports the file "
                              "does.");
}

// ---- import ----

// Reads and checks an export before anything is written: every mistake names the record by its index
// and the field.
class TImportFile {
public:
    explicit TImportFile(std::string path)
        : Path(std::move(path)) {}

    // The records, and whether the file is a copy: an export that did not give its records up, or one
    // of a version that did not say (those never did).
    std::vector<TSimRecord> Read(bool* copy = nullptr, std::string* source = nullptr) const {
        const QJsonObject top = Document();
        if (top.value("format").toString() != FormatName)
            Refuse("format", std::string("must be \"") + FormatName + "\": this is no export of SIM records");
        if (!top.value("version").isDouble() || top.value("version").toDouble() != FormatVersion)
            Refuse("version", "must be " + std::to_string(FormatVersion) +
                                  ", the version this program reads (a newer program wrote it?)");
        if (!top.value("records").isArray())
            Refuse("records", "must be a list of records");
        const QJsonValue kind = top.value("kind");
        if (!kind.isUndefined() && kind != QJsonValue(MoveKind) && kind != QJsonValue(CopyKind))
            Refuse("kind", std::string("must be \"") + MoveKind + "\" or \"" + CopyKind + "\"");
        if (copy)
            *copy = kind != QJsonValue(MoveKind);
        if (source)
            *source =
                top.value("store").isString() ? top.value("store").toString().toStdString() : std::string();
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
        if (const TFieldProblem problem = ForeignRecordProblem(r, true); !problem.Field.empty())
            Refuse(at + "." + problem.Field, problem.Why);
        return r;
    }

    std::string Path;
};

int Import(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.form, 1);
    if (args.words.empty())
        RefuseCall("records");
    const std::string file = args.words[0];
    // The file first: a file that cannot be taken leaves the store unopened.
    bool copy = true;
    std::string source;
    std::vector<TSimRecord> records = TImportFile(file).Read(&copy, &source);
    if (copy) {
        const TStepAuthor now = CurrentAuthor();
        for (TSimRecord& r : records) {
            r.Retired = "a copy of the records of " +
                        (source.empty() ? std::string("another store") : source) + ", imported by " +
                        now.User + " on " + now.Host + " at " + now.Time;
            r.CopyOf = source.empty() ? std::string("another store") : source;
        }
    }
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
             {"addedSerials", serials},
             {"copy", copy}});
    PrintResult(Counted(long(added.size()), "record", "records") + " added, " + std::to_string(there) +
                " already there (store " + where + ")");
    if (copy && !added.empty())
        PrintMessage(
            "The file is a copy: its SIM files are taken by no restore here until \"quorvel-cli records "
            "activate\" finds that " +
            (source.empty() ? std::string("the store it came from") : source) + " has given them up.");
    return Exit::Done;
}

// Takes the copies this store holds once the store each came from gives its record up: a SIM is taken
// by one store only.
int Activate(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.form, size_t(-1));
    const std::unique_ptr<TRecordEngine> target = OpenSimRecords(args.store);
    std::vector<std::string> wanted;
    for (const std::string& word : args.words) {
        const std::optional<std::string> serial = SerialNumberArgument(word);
        if (!serial)
            throw TUsageError("\"" + word +
                              "\" is no serial number (five and seven digits, as \"00291 0284280\")");
        wanted.push_back(*serial);
    }
    std::vector<std::string> activated;
    std::vector<std::string> refused;
    try {
        const std::string id = target->Id();
        std::map<std::string, std::unique_ptr<TRecordEngine>> sources;
        for (const TSimRecord& copy : target->All()) {
            if (copy.CopyOf.empty() || (!wanted.empty() && std::find(wanted.begin(), wanted.end(),
                                                                     copy.SerialNumber) == wanted.end()))
                continue;
            const std::string sim = "SIM " + PrintableText(copy.SerialNumber);
            // Each store the copies came from is opened once.
            std::unique_ptr<TRecordEngine>& opened = sources[args.from ? *args.from : copy.CopyOf];
            if (!opened)
                opened = OpenSimRecords(args.from ? *args.from : copy.CopyOf);
            TRecordEngine* const source = opened.get();
            const std::unique_ptr<TMoveClaim> claim = source->Claim(copy.SerialNumber);
            const std::unique_ptr<TMoveClaim> ours = target->Claim(copy.SerialNumber);
            if (!claim || !ours) {
                refused.push_back(FormatText(Texts::SimMoveBusy, copy.SerialNumber.c_str()));
                continue;
            }
            const std::optional<TSimRecord> held = source->Find(copy.SerialNumber);
            const std::string ourName = "store " + id + " (" + target->Where() + ")";
            if (!held) {
                refused.push_back(sim + ": " + source->Where() +
                                  " has no record of it: the SIM went into a handset there or its record was "
                                  "removed, and this copy must never be taken");
                continue;
            }
            if (!SameSums(*held, copy)) {
                refused.push_back(sim + ": " + source->Where() + " holds it with other checksums");
                continue;
            }
            if (held->Retired.empty()) {
                if (!held->Journal.State.empty()) {
                    refused.push_back(sim + ": its move in " + source->Where() + " has not finished");
                    continue;
                }
                source->SetRetired({copy.SerialNumber}, MovedAway(ourName), "", "retired");
            } else if (held->Retired.find(id) == std::string::npos) {
                refused.push_back(sim + ": " + source->Where() + " gave it up to another store (" +
                                  PrintableText(held->Retired) + ")");
                continue;
            }
            target->SetRetired({copy.SerialNumber}, "", "", "activated");
            activated.push_back(copy.SerialNumber);
        }
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    QJsonArray serials;
    for (const std::string& serial : activated)
        serials.append(JsonText(serial));
    AddJson({{"store", JsonPath(target->Where())}, {"activated", serials}, {"refused", int(refused.size())}});
    PrintResult(Counted(long(activated.size()), "copy", "copies") + " taken by " + target->Where() +
                " now; their stores gave them up.");
    for (const std::string& why : refused)
        PrintMessage(why + ".");
    return refused.empty() ? Exit::Done : Exit::Failed;
}

// Takes a record out of the store: one no command can use (a key or a value another program wrote), or
// one whose SIM is known to be lost.
int Remove(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.form, 1);
    if (args.words.size() != 1)
        RefuseCall("records");
    const std::unique_ptr<TRecordEngine> engine = OpenSimRecords(args.store);
    try {
        // The key as it stands in the store, else as the label shows it.
        std::string serial = args.words[0];
        std::optional<TSimRecord> record = engine->Find(serial);
        if (!record)
            if (const std::optional<std::string> typed = SerialNumberArgument(serial))
                if ((record = engine->Find(*typed)))
                    serial = *typed;
        if (!record)
            throw TInputError("The SIM records " + engine->Where() + " have no record \"" +
                              PrintableText(serial) + "\".");
        const std::string file =
            record->Journal.File.empty() ? "its file" : "\"" + PrintableText(record->Journal.File) + "\"";
        TTerminalUser user(options.yes);
        if (user.Message(TMessageKind::Confirmation,
                         "Remove the record of SIM \"" + PrintableText(serial) + "\" from " +
                             engine->Where() + "? No restore takes " + file +
                             " afterwards: if the SIM is in that file and nowhere else, it is lost.",
                         TButtons::OkCancel) != TAnswer::Ok)
            return Exit::NotConfirmed;
        const bool removed = engine->Remove(serial, "removed by hand");
        AddJson({{"store", JsonPath(engine->Where())}, {"removed", removed}, {"serial", JsonText(serial)}});
        PrintResult(removed ? "The record of SIM \"" + PrintableText(serial) + "\" was removed from " +
                                  engine->Where() + "; sim history keeps the step."
                            : "There was no record of SIM \"" + PrintableText(serial) + "\" any more.");
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    return Exit::Done;
}

// Takes the store at the address as the one this PC uses, making an empty one where there is none.
int Init(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.form, 0);
    std::unique_ptr<TRecordEngine> engine;
    std::string notice;
    try {
        engine = OpenRecordStore(args.store ? *args.store : RecordStoreAddress(), &notice,
                                 TStoreOpening::TakeAsItIs);
        if (!notice.empty())
            PrintMessage(notice);
        const long count = long(engine->All().size());
        AddJson(
            {{"store", JsonPath(engine->Where())}, {"id", JsonText(engine->Id())}, {"records", int(count)}});
        PrintResult("The SIM records " + engine->Where() + " (store id " + engine->Id() +
                    ") are the ones this PC uses now; they hold " + Counted(count, "record", "records") +
                    ".");
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    return Exit::Done;
}

int Records(const TGlobalOptions& options) {
    const std::string word = options.args.empty() ? std::string() : options.args[0];
    if (word == "export")
        return Export(options);
    if (word == "import")
        return Import(options);
    if (word == "activate")
        return Activate(options);
    if (word == "remove")
        return Remove(options);
    if (word == "init")
        return Init(options);
    RefuseCall("records");
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
           "[FILE.json] [--copy] [--store ADDRESS]",
           "move the SIM records into a JSON file for another store",
           "Writes every record this store takes (serial number, software, PCS, checksum, SHA-256, when it\n"
           "was saved, how far its move is, and who took its last step where and when) as one JSON document\n"
           "into FILE, or onto stdout without FILE (\"-\" as well), and then gives them up: this store "
           "takes\n"
           "none of their SIM files any more (sim records says where they went), the store that imports the\n"
           "file does. So a SIM is taken by one store only. With --copy the records stay here, and an "
           "import\n"
           "of the copy takes none of the files until records activate there finds that this store has\n"
           "given them up. The file is on the disk when the command ends, or not there at all. Texts are "
           "the\n"
           "records' bytes, each byte one Windows-1252 character. A record that cannot be used ends the\n"
           "export with its serial number; nothing is written. No handset is needed.\n",
           {StoreOption,
            {"--copy", "", "a backup: the records stay in this store, and the copies are not taken"}},
           "quorvel-cli records export --store sqlite:/var/lib/quorvel/records.db records.json",
           false,
           false},
          {"import",
           "FILE.json [--store ADDRESS]",
           "add the SIM records of an export to the store",
           "Adds the records of FILE (written by records export; \"-\" for stdin) to the store in one step.\n"
           "Every field is checked first; a mistake is named by the record's index and field\n"
           "(records[3].crc), and nothing is imported. A SIM the store already has with the same sums is\n"
           "left as it is (one this store gave up comes back); one it has with another checksum or SHA-256\n"
           "ends the import, and nothing is imported. The records of a copy (records export --copy, or a\n"
           "file of an earlier version) are kept but not taken until records activate. Prints how many\n"
           "records were added and how many were there. No handset is needed.\n",
           {StoreOption},
           "quorvel-cli records import records.json --store postgresql://records.example.com/quorvel",
           false,
           false},
          {"activate",
           "[SERIAL...] [--from ADDRESS] [--store ADDRESS]",
           "take imported copies once their store gives them up",
           "Takes the copies of records this store holds (all, or those of the SIMs named) once the store\n"
           "each came from gives its record up: a record still taken there is given up there now, one\n"
           "given up to this store is taken; one that store no longer has (the SIM went into a handset) or\n"
           "gave to another store is refused. --from names the store the copies came from, where its "
           "address\n"
           "on this PC differs from the one the copy names. Exit status 1 when a copy was refused.\n",
           {StoreOption, {"--from", "ADDRESS", "the store the copies came from, as this PC reaches it"}},
           "quorvel-cli records activate --from postgresql://old-server/quorvel",
           false,
           false},
          {"remove",
           "SERIAL [--store ADDRESS]",
           "take one record out of the store",
           "Removes the record of one SIM (asks, or --yes): one that no command can use, or of a SIM known\n"
           "to be lost. No restore takes its file afterwards; sim history keeps the step with who took it.\n"
           "SERIAL is the key as sim records shows it.\n",
           {StoreOption},
           "quorvel-cli --yes records remove \"00291 0284280\"",
           false,
           false},
          {"init",
           "[--store ADDRESS]",
           "take the store at the address as the one this PC uses",
           "The programs remember which record store they used; one that is gone, emptied or replaced is\n"
           "refused, naming what it held, rather than made anew in silence. When those records are lost for\n"
           "good, init takes the store that is there now, making an empty one where there is none.\n",
           {StoreOption},
           "quorvel-cli records init",
           false,
           false}},
         Records},
    };
}
