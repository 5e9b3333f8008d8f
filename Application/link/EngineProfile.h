#pragma once

#include <chrono>

// The layout of the answers the engine expects.
enum class TAnswerLayout {
    // The answers of the 0D commands, in a frame of their own.
    Framed,
    // The short answers of memory mails and of the handset's questions, such as "02 5D 16".
    Short,
};

// How the engine takes one stretch of mails: the answers' layout and how long it waits for them (for
// the answer's first byte, and between its parts). A stretch applies its profile whole (TEngineSettings),
// so that nothing depends on what the stretch before it left.
struct TEngineProfile {
    TAnswerLayout layout = TAnswerLayout::Framed;
    std::chrono::milliseconds answer{1000};
    std::chrono::milliseconds gap{250};

    bool operator==(const TEngineProfile&) const = default;
};

// The stretches an operation is made of.
enum class TEngineUse {
    // The connection step's probe: an answer comes at once or not at all.
    Probe,
    // Reads with the 0D commands: the handset answers quickly.
    Read,
    // Writes with the 0D commands: the handset stores before it answers.
    Write,
    // Memory mails and the handset's questions (the speed dial list, the profile, the SIM), at a read's
    // pace.
    Questions,
};

// The profile the program gives each stretch.
constexpr TEngineProfile EngineProfileFor(TEngineUse use) {
    using std::chrono::milliseconds;
    switch (use) {
    case TEngineUse::Probe:
        return {TAnswerLayout::Short, milliseconds(500), milliseconds(250)};
    case TEngineUse::Read:
        return {TAnswerLayout::Framed, milliseconds(3000), milliseconds(1000)};
    case TEngineUse::Write:
        return {TAnswerLayout::Framed, milliseconds(10000), milliseconds(10000)};
    case TEngineUse::Questions:
        return {TAnswerLayout::Short, milliseconds(3000), milliseconds(1000)};
    }
    return {};
}
