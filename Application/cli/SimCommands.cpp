#include "cli/SimCommands.h"

#include "cli/CliSession.h"
#include "link/NumberConverting.h"
#include "platform/Paths.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/Registry.h"
#include "platform/TextFormat.h"
#include "vsim/SerialNumber.h"
#include "vsim/SimRecords.h"
#include "vsim/SimTransfer.h"
#include "vsim/VirtualSimXml.h"
#include "xml/DynamicByteBuffer.h"

#include <cstdio>
#include <functional>

namespace {

constexpr const char* Usage = "sim-list [FILE] --software HEX8 --pcs PCS [--file-pcs PCS]";

[[noreturn]] void UsageError() {
    throw TUsageError(std::string("usage: quorvel-cli ") + Usage);
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

TArgs ParseArgs(const std::vector<std::string>& args) {
    TArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string& {
            if (++i == args.size())
                UsageError();
            return args[i];
        };
        if (arg == "--software")
            parsed.software = value();
        else if (arg == "--pcs")
            parsed.pcs = value();
        else if (arg == "--file-pcs")
            parsed.filePcs = value();
        else if (!arg.empty() && arg[0] != '-' && parsed.file.empty())
            parsed.file = arg;
        else
            UsageError();
    }
    if (parsed.software.empty() || parsed.pcs.empty())
        UsageError();
    if (parsed.file.empty())
        parsed.file = ProgramDir() + "sim_list/VSIMLIST.xml";
    return parsed;
}

int SimList(const TGlobalOptions& options) {
    const TArgs args = ParseArgs(options.args);
    try {
        // Version and date first, as the program shows them at start, also when no entry applies.
        const TVirtualSimXml info(args.file);
        std::printf("Version: %s\nDate: %s\n", PrintableText(info.Version).c_str(),
                    PrintableText(info.Date).c_str());
        // The window hides its SIM tab for a list of another major version; the command goes no further.
        if (TVirtualSimXml::MajorVersion(info.Version) != "2")
            throw TCommandFailure(
                args.file + ": " +
                FormatText(Texts::SimInterpreterVersion, PrintableText(info.Version).c_str(), "2"));
        TVirtualSimXml list(args.file, args.software, args.pcs);
        std::printf("Entry: software %s, pcs %s\n",
                    PrintableText(list.ItemToUse->Parent()->Params().Values("name")).c_str(),
                    PrintableText(list.ItemToUse->Params().Values("name")).c_str());
        std::printf("Last entry: %s\n", Hex4(list.LastEntry).c_str());
        std::printf("Protect: %s\n", Ranges([&](uint16_t a) { return list.IsProtected(a); }).c_str());
        std::printf("Delete: %s\n", Ranges([&](uint16_t a) { return list.IsDeleted(a); }).c_str());
        if (args.filePcs)
            std::printf("Compatible: %s\n",
                        list.IsCompatible(args.software, args.pcs, *args.filePcs) ? "yes" : "no");
    } catch (const TCommandFailure&) {
        throw;
    } catch (const ESimSoftware& e) {
        throw TCommandFailure(e.what());
    } catch (const ESimList& e) {
        throw TCommandFailure(args.file + ": " + e.what());
    } catch (const ENumberConvertingError& e) {
        throw TCommandFailure(args.file + ": an address is not hexadecimal: " + PrintableText(e.what()));
    } catch (const std::exception& e) {
        throw TCommandFailure(args.file + " cannot be read: " + PrintableText(e.what()));
    }
    return 0;
}

// ---- the SIM move ----

constexpr const char* SimUsage = "sim save FILE.sim | restore FILE.sim | records | check FILE.sim";

std::string ListPath() {
    return ProgramDir() + "sim_list/VSIMLIST.xml";
}

const char* StateName(const std::string& state) {
    if (state == SimMoveState::MovingOut)
        return "moving out (not finished)";
    if (state == SimMoveState::MovingIn)
        return "moving in (not finished)";
    return "in its file";
}

int Records() {
    TRegistry store;
    TSimRecords records(store);
    std::vector<TSimRecord> list;
    try {
        list = records.Records();
    } catch (const EStoreError& e) {
        throw TCommandFailure(FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()));
    }
    for (const TSimRecord& r : list) {
        if (!r.Problem.empty()) {
            std::printf("%s  cannot be used: %s\n", r.SerialNumber.c_str(), PrintableText(r.Problem).c_str());
            continue;
        }
        std::printf("%s  software %s  pcs %s  crc %08X  %s  %s\n", r.SerialNumber.c_str(),
                    PrintableText(r.Software).c_str(), PrintableText(r.Pcs).c_str(), r.Crc.value_or(0),
                    StateName(r.State), PrintableText(r.File).c_str());
    }
    std::fprintf(stderr, "%zu SIM%s in files, recorded in %s\n", list.size(), list.size() == 1 ? "" : "s",
                 store.FilePath().c_str());
    return 0;
}

// Whether the file would be taken by "sim restore", without a handset.
int Check(const std::string& file) {
    TDynamicByteBuffer image;
    try {
        image.LoadFromFile(file);
    } catch (const std::exception& e) {
        throw TCommandFailure(std::string(Texts::SimFileNotOpened) + " " + PrintableText(e.what()));
    }
    const std::optional<std::string> serial = SerialNumberFromImage(image.Data());
    if (!serial)
        throw TCommandFailure(file + ": " + Texts::SimFileCorrupted);
    TRegistry store;
    TSimRecords records(store);
    try {
        if (!records.RegistryCrcMatches(*serial, ImageChecksum(image.Data()), ImageSha256(image.Data())))
            throw TCommandFailure(file + ": SIM " + *serial + ": " + Texts::SimFileNotValid);
        const std::string state = records.RegistryState(*serial);
        if (!state.empty())
            throw TCommandFailure(file + ": SIM " + *serial + ": " +
                                  FormatText(Texts::SimMoveOutUnfinished, serial->c_str()));
        std::printf("%s: SIM %s, from software %s, PCS %s: accepted\n", file.c_str(), serial->c_str(),
                    PrintableText(records.RegistrySoftware(*serial)).c_str(),
                    PrintableText(records.RegistryPcs(*serial)).c_str());
    } catch (const EStoreError& e) {
        throw TCommandFailure(FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()));
    } catch (const ESimRecordError& e) {
        throw TCommandFailure(FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()));
    }
    return 0;
}

int Move(const TGlobalOptions& options, bool toFile, const std::string& file) {
    TCliSession session(options);
    session.OpenPort();
    session.User().PresetFileName = file;
    TRegistry store;
    TSimRecords records(store);
    TSimTransfer transfer(session.Core(), session.User(), records, ListPath());
    if (!(toFile ? transfer.SimToFile() : transfer.FileToSim()))
        return 1;
    if (toFile)
        std::printf("Written: %s\n", transfer.WrittenFile.c_str());
    std::printf("Serial number: %s\n", transfer.SerialNumberText.c_str());
    return 0;
}

int Sim(const TGlobalOptions& options) {
    const std::vector<std::string>& args = options.args;
    const auto usage = [] { throw TUsageError(std::string("usage: quorvel-cli ") + SimUsage); };
    if (args.size() == 1 && args[0] == "records")
        return Records();
    if (args.size() != 2 || args[1].empty() || args[1][0] == '-')
        usage();
    if (args[0] == "save")
        return Move(options, true, args[1]);
    if (args[0] == "restore")
        return Move(options, false, args[1]);
    if (args[0] == "check")
        return Check(args[1]);
    usage();
    return 2;
}

} // namespace

std::vector<TCommand> SimCommands() {
    return {
        {"sim-list", "[FILE] --software HEX8 --pcs PCS [--file-pcs PCS]",
         "what the SIM interpreter list says about a handset",
         std::string("usage: quorvel-cli ") + Usage +
             "\n\n"
             "Reads the SIM interpreter list (FILE, else sim_list/VSIMLIST.xml in the program folder) as a\n"
             "SIM transfer does and prints its version and date, the entry that applies to the handset\n"
             "software HEX8 and PCS (after every \"use\" redirection), the last SIM address, the protected\n"
             "and the deleted addresses; with --file-pcs also whether a SIM file from a handset with that\n"
             "PCS may be written into this one. No handset is needed.\n"
             "Exit status 0 when an entry applies, 1 when none does or the list cannot be read.",
         SimList},
        {"sim", "save|restore|records|check ...", "move a handset's SIM into a file and into a handset",
         std::string("usage: quorvel-cli ") + SimUsage +
             "\n\n"
             "save      moves the SIM out of the handset into FILE_<serial number>.sim beside FILE; the\n"
             "          handset does not work without it afterwards (asks, or --yes). Prints the file "
             "written\n"
             "          and the serial number.\n"
             "restore   moves the SIM in FILE into the handset and deletes the file (asks, or --yes). "
             "Prints\n"
             "          the serial number to put on the handset's label.\n"
             "records   lists the SIMs that sit in files: serial number, software, PCS, checksum, how far\n"
             "          the move is, file.\n"
             "check     tells whether FILE would be taken by restore; no handset is needed.\n"
             "A move cut short is finished or undone by the next save or restore on the handset concerned.\n"
             "Exit status 1 when the handset, the file or the records failed; 2 for a wrong call.",
         Sim},
    };
}
