#include "link/EngineSettings.h"

TEngineSettings::TEngineSettings(TMailControl& engine)
    : Engine(engine)
    , AnswerTimeout(engine.AnswerTimeout)
    , GapTimeout(engine.GapTimeout)
    , Readback(engine.ReadbackDelay) {}

TEngineSettings::~TEngineSettings() {
    Engine.SetFramedAnswer(true);
    Engine.AnswerTimeout = AnswerTimeout;
    Engine.GapTimeout = GapTimeout;
    Engine.ReadbackDelay = Readback;
}

TEngineSettings& TEngineSettings::ShortAnswers() {
    Engine.SetFramedAnswer(false);
    return *this;
}

TEngineSettings& TEngineSettings::FramedAnswers() {
    Engine.SetFramedAnswer(true);
    return *this;
}

TEngineSettings& TEngineSettings::Timeouts(std::chrono::milliseconds answer, std::chrono::milliseconds gap) {
    Engine.SetTimeouts(answer, gap);
    return *this;
}

TEngineSettings& TEngineSettings::ReadbackDelay(std::chrono::milliseconds delay) {
    Engine.ReadbackDelay = uint16_t(delay.count());
    return *this;
}
