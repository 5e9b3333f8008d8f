#include "cli/SimCommands.h"

#include "link/NumberConverting.h"
#include "platform/Paths.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFormat.h"
#include "vsim/VirtualSimXml.h"

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
    };
}
