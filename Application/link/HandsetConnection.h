#pragma once

#include "link/Sndmail.h"
#include "platform/HandsetIdentity.h"

#include <cstdint>
#include <optional>
#include <string>

// What a handset operation needs of the program that runs it: the engine, the connection step that
// every operation begins with, and the two time-out presets. The main window's core implements it;
// tests implement it over an in-process link.
class THandsetConnection {
public:
    virtual ~THandsetConnection();

    virtual TMailControl& Engine() = 0;
    // 1..6 connected, 0 no answer, -1 no open port, WrongHandset; see ConnectionResultText.
    virtual int ConnectHandset() = 0;
    // The level (0 to 7) the last ConnectHandset found, which the handset's settings follow; nothing
    // when the handset did not tell what it is.
    virtual std::optional<uint8_t> HandsetLevelNow() const = 0;
    // The handset the last ConnectHandset found; its serial number unread where the program does not
    // read it.
    virtual THandsetIdentity Identity() const { return {}; }
    // Framed answers, 3000 ms for the answer and 1000 ms between its parts.
    virtual void SetReadTimeouts() = 0;
    // Framed answers, 10000 ms and 10000 ms: the handset stores before it answers.
    virtual void SetWriteTimeouts() = 0;

    // The first step of every operation: connects, or tells the person in an error box why not and,
    // after a line break, what was not done (consequence; nothing for no second line). True when
    // connected.
    bool ConnectOrTell(TUserInteraction& ui, const char* consequence);
};

// A ConnectHandset result: the handset answered, but it is not the one expected at the port (another
// serial number); nothing else was sent.
inline constexpr int WrongHandset = -2;

// The text of a ConnectHandset result.
std::string ConnectionResultText(int result);
// What an operation says when it could not connect: the connection text and, after a line break, what
// it did not do.
std::string ConnectionFailureText(int result, const char* consequence);
