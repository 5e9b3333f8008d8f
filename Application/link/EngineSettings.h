#pragma once

#include "link/EngineProfile.h"
#include "link/Sndmail.h"

#include <chrono>

// The engine's settings for one stretch of an operation: a profile applied whole, and what the engine
// held before (its profile and its read-back delay) put back when the guard ends, however the stretch
// ends (a failure, an exception, an early return).
//
//     TEngineSettings settings(engine, connection.Profile(TEngineUse::Questions));
//     engine.ReadBlock(...);
class TEngineSettings {
public:
    explicit TEngineSettings(TMailControl& engine);
    TEngineSettings(TMailControl& engine, const TEngineProfile& profile);
    ~TEngineSettings();
    TEngineSettings(const TEngineSettings&) = delete;
    TEngineSettings& operator=(const TEngineSettings&) = delete;

    TEngineSettings& Apply(const TEngineProfile& profile);

private:
    TMailControl& Engine;
    TEngineProfile Found;
    std::chrono::milliseconds Readback;
};

// A stretch that a stop request may cut short at once, because it changes nothing (a read, the
// connection step): while the guard lives, a stop ends the engine's running wait and its later mails
// give an empty answer unsent (TMailControl::Stoppable). A stretch that must be heard to the end, such as
// the read that tells what a stopped write left in the handset, says so with stoppable false.
class TStoppableStretch {
public:
    explicit TStoppableStretch(TMailControl& engine, bool stoppable = true)
        : Engine(engine)
        , Outer(engine.Stoppable) {
        engine.Stoppable = stoppable;
    }
    ~TStoppableStretch() { Engine.Stoppable = Outer; }
    TStoppableStretch(const TStoppableStretch&) = delete;
    TStoppableStretch& operator=(const TStoppableStretch&) = delete;

private:
    TMailControl& Engine;
    bool Outer;
};
