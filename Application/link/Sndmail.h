#pragma once

#include "link/EngineProfile.h"
#include "link/MailRecord.h"
#include "link/SendMailHandling.h"
#include "link/TpaProComImpl.h"
#include "link/VirtualCom.h"
#include "platform/UserInteraction.h"

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

class QEventLoop;

// The pause between the probes of an operation that checks, before it writes, that the handset is still
// there (the profile's and the SIM's); the connection step's probe waits longer.
inline constexpr std::chrono::milliseconds OperationProbePause{700};

class TMailControl;

// What the engine reports to the mail monitor window. The window lives above this layer; a windowed
// program hands one to the engine (SetMonitor).
class TMailMonitor {
public:
    virtual ~TMailMonitor();
    virtual void Show() = 0;
    virtual bool IsVisible() = 0;
    virtual void SetCaptionSuffix(const std::string& suffix) = 0;
    virtual void LogTx(const std::string& mail, const std::string& frameHex, int expected, int length) = 0;
    virtual void LogRx(const std::string& receivedHex, const std::string& answer, const std::string& status,
                       int count, int64_t elapsed) = 0;
    virtual void ShowRxChunks(uint16_t count) = 0;
    // The whole transaction, after LogRx, for a monitor that keeps it.
    virtual void LogRecord(const TMailRecord&) {}
};

// Told of every transaction as it ends, whether a monitor is shown or not: a recording.
class TMailRecordListener {
public:
    virtual ~TMailRecordListener();
    virtual void MailRecorded(const TMailRecord& record) = 0;
};

// Told after each piece of ReadBlock and WriteBlock, with the engine and the piece's size.
class TBlockListener {
public:
    virtual ~TBlockListener();
    virtual void BlockDone(TMailControl& engine, uint8_t piece) = 0;
};

// The one place through which the program talks to the handset: frames a mail, sends it, waits for the
// echo and the answer under two time-outs, checks it and gives back the answer's data.
class TMailControl {
public:
    explicit TMailControl(TVirtualCom& link);
    virtual ~TMailControl();
    TMailControl(const TMailControl&) = delete;
    TMailControl& operator=(const TMailControl&) = delete;

    bool OpenPort(uint8_t n, int32_t rate);
    bool SetModemLines(bool dtr, bool rts);
    bool ClosePort();
    bool IsPortOpen();
    // The link gave up the open line because its far end went away, and no open has worked since: every
    // wait ends at once and no try is spent on it.
    bool LineLost();
    // How many times the link has given up an open line since the engine began.
    uint32_t LineLosses() const { return Losses; }
    // Waits ms in the event loop, as Delay does, but ends as soon as the line is lost, the engine
    // closes or a stop cuts the stretch short: the pauses between tries and polls.
    void Pause(std::chrono::milliseconds pause);

    std::string CorrectMail(const std::string& s) const;
    bool BuildFrame(const std::string& text);
    uint8_t AnswerLength() const;
    bool ChecksumOK() const;
    uint8_t BuildAnswerText();
    uint8_t RcvArray(std::span<uint8_t> buf) const;

    std::string SendMail(const std::string& text);
    uint8_t SendMailToArray(const std::string& text, std::span<uint8_t> buf);
    uint8_t SendArrayMail(std::span<const uint8_t> bytes, int count, std::span<uint8_t> buf);
    // Up to ProbeTries probes with pause between them: the try that answered, 0 for none, 255 for a
    // closed port.
    uint8_t ProbeHandset(std::chrono::milliseconds pause);
    // The answers' layout and waits now, and a profile applied whole.
    TEngineProfile Profile() const;
    void Apply(const TEngineProfile& profile);

    bool WriteMemory(uint8_t lo, uint8_t hi, uint8_t n, std::span<const uint8_t> data);
    void ReadMemoryText(uint8_t lo, uint8_t hi, std::string& text, uint8_t n);
    uint8_t ReadMemory(uint8_t lo, uint8_t hi, std::span<uint8_t> buf, uint8_t n);
    uint16_t ReadBlock(std::span<uint8_t> buf, uint16_t count, uint16_t start);
    int32_t WriteBlock(uint16_t start, std::span<const uint8_t> data, uint16_t count);

    // The monitor window, which the engine keeps from then on; ShowMonitor shows it, when there is one.
    void SetMonitor(std::unique_ptr<TMailMonitor> monitor);
    bool HasMonitor() const { return Monitor != nullptr; }
    void ShowMonitor();

    // Told of every transaction; none by default.
    void SetRecorder(TMailRecordListener* recorder) { Recorder = recorder; }
    // The handset every record names from now on: its serial number text, or "no SIM".
    void SetRecordedHandset(const std::string& serial) { RecordedHandset = serial; }

    // Who is asked whether to try a failed write once more (while ShowDialogs is on); none by default.
    void SetUser(TUserInteraction* user) { User = user; }
    // Told of every piece of the block transfers; none by default.
    void SetBlockListener(TBlockListener* listener) { BlockListener = listener; }

    TVirtualCom& Link() { return ComLink; }

    // Ends the engine's work: the running wait returns and every later send gives an empty answer.
    void BeginClosing();
    // Whether a stop request cuts the stretch short as closing does: the running wait (for an answer, a
    // pause) returns at once and every later send gives an empty answer without going out. Set for a
    // stretch that changes nothing (TStoppableStretch); off where the handset must be heard to the end.
    bool Stoppable = false;
    // The engine closes, or a stop has cut the stretch short.
    bool Ending() const;

    bool FramedAnswer() const { return Mail.FramedAnswer; }
    void SetFramedAnswer(bool framed) { Mail.FramedAnswer = framed; }

    // Settings, with the values the engine starts with.
    std::chrono::milliseconds AnswerTimeout{1000};
    std::chrono::milliseconds GapTimeout{250};
    uint8_t WriteRetries = 10;
    std::chrono::milliseconds WritePause{300};
    uint16_t ReadTries = 1;
    std::chrono::milliseconds ReadPause{300};
    std::chrono::milliseconds ReadbackDelay{10};
    bool ShowDialogs = true;
    uint8_t BlockSize = 8;
    bool DtrOn = true;
    bool RtsOn = false;

    // The last transaction: its mail, frame, received bytes and answer.
    const TMail& Transaction() const { return Mail; }
    // How this link's answered mails have taken against the time their bytes take on the wire at baud (a
    // mail's frame and its answer, 8N1): 1.0 until enough mails were measured. A plan's time estimate is
    // its mails' wire time times this.
    double Pace(int baud) const;
    // The last write mail was read back as written.
    bool WriteVerified() const { return Verified; }
    bool Closing() const { return IsClosing; }
    // Notifications of received bytes during the last transaction.
    uint16_t RxChunkCount() const { return RxChunks; }

private:
    int64_t TransmitAndReceive();
    void DataReceived(std::span<const uint8_t> block);
    bool VerifyWrite();
    void WaitForBytes(int count);
    // Sleeps through the wire time of `remaining` bytes still to come, as far as a short sleep goes.
    void SleepThroughWireTime(int remaining);
    bool TimersRunning() const;
    void WakeWait();
    // Runs the event loop until WakeWait: a received block, a timer, a lost line or the engine closing.
    void WaitForWake();
    void UpdateMonitorCaption();
    bool MonitorVisible() const;
    void Record(const std::string& time);
    // Numbers the sends of one request from 1 while a retry loop runs.
    class TTryScope;
    // Asks the person; true for OK. Without a person, or with dialogs off, nobody is asked: false.
    bool Warn(const std::string& text, bool withCancel);

    TVirtualCom& ComLink;
    TUserInteraction* User = nullptr;
    TBlockListener* BlockListener = nullptr;
    TMailRecordListener* Recorder = nullptr;
    std::string RecordedHandset;
    // Which send of the current request goes out: 1, or the try of the retry loop around it.
    int Try = 1;
    TMail Mail;
    // The answered transactions' bytes (echo and answer: the frame and the answer) and their time.
    int64_t PacedBytes = 0;
    int64_t PacedTicks = 0;
    int PacedMails = 0;
    bool Verified = false;
    bool Receiving = false;
    bool IsClosing = false;
    uint16_t RxChunks = 0;
    // The size of the last block received in this transaction: 0 before the first.
    size_t LastBlock = 0;
    int64_t SendTick = 0;
    uint32_t Losses = 0;

    QTimer AnswerTimer;
    QTimer GapTimer;
    // The innermost wait's flag, set to end it.
    bool* WaitWoken = nullptr;
    std::unique_ptr<TMailMonitor> Monitor;
};

namespace SendmailDetail {
// Holds the port so that it is built before and destroyed after the engine that uses it.
struct TPortHolder {
    TTpaProComImpl Port;
};
} // namespace SendmailDetail

// The engine on its own serial port.
class TSendmail : private SendmailDetail::TPortHolder, public TMailControl {
public:
    TSendmail();
    ~TSendmail() override;

    TTpaProComImpl& Com() { return Port; }
};
