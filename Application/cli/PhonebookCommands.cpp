#include "cli/PhonebookCommands.h"

#include "cli/CliSession.h"
#include "lists/ContactsImport.h"
#include "lists/PhonebookFile.h"
#include "lists/PhonebookPp6.h"
#include "platform/Backups.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <cstdio>

namespace {

constexpr const char* Usage =
    "read [-o FILE.phb] | write FILE.phb --add|--replace | delete | "
    "restore-backup [FILE.phb] | import CONTACTS.csv|.vcf -o FILE.phb [--entries N] "
    "[--dialable [--international-prefix DIGITS]]";
constexpr int MostEntries = 255;
// Longer than any international prefix dialled anywhere.
constexpr size_t LongestInternationalPrefix = 6;

[[noreturn]] void UsageError() {
    throw TUsageError(std::string("usage: quorvel-cli phonebook ") + Usage);
}

struct TArgs {
    std::string file;
    std::string output;
    std::optional<TWriteMode> mode;
    int entries = TMainCore::StartPhonebookCount;
    bool dialable = false;
    std::optional<std::string> internationalPrefix;
};

std::string InternationalPrefix(const std::string& text) {
    if (text.empty() || text.size() > LongestInternationalPrefix ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw TUsageError("--international-prefix must be 1 to " +
                          std::to_string(LongestInternationalPrefix) + " digits, such as 00 or 011, not \"" +
                          text + "\"");
    return text;
}

TArgs ParseArgs(const std::vector<std::string>& args) {
    TArgs parsed;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" || arg == "--output") {
            if (++i == args.size())
                UsageError();
            parsed.output = args[i];
        } else if (arg == "--entries") {
            if (++i == args.size())
                UsageError();
            parsed.entries = int(ParseNumber(args[i], 1, MostEntries, "--entries"));
        } else if (arg == "--dialable") {
            parsed.dialable = true;
        } else if (arg == "--international-prefix") {
            if (++i == args.size())
                UsageError();
            parsed.internationalPrefix = InternationalPrefix(args[i]);
        } else if (arg == "--add" || arg == "--replace") {
            if (parsed.mode)
                UsageError();
            parsed.mode = arg == "--add" ? TWriteMode::Add : TWriteMode::Replace;
        } else if (!arg.empty() && arg[0] != '-' && parsed.file.empty()) {
            parsed.file = arg;
        } else {
            UsageError();
        }
    }
    return parsed;
}

void Save(const std::string& path, const TPP5Phonebook& book) {
    SavePhonebookFile(path, book);
    std::printf("%s\n", FormatText(Texts::FinishedSavingToFile, path.c_str()).c_str());
}

int Read(TCliSession& session, const TArgs& args) {
    if (!args.file.empty() || args.mode)
        UsageError();
    session.OpenPort();
    TPP5Phonebook& book = session.Core().Phonebook;
    TPhonebookTransfer transfer(session.Core(), session.User(), book);
    if (!transfer.LoadFromHandset())
        return 1;
    if (args.output.empty()) {
        const std::string text = PhonebookFileText(book);
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        Save(args.output, book);
    }
    return 0;
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
        std::fprintf(stderr, "line %d: %s\n", row, what);
    }
}

void ReportBackup(const TPhonebookTransfer& transfer) {
    if (!transfer.BackupPath().empty())
        std::fprintf(stderr, "The handset's earlier list is kept in %s.\n", transfer.BackupPath().c_str());
}

// Writes the file's lines to the handset; the copy kept of the list a replace deletes is of the kind.
int WriteFile(TCliSession& session, const std::string& path, TWriteMode mode, const char* backupKind) {
    // The whole file first, so that a file that cannot be read changes nothing in the handset.
    const std::string text = ReadFileBytes(path, PhonebookFileLimit);
    // Every line the table can hold; connecting cuts the table to the handset's capacity.
    TPP5Phonebook& book = session.Core().Phonebook;
    book.SetCount(uint8_t(MostEntries));
    book.Clear();
    TPhonebookFileReport report;
    const int lines = ParsePhonebookText(text, book, &report);
    for (const TPhonebookLineProblem& problem : report.Problems)
        std::fprintf(stderr, "%s\n", PhonebookLineProblemText(problem).c_str());
    // A number cut to what the handset stores would dial someone else.
    if (report.HasNumberTooLong())
        throw TCommandFailure(path + ": nothing was written to the handset.");
    session.OpenPort();
    session.User().PresetWriteMode = mode;
    TPhonebookTransfer transfer(session.Core(), session.User(), book);
    transfer.SetBackupKind(backupKind);
    const bool ok = transfer.SaveToHandset();
    ReportMarkedRows(session.User(), book);
    if (ok)
        ReportBackup(transfer);
    const bool cut = session.Core().PhoneBookCapacity > 0 && lines > book.Count();
    if (cut)
        std::fprintf(stderr,
                     "%s has more lines than the handset's %d phone book entries: lines from %d on are not "
                     "written.\n",
                     path.c_str(), book.Count(), book.Count() + 1);
    return ok && !cut ? 0 : 1;
}

int Write(TCliSession& session, const TArgs& args) {
    if (args.file.empty() || !args.mode || !args.output.empty())
        UsageError();
    return WriteFile(session, args.file, *args.mode, TPhonebookTransfer::BackupKind);
}

// Writes a kept copy back in replace mode: the newest one unless a file is named. The list it replaces
// is kept as well, under a kind of its own, so that a second restore still takes the same copy.
int RestoreBackup(TCliSession& session, const TArgs& args) {
    if (args.mode || !args.output.empty())
        UsageError();
    const std::string path = args.file.empty()
                                 ? NewestBackup(TPhonebookTransfer::BackupKind, Texts::PhoneBookExtension)
                                 : args.file;
    if (path.empty())
        throw TCommandFailure("there is no phone book backup in " + BackupFolder() + ".");
    std::fprintf(stderr, "Writing back %s.\n", path.c_str());
    const int status =
        WriteFile(session, path, TWriteMode::Replace, TPhonebookTransfer::BackupBeforeRestoreKind);
    if (status == 0)
        std::printf("Written back: %s\n", path.c_str());
    return status;
}

int Delete(TCliSession& session, const TArgs& args) {
    if (!args.file.empty() || args.mode || !args.output.empty())
        UsageError();
    session.OpenPort();
    TPhonebookTransfer transfer(session.Core(), session.User(), session.Core().Phonebook);
    const bool ok = transfer.DeleteInHandset();
    if (ok)
        ReportBackup(transfer);
    return ok ? 0 : 1;
}

int Import(const TArgs& args) {
    if (args.file.empty() || args.output.empty() || args.mode || (args.internationalPrefix && !args.dialable))
        UsageError();
    TPP5Phonebook book;
    book.SetCount(uint8_t(args.entries));
    TContactsImport import(book.Count());
    try {
        import.AddFile(args.file);
    } catch (const EContactsFileError& e) {
        throw TCommandFailure(std::string(Texts::CouldNotConnectToOutlook) + " " + e.what());
    }
    // Before the book keeps the numbers: it would take a "-" between digit groups for a pause.
    std::optional<int> madeDialable;
    if (args.dialable)
        madeDialable =
            import.MakeNumbersDialable(args.internationalPrefix.value_or(DefaultInternationalPrefix));
    import.FillPhonebook(book, {});
    Save(args.output, book);
    std::printf("%d contacts gave %d entries.\n", import.Contacts(), book.CountNumbers());
    for (const std::string& line : import.Report(madeDialable))
        std::printf("%s\n", line.c_str());
    if (const std::vector<int> unstorable = import.UnstorableEntries(); !madeDialable && !unstorable.empty())
        std::fprintf(
            stderr,
            "Numbers the handset cannot store as they are: %zu, the first in line %d. --dialable makes "
            "them dialable: a leading \"+\" becomes --international-prefix (%s unless given), and "
            "the blanks and ( ) / . - between the digits go.\n",
            unstorable.size(), unstorable.front() + 1, DefaultInternationalPrefix);
    return 0;
}

int Phonebook(const TGlobalOptions& options) {
    if (options.args.empty())
        UsageError();
    const std::string& what = options.args[0];
    const TArgs args = ParseArgs(options.args);
    if (what == "import")
        return Import(args);
    TCliSession session(options);
    if (what == "read")
        return Read(session, args);
    if (what == "write")
        return Write(session, args);
    if (what == "delete")
        return Delete(session, args);
    if (what == "restore-backup")
        return RestoreBackup(session, args);
    UsageError();
}

} // namespace

std::vector<TCommand> PhonebookCommands() {
    return {
        {"phonebook", "read|write|delete|restore-backup|import ...",
         "the handset's phone book and .phb files",
         std::string("usage: quorvel-cli phonebook ") + Usage +
             "\n\n"
             "read      reads the handset's phone book; the .phb text goes to stdout, or to FILE with -o.\n"
             "write     writes FILE to the handset, adding to its list (--add: numbers it holds are\n"
             "          skipped) or replacing it (--replace: its list is deleted first; asks, or --yes).\n"
             "delete    deletes the handset's phone book (asks, or --yes).\n"
             "          Before a replace or delete the handset's list is kept in a dated .phb file in the\n"
             "          backups folder of the per-user folder.\n"
             "restore-backup writes the newest of those copies (or FILE) back in replace mode (asks, or\n"
             "          --yes); the list it replaces is kept too.\n"
             "import    turns an Outlook CSV export or a vCard file into a .phb file, one entry per\n"
             "          telephone number (business, home, primary, mobile), at most N entries (200).\n"
             "          --dialable makes numbers the handset cannot store dialable: a leading \"+\" becomes\n"
             "          the international prefix (--international-prefix, 00 unless given), and the blanks\n"
             "          and ( ) / . - between the digits go. Numbers the handset stores as they are, pauses\n"
             "          included, stay as they are.\n"
             "Exit status 1 when the handset or a file failed; 2 for a wrong call.",
         Phonebook},
    };
}
