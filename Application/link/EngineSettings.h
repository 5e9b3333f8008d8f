#pragma once

#include "link/Sndmail.h"

#include <chrono>

// The engine's settings for one stretch of an operation, put back when the guard ends, however the
// stretch ends (a failure, an exception, an early return): the time-outs and the read-back delay as they
// were, and the answer layout to the framed one, which the operations expect between their stretches
// (only memory mails and the handset's own questions have short answers).
//
//     TEngineSettings settings(engine);
//     settings.ShortAnswers();   // memory mails and the handset's own questions
//     engine.ReadBlock(...);
class TEngineSettings {
public:
    explicit TEngineSettings(TMailControl& engine);
    ~TEngineSettings();
    TEngineSettings(const TEngineSettings&) = delete;
    TEngineSettings& operator=(const TEngineSettings&) = delete;

    // The short answer layout of memory mails and questions such as "02 5D 16".
    TEngineSettings& ShortAnswers();
    // The framed answer layout of the 0D commands.
    TEngineSettings& FramedAnswers();
    TEngineSettings& Timeouts(std::chrono::milliseconds answer, std::chrono::milliseconds gap);
    TEngineSettings& ReadbackDelay(std::chrono::milliseconds delay);

private:
    TMailControl& Engine;
    uint16_t AnswerTimeout;
    uint16_t GapTimeout;
    uint16_t Readback;
};
