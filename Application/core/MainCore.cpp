#include "core/MainCore.h"

#include "link/ConnectionSettings.h"
#include "link/EngineSettings.h"
#include "link/MailCodes.h"
#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "link/Timing.h"
#include "platform/ChangeStore.h"
#include "platform/Texts.h"
#include "vsim/SerialNumber.h"

#include <algorithm>
#include <array>
#include <stdexcept>

using namespace HandsetCapabilities;

namespace {

using namespace std::chrono_literals;

constexpr int AnswerBufferSize = 21;

// The engine as the window starts it: framed answers, with time for a handset that is slow to wake.
constexpr TEngineProfile StartProfile{TAnswerLayout::Framed, 4000ms, 1000ms};
constexpr auto RetryPause = 1000ms;

} // namespace

TMainCore::TMainCore(TUserInteraction& ui, TVirtualCom& link)
    : Ui(ui)
    , Sendmail(link) {
    Sendmail.SetUser(&ui);
    Phonebook.SetCount(StartPhonebookCount);
    // What an operation says after the line went away begins with that, once.
    Ui.FailureCause = [this] {
        if (Sendmail.LineLosses() == LossesTold)
            return std::string();
        const std::string cause = LineLostText();
        if (!cause.empty())
            LossesTold = Sendmail.LineLosses();
        return cause;
    };
}

TMainCore::~TMainCore() {
    Ui.FailureCause = nullptr;
}

std::string TMainCore::LineLostText() {
    return Sendmail.LineLost() ? PortFailureText(Sendmail.Link().ComNumber(), Sendmail.Link().LastFailure())
                               : std::string();
}

void TMainCore::ConfigureEngine() {
    Sendmail.Apply(StartProfile);
    Sendmail.ReadPause = RetryPause;
    Sendmail.ReadTries = 3;
    Sendmail.WriteRetries = 3;
    Sendmail.ShowDialogs = false;
}

int TMainCore::ConnectAt(int32_t rate) {
    return ConnectionSettings::ConnectAt(Sendmail, SelectedPort, rate);
}

TConnectResult TMainCore::ConnectHandset() {
    if (KeepConnection && HandsetFound && Sendmail.Link().IsOpen() && !Sendmail.LineLost()) {
        // The engine as a connection step leaves it, and the lists as the handset found sizes them.
        Sendmail.Apply(Profile(TEngineUse::Questions));
        Phonebook.SetCount(uint8_t(PhoneBookCapacity));
        Ui.HandsetConnected(PhoneBookCapacity, HandsetLevel);
        return TConnectResult::Connected;
    }
    Ui.ShowStatus(Texts::ConnectingToHandset);
    Handset = {};
    HandsetFound = false;
    Sendmail.SetRecordedHandset("");
    Handset.port = SelectedPort;
    // The step changes nothing in the handset: a stop ends it at once, in the middle of a wait too, and
    // leaves no handset found (its facts would be half read).
    const TStoppableStretch stoppable(Sendmail);
    Ui.ConnectionStep(true);
    struct TStepEnd {
        TUserInteraction& Ui;
        ~TStepEnd() { Ui.ConnectionStep(false); }
    } stepEnd{Ui};
    const auto stopped = [this] {
        Ui.ShowStatus(Texts::StoppedAsAsked);
        return TConnectResult::Stopped;
    };
    TConnectResult result = ConnectResultOfProbe(Connect());
    if (result == TConnectResult::Connected) {
        PhoneBookCapacity = ReadPhoneBookCapacity();
        Phonebook.SetCount(uint8_t(PhoneBookCapacity));
        HandsetLevel = DetectHandsetLevel();
        Handset.software = Software;
        Handset.pcs = Pcs;
        // A line lost while the handset is asked what it is leaves no handset connected, and facts
        // half read, which nobody is to take for the handset's.
        if (Sendmail.LineLost())
            result = TConnectResult::PortClosed;
    }
    if (StopRequested())
        return stopped();
    if (result == TConnectResult::Connected) {
        Ui.HandsetConnected(PhoneBookCapacity, HandsetLevel);
        ReadMaxMailLength();
        ReadSerialNumber();
        if (StopRequested())
            return stopped();
        if (Sendmail.LineLost()) {
            Ui.ShowStatus(ConnectionResultText(TConnectResult::PortClosed));
            return TConnectResult::PortClosed;
        }
        HandsetFound = true;
        // The PC's table of its handsets is information: a note that cannot be made (no state folder, a
        // read-only one) leaves the connection as it is.
        ChangeStore().NoteSeen(HandsetSeen(Handset, ModelByte, PhoneBookCapacity));
        if (!Ui.HandsetIdentified(Handset)) {
            HandsetFound = false;
            Ui.ShowStatus(ConnectionResultText(TConnectResult::WrongHandset));
            return TConnectResult::WrongHandset;
        }
        Ui.ShowStatus(ConnectionResultText(result) + " (" + Handset.SerialText() + ")");
        return result;
    }
    Ui.ShowStatus(ConnectionResultText(result));
    return result;
}

void TMainCore::ReadSerialNumber() {
    Sendmail.Apply(Profile(TEngineUse::Questions));
    std::array<uint8_t, SerialNumberLength> bytes{};
    if (Sendmail.ReadBlock(bytes, uint16_t(bytes.size()), uint16_t(SerialNumberAddress)) != bytes.size())
        return;
    // Five FF bytes (or any others that make no serial number) are a handset whose SIM has left.
    Handset.serial = TPP_SerialNumber::FormatSerialNumber(HexDigits(bytes));
    Sendmail.SetRecordedHandset(Handset.SerialText());
}

bool TMainCore::ReadHandsetSoftware(std::string& software, std::string& pcs) {
    std::array<uint8_t, AnswerBufferSize> answer{};
    const std::optional<int> length = AskHandset(MailCode::Software, answer);
    return length && ParseSoftwareAnswer(answer, *length, software, pcs);
}

// The connection step's questions: an answer too long to be one (the engine refuses it) is taken as
// none, as a lost one is; the mail monitor and a recording keep what came.
std::optional<int> TMainCore::AskHandset(const char* mail, std::span<uint8_t> answer) {
    try {
        return Sendmail.SendMailToArray(mail, answer);
    } catch (const EMailControlError&) {
        return std::nullopt;
    }
}

std::optional<uint8_t> TMainCore::HandsetLevelNow() const {
    if (!LevelKnown)
        return std::nullopt;
    return HandsetLevel;
}

uint8_t TMainCore::DetectHandsetLevel() {
    Sendmail.Apply(Profile(TEngineUse::Questions));
    ModelByte = 0;
    LevelKnown = false;
    // A lost answer is asked for again, as memory reads are: taking a handset that did not answer for
    // one of level 0 would keep its settings from every operation that follows the level.
    bool answered = false;
    for (int tries = 0; !answered && tries < std::max<int>(1, Sendmail.ReadTries) && !Sendmail.LineLost();
         ++tries) {
        if (tries > 0)
            Sendmail.Pause(Sendmail.ReadPause);
        answered = ReadHandsetSoftware(Software, Pcs);
    }
    if (!answered) {
        Software.clear();
        Pcs.clear();
        return 0;
    }
    if (SoftwareHasModel(Software)) {
        std::array<uint8_t, 1> model{};
        if (Sendmail.ReadMemory(ModelAddress, 0x00, model, 1) != 1)
            return 0;
        if (model[0] == ModelA || model[0] == ModelB)
            ModelByte = model[0];
    }
    LevelKnown = true;
    return HandsetLevelOf(Software, Pcs, ModelByte);
}

int TMainCore::ReadPhoneBookCapacity() {
    if (Link().Baud() != HandsetBaudRate)
        return SlowPortCapacity;
    Sendmail.Apply(Profile(TEngineUse::Read));
    std::array<uint8_t, AnswerBufferSize> answer{};
    const std::optional<int> length = AskHandset(MailCode::PhonebookCapacity, answer);
    return length ? CapacityFromAnswer(answer, *length) : UnknownCapacity;
}

void TMainCore::ReadMaxMailLength() {
    Sendmail.Apply(Profile(TEngineUse::Questions));
    Sendmail.BlockSize = DefaultBlockSize;
    std::array<uint8_t, AnswerBufferSize> answer{};
    if (const std::optional<int> length = AskHandset(MailCode::LongestMail, answer))
        Sendmail.BlockSize = BlockSizeFromAnswer(answer, *length);
}
