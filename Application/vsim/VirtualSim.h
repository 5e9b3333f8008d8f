#pragma once

#include "vsim/SimResult.h"

#include "link/Sndmail.h"
#include "vsim/RecordStore.h"
#include "vsim/SimMark.h"
#include "vsim/SimRecords.h"
#include "vsim/VirtualSimXml.h"
#include "xml/DynamicByteBuffer.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Moves a handset's SIM into a file and a file's SIM into a handset, over the engine, with a record of
// every SIM in a file. A SIM is in exactly one place: a handset with its serial number, or a file whose
// record exists, matches and is in no move. Each move keeps a journal in its record, and the handset it
// changes carries the move's own mark in its text area while the move may be cut short (the giving
// handset from before its serial number is erased until it is wholly erased, the receiving one from
// before its first byte until its serial number is in). A move cut short by a lost line or a killed
// program is finished or undone only on a handset that carries its mark or the SIM's serial number.
// One object serves one transfer.
class TVirtualSim {
public:
    TVirtualSim(TMailControl& engine, std::string listPath, TSimRecords& records);
    ~TVirtualSim();
    TVirtualSim(const TVirtualSim&) = delete;
    TVirtualSim& operator=(const TVirtualSim&) = delete;

    // fileName names the folder and the stem: the SIM goes to "<stem>_<serial number>.sim" beside it.
    TSimResult TransferSimToFile(const std::string& fileName);
    TSimResult TransferFileToSim(const std::string& fileName);

    // Addresses the transfer itself uses, whatever the interpreter list says.
    static constexpr uint16_t SerialAddress = 64;
    static constexpr uint16_t SerialLength = 5;
    static constexpr uint16_t TextAreaAddress = SimMark::TextAreaAddress;
    static constexpr uint16_t TextAreaLength = SimMark::TextAreaLength;

    // "backup.sim" with '00291 0284280' gives "backup_00291 0284280.sim", in the same folder.
    static std::string SimFileName(const std::string& chosen, const std::string& serialNumber);

    // The serial number of the SIM in hand; empty at the start of each transfer.
    std::string SerialNumberText;
    // The file a transfer to file wrote, an absolute path.
    std::string WrittenFile;
    // What the person should know beyond the result: an earlier move finished or undone, or what is
    // known after a step whose outcome is not; empty when there is nothing to add.
    std::string Detail;
    // The SIM is in its file, but the erase of the handset it came from was not confirmed to its end:
    // the person must still finish the move on that handset.
    bool ErasePending = false;
    // The SIM moved, but the records could not note the last step (Detail says which, and what to do):
    // the move is over only once they do.
    bool RecordPending = false;
    std::string Software;
    std::string Pcs;

    // The pauses at the end of a transfer: with and without the handset's readiness reports.
    std::chrono::milliseconds ReadyPause{3000};
    std::chrono::milliseconds UnreadyPause{10000};
    std::chrono::milliseconds ReadyPollPause{500};

private:
    using TTextArea = SimMark::TTextArea;

    class TReadyWait;

    // What a transfer tells of itself (serial number, file, detail, what is pending), empty at its start.
    void ForgetLastTransfer();
    // The handset answers its probe and tells its software and PCS; else how the transfer ends.
    std::optional<TSimResult> MeetHandset();
    bool ReadSoftwarePcs();
    bool OpenList();
    void SendPreludeMail();
    bool ReadSim();
    // The reads of a save, up to the text area: nothing when all went well, else the result to end with
    // (Stopped when a stop was asked for).
    std::optional<TSimResult> ReadForSave(TTextArea& area);
    bool EraseSerialNumber();
    std::optional<std::string> HandsetSerialNumber(TTextArea* textArea);
    bool EraseSim();
    bool WriteSim();
    bool WriteDisplayText(const std::string& text);
    bool WriteTextArea(const TTextArea& area);
    bool WriteMark(const std::string& mark);
    std::optional<std::string> PartlyCleared(const TTextArea& area) const;
    bool ImageHoldsTextArea() const;
    TTextArea ImageTextArea() const;
    void SetImageTextArea(const TTextArea& area);
    TTextArea OwnText(const TTextArea& area, const TSimJournal& journal, const TTextArea& unknown) const;
    TTextArea FinalText(const TSimJournal& journal) const;
    bool WriteBytes(uint16_t address, std::span<const uint8_t> bytes);
    bool SupportsReady();
    bool IsReady();
    void PrepareWriteRun();
    void SendClosingMail();
    void Close(bool polled);
    bool Fail(const std::string& reason);
    std::string KeepStep(const TPendingStep& step, const std::string& otherwise);

    // The claim of the SIM's move, held by the caller until the move ends; Detail says why when there is
    // none (another program holds it).
    std::unique_ptr<TMoveClaim> Claim(const std::string& serialNumber);
    TSimResult FinishMarkedMove(const TTextArea& area);
    bool UndoMoveOut(const TSimJournal& journal, TTextArea& area);
    TSimResult FinishMoveIn(const TSimJournal& journal, TTextArea& area);
    TSimResult FailMoveIn(const std::string& file);
    TSimResult WriteIntoHandset(const std::string& file, TSimJournal journal, const TTextArea& area);

    TMailControl& Engine;
    std::string ListPath;
    TSimRecords& Records;
    std::unique_ptr<TVirtualSimXml> List;
    std::unique_ptr<TReadyWait> ReadyWait;
    TDynamicByteBuffer Image;
    uint16_t SimSize = 0;
};
