#include "core/MainCore.h"

#include "link/ConnectionSettings.h"
#include "link/NumberConverting.h"
#include "platform/PhoneBookResourceStrings.h"

#include <array>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr int AnswerBufferSize = 21;
constexpr uint8_t ModelAddress = 29;
constexpr uint8_t ModelA = 0x55;
constexpr uint8_t ModelB = 0xAA;
constexpr const char* FirstAdvancedPcs = "06A";
constexpr int SlowPortCapacity = 65;
constexpr int UnknownCapacity = 80;
constexpr uint8_t DefaultBlockSize = 8;
constexpr int MailOverhead = 10;
// A memory answer longer than this cannot be handed over in one piece.
constexpr int LargestBlock = 200;

bool PcsBefore(const std::string& pcs, const char* other) {
    return pcs.compare(other) < 0;
}

} // namespace

TMainCore::TMainCore(TUserInteraction& ui)
    : Ui(ui) {
    Phonebook.SetCount(StartPhonebookCount);
}

void TMainCore::ConfigureEngine() {
    Sendmail.SetFramedAnswer(true);
    Sendmail.AnswerTimeout = 4000;
    Sendmail.GapTimeout = 1000;
    Sendmail.ReadPause = 1000;
    Sendmail.ReadTries = 3;
    Sendmail.WriteRetries = 3;
    Sendmail.ShowDialogs = false;
}

void TMainCore::SetReadTimeouts() {
    Sendmail.SetFramedAnswer(true);
    Sendmail.AnswerTimeout = 3000;
    Sendmail.GapTimeout = 1000;
}

void TMainCore::SetWriteTimeouts() {
    Sendmail.SetFramedAnswer(true);
    Sendmail.AnswerTimeout = 10000;
    Sendmail.GapTimeout = 10000;
}

int TMainCore::ConnectAt(int32_t rate) {
    return ConnectionSettings::ConnectAt(Sendmail, SelectedPort, rate);
}

int TMainCore::ConnectHandset() {
    Ui.ShowStatus(Texts::ConnectingToHandset);
    const int result = Connect();
    if (result > 0) {
        PhoneBookCapacity = ReadPhoneBookCapacity();
        Phonebook.SetCount(uint8_t(PhoneBookCapacity));
        if (ResizePhonebook)
            ResizePhonebook(PhoneBookCapacity);
        HandsetLevel = DetectHandsetLevel();
        if (ApplyHandsetLevel)
            ApplyHandsetLevel(HandsetLevel);
        ReadMaxMailLength();
    }
    Ui.ShowStatus(ConnectionResultText(result));
    return result;
}

void TMainCore::ReadHandsetSoftware(std::string& software, std::string& pcs) {
    Sendmail.SetFramedAnswer(false);
    std::array<uint8_t, AnswerBufferSize> answer{};
    if (Sendmail.SendMailToArray("02 5D 16", answer) != 8)
        throw std::runtime_error(Texts::ErrorReadingSoftwarePcs);
    software.clear();
    for (int i = 0; i < 4; ++i)
        software += ByteToHex(answer[size_t(i)]);
    pcs.clear();
    for (size_t i = 4; i < 8 && answer[i] != ' ' && answer[i] != 0; ++i)
        pcs += char(answer[i]);
}

uint8_t TMainCore::DetectHandsetLevel() {
    Sendmail.SetFramedAnswer(false);
    ModelByte = 0;
    try {
        ReadHandsetSoftware(Software, Pcs);
    } catch (const std::exception&) {
        Software.clear();
        Pcs.clear();
        return 0;
    }
    std::string pcs = Pcs.substr(0, 3);
    const size_t first = pcs.find_first_not_of(' ');
    pcs =
        first == std::string::npos ? std::string() : pcs.substr(first, pcs.find_last_not_of(' ') - first + 1);
    while (pcs.size() < 3)
        pcs.insert(pcs.begin(), '0');

    if (Software == "62018400" || Software == "62018700") {
        ModelByte = ReadModelByte();
        if (ModelByte == ModelA)
            return PcsBefore(pcs, FirstAdvancedPcs) ? 4 : 6;
        if (ModelByte == ModelB)
            return PcsBefore(pcs, FirstAdvancedPcs) ? 5 : 7;
        return 0;
    }
    if (Software == "62017100" && !PcsBefore(pcs, FirstAdvancedPcs))
        return 3;
    return 0;
}

uint8_t TMainCore::ReadModelByte() {
    std::array<uint8_t, 1> model{};
    if (Sendmail.ReadMemory(ModelAddress, 0x00, model, 1) == 1 && (model[0] == ModelA || model[0] == ModelB))
        return model[0];
    return 0;
}

int TMainCore::ReadPhoneBookCapacity() {
    if (Sendmail.Com().Baud() != HandsetBaudRate)
        return SlowPortCapacity;
    SetReadTimeouts();
    try {
        std::array<uint8_t, AnswerBufferSize> answer{};
        if (Sendmail.SendMailToArray("0D 09", answer) >= 2 && answer[0] == 9)
            return answer[1];
    } catch (const std::exception&) {
    }
    return UnknownCapacity;
}

void TMainCore::ReadMaxMailLength() {
    SetReadTimeouts();
    Sendmail.SetFramedAnswer(false);
    Sendmail.BlockSize = DefaultBlockSize;
    try {
        std::array<uint8_t, AnswerBufferSize> answer{};
        // A length that leaves no room for data, or more than a read answer can carry, would make the
        // block transfers send empty or oversized pieces: such handsets keep the default.
        if (Sendmail.SendMailToArray("02 5D 47", answer) >= 2 && answer[0] > MailOverhead &&
            answer[0] - MailOverhead <= LargestBlock)
            Sendmail.BlockSize = uint8_t(answer[0] - MailOverhead);
    } catch (const std::exception&) {
    }
}

int TMainCore::FontSizeAfter(int size, bool increase) {
    struct TStep {
        int size, up, down;
    };
    static constexpr TStep steps[] = {{10, 12, 8}, {12, 14, 10}, {14, 18, 12}, {18, 24, 14}, {24, 24, 18}};
    for (const TStep& step : steps)
        if (step.size == size)
            return increase ? step.up : step.down;
    return increase ? 10 : 8;
}

int TMainCore::GridRowHeight(int size) {
    // size + ceil(size * 0.2) + 10, in whole numbers
    return size + (size * 2 + 9) / 10 + 10;
}
