#include "windows/PortStatePanel.h"

#include "core/MainCore.h"
#include "link/TpaProComImpl.h"
#include "platform/AnsiText.h"
#include "platform/DeviceMap.h"

#include <QFileInfo>

#include <optional>

namespace {

constexpr int PanelLeastWidth = 150;

// The panel's few words; its tool tip says the same at length.
const std::string HandsetWords = "Handset ";
constexpr const char* ConnectingWords = "Looking for a handset";
constexpr const char* NotAskedWords = "Not asked yet";
constexpr const char* NoHandsetWords = "No handset found";
constexpr const char* WentAwayWords = "Docking station went away";
constexpr const char* BackWords = "Docking station back";
constexpr const char* NoStationWords = "No docking station";
constexpr const char* InUseWords = "Port in use";
constexpr const char* NotAllowedWords = "Port not allowed";
constexpr const char* CannotOpenWords = "Port cannot be opened";
constexpr const char* NotOpenWords = "Not connected";
constexpr const char* StationWords = "Lent to the station";

bool DeviceExists(const std::string& device) {
    return !device.empty() && QFileInfo::exists(QString::fromStdString(device));
}

// "COM10 (/dev/pts/5)", or "COM10" when the device is not known.
std::string Named(int number, const std::string& device) {
    const std::string port = "COM" + std::to_string(number);
    return device.empty() ? port : port + " (" + device + ")";
}

} // namespace

TPortStatePanel::TPortStatePanel(TTpaProComImpl& port, const TMainCore& core, QWidget* parent)
    : TElidedLabel(PanelLeastWidth, parent)
    , Port(port)
    , Core(core) {}

void TPortStatePanel::ConnectionTried() {
    Asked = true;
}

void TPortStatePanel::HandsetIdentified() {
    HandsetAtPort = true;
    Refresh(true, false);
}

void TPortStatePanel::Refresh(bool busy, bool lentToStation) {
    const int number = Port.ComNumber();
    if (lentToStation) {
        // The station may give the docking station another handset.
        HandsetAtPort = false;
        Asked = false;
        Show(StationWords, Named(number, {}) +
                               " is in use by the station; the window takes it back when the station stops.");
        return;
    }
    if (!Port.IsOpen()) {
        HandsetAtPort = false;
        Asked = false;
        ShowClosedPort(number);
        return;
    }
    const std::string device = Port.LastFailure().device;
    // A pulled adapter takes its device node with it at once, before the port layer says anything.
    if (!device.empty() && !DeviceExists(device)) {
        HandsetAtPort = false;
        Show(WentAwayWords, PortFailureText(number, {TPortFailure::Kind::Lost, device, {}}));
        return;
    }
    if (HandsetAtPort && Core.HandsetFound && Core.Handset.port == number) {
        const THandsetIdentity& handset = Core.Handset;
        std::string sentence = Named(number, device) + ": handset " + handset.SerialText();
        if (!handset.software.empty())
            sentence += ", software " + handset.software + ", PCS " + handset.pcs;
        Show(FromAnsi(HandsetWords + handset.SerialText()), sentence + ".");
        return;
    }
    if (busy)
        Show(ConnectingWords, Named(number, device) + " is open; a handset is being looked for.");
    else if (!Asked)
        Show(NotAskedWords,
             Named(number, device) + " is open; no operation has looked for a handset there yet.");
    else
        Show(NoHandsetWords, Named(number, device) + " is open; no handset has been found there yet.");
}

void TPortStatePanel::ShowClosedPort(int number) {
    using Kind = TPortFailure::Kind;
    const TPortFailure failure = Port.LastFailure();
    const std::optional<std::string> mapped = DeviceMap::DeviceOf(number);
    const std::string device = mapped.value_or(std::string());
    const bool present = DeviceExists(device);
    if (failure.kind == Kind::Lost) {
        if (present)
            Show(BackWords, Named(number, device) + " is there again; the next operation opens it.");
        else
            Show(WentAwayWords,
                 PortFailureText(number, failure) + " The next operation opens it once it is back.");
        return;
    }
    if (!present) {
        const TPortFailure missing{mapped ? Kind::NotFound : Kind::NotMapped, device, {}};
        Show(NoStationWords, PortFailureText(number, missing));
        return;
    }
    switch (failure.kind) {
    case Kind::Busy:
        Show(InUseWords, PortFailureText(number, failure));
        return;
    case Kind::PermissionDenied:
        Show(NotAllowedWords, PortFailureText(number, failure));
        return;
    case Kind::Other:
        Show(CannotOpenWords, PortFailureText(number, failure));
        return;
    default:
        Show(NotOpenWords, Named(number, device) + " is there; the next operation opens it.");
        return;
    }
}

void TPortStatePanel::Show(const QString& words, const std::string& sentence) {
    setText(words);
    setToolTip(FromAnsi(sentence));
}
