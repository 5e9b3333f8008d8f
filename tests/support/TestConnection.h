#pragma once

#include "link/HandsetConnection.h"

#include <optional>

// The program's side of the connection step over a test's link: ConnectHandset gives Result and the
// level is Level, with short time-outs so that silence costs little.
class TTestConnection : public THandsetConnection {
public:
    explicit TTestConnection(TVirtualCom& link)
        : Engine_(link) {
        Engine_.AnswerTimeout = 150;
        Engine_.GapTimeout = 50;
    }
    TMailControl& Engine() override { return Engine_; }
    TConnectResult ConnectHandset() override { return Result; }
    std::optional<uint8_t> HandsetLevelNow() const override { return Level; }
    void SetReadTimeouts() override {}
    void SetWriteTimeouts() override {}

    TConnectResult Result = TConnectResult::Connected;
    std::optional<uint8_t> Level = 6;

private:
    TMailControl Engine_;
};
