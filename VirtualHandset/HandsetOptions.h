#pragma once

#include "Handset.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class EOptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct THandsetOptions {
    bool help = false;
    bool version = false;
    std::optional<int> com;
    bool registerPort = true;
    std::optional<std::string> statePath;
    // Given on the command line; they override the state file.
    std::optional<std::array<uint8_t, 4>> software;
    std::optional<std::string> pcs;
    std::optional<uint8_t> model;
    std::optional<std::array<uint8_t, kSerialBytes>> serial;
    std::optional<uint8_t> maxMail;
    std::optional<uint8_t> capacity;
    // From --phonebook or --phonebook-entries, whichever comes last; replaces the saved list.
    std::optional<std::vector<TPhonebookRecord>> phonebook;
    std::optional<std::vector<uint8_t>> groups;
    TReadiness readiness = TReadiness::Ready;
    bool log = false;
    THandsetFaults faults;
    std::optional<unsigned> paceBaud;
    std::chrono::milliseconds answerDelay{0};
    // The latency timer of a USB serial adapter between the handset and the PC.
    std::optional<std::chrono::milliseconds> adapterLatency;
    // Answer as this recording says, in place of the handset's own answers.
    std::optional<std::string> replay;
};

// Raises EOptionError with a message for the person at the terminal.
THandsetOptions ParseHandsetOptions(const std::vector<std::string>& arguments);

std::string HandsetHelpText();

// The state after the command line's settings are put over the loaded (or blank) one.
void ApplySettings(const THandsetOptions& options, THandsetState& state);
