#include "link/EngineSettings.h"

TEngineSettings::TEngineSettings(TMailControl& engine)
    : Engine(engine)
    , Found(engine.Profile())
    , Readback(engine.ReadbackDelay) {}

TEngineSettings::TEngineSettings(TMailControl& engine, const TEngineProfile& profile)
    : TEngineSettings(engine) {
    Apply(profile);
}

TEngineSettings::~TEngineSettings() {
    Engine.Apply(Found);
    Engine.ReadbackDelay = Readback;
}

TEngineSettings& TEngineSettings::Apply(const TEngineProfile& profile) {
    Engine.Apply(profile);
    return *this;
}
