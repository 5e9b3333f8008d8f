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
