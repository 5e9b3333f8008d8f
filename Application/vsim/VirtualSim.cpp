#include "vsim/VirtualSim.h"

#include "link/EngineSettings.h"
#include "link/MailCodes.h"
#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "link/Timing.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "vsim/RecordStore.h"
#include "vsim/SerialNumber.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

using namespace SimMark;

namespace {

constexpr int ScratchSize = 65536;
// The head of the text area that is written last: it holds "MOVING " whole.
constexpr size_t MarkHead = 8;
// The step that notes the handset a SIM left as wholly erased: its mark is no longer needed.
constexpr const char* ErasedStep = "erased";

using namespace std::chrono_literals;
// After each block write to a handset that reports readiness: up to six polls, this far apart.
constexpr int ReadyPollsPerBlock = 6;
constexpr auto BlockReadyPollPause = 30ms;
// The read-back delay of a block write: none where the handset reports readiness, else this.
constexpr auto UnreportedReadbackDelay = 25ms;

std::string BytesText(std::span<const uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Paths are the file system's bytes throughout: a folder's name need not be UTF-8.
std::string AbsolutePath(const std::string& file) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    return ec ? file : absolute.lexically_normal().string();
}

bool RemoveFile(const std::string& file) {
    return file.empty() || unlink(file.c_str()) == 0 || errno == ENOENT;
}

} // namespace

// Paces block writes by the handset's readiness instead of a fixed read-back delay.
class TVirtualSim::TReadyWait : public TBlockListener {
public:
    explicit TReadyWait(TVirtualSim& sim)
        : Sim(sim) {}
    void BlockDone(TMailControl&, uint8_t) override {
        for (int poll = 1; poll <= ReadyPollsPerBlock && !Sim.Engine.LineLost(); ++poll) {
            if (Sim.IsReady())
                return;
            if (poll < ReadyPollsPerBlock)
                Sim.Engine.Pause(BlockReadyPollPause);
        }
    }

private:
    TVirtualSim& Sim;
};

const char* SimResultName(TSimResult result) {
    switch (result) {
    case TSimResult::Done:
        return "Done";
    case TSimResult::NoHandset:
        return "NoHandset";
    case TSimResult::NotRead:
        return "NotRead";
    case TSimResult::NoSerialNumber:
        return "NoSerialNumber";
    case TSimResult::NotErased:
        return "NotErased";
    case TSimResult::EraseUnknown:
        return "EraseUnknown";
    case TSimResult::NoRecord:
        return "NoRecord";
    case TSimResult::FileNotWritten:
        return "FileNotWritten";
    case TSimResult::NotSupported:
        return "NotSupported";
    case TSimResult::NotValid:
        return "NotValid";
    case TSimResult::NotOpened:
        return "NotOpened";
    case TSimResult::NotWritten:
        return "NotWritten";
    case TSimResult::OtherSoftware:
        return "OtherSoftware";
    case TSimResult::NotCompatible:
        return "NotCompatible";
    case TSimResult::MoveUnfinished:
        return "MoveUnfinished";
    case TSimResult::HandsetHoldsSim:
        return "HandsetHoldsSim";
    case TSimResult::WrongSize:
        return "WrongSize";
    case TSimResult::MoveBusy:
        return "MoveBusy";
    case TSimResult::Stopped:
        return "Stopped";
    }
    return "unknown";
}

TVirtualSim::TVirtualSim(TMailControl& engine, std::string listPath, TSimRecords& records)
    : Engine(engine)
    , ListPath(std::move(listPath))
    , Records(records) {}

TVirtualSim::~TVirtualSim() {
    Engine.SetBlockListener(nullptr);
}

std::string TVirtualSim::SimFileName(const std::string& chosen, const std::string& serialNumber) {
    // The stem is the name without its extension (after the last dot), in the folder chosen.
    const size_t slash = chosen.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : chosen.substr(0, slash);
    std::string name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return folder + "/" + name + "_" + serialNumber + "." + Texts::SimExtension;
}

bool TVirtualSim::Fail(const std::string& reason) {
    Detail = FormatText(Texts::SimStoreProblem, reason.c_str());
    return false;
}

// ---- the handset ----

bool TVirtualSim::ReadSoftwarePcs() {
    std::array<uint8_t, 8> data{};
    if (Engine.SendMailToArray(MailCode::Software, data) != data.size())
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
    Engine.SendMail(MailCode::SimOpening);
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
std::optional<std::string> TVirtualSim::HandsetSerialNumber(TTextArea* textArea) {
    std::array<uint8_t, SerialLength> serial{};
    if (Engine.ReadBlock(serial, SerialLength, SerialAddress) != SerialLength)
        return std::nullopt;
    if (textArea && Engine.ReadBlock(*textArea, TextAreaLength, TextAreaAddress) != TextAreaLength)
        return std::nullopt;
    return TPP_SerialNumber::FormatSerialNumber(HexDigits(serial));
}

// The text area is the SIM's only when the SIM reaches past all of it; a shorter SIM leaves it to the
// handset, whose own text is kept in the journal while a mark stands in its place.
bool TVirtualSim::ImageHoldsTextArea() const {
    return Image.Size() >= TextAreaAddress + TextAreaLength;
}

TVirtualSim::TTextArea TVirtualSim::ImageTextArea() const {
    TTextArea area{};
    if (ImageHoldsTextArea())
        std::copy_n(Image.Data().begin() + TextAreaAddress, area.size(), area.begin());
    return area;
}

void TVirtualSim::SetImageTextArea(const TTextArea& area) {
    if (!ImageHoldsTextArea())
        return;
    std::vector<uint8_t> bytes(Image.Data().begin(), Image.Data().end());
    std::copy(area.begin(), area.end(), bytes.begin() + TextAreaAddress);
    Image.Clear();
    Image.AddBuffer(bytes.data(), int(bytes.size()));
}

// What a marked handset shows once its move is over: the text it had before the mark, as the journal
// kept it. A mark that nothing explains is no one's text: it becomes the one given.
TVirtualSim::TTextArea TVirtualSim::OwnText(const TTextArea& area, const TSimJournal& journal,
                                            const TTextArea& unknown) const {
    if (const std::optional<TTextArea> kept = AreaFromHex(journal.Text))
        return *kept;
    if (!IsMark(DisplayText(area)))
        return area;
    if (!journal.File.empty()) {
        TDynamicByteBuffer earlier;
        try {
            earlier = ReadSimFile(journal.File);
        } catch (const std::exception&) {
            // A file that cannot be read has no text to give: the mark becomes the text given below.
            earlier = {};
        }
        if (earlier.Size() >= TextAreaAddress + TextAreaLength &&
            !IsMark(DisplayText(earlier.Data().subspan(TextAreaAddress, TextAreaLength)))) {
            TTextArea own{};
            std::copy_n(earlier.Data().begin() + TextAreaAddress, own.size(), own.begin());
            return own;
        }
    }
    return unknown;
}

// The receiving handset's text once the SIM is in: the SIM's when it holds the area, else its own.
TVirtualSim::TTextArea TVirtualSim::FinalText(const TSimJournal& journal) const {
    if (ImageHoldsTextArea())
        return ImageTextArea();
    return AreaFromHex(journal.Text).value_or(TTextArea{});
}

void TVirtualSim::PrepareWriteRun() {
    Engine.ReadbackDelay = UnreportedReadbackDelay;
    if (SupportsReady()) {
        Engine.ReadbackDelay = std::chrono::milliseconds(0);
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

// Everything of the image but the protected addresses, the serial number and the text area, which the
// move writes after it.
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
    Engine.SetBlockListener(nullptr);
    return ok;
}

// The whole area is written, so that no tail of a longer text (a mark) stays behind the new one, and its
// head last: a write cut off part-way leaves the head of the mark it replaces, which the handset shows
// and the next save recognises.
bool TVirtualSim::WriteTextArea(const TTextArea& area) {
    const auto bytes = std::span<const uint8_t>(area);
    return WriteBytes(TextAreaAddress + MarkHead, bytes.subspan(MarkHead)) &&
           WriteBytes(TextAreaAddress, bytes.first(MarkHead));
}

// A mark goes in head first, so that a part of it is a mark already.
bool TVirtualSim::WriteMark(const std::string& mark) {
    return WriteBytes(TextAreaAddress, AreaOf(mark));
}

bool TVirtualSim::WriteDisplayText(const std::string& text) {
    if (text.empty() || text.size() > TextAreaLength)
        return false;
    return WriteTextArea(AreaOf(text));
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
    Engine.SendMail(MailCode::SimClosing);
}

// The pause the handset needs before the closing mail; polled for readiness first after a write.
void TVirtualSim::Close(bool polled) {
    if (Engine.LineLost())
        return;
    if (SupportsReady()) {
        if (polled)
            for (int poll = 1; poll <= 6 && !IsReady(); ++poll)
                if (poll < 6)
                    Engine.Pause(ReadyPollPause);
        Engine.Pause(ReadyPause);
    } else {
        Engine.Pause(UnreadyPause);
    }
    SendClosingMail();
}

// A step of the move the records could not take: kept for the next command that reaches them. The text
// says so, or, where it cannot be kept either, what the person runs instead (otherwise).
std::string TVirtualSim::KeepStep(const TPendingStep& step, const std::string& otherwise) {
    std::string error;
    if (KeepPendingStep(Records.Engine().Where(), step, &error))
        return FormatText(Texts::SimStepKept, PendingStepsFile().c_str());
    return FormatText(Texts::SimStepNotKept, error.c_str(), otherwise.c_str());
}

// ---- unfinished moves ----

std::unique_ptr<TMoveClaim> TVirtualSim::Claim(const std::string& serialNumber) {
    std::unique_ptr<TMoveClaim> claim = Records.ClaimMove(serialNumber);
    if (!claim)
        Detail = FormatText(Texts::SimMoveBusy, serialNumber.c_str());
    return claim;
}

// A handset without serial number that shows a mark: the mark tells which move left it so, and only the
// move whose journal holds that very mark is finished or undone here. Any other mark is of a move that is
// over, and is cleared. The handset ends as an uninterrupted move out leaves it.
TSimResult TVirtualSim::FinishMarkedMove(const TTextArea& area) {
    const std::string text = DisplayText(area);
    std::optional<std::string> serial = MarkedSerial(text);
    TSimJournal journal;
    bool ours = false;
    if (serial) {
        journal = Records.Journal(*serial);
        ours = CarriesMark(text, *serial, journal);
    }
    if (!ours) {
        if (std::optional<std::string> partly = PartlyCleared(area)) {
            serial = partly;
            journal = Records.Journal(*serial);
            ours = true;
        }
    }
    std::unique_ptr<TMoveClaim> claim;
    if (ours) {
        if (!(claim = Claim(*serial)))
            return TSimResult::MoveBusy;
        // The journal as it stands with the claim held: a move that ended meanwhile has changed it.
        journal = Records.Journal(*serial);
    }
    if (!ours) {
        if (!IsMark(text))
            return TSimResult::NoSerialNumber;
        EraseSim();
        WriteDisplayText(Texts::NoSimText);
        Close(false);
        Detail = FormatText(Texts::SimStaleMarkCleared, PrintableText(text).c_str());
        return TSimResult::NoSerialNumber;
    }
    if (journal.State == SimMoveState::MovingIn) {
        // The handset the SIM was going into, before its serial number: the SIM is still in its file.
        if (!Records.SetJournal(*serial, {"", journal.File})) {
            Fail(Records.LastError());
            return TSimResult::NoRecord;
        }
        WriteDisplayText(Texts::NoSimText);
        Close(false);
        Detail = FormatText(Texts::SimMoveInUndone, serial->c_str(), journal.File.c_str());
        return TSimResult::NoSerialNumber;
    }
    SerialNumberText = *serial;
    WrittenFile = journal.File;
    TSimJournal erasing = journal;
    erasing.State.clear();
    if (erasing.Mark.empty())
        erasing.Mark = text;
    if (!Records.SetJournal(*serial, erasing)) {
        Fail(Records.LastError());
        return TSimResult::NoRecord;
    }
    Detail = FormatText(Texts::SimMoveOutFinished, serial->c_str(), WrittenFile.c_str());
    if (EraseSim() && WriteDisplayText(Texts::NoSimText)) {
        if (!Records.SetJournal(*serial, {"", WrittenFile}, ErasedStep)) {
            Detail += "\r\r" + FormatText(Texts::SimErasedNotNoted, Records.LastError().c_str()) + " " +
                      KeepStep({*serial, ErasedStep, {"", "", erasing.Mark}, false, {"", WrittenFile}},
                               Texts::SimRestoreTakesFile);
            RecordPending = true;
        }
    } else {
        Detail += "\r\r" + FormatText(Texts::SimEraseNotFinished, serial->c_str(), WrittenFile.c_str());
        ErasePending = true;
    }
    Close(false);
    return TSimResult::Done;
}

// The move out whose mark "   NO SIM   " was replacing when it was cut off: every byte of the area is the
// mark's or that text's.
std::optional<std::string> TVirtualSim::PartlyCleared(const TTextArea& area) const {
    // Only moves whose serial number is erased already (the SIM in its file, the erase to finish), and
    // only one: where the write left no more than the head, which every mark shares, no move is meant.
    std::optional<std::string> found;
    for (const TSimRecord& record : Records.Records()) {
        const TSimJournal& journal = record.Journal;
        if (!record.Problem.empty() || !journal.State.empty() || !journal.Mark.starts_with(OutPrefix) ||
            !PartlyReplaced(area, journal.Mark, Texts::NoSimText))
            continue;
        if (found)
            return std::nullopt;
        found = record.SerialNumber;
    }
    return found;
}

// The handset still holds the SIM whose move out did not finish: its file goes, and its text area gets
// back what it showed before the mark.
bool TVirtualSim::UndoMoveOut(const TSimJournal& journal, TTextArea& area) {
    const TTextArea own = OwnText(area, journal, TTextArea{});
    if (own != area)
        WriteTextArea(own);
    area = own;
    SetImageTextArea(own);
    RemoveFile(journal.File);
    if (!Records.RemoveFromRegistry(SerialNumberText))
        return Fail(Records.LastError());
    Detail = FormatText(Texts::SimMoveOutUndone, SerialNumberText.c_str());
    return true;
}

// The handset holds the SIM whose move in did not finish: what is left of the move (the text area, if
// the mark still stands there) is done now, then its file and record go.
TSimResult TVirtualSim::FinishMoveIn(const TSimJournal& journal, TTextArea& area) {
    TDynamicByteBuffer file;
    try {
        file = ReadSimFile(journal.File);
    } catch (const std::exception&) {
        // Without the file the text comes from the journal, as for a SIM shorter than the text area.
        file = {};
    }
    // The text the move writes last: the file's, when it holds the area, else the one the handset had
    // before. Written again whatever the handset shows, as the write may have been cut off part-way.
    TTextArea text = AreaFromHex(journal.Text).value_or(TTextArea{});
    if (file.Size() >= TextAreaAddress + TextAreaLength &&
        SerialNumberFromImage(file.Data()) == SerialNumberText)
        std::copy_n(file.Data().begin() + TextAreaAddress, text.size(), text.begin());
    if (!WriteTextArea(text)) {
        Detail = FormatText(Texts::SimTextNotWritten, SerialNumberText.c_str());
        return TSimResult::MoveUnfinished;
    }
    area = text;
    SetImageTextArea(text);
    RemoveFile(journal.File);
    if (!Records.RemoveFromRegistry(SerialNumberText)) {
        Fail(Records.LastError());
        return TSimResult::NoRecord;
    }
    Detail = FormatText(Texts::SimMoveInFinished, SerialNumberText.c_str());
    return TSimResult::Done;
}

// ---- the two transfers ----

namespace {

// A step that ended without its answer ended so for the stop, when one was asked for.
TSimResult Ended(TSimResult code) {
    return StopRequested() ? TSimResult::Stopped : code;
}

} // namespace

std::optional<TSimResult> TVirtualSim::MeetHandset() {
    // The probe and the software's question change nothing: a stop ends them at once.
    const TStoppableStretch stoppable(Engine);
    const uint8_t probe = Engine.ProbeHandset(OperationProbePause);
    if (probe < 1 || probe > 6)
        return Ended(TSimResult::NoHandset);
    if (!ReadSoftwarePcs())
        return Ended(TSimResult::NotRead);
    if (StopRequested())
        return TSimResult::Stopped;
    return std::nullopt;
}

std::optional<TSimResult> TVirtualSim::ReadForSave(TTextArea& area) {
    if (const std::optional<TSimResult> missed = MeetHandset())
        return missed;
    const TStoppableStretch stoppable(Engine);
    if (!OpenList())
        return Ended(TSimResult::NotSupported);
    SendPreludeMail();
    if (!ReadSim())
        return Ended(TSimResult::NotRead);
    // The text area, from the image where it is part of the SIM, else from the handset.
    area = ImageTextArea();
    if (!ImageHoldsTextArea() && Engine.ReadBlock(area, TextAreaLength, TextAreaAddress) != TextAreaLength)
        return Ended(TSimResult::NotRead);
    if (StopRequested())
        return TSimResult::Stopped;
    return std::nullopt;
}

void TVirtualSim::ForgetLastTransfer() {
    SerialNumberText.clear();
    ErasePending = false;
    RecordPending = false;
    WrittenFile.clear();
    Detail.clear();
}

TSimResult TVirtualSim::TransferSimToFile(const std::string& fileName) {
    ForgetLastTransfer();
    TTextArea area{};
    // Until the SIM and its text are read, nothing is changed: a stop ends the reads at once, in the
    // middle of a wait or a pause too.
    if (const std::optional<TSimResult> read = ReadForSave(area))
        return *read;
    try {
        const std::optional<std::string> serial = SerialNumberFromImage(Image.Data());
        if (!serial)
            return FinishMarkedMove(area);
        SerialNumberText = *serial;
        const std::unique_ptr<TMoveClaim> claim = Claim(SerialNumberText);
        if (!claim)
            return TSimResult::MoveBusy;
        // An earlier move of this SIM that did not finish: the SIM is here, so it is in no file.
        const TSimJournal earlier = Records.Journal(SerialNumberText);
        if (earlier.State == SimMoveState::MovingOut && !UndoMoveOut(earlier, area))
            return TSimResult::NoRecord;
        if (earlier.State == SimMoveState::MovingIn) {
            if (const TSimResult code = FinishMoveIn(earlier, area); code != TSimResult::Done)
                return code;
        }
        const std::string undone = Detail;
        // Never a mark into the file: a mark no move explains leaves an empty text.
        area = OwnText(area, {}, TTextArea{});
        SetImageTextArea(area);

        WrittenFile = AbsolutePath(SimFileName(fileName, SerialNumberText));
        try {
            WriteFileDurably(WrittenFile, BytesText(Image.Data()));
        } catch (const std::exception& e) {
            Detail = PrintableText(e.what());
            return TSimResult::FileNotWritten;
        }
        const uint32_t checksum = ImageChecksum(Image.Data());
        const std::string mark = NewMark(OutPrefix, SerialNumberText);
        const TSimJournal moving{SimMoveState::MovingOut, WrittenFile, mark, AreaHex(area)};
        if (!Records.StoreInRegistry(SerialNumberText, Software, Pcs, checksum, ImageSha256(Image.Data()),
                                     moving)) {
            Detail = Records.LastError();
            return TSimResult::NoRecord;
        }
        // From here until the handset is wholly erased, it shows which move it is in. Without the mark
        // nothing could tell it later from any other handset without serial number: the move stops.
        if (!WriteMark(mark)) {
            // Nothing moved. Where the handset's text cannot be put back either, the journal keeps it
            // for the next save on this handset, which undoes the move.
            if (WriteTextArea(area)) {
                RemoveFile(WrittenFile);
                Records.RemoveFromRegistry(SerialNumberText);
                Detail = FormatText(Texts::SimMarkNotWritten, SerialNumberText.c_str());
            } else {
                Detail = FormatText(Texts::SimMarkNotWrittenFileKept, SerialNumberText.c_str(),
                                    PrintableText(WrittenFile).c_str());
            }
            return TSimResult::NotErased;
        }
        if (!EraseSerialNumber()) {
            // The write may have reached the handset even though its read-back failed: ask the handset.
            const std::optional<std::string> now = HandsetSerialNumber(nullptr);
            if (!now) {
                Detail = FormatText(Texts::SimEraseUnknown, SerialNumberText.c_str(), WrittenFile.c_str());
                return TSimResult::EraseUnknown;
            }
            if (!now->empty()) {
                WriteTextArea(area);
                Records.RemoveFromRegistry(SerialNumberText);
                return TSimResult::NotErased;
            }
        }
        // The SIM is in the file; the mark stays in the journal until the handset is wholly erased.
        if (!Records.SetJournal(SerialNumberText, {"", WrittenFile, mark, moving.Text})) {
            // The SIM is in its file. The record still says the move goes on; the handset keeps its mark,
            // which lets the next save finish the move once the records have taken the step.
            Detail = FormatText(Texts::SimInFileNotNoted, SerialNumberText.c_str(), WrittenFile.c_str(),
                                PrintableText(mark).c_str(), Records.LastError().c_str()) +
                     " " +
                     KeepStep({SerialNumberText,
                               "in-file",
                               {SimMoveState::MovingOut, "", mark},
                               false,
                               {"", WrittenFile, mark, moving.Text}},
                              FormatText(Texts::SimFinishOnHandset, PrintableText(mark).c_str()));
            ErasePending = true;
            RecordPending = true;
            Close(false);
            return TSimResult::Done;
        }
        Detail = undone;
        if (EraseSim() && WriteDisplayText(Texts::NoSimText)) {
            if (!Records.SetJournal(SerialNumberText, {"", WrittenFile}, ErasedStep)) {
                Detail += std::string(Detail.empty() ? "" : "\r\r") +
                          FormatText(Texts::SimErasedNotNoted, Records.LastError().c_str()) + " " +
                          KeepStep({SerialNumberText, ErasedStep, {"", "", mark}, false, {"", WrittenFile}},
                                   Texts::SimRestoreTakesFile);
                RecordPending = true;
            }
        } else {
            Detail += std::string(Detail.empty() ? "" : "\r\r") +
                      FormatText(Texts::SimEraseNotFinished, SerialNumberText.c_str(), WrittenFile.c_str());
            ErasePending = true;
        }
        Close(false);
        return TSimResult::Done;
    } catch (const EStoreError& e) {
        Fail(PrintableText(e.what()));
    } catch (const ESimRecordError& e) {
        Fail(PrintableText(e.what()));
    }
    return TSimResult::NoRecord;
}

// The write failed part-way: the serial number is erased again, and only a handset known to hold none
// gives the SIM back to its file.
TSimResult TVirtualSim::FailMoveIn(const std::string& file) {
    EraseSerialNumber();
    const std::optional<std::string> now = HandsetSerialNumber(nullptr);
    if (now && now->empty()) {
        WriteDisplayText(Texts::NoSimText);
        if (!Records.SetJournal(SerialNumberText, {"", file}))
            Fail(Records.LastError());
    } else {
        Detail = FormatText(Texts::SimMoveInUnknown, SerialNumberText.c_str());
    }
    return TSimResult::NotWritten;
}

// Writes the file's SIM into the handset the journal's mark names (marked now when the journal has no
// mark yet): everything but the serial number and the text area, then the serial number, then the text.
TSimResult TVirtualSim::WriteIntoHandset(const std::string& file, TSimJournal journal,
                                         const TTextArea& area) {
    if (journal.Mark.empty()) {
        const TTextArea own = OwnText(area, {}, AreaOf(Texts::NoSimText));
        journal = {SimMoveState::MovingIn, file, NewMark(InPrefix, SerialNumberText), AreaHex(own)};
        // The mark before the journal: a journal never names a mark the handset may not carry.
        if (!WriteMark(journal.Mark)) {
            WriteTextArea(area);
            Detail = FormatText(Texts::SimMarkNotWritten, SerialNumberText.c_str());
            return TSimResult::NotWritten;
        }
        if (!Records.SetJournal(SerialNumberText, journal)) {
            Fail(Records.LastError());
            return TSimResult::NoRecord;
        }
    }
    if (!WriteSim())
        return FailMoveIn(file);
    if (!WriteBytes(SerialAddress, Image.Data().subspan(SerialAddress, SerialLength)))
        return FailMoveIn(file);
    if (!WriteTextArea(FinalText(journal))) {
        Detail = FormatText(Texts::SimTextNotWritten, SerialNumberText.c_str());
        return TSimResult::MoveUnfinished;
    }
    // The SIM is in the handset: its file goes whatever the records say, and a record that could not be
    // removed is a step still to take, which the person is told and the exit status shows.
    RemoveFile(file);
    if (!Records.RemoveFromRegistry(SerialNumberText)) {
        Detail =
            FormatText(Texts::SimRecordNotRemoved, SerialNumberText.c_str(), Records.LastError().c_str()) +
            " " +
            KeepStep({SerialNumberText, "removed", {SimMoveState::MovingIn, "", journal.Mark}, true},
                     FormatText(Texts::SimRemoveRecordLater, SerialNumberText.c_str()));
        RecordPending = true;
    }
    Close(true);
    return TSimResult::Done;
}

TSimResult TVirtualSim::TransferFileToSim(const std::string& fileName) {
    ForgetLastTransfer();
    const std::string file = AbsolutePath(fileName);
    try {
        Image.Clear();
        Image = ReadSimFile(file);
    } catch (const std::exception& e) {
        Detail = PrintableText(e.what());
        return TSimResult::NotOpened;
    }
    const std::optional<std::string> serial = SerialNumberFromImage(Image.Data());
    if (!serial)
        return TSimResult::NoSerialNumber;
    SerialNumberText = *serial;
    try {
        // Held to the end: between the check of the record and its removal no other move may take it.
        const std::unique_ptr<TMoveClaim> claim = Claim(SerialNumberText);
        if (!claim)
            return TSimResult::MoveBusy;
        Detail = Records.Refusal(SerialNumberText, ImageChecksum(Image.Data()), ImageSha256(Image.Data()));
        if (!Detail.empty())
            return TSimResult::NotValid;
        // A record from an earlier version that has no SHA-256 gets the file's now: from this move on,
        // more than the byte sum guards it.
        if (std::optional<TSimRecord> record = Records.Engine().Find(SerialNumberText);
            record && record->Sha256.empty()) {
            record->Sha256 = ImageSha256(Image.Data());
            Records.Engine().Put(*record, "sha256");
        }
        TSimJournal journal = Records.Journal(SerialNumberText);
        if (const std::optional<TSimResult> missed = MeetHandset())
            return *missed;
        if (Records.RegistrySoftware(SerialNumberText) != Software)
            return TSimResult::OtherSoftware;
        if (!OpenList())
            return TSimResult::NotSupported;
        if (!List->IsCompatible(Software, Pcs, Records.RegistryPcs(SerialNumberText)))
            return TSimResult::NotCompatible;
        if (Image.Size() != SimSize) {
            Detail = FormatText(Texts::SimWrongSize, Image.Size(), int(SimSize));
            return TSimResult::WrongSize;
        }
        SendPreludeMail();
        TTextArea area{};
        const std::optional<std::string> held = HandsetSerialNumber(&area);
        if (!held)
            return TSimResult::NotRead;
        const bool marked = CarriesMark(DisplayText(area), SerialNumberText, journal);
        if (journal.State == SimMoveState::MovingOut) {
            // Only the handset the SIM came from can tell how that move ended.
            if (*held == SerialNumberText) {
                UndoMoveOut(journal, area);
                return TSimResult::MoveUnfinished;
            }
            if (!held->empty() || !marked) {
                Detail = FormatText(Texts::SimMoveOutUnfinished, SerialNumberText.c_str());
                return TSimResult::MoveUnfinished;
            }
            // The handset it came from, erased: the move out is finished, and the SIM goes back.
            journal = {"", file};
            if (!Records.SetJournal(SerialNumberText, journal)) {
                Fail(Records.LastError());
                return TSimResult::NoRecord;
            }
        } else if (journal.State == SimMoveState::MovingIn) {
            // Only the handset the SIM was going into, known by its mark or the SIM's serial number.
            if (*held == SerialNumberText)
                return FinishMoveIn(journal, area);
            if (!held->empty() || !marked) {
                Detail = FormatText(Texts::SimMoveInUnfinished, SerialNumberText.c_str(),
                                    PrintableText(journal.Mark).c_str());
                return TSimResult::MoveUnfinished;
            }
            // The same handset again: the move goes on under its mark, into the file it was taking.
            journal.File = file;
        } else {
            // A move out that finished leaves its mark until the handset is wholly erased; the SIM is
            // in its file, and this move starts afresh.
            journal = {"", file};
        }
        if (!held->empty()) {
            Detail = FormatText(Texts::SimHandsetHoldsSim, held->c_str());
            return TSimResult::HandsetHoldsSim;
        }
        return WriteIntoHandset(file, journal, area);
    } catch (const EStoreError& e) {
        Fail(PrintableText(e.what()));
    } catch (const ESimRecordError& e) {
        Fail(PrintableText(e.what()));
    }
    return TSimResult::NotValid;
}
