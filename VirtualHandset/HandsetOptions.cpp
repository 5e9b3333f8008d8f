#include "HandsetOptions.h"

#include "HandsetPhonebook.h"
#include "link/NumberConverting.h"

#include <charconv>
#include <functional>
#include <utility>

namespace {

constexpr unsigned kMaxBaud = 4'000'000;
constexpr unsigned kMaxAnswerDelayMs = 600'000;
// An adapter's latency timer is set in whole milliseconds up to 255.
constexpr unsigned kMaxAdapterLatencyMs = 255;

std::optional<unsigned long> ParseNumber(const std::string& text, int base) {
    unsigned long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

unsigned Number(const std::string& option, const std::string& text, unsigned min, unsigned max) {
    const auto value = ParseNumber(text, 10);
    if (!value || *value < min || *value > max)
        throw EOptionError(option + ": expected a number from " + std::to_string(min) + " to " +
                           std::to_string(max) + ", not \"" + text + "\"");
    return static_cast<unsigned>(*value);
}

uint8_t Byte(const std::string& option, const std::string& text) {
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const auto value = ParseNumber(hex ? text.substr(2) : text, hex ? 16 : 10);
    if (!value || *value > 0xFF)
        throw EOptionError(option + ": expected a byte, 0 to 255 or 0x00 to 0xFF, not \"" + text + "\"");
    return static_cast<uint8_t>(*value);
}

std::array<uint8_t, 4> Software(const std::string& text) {
    if (text.size() != 8 || !IsHexText(text, false))
        throw EOptionError("--software: expected 8 hex digits, not \"" + text + "\"");
    std::array<uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = Hex2Dec(text.substr(2 * i, 2));
    return bytes;
}

// "3", or "3,5", adding to what earlier uses of the option gave.
void FrameNumbers(const std::string& option, const std::string& text, std::set<unsigned>& numbers) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        numbers.insert(Number(option, text.substr(start, comma - start), 1, 1'000'000'000));
        if (comma == std::string::npos)
            return;
        start = comma + 1;
    }
}

// "0D07" or "0D07:2": the mail's leading bytes in hex, and which of those mails (from 1).
TMailFault MailFault(TMailFault::TKind kind, const std::string& option, const std::string& text) {
    const std::size_t colon = text.find(':');
    const std::string hex = text.substr(0, colon);
    if (hex.empty() || hex.size() % 2 != 0 || !IsHexText(hex, false))
        throw EOptionError(option + ": expected the mail's first bytes as hex digits, such as 0D07, not \"" +
                           text + "\"");
    TMailFault fault{kind, {}, 1};
    for (std::size_t i = 0; i < hex.size(); i += 2)
        fault.Leading.push_back(Hex2Dec(hex.substr(i, 2)));
    if (colon != std::string::npos) {
        std::string nth = text.substr(colon + 1);
        fault.AndLater = nth.ends_with('+');
        if (fault.AndLater)
            nth.pop_back();
        fault.Nth = Number(option, nth, 1, 1'000'000'000);
    }
    return fault;
}

std::array<uint8_t, kSerialBytes> Serial(const std::string& text) {
    std::array<uint8_t, kSerialBytes> bytes{};
    if (text == "none") {
        bytes.fill(0xFF);
        return bytes;
    }
    if (text.size() != 2 * kSerialBytes || !IsHexText(text, false))
        throw EOptionError("--serial: expected 10 hex digits or none, not \"" + text + "\"");
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = Hex2Dec(text.substr(2 * i, 2));
    return bytes;
}

uint16_t Address(const std::string& text) {
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const auto value = ParseNumber(hex ? text.substr(2) : text, hex ? 16 : 10);
    if (!value || *value >= kMemorySize)
        throw EOptionError("--unwritable: expected an address from 0 to 65535, not \"" + text + "\"");
    return static_cast<uint16_t>(*value);
}

// "64", "64-68", "0x40-0x44,406".
void Addresses(const std::string& text, std::set<uint16_t>& addresses) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma - start);
        const std::size_t dash = part.find('-');
        const uint16_t first = Address(part.substr(0, dash));
        const uint16_t last = dash == std::string::npos ? first : Address(part.substr(dash + 1));
        if (last < first)
            throw EOptionError("--unwritable: the range \"" + part + "\" ends before it begins");
        for (unsigned a = first; a <= last; ++a)
            addresses.insert(static_cast<uint16_t>(a));
        if (comma == std::string::npos)
            return;
        start = comma + 1;
    }
}

TReadiness Readiness(const std::string& text) {
    if (text == "yes")
        return TReadiness::Ready;
    if (text == "no")
        return TReadiness::NotReady;
    if (text == "none")
        return TReadiness::NoAnswer;
    throw EOptionError("--ready: expected yes, no or none, not \"" + text + "\"");
}

struct TOption {
    const char* argument; // nullptr: a switch without a value
    const char* help;
    std::function<void(THandsetOptions&, const std::string&)> apply;
};

using TOptionTable = std::vector<std::pair<std::string, TOption>>;

// In the order --help lists them.
const TOptionTable& Options() {
    static const TOptionTable options{
        {"--help", {nullptr, "show this help", [](auto& o, auto&) { o.help = true; }}},
        {"--version", {nullptr, "show the program's version", [](auto& o, auto&) { o.version = true; }}},
        {"--com",
         {"N", "register as port COM<N> (1..254); default the lowest free one from 10 to 50",
          [](auto& o, auto& v) { o.com = static_cast<int>(Number("--com", v, 1, 254)); }}},
        {"--no-register",
         {nullptr, "do not register in the device map", [](auto& o, auto&) { o.registerPort = false; }}},
        {"--state",
         {"FILE", "keep memory and settings in FILE between runs",
          [](auto& o, auto& v) { o.statePath = v; }}},
        {"--software",
         {"HEX8", "software part number (default 62018400)",
          [](auto& o, auto& v) { o.software = Software(v); }}},
        {"--pcs",
         {"TEXT", "PCS text, 1 to 4 characters (default 06B)",
          [](auto& o, auto& v) {
              if (!IsValidPcs(v))
                  throw EOptionError("--pcs: expected 1 to 4 printable characters without blanks, not \"" +
                                     v + "\"");
              o.pcs = v;
          }}},
        {"--model",
         {"BYTE", "model byte at address 29, decimal or 0x hex (default 0xAA)",
          [](auto& o, auto& v) { o.model = Byte("--model", v); }}},
        {"--max-mail",
         {"N", "maximum mail length reported to \"02 5D 47\" (default 26)",
          [](auto& o, auto& v) { o.maxMail = static_cast<uint8_t>(Number("--max-mail", v, 1, 255)); }}},
        {"--capacity",
         {"N", "room for N phone book entries, reported to \"0D 09\" (default 200)",
          [](auto& o, auto& v) { o.capacity = static_cast<uint8_t>(Number("--capacity", v, 1, 255)); }}},
        {"--phonebook",
         {"FILE", "start with the entries in FILE (\"name,number\" a line), not the saved ones",
          [](auto& o, auto& v) {
              try {
                  o.phonebook = ReadPhonebookFile(v);
              } catch (const EPhonebookFileError& e) {
                  throw EOptionError(std::string("--phonebook: ") + e.what());
              }
          }}},
        {"--phonebook-entries",
         {"N", "start with N made-up phone book entries (0..255), not the saved ones",
          [](auto& o, auto& v) {
              o.phonebook = GeneratedPhonebook(Number("--phonebook-entries", v, 0, 255));
          }}},
        {"--groups",
         {"N[,N..]|none", "belong to these broadcast groups (at most 16, each 0..255), not the saved ones",
          [](auto& o, auto& v) {
              try {
                  o.groups = v == "none" ? std::vector<uint8_t>{} : ParseGroupList(v);
              } catch (const EStateFileError& e) {
                  throw EOptionError(std::string("--groups: ") + e.what());
              }
          }}},
        {"--serial",
         {"HEX10|none", "the SIM's serial number bytes at address 64 (default 0012345678), or none: five FF",
          [](auto& o, auto& v) { o.serial = Serial(v); }}},
        {"--busy-polls",
         {"N", "answer the readiness poll \"not ready\" N times before answering as --ready says",
          [](auto& o, auto& v) { o.faults.busyPolls = Number("--busy-polls", v, 0, 1'000'000'000); }}},
        {"--unwritable",
         {"ADDR[-ADDR][,..]", "do not store memory writes to these addresses (decimal or 0x hex)",
          [](auto& o, auto& v) { Addresses(v, o.faults.unwritable); }}},
        {"--ready",
         {"yes|no|none", "answer to the readiness poll: 01, 00 or no answer (default yes)",
          [](auto& o, auto& v) { o.readiness = Readiness(v); }}},
        {"--log",
         {nullptr, "log every frame received and every answer sent on stderr",
          [](auto& o, auto&) { o.log = true; }}},
        {"--silent", {nullptr, "echo, but never answer", [](auto& o, auto&) { o.faults.silent = true; }}},
        {"--no-echo", {nullptr, "do not echo", [](auto& o, auto&) { o.faults.noEcho = true; }}},
        {"--no-names",
         {nullptr, "give no answer to phone book name requests \"0D 03 i\"",
          [](auto& o, auto&) { o.faults.noNames = true; }}},
        {"--drop-answer",
         {"N[,N..]", "send no answer to the N-th frame received (repeatable)",
          [](auto& o, auto& v) { FrameNumbers("--drop-answer", v, o.faults.dropAnswers); }}},
        {"--corrupt-answer",
         {"N[,N..]", "add one to the checksum of the answer to the N-th frame (repeatable)",
          [](auto& o, auto& v) { FrameNumbers("--corrupt-answer", v, o.faults.corruptAnswers); }}},
        {"--lose-answer-to",
         {"HEX[:N[+]]",
          "carry out the N-th mail (1; N+: and every later one) beginning with HEX, answer none",
          [](auto& o, auto& v) {
              o.faults.mailFaults.push_back(MailFault(TMailFault::TKind::LoseAnswer, "--lose-answer-to", v));
          }}},
        {"--ignore-mail",
         {"HEX[:N[+]]", "take the N-th mail (1; N+: and every later one) beginning with HEX as lost",
          [](auto& o, auto& v) {
              o.faults.mailFaults.push_back(MailFault(TMailFault::TKind::Ignore, "--ignore-mail", v));
          }}},
        {"--unnamed-numbers",
         {nullptr, "a phone book number is an entry at once; its name completes it",
          [](auto& o, auto&) { o.faults.unnamedNumbers = true; }}},
        {"--pace",
         {"BAUD", "send every byte at the pace of BAUD, 10 bits a byte",
          [](auto& o, auto& v) { o.paceBaud = Number("--pace", v, 50, kMaxBaud); }}},
        {"--adapter-latency",
         {"MS",
          "pass the bytes sent through a USB serial adapter whose latency timer is MS ms (1 with low "
          "latency asked for, 16 without)",
          [](auto& o, auto& v) {
              o.adapterLatency =
                  std::chrono::milliseconds(Number("--adapter-latency", v, 1, kMaxAdapterLatencyMs));
          }}},
        {"--answer-delay",
         {"MS", "wait MS milliseconds after a frame before answering",
          [](auto& o, auto& v) {
              o.answerDelay = std::chrono::milliseconds(Number("--answer-delay", v, 0, kMaxAnswerDelayMs));
          }}},
        {"--unconfirmed-writes", {"[N]", "do not store memory writes (all, or only the first N)", nullptr}},
        {"--replay",
         {"FILE",
          "answer each mail as the recording FILE says (quorvel --record); report the first that differs",
          [](auto& o, auto& v) { o.replay = v; }}},
        {"--hangup-after",
         {"N", "after N frames, hang up as the next one begins to arrive",
          [](auto& o, auto& v) { o.faults.hangupAfter = Number("--hangup-after", v, 0, 1'000'000'000); }}},
    };
    return options;
}

const TOption* FindOption(const std::string& name) {
    for (const auto& [optionName, option] : Options())
        if (optionName == name)
            return &option;
    return nullptr;
}

} // namespace

THandsetOptions ParseHandsetOptions(const std::vector<std::string>& arguments) {
    THandsetOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const TOption* found = FindOption(name);
        if (!found)
            throw EOptionError("unknown option \"" + arguments[i] + "\" (see --help)");
        const TOption& option = *found;

        if (name == "--unconfirmed-writes") {
            // Its count is optional: a following word that is a number belongs to it.
            if (!value && i + 1 < arguments.size() && IsDigitText(arguments[i + 1]))
                value = arguments[++i];
            options.faults.unconfirmedWrites = value ? Number(name, *value, 1, 1'000'000'000) : kEveryWrite;
            continue;
        }
        if (!option.argument) {
            if (value)
                throw EOptionError(name + " takes no value");
            option.apply(options, "");
            continue;
        }
        if (!value) {
            if (i + 1 >= arguments.size())
                throw EOptionError(name + " needs a value: " + name + " " + option.argument);
            value = arguments[++i];
        }
        option.apply(options, *value);
    }
    return options;
}

std::string HandsetHelpText() {
    std::string text = "Usage: quorvel-handset [OPTION]...\n"
                       "Plays a handset in its docking station on a pseudo-terminal, until interrupted.\n\n";
    for (const auto& [name, option] : Options()) {
        std::string left = "  " + name + (option.argument ? std::string(" ") + option.argument : "");
        left.resize(std::max<std::size_t>(left.size() + 1, 28), ' ');
        text += left + option.help + "\n";
    }
    return text;
}

void ApplySettings(const THandsetOptions& options, THandsetState& state) {
    if (options.software)
        state.software = *options.software;
    if (options.pcs)
        state.pcs = *options.pcs;
    if (options.maxMail)
        state.maxMail = *options.maxMail;
    if (options.capacity)
        state.capacity = *options.capacity;
    if (options.phonebook)
        state.phonebook = *options.phonebook;
    if (options.groups)
        state.groups = *options.groups;
    if (options.model)
        state.memory[kModelAddress] = *options.model;
    if (options.serial)
        std::copy(options.serial->begin(), options.serial->end(), state.memory.begin() + kSerialAddress);
}
