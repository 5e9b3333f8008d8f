#pragma once

#include "link/Sndmail.h"
#include "platform/HandsetIdentity.h"

#include <cstdint>
#include <optional>
#include <string>

// What the connection step found.
enum class TConnectResult {
    Connected,
    // No answer to any of the probes.
    NoAnswer,
    // The port is not open.
    PortClosed,
    // The handset answered, but it is not the one expected at the port (another serial number); nothing
    // else was sent.
    WrongHandset,
    // A stop was asked for during the step: it ended there, and nothing was sent that changes the
    // handset.
    Stopped,
};

// What a handset operation needs of the program that runs it: the engine, the connection step that
// every operation begins with, and the two time-out presets. The main window's core implements it;
// tests implement it over an in-process link.
class THandsetConnection {
public:
    virtual ~THandsetConnection();

    virtual TMailControl& Engine() = 0;
    virtual TConnectResult ConnectHandset() = 0;
    // The level (0 to 7) the last ConnectHandset found, which the handset's settings follow; nothing
    // when the handset did not tell what it is.
    virtual std::optional<uint8_t> HandsetLevelNow() const = 0;
    // The handset the last ConnectHandset found; its serial number unread where the program does not
    // read it.
    virtual THandsetIdentity Identity() const { return {}; }
    // The engine's profile for a stretch of an operation; the program's own (EngineProfileFor), which
    // tests shorten.
    virtual TEngineProfile Profile(TEngineUse use) const { return EngineProfileFor(use); }

    // The speed of the line, for the time a plan's mails take.
    int Baud() { return int(Engine().Link().Baud()); }

    // The first step of every operation: connects, or tells the person in an error box why not and,
    // after a line break, what was not done (consequence; nothing for no second line). A stop asked for
    // is no failure: the status line says so, and no box is shown. True when connected.
    bool ConnectOrTell(TUserInteraction& ui, const char* consequence);
};

// The connection step's result of a probe that gave try (1..6 the try that answered, 0 none, -1 no open
// port).
TConnectResult ConnectResultOfProbe(int probe);

// The text of a ConnectHandset result, and of a probe's try number (any other number is an unknown
// answer).
std::string ConnectionResultText(TConnectResult result);
std::string ConnectionResultText(int probe);
// What an operation says when it could not connect: the connection text and, after a line break, what
// it did not do.
std::string ConnectionFailureText(TConnectResult result, const char* consequence);
