#pragma once

#include "link/HandsetConnection.h"

#include <chrono>
#include <optional>

// The program's side of the connection step over a test's link: ConnectHandset gives Result and the
// level is Level, with short time-outs so that silence costs little.
class TTestConnection : public THandsetConnection {
public:
    explicit TTestConnection(TVirtualCom& link)
        : Engine_(link) {
        Timeouts(std::chrono::milliseconds(150), std::chrono::milliseconds(50));
    }
    TMailControl& Engine() override { return Engine_; }
    TConnectResult ConnectHandset() override { return Result; }
    std::optional<uint8_t> HandsetLevelNow() const override { return Level; }
    // Each stretch with the program's layout of answers and the test's time-outs.
    TEngineProfile Profile(TEngineUse use) const override {
        return {EngineProfileFor(use).layout, Answer, Gap};
    }

    // The time-outs of every stretch from now on, and the engine's until a stretch sets its own.
    void Timeouts(std::chrono::milliseconds answer, std::chrono::milliseconds gap) {
        Answer = answer;
        Gap = gap;
        Engine_.AnswerTimeout = answer;
        Engine_.GapTimeout = gap;
    }

    TConnectResult Result = TConnectResult::Connected;
    std::optional<uint8_t> Level = 6;

private:
    TMailControl Engine_;
    std::chrono::milliseconds Answer;
    std::chrono::milliseconds Gap;
};
