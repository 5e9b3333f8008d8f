#include "vsim/VirtualSim.h"

#include "link/NumberConverting.h"
#include "link/Timing.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "vsim/SerialNumber.h"

#include <QFileInfo>

#include <array>
#include <cstdio>

namespace {

constexpr int ScratchSize = 65536;
constexpr const char* MoveMarkPrefix = "MOVING ";

std::string BytesText(std::span<const uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The text area as the handset shows it: up to its first zero byte.
std::string DisplayText(std::span<const uint8_t> area) {
    std::string text;
    for (const uint8_t b : area) {
        if (b == 0)
            break;
        text += char(b);
    }
    return text;
}

} // namespace

// Paces block writes by the handset's readiness instead of a fixed read-back delay.
class TVirtualSim::TReadyWait : public TBlockListener {
public:
    explicit TReadyWait(TVirtualSim& sim)
        : Sim(sim) {}
    void BlockDone(TMailControl&, uint8_t) override {
        for (int poll = 1; poll <= 6; ++poll) {
            if (Sim.IsReady())
                return;
            if (poll < 6)
                PreciseDelay(30);
        }
    }

private:
    TVirtualSim& Sim;
};

TVirtualSim::TVirtualSim(TMailControl& engine, std::string listPath, TSimRecords& records)
    : Engine(engine)
    , ListPath(std::move(listPath))
    , Records(records) {}

TVirtualSim::~TVirtualSim() {
    Engine.SetBlockListener(nullptr);
}

std::string TVirtualSim::SimFileName(const std::string& chosen, const std::string& serialNumber) {
    const QFileInfo info(QString::fromStdString(chosen));
    return (info.path() + "/" + info.completeBaseName()).toStdString() + "_" + serialNumber + "." +
           Texts::SimExtension;
}

std::string TVirtualSim::MoveMark() const {
    return MoveMarkPrefix + SerialNumberText;
}

// ---- the handset ----

bool TVirtualSim::ReadSoftwarePcs() {
    std::array<uint8_t, 8> data{};
    if (Engine.SendMailToArray("02 5D 16", data) != data.size())
        return false;
    Software.clear();
    for (size_t i = 0; i < 4; ++i)
        Software += ByteToHex(data[i]);
    Pcs = data[6] == ' ' ? std::string("0") + char(data[4]) + char(data[5])
                         : std::string{char(data[4]), char(data[5]), char(data[6])};
    return true;
}

bool TVirtualSim::OpenList() {
    try {
        List = std::make_unique<TVirtualSimXml>(ListPath, Software, Pcs);
        // A last entry of FFFE or FFFF would make the SIM larger than an address can count.
        if (unsigned(List->LastEntry) + 1 >= 65535)
            throw ESimList("the SIM reaches to the last address");
        SimSize = uint16_t(List->LastEntry + 1);
        return true;
    } catch (const std::exception& e) {
        Detail = PrintableText(e.what());
        return false;
    }
}

void TVirtualSim::SendPreludeMail() {
    Engine.SendMail("00 54 01 01");
}

bool TVirtualSim::ReadSim() {
    std::vector<uint8_t> buffer(ScratchSize, 0xFF);
    if (Engine.ReadBlock(buffer, SimSize, 0) != SimSize)
        return false;
    Image.Clear();
    Image.AddBuffer(buffer.data(), SimSize);
    return true;
}

bool TVirtualSim::WriteBytes(uint16_t address, std::span<const uint8_t> bytes) {
    return Engine.WriteBlock(address, bytes, uint16_t(bytes.size())) == int32_t(bytes.size());
}

bool TVirtualSim::EraseSerialNumber() {
    const std::array<uint8_t, SerialLength> erased{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    return Engine.WriteMemory(uint8_t(SerialAddress), 0, SerialLength, erased);
}

// The handset's serial number as it is now: empty when it holds none, nothing when it cannot be read.
std::optional<std::string> TVirtualSim::HandsetSerialNumber(std::string* textArea) {
    std::array<uint8_t, TextAreaLength> bytes{};
    if (Engine.ReadBlock(bytes, SerialLength, SerialAddress) != SerialLength)
        return std::nullopt;
    std::string hex;
    for (size_t i = 0; i < SerialLength; ++i)
        hex += ByteToHex(bytes[i]);
    const std::string serial = TPP_SerialNumber::FormatSerialNumber(hex);
    if (textArea) {
        if (Engine.ReadBlock(bytes, TextAreaLength, TextAreaAddress) != TextAreaLength)
            return std::nullopt;
        *textArea = DisplayText(bytes);
    }
    return serial;
}

void TVirtualSim::PrepareWriteRun() {
    Engine.ReadbackDelay = 25;
    if (SupportsReady()) {
        Engine.ReadbackDelay = 0;
        if (!ReadyWait)
            ReadyWait = std::make_unique<TReadyWait>(*this);
        Engine.SetBlockListener(ReadyWait.get());
    }
}

// Runs of consecutive addresses, each written with one block write; the first failure ends the walk.
bool TVirtualSim::EraseSim() {
    PrepareWriteRun();
    const std::vector<uint8_t> ff(ScratchSize, 0xFF);
    bool ok = true;
    int runStart = -1;
    const int end = std::min<int>(List->LastEntry, Image.Size() - 1);
    for (int a = 0; a <= end + 1 && ok; ++a) {
        const bool marked = a <= end && List->IsDeleted(uint16_t(a));
        if (marked && runStart < 0)
            runStart = a;
        if (!marked && runStart >= 0) {
            ok = WriteBytes(uint16_t(runStart), std::span(ff).first(size_t(a - runStart)));
            runStart = -1;
        }
    }
    Engine.SetBlockListener(nullptr);
    return ok;
}

bool TVirtualSim::WriteSim() {
    PrepareWriteRun();
    const std::span<const uint8_t> image = Image.Data();
    auto skipped = [this](int a) {
        return List->IsProtected(uint16_t(a)) || (a >= SerialAddress && a < SerialAddress + SerialLength) ||
               (a >= TextAreaAddress && a < TextAreaAddress + TextAreaLength);
    };
    bool ok = true;
    int runStart = -1;
    const int end = std::min<int>(List->LastEntry, Image.Size() - 1);
    for (int a = 0; a <= end + 1 && ok; ++a) {
        const bool joins = a <= end && !skipped(a);
        if (joins && runStart < 0)
            runStart = a;
        if (!joins && runStart >= 0) {
            ok = WriteBytes(uint16_t(runStart), image.subspan(size_t(runStart), size_t(a - runStart)));
            runStart = -1;
        }
    }
    // The text area, then the serial number: the handset holds a SIM only once everything else is in.
    ok = ok && WriteBytes(TextAreaAddress, image.subspan(TextAreaAddress, TextAreaLength));
    ok = ok && WriteBytes(SerialAddress, image.subspan(SerialAddress, SerialLength));
    Engine.SetBlockListener(nullptr);
    return ok;
}

bool TVirtualSim::WriteDisplayText(const std::string& text) {
    if (text.empty() || text.size() > TextAreaLength)
        return false;
    std::vector<uint8_t> bytes(text.begin(), text.end());
    if (bytes.size() < TextAreaLength)
        bytes.push_back(0);
    return WriteBytes(TextAreaAddress, bytes);
}

bool TVirtualSim::SupportsReady() {
    std::array<uint8_t, 101> answer{};
    const uint8_t poll[] = {0x02, 0x5D, 0x46};
    return Engine.SendArrayMail(poll, 3, answer) == 1;
}

bool TVirtualSim::IsReady() {
    std::array<uint8_t, 101> answer{};
    const uint8_t poll[] = {0x02, 0x5D, 0x46};
    return Engine.SendArrayMail(poll, 3, answer) == 1 && answer[0] == 1;
}

void TVirtualSim::SendClosingMail() {
    Engine.SendMail("02 5D 31");
}

// The pause the handset needs before the closing mail; polled for readiness first after a write.
void TVirtualSim::Close(bool polled) {
    if (SupportsReady()) {
        if (polled)
            for (int poll = 1; poll <= 6 && !IsReady(); ++poll)
                if (poll < 6)
                    PreciseDelay(ReadyPollPause);
        PreciseDelay(ReadyPause);
    } else {
        PreciseDelay(UnreadyPause);
    }
    SendClosingMail();
}

// ---- unfinished moves ----

// A handset without serial number whose text area carries a move's mark is the one that move erased:
// the SIM is in the move's file, and the move is finished now.
int TVirtualSim::FinishMarkedMove(const std::string& textArea) {
    if (!textArea.starts_with(MoveMarkPrefix))
        return SimResult::NoSerialNumber;
    const std::string serial = textArea.substr(std::string(MoveMarkPrefix).size());
    if (Records.RegistryState(serial) != SimMoveState::MovingOut)
        return SimResult::NoSerialNumber;
    SerialNumberText = serial;
    WrittenFile = Records.RegistryFile(serial);
    if (!Records.SetMoveState(serial, "", WrittenFile)) {
        Detail = FormatText(Texts::SimStoreProblem, Records.LastError().c_str());
        return SimResult::NoRecord;
    }
    Detail = FormatText(Texts::SimMoveOutFinished, serial.c_str(), WrittenFile.c_str());
    EraseSim();
    WriteDisplayText(Texts::NoSimText);
    Close(false);
    return SimResult::Done;
}

// The handset still holds the SIM whose move out did not finish: its file goes, and its text area gets
// back what the file holds there (the mark replaced it).
bool TVirtualSim::UndoMoveOut(const std::string& serial) {
    const std::string file = Records.RegistryFile(serial);
    TDynamicByteBuffer earlier;
    try {
        earlier.LoadFromFile(file);
    } catch (const std::exception&) {
    }
    if (earlier.Size() >= TextAreaAddress + TextAreaLength) {
        const std::span<const uint8_t> area = earlier.Data().subspan(TextAreaAddress, TextAreaLength);
        WriteBytes(TextAreaAddress, area);
        // The image was read with the mark in it.
        if (Image.Size() >= TextAreaAddress + TextAreaLength) {
            std::vector<uint8_t> bytes(Image.Data().begin(), Image.Data().end());
            std::copy(area.begin(), area.end(), bytes.begin() + TextAreaAddress);
            Image.Clear();
            Image.AddBuffer(bytes.data(), int(bytes.size()));
        }
    }
    if (!file.empty())
        std::remove(file.c_str());
    if (!Records.RemoveFromRegistry(serial)) {
        Detail = FormatText(Texts::SimStoreProblem, Records.LastError().c_str());
        return false;
    }
    Detail = FormatText(Texts::SimMoveOutUndone, serial.c_str());
    return true;
}

// The handset holds the SIM whose move in did not finish: the move is finished now.
void TVirtualSim::FinishMoveIn(const std::string& serial, const std::string& file) {
    if (!file.empty())
        std::remove(file.c_str());
    Records.RemoveFromRegistry(serial);
    Detail = FormatText(Texts::SimMoveInFinished, serial.c_str());
}

// ---- the two transfers ----

int TVirtualSim::TransferSimToFile(const std::string& fileName) {
    SerialNumberText.clear();
    WrittenFile.clear();
    Detail.clear();
    const uint8_t probe = Engine.ProbeHandset(700);
    if (probe < 1 || probe > 6)
        return SimResult::NoHandset;
    if (!ReadSoftwarePcs())
        return SimResult::NotRead;
    if (!OpenList())
        return SimResult::NotSupported;
    SendPreludeMail();
    if (!ReadSim())
        return SimResult::NotRead;
    try {
        const std::optional<std::string> serial = SerialNumberFromImage(Image.Data());
        if (!serial)
            return Image.Size() >= TextAreaAddress + TextAreaLength
                       ? FinishMarkedMove(DisplayText(Image.Data().subspan(TextAreaAddress, TextAreaLength)))
                       : SimResult::NoSerialNumber;
        SerialNumberText = *serial;
        // An earlier move of this SIM that did not finish: the SIM is here, so it is no longer in a file.
        const std::string state = Records.RegistryState(SerialNumberText);
        if (state == SimMoveState::MovingOut && !UndoMoveOut(SerialNumberText))
            return SimResult::NoRecord;
        if (state == SimMoveState::MovingIn)
            FinishMoveIn(SerialNumberText, Records.RegistryFile(SerialNumberText));
        const std::string undone = Detail;

        WrittenFile = SimFileName(fileName, SerialNumberText);
        try {
            WriteFileDurably(WrittenFile, BytesText(Image.Data()));
        } catch (const std::exception& e) {
            Detail = PrintableText(e.what());
            return SimResult::FileNotWritten;
        }
        const uint32_t checksum = ImageChecksum(Image.Data());
        if (!Records.StoreInRegistry(SerialNumberText, Software, Pcs, checksum, ImageSha256(Image.Data()),
                                     SimMoveState::MovingOut, WrittenFile)) {
            Detail = Records.LastError();
            return SimResult::NoRecord;
        }
        // From here until the journal says the move is done, the handset shows which move it is in.
        WriteDisplayText(MoveMark());
        if (!EraseSerialNumber()) {
            // The write may have reached the handset even though its read-back failed: ask the handset.
            const std::optional<std::string> now = HandsetSerialNumber(nullptr);
            if (!now) {
                Detail = FormatText(Texts::SimEraseUnknown, SerialNumberText.c_str(), WrittenFile.c_str());
                return SimResult::EraseUnknown;
            }
            if (!now->empty()) {
                WriteBytes(TextAreaAddress, Image.Data().subspan(TextAreaAddress, TextAreaLength));
                Records.RemoveFromRegistry(SerialNumberText);
                return SimResult::NotErased;
            }
        }
        if (!Records.SetMoveState(SerialNumberText, "", WrittenFile)) {
            // The SIM is in the file; the record still says the move goes on, which the handset's mark
            // lets the next transfer finish.
            Detail = FormatText(Texts::SimStoreProblem, Records.LastError().c_str());
            return SimResult::NoRecord;
        }
        Detail = undone;
        EraseSim();
        WriteDisplayText(Texts::NoSimText);
        Close(false);
        return SimResult::Done;
    } catch (const EStoreError& e) {
        Detail = FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str());
    } catch (const ESimRecordError& e) {
        Detail = FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str());
    }
    return SimResult::NoRecord;
}

int TVirtualSim::TransferFileToSim(const std::string& fileName) {
    SerialNumberText.clear();
    WrittenFile.clear();
    Detail.clear();
    try {
        Image.Clear();
        // No SIM comes near a megabyte; a larger file is no SIM file.
        if (QFileInfo(QString::fromStdString(fileName)).size() > ScratchSize)
            return SimResult::NotValid;
        Image.LoadFromFile(fileName);
    } catch (const std::exception& e) {
        Detail = PrintableText(e.what());
        return SimResult::NotOpened;
    }
    const std::optional<std::string> serial = SerialNumberFromImage(Image.Data());
    if (!serial)
        return SimResult::NoSerialNumber;
    SerialNumberText = *serial;
    try {
        if (!Records.RegistryCrcMatches(SerialNumberText, ImageChecksum(Image.Data()),
                                        ImageSha256(Image.Data())))
            return SimResult::NotValid;
        const std::string state = Records.RegistryState(SerialNumberText);
        const uint8_t probe = Engine.ProbeHandset(700);
        if (probe < 1 || probe > 6)
            return SimResult::NoHandset;
        if (!ReadSoftwarePcs())
            return SimResult::NotRead;
        if (Records.RegistrySoftware(SerialNumberText) != Software)
            return SimResult::OtherSoftware;
        if (!OpenList())
            return SimResult::NotSupported;
        if (!List->IsCompatible(Software, Pcs, Records.RegistryPcs(SerialNumberText)))
            return SimResult::NotCompatible;
        if (Image.Size() != SimSize) {
            Detail = FormatText(Texts::SimWrongSize, Image.Size(), int(SimSize));
            return SimResult::WrongSize;
        }
        std::string textArea;
        const std::optional<std::string> held = HandsetSerialNumber(&textArea);
        if (!held)
            return SimResult::NotRead;
        if (state == SimMoveState::MovingOut) {
            // Only the handset the SIM came from can tell how that move ended.
            if (*held == SerialNumberText) {
                UndoMoveOut(SerialNumberText);
                return SimResult::MoveUnfinished;
            }
            if (!held->empty() || textArea != MoveMark()) {
                Detail = FormatText(Texts::SimMoveOutUnfinished, SerialNumberText.c_str());
                return SimResult::MoveUnfinished;
            }
            // The handset it came from, erased: the move out is finished, and the SIM goes back.
            if (!Records.SetMoveState(SerialNumberText, "", fileName)) {
                Detail = FormatText(Texts::SimStoreProblem, Records.LastError().c_str());
                return SimResult::NoRecord;
            }
        }
        if (!held->empty()) {
            if (*held == SerialNumberText && state == SimMoveState::MovingIn) {
                FinishMoveIn(SerialNumberText, fileName);
                return SimResult::Done;
            }
            Detail = FormatText(Texts::SimHandsetHoldsSim, held->c_str());
            return SimResult::HandsetHoldsSim;
        }
        SendPreludeMail();
        if (!Records.SetMoveState(SerialNumberText, SimMoveState::MovingIn, fileName)) {
            Detail = FormatText(Texts::SimStoreProblem, Records.LastError().c_str());
            return SimResult::NoRecord;
        }
        if (!WriteSim()) {
            WriteDisplayText(Texts::NoSimText);
            EraseSerialNumber();
            // Only a handset known to hold no serial number leaves the SIM in its file alone.
            const std::optional<std::string> now = HandsetSerialNumber(nullptr);
            if (now && now->empty())
                Records.SetMoveState(SerialNumberText, "", fileName);
            else
                Detail = FormatText(Texts::SimMoveInUnknown, SerialNumberText.c_str());
            return SimResult::NotWritten;
        }
        if (!Records.RemoveFromRegistry(SerialNumberText))
            Detail = FormatText(Texts::SimStoreProblem, Records.LastError().c_str());
        std::remove(fileName.c_str());
        Close(true);
        return SimResult::Done;
    } catch (const EStoreError& e) {
        Detail = FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str());
    } catch (const ESimRecordError& e) {
        Detail = FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str());
    }
    return SimResult::NotValid;
}
