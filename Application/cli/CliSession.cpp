#include "cli/CliSession.h"

namespace {
constexpr int32_t HandsetBaudRate = 115200;
}

TCliSession::TCliSession(const TGlobalOptions& options)
    : PortNumber(ResolvePort(options.port)) {
    // The settings the main window gives its engine, so that both behave alike on the line.
    Sendmail.SetFramedAnswer(true);
    Sendmail.AnswerTimeout = 4000;
    Sendmail.GapTimeout = 1000;
    Sendmail.WriteRetries = 3;
    Sendmail.WritePause = 300;
    Sendmail.ReadTries = 3;
    Sendmail.ReadPause = 1000;
    Sendmail.PollInterval = 1;
    Sendmail.ReadbackDelay = 10;
    Sendmail.ShowDialogs = false;
}

void TCliSession::OpenPort() {
    if (!Sendmail.OpenPort(uint8_t(PortNumber), HandsetBaudRate))
        throw TCommandFailure("Serial Device Closed! " +
                              PortFailureText(PortNumber, Sendmail.Com().LastFailure()));
}
