#include "cli/PhonebookCommands.h"

#include "cli/BackupCommands.h"
#include "cli/CliSession.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/PlanReport.h"
#include "cli/Summary.h"
#include "link/StopRequest.h"
#include "lists/ContactsImport.h"
#include "lists/PhonebookFile.h"
#include "lists/PhonebookTransfer.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

#include <cstdio>

namespace {

constexpr int MostEntries = 255;
// Longer than any international prefix dialled anywhere.
constexpr size_t LongestInternationalPrefix = 6;

[[noreturn]] void UsageError() {
    RefuseCall("phonebook");
}

struct TArgs {
    std::string file;
    std::string output;
    std::optional<TWriteMode> mode;
    int entries = TMainCore::StartPhonebookCount;
    bool dialable = false;
    std::optional<std::string> internationalPrefix;
    bool transliterate = false;
    bool allNumbers = false;
};

std::string InternationalPrefix(const std::string& text) {
    if (text.empty() || text.size() > LongestInternationalPrefix ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw TUsageError("--international-prefix must be 1 to " +
                          std::to_string(LongestInternationalPrefix) + " digits, such as 00 or 011, not \"" +
                          text + "\"");
    return text;
}

TArgs ParseArgs(const TFormArgs& form) {
    TArgs parsed;
    parsed.output = form.Value("-o").value_or("");
    if (const std::optional<std::string> entries = form.Value("--entries"))
        parsed.entries = int(ParseNumber(*entries, 1, MostEntries, "--entries"));
    parsed.dialable = form.Has("--dialable");
    parsed.transliterate = form.Has("--transliterate");
    parsed.allNumbers = form.Has("--all-numbers");
    if (const std::optional<std::string> prefix = form.Value("--international-prefix"))
        parsed.internationalPrefix = InternationalPrefix(*prefix);
    if (const std::optional<std::string> mode = form.OneOf({"--add", "--replace"}))
        parsed.mode = *mode == "--add" ? TWriteMode::Add : TWriteMode::Replace;
    if (form.Operands().size() > 1)
        UsageError();
    if (!form.Operands().empty())
        parsed.file = form.Operands().front();
    return parsed;
}

void Save(const std::string& path, const TPP5Phonebook& book) {
    SavePhonebookFile(path, book);
    ReportSaved(FormatText(Texts::FinishedSavingToFile, path.c_str()), path);
}

QJsonArray EntriesJson(const TPP5Phonebook& book) {
    QJsonArray entries;
    for (int i = 0; i < book.Count(); ++i)
        if (!book.GetNumber(uint16_t(i)).empty() || !book.GetName(uint16_t(i)).empty())
            entries.append(QJsonObject{{"name", JsonText(book.GetName(uint16_t(i)))},
                                       {"number", JsonText(book.GetNumber(uint16_t(i)))}});
    return entries;
}

int Read(TCliSession& session, const TArgs& args, bool json) {
    if (!args.file.empty() || args.mode)
        UsageError();
    session.OpenPort();
    TPP5Phonebook& book = session.Core().Phonebook;
    TPhonebookTransfer transfer(session.Core(), session.User(), book);
    if (!transfer.LoadFromHandset()) {
        // Stopped: no list, and no file written (one that is there stays as it was).
        if (StopRequested())
            throw TCommandStopped(Texts::StoppedAsAsked);
        return Exit::Failed;
    }
    if (json)
        AddJson({{"capacity", session.Core().PhoneBookCapacity}, {"entries", EntriesJson(book)}});
    if (args.output.empty() || args.output == "-") {
        PrintData(PhonebookFileText(book));
    } else {
        Save(args.output, book);
    }
    return Exit::Done;
}

// Names the rows the write marked, as the window shows them in red and yellow.
void ReportMarkedRows(const TTerminalUser& user, const TPP5Phonebook& book) {
    for (const auto& [row, colour] : user.Colours) {
        const char* what = "not written, the handset's phone book is full";
        if (colour == TRowColour::Yellow)
            what = book.GetNumber(uint16_t(row - 1)).empty() ? "a name without a number, not written"
                                                             : "the write stopped here";
        else if (TPhonebookTransfer::FirstUnstorableNumber(book) == row - 1)
            what = "a number the handset cannot store";
        PrintMessage("line " + std::to_string(row) + ": " + what);
    }
}

} // namespace

int WritePhonebookFile(TCliSession& session, const std::string& path, TWriteMode mode, const char* backupKind,
                       bool transliterate) {
    using TKind = TPhonebookLineProblem::TKind;
    // The whole file first, so that a file that cannot be read changes nothing in the handset.
    std::string text;
    try {
        text = ReadFileBytes(path, PhonebookFileLimit);
    } catch (const EFileError& e) {
        throw TInputError(e.what());
    }
    // Every line a table can hold; connecting cuts the table to the handset's capacity, and the
    // transfer keeps the file's rows beyond it.
    TPP5Phonebook file;
    file.SetCount(uint8_t(MostEntries));
    TPhonebookFileReport report;
    const bool restore = backupKind == std::string_view(TPhonebookTransfer::BackupBeforeRestoreKind);
    const int lines = ParsePhonebookText(text, file, &report, {transliterate, restore});
    // A file without an entry (empty, names alone, a profile, a binary file) is no phone book: refused
    // whole. Emptying the handset is what "phonebook delete" is for.
    if (file.CountNumbers() == 0)
        throw TInputError(
            (report.Problems.empty() ? std::string() : PhonebookProblemsText(report, 5) + "\r") + path +
            ": no line is a phone book entry with a number (\"name,number\"); nothing was "
            "written to the handset.");
    for (const TPhonebookLineProblem& problem : report.Problems)
        PrintMessage(PhonebookLineProblemText(problem));
    // A handset entry is a number with its name: a name alone is not one.
    bool unnumbered = false;
    for (int row = 0; row < lines; ++row)
        if (file.GetNumber(uint16_t(row)).empty() &&
            file.GetName(uint16_t(row)).find_first_not_of(" \t") != std::string::npos) {
            PrintMessage("line " + std::to_string(row + 1) + ": " + QuotedText(file.GetName(uint16_t(row))) +
                         " has no number, and a handset entry is a number with its name");
            unnumbered = true;
        }
    // A number cut to what the handset stores would dial someone else; a name the handset cannot show
    // would be "?" in it, or left out.
    if (unnumbered || report.Has(TKind::NumberTooLong) || report.Has(TKind::NotInCodePage))
        throw TInputError(path + ": nothing was written to the handset.");
    if (report.LinesBeyond > 0)
        throw TInputError(path + ": line " + std::to_string(MostEntries + 1) + " and " +
                          Counted(report.LinesBeyond, "line", "lines") +
                          " in all after it: no handset's phone book "
                          "has more than " +
                          std::to_string(MostEntries) + " entries; nothing was written to the handset.");
    TPP5Phonebook& book = session.Core().Phonebook;
    book = file;
    const bool unstorable = TPhonebookTransfer::FirstUnstorableNumber(book, restore) >= 0;
    session.OpenPort();
    session.User().Given.writeMode = mode;
    // The terminal's progress counts the entries written, not the rows of the table.
    session.User().RowHoldsEntry = [&book](int row) { return !book.GetNumber(uint16_t(row - 1)).empty(); };
    TPhonebookTransfer transfer(session.Core(), session.User(), book);
    transfer.SetBackupKind(backupKind);
    transfer.SetFile(file, lines);
    const bool ok = transfer.SaveToHandset();
    if (!ok && (unstorable || transfer.RefusedFile()))
        return Exit::WrongCall;
    if (session.User().Given.dryRun)
        return DryRunOutcome(session);
    ReportMarkedRows(session.User(), book);
    int beyond = 0;
    for (int row = book.Count(); row < lines; ++row)
        beyond += !file.GetNumber(uint16_t(row)).empty();
    if (beyond > 0)
        PrintMessage(path + " has more lines than the handset's " + std::to_string(book.Count()) +
                     " phone book entries: " + Counted(beyond, "entry", "entries") + " from line " +
                     std::to_string(book.Count() + 1) + " on are not written.");
    TWriteSummary summary{"entry", "entries", ok && beyond == 0};
    return ReportWrite(session.User(), transfer.LastOutcome(), summary);
}

namespace {

int Write(TCliSession& session, const TGlobalOptions&, const TArgs& args) {
    if (args.file.empty() || !args.mode || !args.output.empty())
        UsageError();
    if (args.dialable || args.internationalPrefix || args.allNumbers ||
        args.entries != TMainCore::StartPhonebookCount)
        UsageError();
    return WritePhonebookFile(session, args.file, *args.mode, TPhonebookTransfer::BackupKind,
                              args.transliterate);
}

// Writes a kept copy back in replace mode: the newest one unless a file is named. The list it replaces
// is kept as well, under a kind of its own, so that a second restore still takes the same copy.
int RestoreBackup(TCliSession& session, const TGlobalOptions& options, const TArgs& args) {
    if (args.mode || !args.output.empty())
        UsageError();
    const std::string path = BackupToRestore(session, args.file, TPhonebookTransfer::BackupKind,
                                             Texts::PhoneBookExtension, "phone book");
    return WriteBack(session, options, path, true, [&] {
        return WritePhonebookFile(session, path, TWriteMode::Replace,
                                  TPhonebookTransfer::BackupBeforeRestoreKind);
    });
}

int Delete(TCliSession& session, const TArgs& args) {
    if (!args.file.empty() || args.mode || !args.output.empty())
        UsageError();
    session.OpenPort();
    TPhonebookTransfer transfer(session.Core(), session.User(), session.Core().Phonebook);
    transfer.DeleteInHandset();
    if (session.User().Given.dryRun)
        return DryRunOutcome(session);
    return ReportDelete(session.User(), transfer.LastOutcome(), "phone book");
}

int Import(const TArgs& args) {
    if (args.file.empty() || args.output.empty() || args.mode || (args.internationalPrefix && !args.dialable))
        UsageError();
    TPP5Phonebook book;
    book.SetCount(uint8_t(args.entries));
    TContactsImport import(book.Count(), args.allNumbers);
    try {
        import.AddFile(args.file);
    } catch (const EContactsFileError& e) {
        throw TInputError(ContactsFileMessage(args.file, e));
    }
    // Before the book keeps the numbers: it would take a "-" between digit groups for a pause.
    std::optional<int> madeDialable;
    if (args.dialable)
        madeDialable =
            import.MakeNumbersDialable(args.internationalPrefix.value_or(DefaultInternationalPrefix));
    std::optional<int> transliterated;
    if (args.transliterate)
        transliterated = import.TransliterateNames();
    import.FillPhonebook(book, {});
    Save(args.output, book);
    AddJson({{"contacts", import.Contacts()},
             {"entries", book.CountNumbers()},
             {"numbers", import.NumbersFound()},
             {"not_taken", import.NumbersNotTaken()}});
    PrintResult(Counted(import.Contacts(), "contact", "contacts") + " gave " +
                Counted(book.CountNumbers(), "entry", "entries") + ".");
    // The terminal shows the names whole, the characters the handset lacks too.
    QJsonArray report;
    std::vector<std::string> lines =
        import.Report(madeDialable, transliterated, TNameBytes::Utf8, TContactsImport::ListedKept);
    lines.push_back(import.Summary());
    for (const std::string& line : lines) {
        report.append(JsonPath(line));
        PrintResult(line);
    }
    AddJson({{"report", report}});
    if (import.NumbersNotTaken(TNumberLeftOut::Extra) > 0)
        PrintMessage("--all-numbers makes each number beyond a contact's four entries an entry of its own, "
                     "named \"Name (type)\".");
    if (const std::vector<int> unstorable = import.UnstorableEntries(); !madeDialable && !unstorable.empty())
        PrintMessage("Numbers the handset cannot store as they are: " + std::to_string(unstorable.size()) +
                     ", the first in line " + std::to_string(unstorable.front() + 1) +
                     ". --dialable makes them dialable: a leading \"+\" becomes --international-prefix (" +
                     DefaultInternationalPrefix +
                     " unless given), and the blanks and ( ) / . - between the digits go.");
    if (const std::vector<int> names = import.NamesNotInCodePage(); !transliterated && !names.empty())
        PrintMessage(
            "Names with characters the handset does not have, which it shows as \"?\": " +
            std::to_string(names.size()) + ", " + import.NamesInLines(names, TNameBytes::Utf8) +
            ". --transliterate writes them with the nearest letters the handset has (\"\xC5\x81\" as "
            "\"L\", \"\xC5\x91\" as \"o\"); characters without one, such as Chinese ones, stay \"?\".");
    return Exit::Done;
}

int Phonebook(const TGlobalOptions& options) {
    if (options.args.empty())
        UsageError();
    const std::string& what = options.args[0];
    const TArgs args = ParseArgs(options.form);
    if (what == "import")
        return Import(args);
    TCliSession session(options);
    if (what == "read")
        return Read(session, args, options.json);
    if (what == "write")
        return Write(session, options, args);
    if (what == "delete")
        return Delete(session, args);
    if (what == "restore-backup")
        return RestoreBackup(session, options, args);
    UsageError();
}

} // namespace

std::vector<TCommand> PhonebookCommands() {
    return {
        {"phonebook",
         {{"read", "[-o FILE.phb]", "read the handset's phone book",
           "Reads the handset's phone book; the .phb text (one \"name,number\" line per entry, CR LF) goes\n"
           "to stdout, or to FILE. With --json, the entries as a JSON document.\n",
           OutputOptions("FILE.phb"), "quorvel-cli --port COM3 phonebook read -o office.phb"},
          {"write",
           "FILE.phb --add|--replace [--transliterate]",
           "write a .phb file to the handset",
           "Writes FILE to the handset, adding to its list (--add: numbers it holds are skipped) or "
           "replacing\n"
           "it (--replace: its list is deleted first; asks, or --yes). Before a replace the handset's list "
           "is\n"
           "kept in a dated .phb file in the backups folder of the per-user folder. Ends with a summary "
           "line:\n"
           "entries written, skipped as already held, not written. A file the handset cannot hold as it is\n"
           "is refused before anything is sent (exit 2): one without an entry with a number, a name\n"
           "without a number, a name with characters the handset lacks (--transliterate writes the\n"
           "nearest letters it has), or, for a replace, more entries than the handset's phone book has\n"
           "room for.\n",
           {{"--add", "", "add to the handset's list"},
            {"--replace", "", "replace the handset's list"},
            {"--transliterate", "", "write names with the nearest letters the handset has"}},
           "quorvel-cli --port COM10,COM11 --yes phonebook write office.phb --replace",
           true,
           true,
           true},
          {"delete",
           "",
           "empty the handset's phone book",
           "Deletes the handset's phone book (shows what it removes, then asks, or --yes); the list is kept "
           "in\n"
           "the backups folder first.\n",
           {},
           "quorvel-cli --yes phonebook delete",
           true,
           true,
           true},
          {"restore-backup",
           "[FILE.phb]",
           "write the newest kept copy back",
           "Writes the newest copy kept before a replace or delete (or FILE) back in replace mode (asks, or\n"
           "--yes); the list it replaces is kept too.\n",
           {},
           "quorvel-cli --yes phonebook restore-backup",
           true,
           true,
           true},
          {"import",
           "CONTACTS.csv|.vcf -o FILE.phb [--entries N] [--dialable [--international-prefix D]] "
           "[--transliterate] [--all-numbers]",
           "turn an Outlook CSV export or a vCard file into a .phb file",
           "Turns a CSV export (Outlook, Thunderbird, Google) or a vCard file into a .phb file, one entry\n"
           "per telephone number of a contact's four (business, home, primary, mobile), at most N entries\n"
           "(200); --all-numbers takes every other voice number too, an entry named \"Name (type)\". Each\n"
           "number not taken beyond those is named, and the run ends with a count that adds up: contacts\n"
           "read, numbers found = entries + numbers not taken, by reason (fax, pager or telex; repeated;\n"
           "beyond the four entries; of a nested card; no room). --dialable makes every number dialable:\n"
           "a leading \"+\" becomes the international prefix (00 unless given), and the blanks and\n"
           "( ) / . - between the digits go; without it the phone book keeps a \"-\" as a pause \"P\". An\n"
           "extension a tel: URI gives apart, or one written after the number (\"ext. 102\", \"x12\"),\n"
           "follows its number after a pause. Names with characters the handset does not have (it shows\n"
           "\"?\" for them) are named on stderr; --transliterate writes them with the nearest letters it\n"
           "has, leaving off accents it lacks. The file may be UTF-8,\n"
           "UTF-16 (with its byte order mark or without), or Windows-1252, its fields separated by \",\",\n"
           "\";\" or tabs, its column names those of an Outlook in English, German, French, Spanish, Dutch\n"
           "or Italian, of Thunderbird or of Google. No handset is needed.\n",
           {{"-o", "FILE.phb", "the .phb file to write"},
            {"--output", "FILE.phb", "the same as -o", "-o"},
            {"--entries", "N", "at most N entries (1 to 255, 200 unless given)"},
            {"--dialable", "", "make every number dialable, its separators removed"},
            {"--international-prefix", "DIGITS", "what a leading \"+\" becomes (00 unless given)"},
            {"--transliterate", "", "write names with the nearest letters the handset has"},
            {"--all-numbers", "", "an entry for every voice number, named \"Name (type)\""}},
           "quorvel-cli phonebook import contacts.csv -o contacts.phb --dialable",
           false,
           false}},
         Phonebook},
    };
}
