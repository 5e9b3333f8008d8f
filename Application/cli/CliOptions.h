#pragma once

#include "cli/FormArgs.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A mistake in how the tool was called: the message is printed and the tool exits with status 2.
class TUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure while doing the work: the message is printed and the tool exits with status 1.
class TCommandFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A stop asked for (Ctrl-C, SIGTERM) ended the command before it changed anything: the tool says so and
// exits with status 5, with no failure told.
class TCommandStopped : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An input that cannot be used (a file the handset cannot take, a malformed mail): nothing was sent, and
// the tool exits with status 2.
class TInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TGlobalOptions {
    std::optional<std::string> port;   // --port COMn | n | /dev/path, several split by commas, or "all"
    std::optional<std::string> record; // --record FILE
    std::optional<std::string> report; // --report FILE (a station)
    // --expect-serial SERIAL: the serial number text the handset must have ("00291 0284280")
    std::optional<std::string> expectSerial;
    bool yes = false;
    bool help = false;
    bool version = false;
    bool json = false;
    // --dry-run: a write shows its plan (what it would add, remove and change) and changes nothing.
    bool dryRun = false;
    bool verbose = false;
    // --quiet: stderr carries errors only; what a failed command said comes with its error.
    bool quiet = false;
    std::string command;
    std::vector<std::string> args; // the command's own arguments, options included
    // The same arguments read through the options of the form they call; set before the command runs.
    TFormArgs form;
};

// Global options may stand before or after the command.
TGlobalOptions ParseGlobalOptions(int argc, char** argv);

// A serial number as a person may type it ("00291 0284280", "00291-0284280", "002910284280") in the
// form the handset shows it; nothing for a text that is no serial number.
std::optional<std::string> SerialNumberArgument(const std::string& text);

// Decimal or 0x-hexadecimal, within [min, max]; what names the value in messages.
long ParseNumber(const std::string& text, long min, long max, const std::string& what);

// The COM number for --port: "COM3", "3" or a device path (given a number of its own when the device
// map has none). Without --port, the "Device No" stored in the program ini.
int ResolvePort(const std::optional<std::string>& port);
