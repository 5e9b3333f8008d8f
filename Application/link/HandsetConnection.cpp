#include "link/HandsetConnection.h"

#include "platform/PhoneBookResourceStrings.h"

THandsetConnection::~THandsetConnection() = default;

bool THandsetConnection::ConnectOrTell(TUserInteraction& ui, const char* consequence) {
    const int result = ConnectHandset();
    if (result > 0)
        return true;
    ui.Message(TMessageKind::Error,
               consequence ? ConnectionFailureText(result, consequence) : ConnectionResultText(result),
               TButtons::Ok);
    return false;
}

std::string ConnectionResultText(int result) {
    if (result == -1)
        return Texts::SerialDeviceClosed;
    if (result == WrongHandset)
        return "Not the handset expected at this port.";
    if (result == 0)
        return Texts::CouldNotConnect;
    if (result >= 1 && result <= 6)
        return Texts::ConnectedToHandset;
    return Texts::UnknownAnswer;
}

std::string ConnectionFailureText(int result, const char* consequence) {
    return ConnectionResultText(result) + "\r" + " " + consequence;
}
