#include "link/HandsetConnection.h"

#include "platform/Texts.h"

THandsetConnection::~THandsetConnection() = default;

bool THandsetConnection::ConnectOrTell(TUserInteraction& ui, const char* consequence) {
    const TConnectResult result = ConnectHandset();
    if (result == TConnectResult::Connected)
        return true;
    if (result == TConnectResult::Stopped) {
        ui.ShowStatus(Texts::StoppedAsAsked);
        return false;
    }
    ui.Message(TMessageKind::Error,
               consequence ? ConnectionFailureText(result, consequence) : ConnectionResultText(result),
               TButtons::Ok);
    return false;
}

TConnectResult ConnectResultOfProbe(int probe) {
    if (probe > 0)
        return TConnectResult::Connected;
    return probe == 0 ? TConnectResult::NoAnswer : TConnectResult::PortClosed;
}

std::string ConnectionResultText(TConnectResult result) {
    switch (result) {
    case TConnectResult::Connected:
        return Texts::ConnectedToHandset;
    case TConnectResult::NoAnswer:
        return Texts::CouldNotConnect;
    case TConnectResult::PortClosed:
        return Texts::SerialDeviceClosed;
    case TConnectResult::WrongHandset:
        return "Not the handset expected at this port.";
    case TConnectResult::Stopped:
        return Texts::StoppedAsAsked;
    }
    return Texts::UnknownAnswer;
}

std::string ConnectionResultText(int probe) {
    if (probe < -1 || probe > 6)
        return Texts::UnknownAnswer;
    return ConnectionResultText(ConnectResultOfProbe(probe));
}

std::string ConnectionFailureText(TConnectResult result, const char* consequence) {
    return ConnectionResultText(result) + "\r" + " " + consequence;
}
