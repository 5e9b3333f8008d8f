#pragma once

#include "Handset.h"
#include "PseudoTerminal.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>

struct TLineSettings {
    std::optional<unsigned> paceBaud;
    std::chrono::milliseconds answerDelay{0};
    bool log = false;
    // The latency timer of a USB serial adapter the handset's bytes pass through (TAdapterBuffer).
    std::optional<std::chrono::milliseconds> adapterLatency = std::nullopt;
};

enum class TServeEnd { Stopped, HungUp };

// Moves bytes between the line and the handset until `stop` is set (by a signal, which `waitMask`
// lets through while the loop waits) or the handset hangs up. `save` is called once input has rested
// after the handset's state changed.
TServeEnd ServeLine(TPseudoTerminal& line, THandset& handset, const TLineSettings& settings,
                    const volatile std::sig_atomic_t& stop, const sigset_t& waitMask,
                    const std::function<void()>& save);

class TReplayHandset;
// The same with the handset of a recording.
TServeEnd ServeLine(TPseudoTerminal& line, TReplayHandset& handset, const TLineSettings& settings,
                    const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);
