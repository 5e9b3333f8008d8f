#include "cli/CliOptions.h"

#include "platform/DeviceMap.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>

TGlobalOptions ParseGlobalOptions(int argc, char** argv) {
    TGlobalOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" || arg == "-p") {
            if (i + 1 >= argc)
                throw TUsageError("--port needs a value: COMn, a port number or a device path");
            options.port = argv[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            options.port = arg.substr(7);
        } else if (arg == "--record") {
            if (i + 1 >= argc)
                throw TUsageError("--record needs a value: the file to record the conversation in");
            options.record = argv[++i];
        } else if (arg.rfind("--record=", 0) == 0) {
            options.record = arg.substr(9);
        } else if (arg == "--report" || arg.rfind("--report=", 0) == 0) {
            if (arg == "--report" && i + 1 >= argc)
                throw TUsageError("--report needs a value: the station's report, FILE.csv or FILE.json");
            options.report = arg == "--report" ? argv[++i] : arg.substr(9);
        } else if (arg == "--expect-serial" || arg.rfind("--expect-serial=", 0) == 0) {
            if (arg == "--expect-serial" && i + 1 >= argc)
                throw TUsageError("--expect-serial needs a value: the handset's serial number");
            const std::string value = arg == "--expect-serial" ? argv[++i] : arg.substr(16);
            options.expectSerial = SerialNumberArgument(value);
            if (!options.expectSerial)
                throw TUsageError("--expect-serial: \"" + value +
                                  "\" is no serial number (five and seven digits, as \"00291 0284280\")");
        } else if (arg == "--yes" || arg == "-y") {
            options.yes = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (options.command.empty() && !arg.empty() && arg[0] != '-') {
            options.command = arg;
        } else {
            options.args.push_back(arg);
        }
    }
    return options;
}

std::optional<std::string> SerialNumberArgument(const std::string& text) {
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            digits += c;
        else if (c != ' ' && c != '-')
            return std::nullopt;
    }
    if (digits.size() != 12)
        return std::nullopt;
    return digits.substr(0, 5) + " " + digits.substr(5);
}

long ParseNumber(const std::string& text, long min, long max, const std::string& what) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() ||
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        throw TUsageError(what + " must be a decimal or 0x hexadecimal number, not \"" + text + "\"");
    errno = 0;
    const long value = std::strtol(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno == ERANGE || value < min || value > max)
        throw TUsageError(what + " must lie between " + std::to_string(min) + " and " + std::to_string(max) +
                          ", not " + text);
    return value;
}

int ResolvePort(const std::optional<std::string>& port) {
    if (!port) {
        const TIniFile ini(ProgramIniPath());
        const int n = ini.ReadInteger("Serial Port", "Device No", 1);
        if (n < 1 || n > DeviceMap::MaxPortNumber)
            throw TUsageError("the stored \"Device No\" " + std::to_string(n) +
                              " is no port number; use --port");
        return n;
    }
    const std::string& text = *port;
    if (!text.empty() && text.find('/') != std::string::npos) {
        const int n = DeviceMap::NumberForDevice(text);
        if (n == 0)
            throw TUsageError("no free port number is left for " + text);
        return n;
    }
    std::string digits = text;
    if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0))
        digits = digits.substr(3);
    return int(ParseNumber(digits, 1, DeviceMap::MaxPortNumber, "the port"));
}
