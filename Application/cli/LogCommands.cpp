#include "cli/LogCommands.h"

#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/Summary.h"
#include "platform/AnsiText.h"
#include "platform/ChangeChain.h"
#include "platform/ChangeLog.h"
#include "platform/ChangeStore.h"
#include "platform/StoreError.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

std::string SerialOption(const std::string& value) {
    if (value == NoSimText || value == "not read")
        return value;
    const std::optional<std::string> serial = SerialNumberArgument(value);
    if (!serial)
        throw TUsageError(
            "--serial: \"" + value +
            "\" is no serial number (five and seven digits, as \"00291 0284280\", or \"no SIM\")");
    return *serial;
}

std::string DayOption(const std::string& name, const std::string& value) {
    if (value.size() != 10 || !QDate::fromString(QString::fromStdString(value), "yyyy-MM-dd").isValid())
        throw TUsageError(name + ": \"" + value + "\" is no day (YYYY-MM-DD, as 2026-12-10)");
    return value;
}

TChangeFilter ParseFilter(const TFormArgs& form) {
    if (!form.Operands().empty())
        RefuseCall("log");
    TChangeFilter filter;
    if (const std::optional<std::string> serial = form.Value("--serial"))
        filter.Serial = SerialOption(*serial);
    if (const std::optional<std::string> since = form.Value("--since"))
        filter.Since = DayOption("--since", *since);
    if (const std::optional<std::string> until = form.Value("--until"))
        filter.Until = DayOption("--until", *until);
    for (const auto& [name, into] : {std::pair<const char*, std::string*>{"--operation", &filter.Operation},
                                     {"--host", &filter.Host},
                                     {"--template", &filter.Template}})
        if (const std::optional<std::string> value = form.Value(name)) {
            if (value->empty())
                RefuseCall("log");
            *into = *value;
        }
    if (!filter.Since.empty() && !filter.Until.empty() && filter.Since > filter.Until)
        throw TUsageError("--since " + filter.Since + " is after --until " + filter.Until);
    return filter;
}

// "3 added, 1 removed, 180 kept".
std::string CountsText(const TChangeCounts& c) {
    std::string text;
    for (const auto& [n, what] : {std::pair{c.Added, "added"},
                                  {c.Removed, "removed"},
                                  {c.Changed, "changed"},
                                  {c.Kept, "kept"},
                                  {c.NotWritten, "not written"}})
        if (n > 0)
            text += (text.empty() ? "" : ", ") + std::to_string(n) + " " + what;
    return text.empty() ? "nothing" : text;
}

// What the read after an operation found, "12 deleted" of a delete where nothing else was counted, the
// plan of one that never ended ("planned 60 added, 3 removed"), "-" where nothing was counted.
std::string CountsText(const TChangeRecord& change) {
    if (change.Changed)
        return CountsText(*change.Changed);
    if (change.Deleted)
        return std::to_string(*change.Deleted) + " deleted";
    return change.Planned ? "planned " + CountsText(*change.Planned) : "-";
}

// A text of the log as the terminal may show it: anyone who can write the log chooses its texts, so
// control characters (an escape sequence, a line break, the C1 controls of UTF-8) are shown as "\x1B"
// and never act on the terminal.
std::string Shown(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = uint8_t(text[i]);
        if (byte == 0xC2 && i + 1 < text.size() && uint8_t(text[i + 1]) >= 0x80 &&
            uint8_t(text[i + 1]) <= 0x9F)
            shown += FormatText("\\u%04X", unsigned(uint8_t(text[++i])));
        else if (byte < 0x20 || byte == 0x7F)
            shown += FormatText("\\x%02X", unsigned(byte));
        else
            shown += text[i];
    }
    return shown;
}

// One line a change: time, port, serial number, operation, counts, outcome (with the failure), backup.
std::string ChangeText(const TChangeRecord& change) {
    std::string text = change.Time + "  " + (change.Port.empty() ? "-" : change.Port) + "  " +
                       FromAnsi(change.Serial).toStdString() + "  " + change.Operation + "  " +
                       CountsText(change) + "  " + change.Outcome;
    if (!change.Message.empty())
        text += ": " + change.Message;
    if (!change.Backup.empty())
        text += "  backup " + change.Backup;
    if (change.Owed)
        text += "  (kept on this PC: not yet sent to the server)";
    return text;
}

// log --check: walks the seals of every line; 0 when the chain holds, 1 naming the first line where
// it breaks.
int Check(TChangeStore& store) {
    const std::string path = store.Where();
    TChainCheck check;
    try {
        check = store.Check();
    } catch (const EFileError& e) {
        throw TCommandFailure(e.what());
    } catch (const EStoreError& e) {
        throw TCommandFailure(e.what());
    }
    QJsonObject json{{"log", JsonPath(path)},
                     {"sealed", check.Sealed},
                     {"unsealed", check.Unsealed},
                     {"holds", check.Holds()}};
    if (check.BrokenLine) {
        json["brokenLine"] = qint64(*check.BrokenLine);
        json["how"] = QString::fromStdString(check.How);
    }
    AddJson({{"check", json}});
    const std::string before = check.Unsealed > 0 ? " (" + Counted(check.Unsealed, "line", "lines") +
                                                        " from before the log was sealed)"
                                                  : "";
    if (check.Holds()) {
        PrintResult(path + ": the seals of its " + Counted(check.Sealed, "line", "lines") +
                    " hold: no line was changed, removed or put in" + before + ".");
        return Exit::Done;
    }
    PrintResult(path + ": line " + std::to_string(*check.BrokenLine) + " (" + Shown(check.What) +
                "): " + check.How + ". The " + Counted(check.Sealed, "line", "lines") + " before it hold.");
    return Exit::Failed;
}

// log --export FILE.jsonl: the lines the filter takes, each as the log holds it (its seals too), into a
// file that is new, empty or an earlier export; any other file is left as it is.
int Export(TChangeStore& store, const std::string& file, const TChangeFilter& filter) {
    const std::string path = store.Where();
    if (!QString::fromStdString(file).endsWith(".jsonl", Qt::CaseInsensitive))
        throw TUsageError("--export " + file + ": the export is JSON lines, FILE.jsonl");
    if (const QFileInfo info(QString::fromStdString(file)); info.exists()) {
        std::string first;
        try {
            first = ReadFileBytes(file, 1 << 20);
        } catch (const EFileError& e) {
            throw TInputError("--export " + file + ": " + e.what() + "; nothing was written.");
        }
        first = first.substr(0, first.find('\n'));
        if (!first.empty() &&
            !QJsonDocument::fromJson(QByteArray::fromStdString(first)).object().contains("operation"))
            throw TInputError("--export " + file +
                              ": it holds something other than lines of a change log, and is left as it is.");
    }
    TChangeLogContents contents;
    try {
        contents = store.Read(filter);
    } catch (const EFileError& e) {
        throw TCommandFailure(e.what());
    } catch (const EStoreError& e) {
        throw TCommandFailure(e.what());
    }
    std::string text;
    for (const TChangeRecord& change : contents.Changes)
        text += change.Line + "\n";
    try {
        WriteFileDurably(file, text);
    } catch (const EFileError& e) {
        throw TCommandFailure(std::string("The export was not written: ") + e.what());
    }
    AddJson({{"log", JsonPath(path)}, {"export", JsonPath(file)}, {"lines", int(contents.Changes.size())}});
    PrintMessage(Counted(long(contents.Changes.size()), "line", "lines") + " of " + path + " are in " + file +
                 ".");
    return Exit::Done;
}

int Log(const TGlobalOptions& options) {
    TChangeStore& store = ChangeStore();
    // Reached before the rest, so that what moving in the PC's old log did is told first; a store that
    // cannot be reached is told where its rows are read.
    store.Ready();
    if (const std::string notice = store.TakeNotice(); !notice.empty())
        PrintMessage(notice);
    if (options.form.Has("--check")) {
        if (options.args.size() != 1)
            RefuseCall("log");
        return Check(store);
    }
    const TChangeFilter filter = ParseFilter(options.form);
    const std::string path = store.Where();
    if (const std::optional<std::string> file = options.form.Value("--export"))
        return Export(store, *file, filter);
    TChangeLogContents contents;
    std::string away;
    try {
        // Paired before the filter takes its lines, so that an operation that ended after midnight is
        // not shown as one that never ended.
        contents = store.Read();
    } catch (const EFileError& e) {
        throw TCommandFailure(e.what());
    } catch (const EStoreError& e) {
        // The server is away: what this PC still owes it is all there is to show.
        away = e.what();
        contents.Changes = store.Owed();
        if (contents.Changes.empty())
            throw TCommandFailure(away);
    }
    std::vector<TChangeRecord> taken;
    for (const TChangeRecord& change : PairedChanges(contents.Changes))
        if (filter.Takes(change))
            taken.push_back(change);
    contents.Changes = taken;
    QJsonArray changes;
    for (const TChangeRecord& change : contents.Changes) {
        QJsonObject line = QJsonDocument::fromJson(QByteArray::fromStdString(change.Line)).object();
        // A "begun" line without its end: the operation never ended.
        if (change.Outcome == InterruptedOutcome) {
            line["outcome"] = QString(InterruptedOutcome);
            line["message"] = QString::fromStdString(change.Message);
        }
        if (change.Owed)
            line["owed"] = true;
        changes.append(line);
        PrintResult(Shown(ChangeText(change)));
    }
    AddJson({{"log", JsonPath(path)}, {"changes", changes}, {"damaged", contents.Damaged}});
    if (contents.Damaged > 0)
        PrintMessage(Counted(contents.Damaged, "damaged line", "damaged lines") + " of " + path +
                     " skipped (no record of a change).");
    PrintMessage(Counted(long(contents.Changes.size()), "change", "changes") + " in " + path + ".");
    if (!away.empty()) {
        PrintMessage(away + " Only the changes this PC has not sent it yet are shown.");
        return Exit::Failed;
    }
    return Exit::Done;
}

} // namespace

std::vector<TCommand> LogCommands() {
    return {
        {"log",
         {{"",
           "[--serial SERIAL] [--since YYYY-MM-DD] [--until YYYY-MM-DD] [--operation OP] [--host PC] "
           "[--template NAME] [--export FILE.jsonl] | --check",
           "the changes made to handsets on this PC, or on every PC sharing its records",
           "Prints the change log of this PC (changes.jsonl in the machine's state folder; where the SIM\n"
           "records are on a PostgreSQL server, the log there, of every PC that shares them), oldest first,\n"
           "one line for each operation that changed a handset or began to: its time, port, serial number,\n"
           "operation, what the read after it found changed (or how many entries a delete removed), outcome\n"
           "(done, failed, stopped, unknown, or interrupted: the program ended before the operation did, "
           "and\n"
           "the handset may hold part of it; with the failure) and the backup kept before. The options take "
           "the changes\n"
           "of one handset, of the days from and to a date (both included) and of the operations whose\n"
           "names begin with OP, in any case (phonebook, \"phonebook replace\", speed-dial, groups,\n"
           "profile, sim). Control characters in the log's texts are shown as \\x1B. With --json the log's\n"
           "own lines, as \"changes\". Damaged lines (no JSON, a time or a count that is none) are skipped\n"
           "and counted on stderr. Each line is sealed: it holds the SHA-256 of the line before it on its\n"
           "PC and of itself; --check walks the seals and names the first line that was changed, removed\n"
           "or put in afterwards (exit 1), or says they hold (exit 0). A provisioning's lines name its\n"
           "template. --export writes the lines taken as the log holds them (their seals too) to a new\n"
           "FILE.jsonl, or over an earlier export. Rows this PC keeps until the shared log's server answers\n"
           "again are marked so (\"owed\" with --json). No handset is needed.\n",
           {{"--serial", "SERIAL", "the changes of the handset with this SIM serial number, or \"no SIM\""},
            {"--since", "YYYY-MM-DD", "the changes on this day and later"},
            {"--until", "YYYY-MM-DD", "the changes on this day and earlier"},
            {"--operation", "OP", "the operations whose names begin with OP"},
            {"--host", "PC", "the changes made on this PC"},
            {"--template", "NAME", "the changes of provisionings with the template folder NAME"},
            {"--export", "FILE.jsonl", "write the lines taken, as the log holds them, to FILE"},
            {"--check", "", "whether any line was changed, removed or put in since it was written"}},
           "quorvel-cli log --serial \"00291 0284280\" --since 2026-12-01",
           false,
           false}},
         Log},
    };
}
