#include "cli/SimCommands.h"

#include "cli/CliSession.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/RecordsCommands.h"
#include "cli/Summary.h"
#include "cli/TerminalUser.h"
#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "platform/Paths.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "vsim/SerialNumber.h"
#include "vsim/SimRecords.h"
#include "vsim/SimTransfer.h"
#include "vsim/VirtualSimXml.h"
#include "xml/DynamicByteBuffer.h"

#include <QFileInfo>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

[[noreturn]] void UsageError() {
    RefuseCall("sim-list");
}

std::string Hex4(unsigned address) {
    return FormatText("%04X", address);
}

// The marked addresses as ranges: "0040-0044, 0100".
std::string Ranges(const std::function<bool(uint16_t)>& marked) {
    std::string text;
    for (unsigned a = 0; a < unsigned(TSimValues::AddressCount); ++a) {
        if (!marked(uint16_t(a)))
            continue;
        unsigned last = a;
        while (last + 1 < unsigned(TSimValues::AddressCount) && marked(uint16_t(last + 1)))
            ++last;
        text += (text.empty() ? "" : ", ") + Hex4(a) + (last > a ? "-" + Hex4(last) : "");
        a = last;
    }
    return text;
}

struct TArgs {
    std::string file;
    std::string software;
    std::string pcs;
    std::optional<std::string> filePcs;
};

// A PCS of two characters is read as the handset's answer is: "6Q" is "06Q".
std::string HandsetPcs(const std::string& pcs) {
    return pcs.size() == 2 ? "0" + pcs : pcs;
}

TArgs ParseArgs(const TFormArgs& form) {
    TArgs parsed;
    parsed.software = form.Value("--software").value_or("");
    if (const std::optional<std::string> pcs = form.Value("--pcs"))
        parsed.pcs = HandsetPcs(*pcs);
    parsed.filePcs = form.Value("--file-pcs");
    if (parsed.software.empty() || parsed.pcs.empty() || form.Operands().size() > 1)
        UsageError();
    parsed.file = form.Operands().empty() ? ProgramDir() + "sim_list/VSIMLIST.xml" : form.Operands().front();
    return parsed;
}

int SimList(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.form);
    QJsonObject json;
    try {
        // Version and date first, as the program shows them at start, also when no entry applies.
        const TVirtualSimXml info(args.file);
        json["version"] = JsonText(info.Version);
        json["date"] = JsonText(info.Date);
        if (!options.json)
            std::printf("Version: %s\nDate: %s\n", PrintableText(info.Version).c_str(),
                        PrintableText(info.Date).c_str());
        // The window hides its SIM tab for a list of another major version; the command goes no further.
        if (TVirtualSimXml::MajorVersion(info.Version) != "2")
            throw TInputError(
                args.file + ": " +
                FormatText(Texts::SimInterpreterVersion, PrintableText(info.Version).c_str(), "2"));
        TVirtualSimXml list(args.file, args.software, args.pcs);
        const std::string software = list.ItemToUse->Parent()->Params().Values("name");
        const std::string pcs = list.ItemToUse->Params().Values("name");
        const std::string protect = Ranges([&](uint16_t a) { return list.IsProtected(a); });
        const std::string deleted = Ranges([&](uint16_t a) { return list.IsDeleted(a); });
        if (options.json) {
            json["entry"] = QJsonObject{{"software", JsonText(software)}, {"pcs", JsonText(pcs)}};
            json["lastEntry"] = JsonText(Hex4(list.LastEntry));
            json["protect"] = JsonText(protect);
            json["delete"] = JsonText(deleted);
            if (args.filePcs)
                json["compatible"] = list.IsCompatible(args.software, args.pcs, *args.filePcs);
            AddJson(json);
            return Exit::Done;
        }
        std::printf("Entry: software %s, pcs %s\n", PrintableText(software).c_str(),
                    PrintableText(pcs).c_str());
        std::printf("Last entry: %s\n", Hex4(list.LastEntry).c_str());
        std::printf("Protect: %s\n", protect.c_str());
        std::printf("Delete: %s\n", deleted.c_str());
        if (args.filePcs)
            std::printf("Compatible: %s\n",
                        list.IsCompatible(args.software, args.pcs, *args.filePcs) ? "yes" : "no");
    } catch (const TInputError&) {
        throw;
    } catch (const ESimSoftware& e) {
        throw TInputError(std::string(e.what()) + " (software " + args.software + ", PCS " + args.pcs + ")");
    } catch (const ESimList& e) {
        throw TInputError(args.file + ": " + e.what());
    } catch (const ENumberConvertingError& e) {
        throw TInputError(args.file + ": an address is not hexadecimal: " + PrintableText(e.what()));
    } catch (const std::exception& e) {
        throw TInputError(args.file + " cannot be read: " + PrintableText(e.what()));
    }
    return Exit::Done;
}

// ---- the SIM move ----

std::string ListPath() {
    return ProgramDir() + "sim_list/VSIMLIST.xml";
}

[[noreturn]] void StoreProblem(const std::exception& e) {
    throw TCommandFailure(FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()));
}

// Records moved in from the old store may lack the file's SHA-256 until their next move.
constexpr const char* OnlyByteSum =
    "Its record holds no SHA-256 (it came from an earlier version): only the byte sum guards the file "
    "against changes until its next move.";

QJsonObject StepJson(const TStepAuthor& author) {
    return {
        {"user", JsonPath(author.User)}, {"host", JsonPath(author.Host)}, {"time", JsonPath(author.Time)}};
}

std::string LastStepLine(const TStepAuthor& author) {
    if (author == TStepAuthor{})
        return {};
    return "  last step by " + PrintableText(author.User) + " on " + PrintableText(author.Host) + " at " +
           PrintableText(author.Time) + "\n";
}

int Records(bool json) {
    const std::unique_ptr<TRecordEngine> store = OpenSimRecords();
    TSimRecords records(*store);
    std::vector<TSimRecord> list;
    try {
        list = records.Records();
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    QJsonArray sims;
    for (const TSimRecord& r : list) {
        const std::string advice = SimRecordAdvice(r);
        if (json) {
            QJsonObject sim{{"serial", JsonText(r.SerialNumber)}, {"lastStep", StepJson(r.LastStep)}};
            if (!r.Problem.empty()) {
                sim["problem"] = JsonText(r.Problem);
            } else {
                sim["software"] = JsonText(r.Software);
                sim["pcs"] = JsonText(r.Pcs);
                sim["crc"] = JsonText(FormatText("%08X", r.Crc.value_or(0)));
                sim["state"] = SimStateName(r.Journal);
                sim["file"] = JsonPath(r.Journal.File);
                sim["saved"] = JsonText(r.Saved);
                sim["next"] = JsonText(advice);
                sim["sha256"] = JsonText(r.Sha256);
                if (!r.Retired.empty())
                    sim["retired"] = JsonText(r.Retired);
                if (!r.CopyOf.empty())
                    sim["copyOf"] = JsonPath(r.CopyOf);
                if (!r.Journal.Released.empty())
                    sim["released"] = JsonText(r.Journal.Released);
            }
            sims.append(sim);
        } else if (!r.Problem.empty()) {
            std::printf("%s  cannot be used: %s\n%s", PrintableText(r.SerialNumber).c_str(),
                        PrintableText(r.Problem).c_str(), LastStepLine(r.LastStep).c_str());
        } else {
            std::printf("%s  software %s  pcs %s  crc %08X  %s  %s  %s\n  %s\n%s",
                        PrintableText(r.SerialNumber).c_str(), PrintableText(r.Software).c_str(),
                        PrintableText(r.Pcs).c_str(), r.Crc.value_or(0), SimStateName(r.Journal),
                        PrintableText(r.Journal.File).c_str(), PrintableText(r.Saved).c_str(),
                        PrintableText(advice).c_str(), LastStepLine(r.LastStep).c_str());
            if (r.Sha256.empty())
                std::printf("  %s\n", OnlyByteSum);
        }
    }
    if (json)
        AddJson({{"sims", sims}, {"store", JsonPath(store->Where())}});
    else
        PrintMessage(Counted(long(list.size()), "SIM", "SIMs") + " in files, recorded in " + store->Where());
    return Exit::Done;
}

// The serial number "sim history" is asked about: that of the SIM in a file, else one typed as the
// label shows it.
std::string HistorySerial(const std::string& argument) {
    if (QFileInfo(QString::fromLocal8Bit(argument.c_str())).isFile()) {
        TDynamicByteBuffer image;
        try {
            image = ReadSimFile(argument);
        } catch (const std::exception& e) {
            throw TInputError(std::string(Texts::SimFileNotOpened) + " " + PrintableText(e.what()));
        }
        const std::optional<std::string> serial = SerialNumberFromImage(image.Data());
        if (!serial)
            throw TInputError(argument + ": " + Texts::SimFileCorrupted);
        return *serial;
    }
    if (const std::optional<std::string> serial = SerialNumberArgument(argument))
        return *serial;
    throw TInputError("\"" + argument +
                      "\" is neither a SIM file nor a serial number (five and seven digits, as \"00291 "
                      "0284280\")");
}

// The steps of the moves of one SIM, or of every SIM, oldest first.
int History(const std::vector<std::string>& args) {
    const std::string serial = args.size() == 2 ? HistorySerial(args[1]) : std::string();
    const std::unique_ptr<TRecordEngine> store = OpenSimRecords();
    std::vector<TSimStep> steps;
    try {
        steps = store->Steps(serial);
    } catch (const EStoreError& e) {
        StoreProblem(e);
    }
    QJsonArray list;
    for (const TSimStep& step : steps) {
        QJsonObject row = StepJson(step.Author);
        row["serial"] = JsonText(step.SerialNumber);
        row["step"] = JsonText(step.Step);
        row["state"] = JsonText(step.State);
        row["file"] = JsonPath(step.File);
        list.append(row);
        const auto shown = [](const std::string& text) { return text.empty() ? "-" : PrintableText(text); };
        PrintResult(shown(step.Author.Time) + "  " + shown(step.Author.User) + "  " +
                    shown(step.Author.Host) + "  " + shown(step.SerialNumber) + "  " + shown(step.Step) +
                    "  " + shown(step.State) + "  " + shown(step.File));
    }
    AddJson({{"steps", list}, {"store", JsonPath(store->Where())}});
    PrintMessage(Counted(long(steps.size()), "step", "steps") +
                 (serial.empty() ? std::string() : " of the SIM " + serial) + " in " + store->Where());
    return Exit::Done;
}

// The serial number of the SIM in the file, when the file is the one its record names.
std::string RecordedSerial(const std::string& file, TSimRecords& records) {
    TDynamicByteBuffer image;
    try {
        image = ReadSimFile(file);
    } catch (const std::exception& e) {
        throw TInputError(std::string(Texts::SimFileNotOpened) + " " + PrintableText(e.what()));
    }
    const std::optional<std::string> serial = SerialNumberFromImage(image.Data());
    if (!serial)
        throw TInputError(file + ": " + Texts::SimFileCorrupted);
    const std::string refusal =
        records.Refusal(*serial, ImageChecksum(image.Data()), ImageSha256(image.Data()));
    if (!refusal.empty())
        throw TInputError(file + ": SIM " + *serial + ": " + Texts::SimFileNotValid + " " + refusal);
    return *serial;
}

// Whether the file would be taken by "sim restore", without a handset; else what finishes its move.
int Check(const std::string& file) {
    const std::unique_ptr<TRecordEngine> store = OpenSimRecords();
    TSimRecords records(*store);
    try {
        const std::string serial = RecordedSerial(file, records);
        const TSimJournal journal = records.Journal(serial);
        if (!journal.State.empty())
            throw TInputError(file + ": SIM " + serial + ": " + SimMoveAdvice(serial, journal));
        const std::string software = records.RegistrySoftware(serial);
        const std::string pcs = records.RegistryPcs(serial);
        AddJson({{"file", JsonPath(file)},
                 {"serial", JsonText(serial)},
                 {"software", JsonText(software)},
                 {"pcs", JsonText(pcs)},
                 {"accepted", true}});
        PrintResult(file + ": SIM " + serial + ", from software " + PrintableText(software) + ", PCS " +
                    PrintableText(pcs) + ": accepted");
        if (!journal.Mark.empty())
            PrintMessage(SimMoveAdvice(serial, journal));
        if (store->Find(serial) && store->Find(serial)->Sha256.empty())
            PrintMessage(OnlyByteSum);
    } catch (const EStoreError& e) {
        StoreProblem(e);
    } catch (const ESimRecordError& e) {
        StoreProblem(e);
    }
    return Exit::Done;
}

// Lets "sim restore" take the file of a move that did not finish, once the person has confirmed that the
// handset it was moving out of or into is lost or erased.
int Release(const TGlobalOptions& options, const std::string& file) {
    const std::unique_ptr<TRecordEngine> store = OpenSimRecords();
    TSimRecords records(*store);
    TTerminalUser user(options.yes);
    try {
        const std::string serial = RecordedSerial(file, records);
        if (records.Journal(serial).State.empty())
            throw TInputError(file + ": " + FormatText(Texts::SimNothingToRelease, serial.c_str()));
        return ReleaseUnfinishedMove(user, records, serial) ? Exit::Done : Exit::Failed;
    } catch (const EStoreError& e) {
        StoreProblem(e);
    } catch (const ESimRecordError& e) {
        StoreProblem(e);
    }
}

int Move(const TGlobalOptions& options, bool toFile, const std::string& file) {
    // The records first: a move whose steps cannot be kept must not begin, so a store that is away ends
    // the command before the port is opened.
    const std::unique_ptr<TRecordEngine> store = OpenSimRecords();
    TSimRecords records(*store);
    TCliSession session(options);
    session.OpenPort();
    session.User().Given.fileName = file;
    TSimTransfer transfer(session.Core(), session.User(), records, ListPath());
    if (!(toFile ? transfer.SimToFile() : transfer.FileToSim())) {
        // Stopped while the handset was only read: the SIM is where it was, and no file was written.
        if (StopRequested() && (!transfer.Code || transfer.Code == TSimResult::Stopped))
            throw TCommandStopped(Texts::StoppedAsAsked);
        return Exit::Failed;
    }
    AddJson({{"simSerial", JsonText(transfer.SerialNumberText)}});
    if (toFile) {
        AddJson({{"file", JsonPath(transfer.WrittenFile)}});
        PrintResult("Written: " + transfer.WrittenFile);
    }
    PrintResult("Serial number: " + transfer.SerialNumberText);
    // The SIM is in its file, but the move is not over until its handset is wholly erased: ended part-way.
    AddJson({{"pending", transfer.Pending}});
    return transfer.Pending ? Exit::Failed : Exit::Done;
}

int Sim(const TGlobalOptions& options) {
    const std::vector<std::string>& args = options.args;
    const auto usage = [] { RefuseCall("sim"); };
    if (args.size() == 1 && args[0] == "records")
        return Records(options.json);
    if (!args.empty() && args[0] == "history" && args.size() <= 2 &&
        (args.size() == 1 || (!args[1].empty() && args[1][0] != '-')))
        return History(args);
    if (args.size() != 2 || args[1].empty() || args[1][0] == '-')
        usage();
    if (args[0] == "save")
        return Move(options, true, args[1]);
    if (args[0] == "restore")
        return Move(options, false, args[1]);
    if (args[0] == "check")
        return Check(args[1]);
    if (args[0] == "release")
        return Release(options, args[1]);
    usage();
    return Exit::WrongCall;
}

} // namespace

std::vector<TCommand> SimCommands() {
    return {
        {"sim-list",
         {{"",
           "[FILE] --software HEX8 --pcs PCS [--file-pcs PCS]",
           "what the SIM interpreter list says of a handset",
           "Reads the SIM interpreter list (FILE, else sim_list/VSIMLIST.xml in the program folder) as a "
           "SIM\n"
           "transfer does and prints its version and date, the entry that applies to the handset software\n"
           "HEX8 and PCS (after every \"use\" redirection; a PCS of two characters such as 6Q is read as "
           "the\n"
           "handset reports it, 06Q), the last SIM address, the protected and the deleted addresses; with\n"
           "--file-pcs also whether a SIM file from a handset with that PCS may be written into this one.\n"
           "No handset is needed. Exit status 2 when no entry applies or the list cannot be read.\n",
           {{"--software", "HEX8", "the handset's software part number, 8 hex digits"},
            {"--pcs", "PCS", "the handset's PCS"},
            {"--file-pcs", "PCS", "the PCS of the handset a SIM file came from"}},
           "quorvel-cli sim-list --software 62018400 --pcs 6Q --json",
           false,
           false}},
         SimList},
        {"sim",
         {{"save",
           "FILE.sim",
           "move the SIM out of the handset into a file",
           "Moves the SIM out of the handset into FILE_<serial number>.sim beside FILE; the handset does "
           "not\n"
           "work without it afterwards (asks, or --yes). Prints the file written and the serial number. A\n"
           "move cut short is finished or undone by the next save on the handset concerned; a SIM in its "
           "file\n"
           "whose handset's erase was not confirmed ends with 1 and \"pending\", until that save.\n",
           {},
           "quorvel-cli --yes sim save /media/sims/desk.sim",
           true},
          {"restore",
           "FILE.sim",
           "move the SIM in a file into the handset",
           "Moves the SIM in FILE into the handset and deletes the file (asks, or --yes). Prints the serial\n"
           "number to put on the handset's label.\n",
           {},
           "quorvel-cli --yes sim restore \"/media/sims/desk_00291 0284280.sim\"",
           true},
          {"records",
           "",
           "list the SIMs that sit in files",
           "Lists the SIMs that sit in files: serial number, software, PCS, checksum, how far the move is,\n"
           "file, when it was saved, the step that takes it on, and who took its last step on which PC and\n"
           "when; then where the records are kept (the SQLite file, or the PostgreSQL server and database).\n"
           "No handset is needed.\n",
           {},
           "quorvel-cli sim records --json",
           false,
           false},
          {"check",
           "FILE.sim",
           "tell whether restore would take a file",
           "Tells whether FILE would be taken by restore, and if not, what finishes its move; no handset\n"
           "is needed.\n",
           {},
           "quorvel-cli sim check \"desk_00291 0284280.sim\"",
           false,
           false},
          {"release",
           "FILE.sim",
           "let restore take the file of a move that did not finish",
           "Releases the unfinished move of the SIM in FILE, so that restore takes the file into any\n"
           "handset. The handset the move was going out of or into may hold the SIM: release only when\n"
           "that handset is lost or was erased (asks, or --yes). The release is kept in the SIM's record.\n"
           "No handset is needed.\n",
           {},
           "quorvel-cli --yes sim release \"desk_00291 0284280.sim\"",
           false,
           false},
          {"history",
           "[FILE.sim|SERIAL]",
           "the steps of SIM moves, who took them, where and when",
           "Prints the steps the records keep of the moves of the SIM in FILE, or of the SIM with the "
           "serial\n"
           "number SERIAL (\"00291 0284280\"), or of every SIM without either, oldest first, one line\n"
           "each: time, user, PC, serial number, step (saved, moving-out, in-file, erased, moving-in, "
           "released,\n"
           "removed, imported), the state it left (\"-\" for none) and the file. No handset is\n"
           "needed.\n",
           {},
           "quorvel-cli sim history \"00291 0284280\"",
           false,
           false}},
         Sim},
    };
}
