#include "link/Sndmail.h"

#include "link/StopRequest.h"

#include "link/MailCodes.h"
#include "link/NumberConverting.h"
#include "link/Timing.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <sys/prctl.h>
#include <thread>
#include <utility>

namespace {

constexpr int ScratchSize = 256;
// A block of at most this many bytes is bytes trickling in one at a time, as they leave the wire.
constexpr size_t TrickleBytes = 2;
// The longest sleep through an answer's wire time at once: the window is answered well within 17 ms.
constexpr auto LongestSleep = std::chrono::milliseconds(4);
// How much sooner than the wire time a sleep ends: about what waking up takes.
constexpr auto WakeMargin = std::chrono::microseconds(0);

// The time of day in UTC as ISO 8601 with milliseconds ("2026-01-05T09:12:44.201Z"), made for every
// transaction recorded, so without the cost of a date class.
std::string UtcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, int(ms));
    return text;
}

std::string ReadMail(uint8_t n, uint8_t lo, uint8_t hi) {
    return MailCode::ReadMemory + ByteToHex(n) + " " + ByteToHex(lo) + " " + ByteToHex(hi);
}

} // namespace

TMailMonitor::~TMailMonitor() = default;
TBlockListener::~TBlockListener() = default;
TMailRecordListener::~TMailRecordListener() = default;

class TMailControl::TTryScope {
public:
    TTryScope(TMailControl& engine, int tryNumber)
        : Engine(engine)
        , Outer(engine.Try) {
        engine.Try = tryNumber;
    }
    ~TTryScope() { Engine.Try = Outer; }
    TTryScope(const TTryScope&) = delete;
    TTryScope& operator=(const TTryScope&) = delete;

private:
    TMailControl& Engine;
    int Outer;
};

TMailControl::TMailControl(TVirtualCom& link)
    : ComLink(link) {
    SendTick = GetTick();
    for (QTimer* timer : {&AnswerTimer, &GapTimer}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer, [this] { WakeWait(); });
    }
    ComLink.OnReceive = [this](TVirtualCom&, std::span<const uint8_t> block) { DataReceived(block); };
    // A Ctrl-C arrives while the wait sleeps in the event loop: it has to wake it.
    WakeOnStopRequest();
    ComLink.OnLost = [this](TVirtualCom&) {
        ++Losses;
        UpdateMonitorCaption();
        WakeWait();
    };
}

TMailControl::~TMailControl() {
    BeginClosing();
    ClosePort();
    ComLink.OnReceive = nullptr;
    ComLink.OnLost = nullptr;
    Monitor.reset();
}

void TMailControl::BeginClosing() {
    IsClosing = true;
    WakeWait();
}

bool TMailControl::Ending() const {
    return IsClosing || (Stoppable && StopRequested());
}

// ---- port ----

bool TMailControl::OpenPort(uint8_t n, int32_t rate) {
    const bool opened = ComLink.Open(n, rate);
    SetModemLines(DtrOn, RtsOn);
    UpdateMonitorCaption();
    return opened;
}

bool TMailControl::SetModemLines(bool dtr, bool rts) {
    DtrOn = dtr;
    RtsOn = rts;
    if (!ComLink.IsOpen())
        return false;
    ComLink.SetDTR(dtr);
    ComLink.SetRTS(rts);
    return true;
}

bool TMailControl::ClosePort() {
    const bool closed = ComLink.Close();
    UpdateMonitorCaption();
    return closed;
}

bool TMailControl::IsPortOpen() {
    return ComLink.IsOpen();
}

bool TMailControl::LineLost() {
    return !ComLink.IsOpen() && ComLink.LastFailure().kind == TPortFailure::Kind::Lost;
}

void TMailControl::Pause(std::chrono::milliseconds pause) {
    if (pause <= std::chrono::milliseconds(0) || Ending() || LineLost() || SkipWait(int(pause.count())))
        return;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &deadline, [this] { WakeWait(); });
    deadline.start(pause);
    while (deadline.isActive() && !Ending() && !LineLost()) {
        WaitForWake();
    }
}

TEngineProfile TMailControl::Profile() const {
    return {Mail.FramedAnswer ? TAnswerLayout::Framed : TAnswerLayout::Short, AnswerTimeout, GapTimeout};
}

void TMailControl::Apply(const TEngineProfile& profile) {
    Mail.FramedAnswer = profile.layout == TAnswerLayout::Framed;
    AnswerTimeout = profile.answer;
    GapTimeout = profile.gap;
}

// ---- framing of the current transaction ----

std::string TMailControl::CorrectMail(const std::string& s) const {
    return ::CorrectMail(s);
}

bool TMailControl::BuildFrame(const std::string& text) {
    return ::BuildFrame(Mail, text);
}

uint8_t TMailControl::AnswerLength() const {
    return ::AnswerLength(Mail);
}

bool TMailControl::ChecksumOK() const {
    return ::ChecksumOK(Mail);
}

uint8_t TMailControl::BuildAnswerText() {
    return ::BuildAnswerText(Mail);
}

uint8_t TMailControl::RcvArray(std::span<uint8_t> buf) const {
    return Mail.AnswerOK ? ::RcvArray(Mail, buf) : 0;
}

// ---- one transmission ----

bool TMailControl::TimersRunning() const {
    return AnswerTimer.isActive() && GapTimer.isActive();
}

void TMailControl::WakeWait() {
    if (WaitWoken)
        *WaitWoken = true;
}

// Events are taken as they come, without a loop of its own to quit: a quit wakes the event dispatcher
// through its wake-up descriptor, a write and a read more for every block and every timer. Everything that
// ends a wait happens in an event handler, inside the processing that then returns.
void TMailControl::WaitForWake() {
    bool woken = false;
    bool* const outer = std::exchange(WaitWoken, &woken);
    struct TRestore {
        bool*& Flag;
        bool* Outer;
        ~TRestore() { Flag = Outer; }
    } restore{WaitWoken, outer};
    // A stop request wakes the loop (WakeOnStopRequest) without waking the wait: it looks itself.
    while (!woken && !(Stoppable && StopRequested()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Blocks in the event loop until count bytes are in, a timer has run out, the line is lost or the engine
// closes. Each received block, each timer and a lost line wake the loop, so the answer is taken as soon
// as its last byte is in and a silent handset costs no CPU. A line that hands over its bytes one at a
// time as they come off the wire (a UART, a paced pseudo-terminal) would wake the loop for every byte:
// once the bytes trickle in like that, the rest cannot be in before their wire time, so the wait sleeps
// through it and takes what has come in one go.
void TMailControl::WaitForBytes(int count) {
    while (Mail.RxCount < count && TimersRunning() && !Ending() && ComLink.IsOpen()) {
        if (LastBlock > 0 && LastBlock <= TrickleBytes)
            SleepThroughWireTime(count - int(Mail.RxCount));
        WaitForWake();
    }
}

void TMailControl::SleepThroughWireTime(int remaining) {
    const int baud = ComLink.Baud();
    if (baud <= 0 || remaining <= 0)
        return;
    // A sleep ends when asked, not the default 50 us later: each late end would add to every mail.
    static thread_local const bool precise = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    (void)precise;
    // 8N1: ten bits a byte. Short of the last bytes, which the sleep's own end could overshoot; never
    // longer at once than the window may go unanswered.
    const auto wire = std::chrono::microseconds(int64_t(remaining) * 10 * 1'000'000 / baud) - WakeMargin;
    if (wire > std::chrono::microseconds::zero())
        std::this_thread::sleep_for(std::min<std::chrono::microseconds>(wire, LongestSleep));
}

int64_t TMailControl::TransmitAndReceive() {
    Mail.AnswerOK = false;
    if (Ending())
        return 0;
    Mail.RxCount = 0;
    RxChunks = 0;
    LastBlock = 0;
    ComLink.FlushOutput();
    ComLink.FlushInput();

    const int frameLength = Mail.TxLength;
    const bool recorded = Recorder || MonitorVisible();
    const std::string sentAt = recorded ? UtcNow() : std::string();
    if (MonitorVisible())
        Monitor->LogTx(Mail.MailText, HexWithTrailingSpaces({Mail.TxFrame.data(), size_t(frameLength)}),
                       Mail.ExpectedLength, frameLength);

    const int64_t t0 = GetTick();
    Receiving = true;
    try {
        ComLink.Write(Mail.TxFrame.data(), frameLength);
        AnswerTimer.setInterval(AnswerTimeout);
        GapTimer.setInterval(GapTimeout);
        AnswerTimer.start();
        SendTick = GetTick();
        GapTimer.start();

        WaitForBytes(Mail.ExpectedLength);

        const int e = frameLength;
        if (Mail.ExpectedLength != e) {
            int d = 0;
            if (!Mail.FramedAnswer) {
                if (RxByte(Mail, e + 1) == FrameByte::MailMarker &&
                    RxByte(Mail, e + 4) == FrameByte::AnswerMarker)
                    d = RxByte(Mail, e + 3);
            } else if (RxByte(Mail, e + 3) == FrameByte::MailMarker &&
                       RxByte(Mail, e + 4) == FrameByte::FramedCommand) {
                d = RxByte(Mail, e + 5) + 1;
            }
            WaitForBytes(e + d + 5);
        }
    } catch (...) {
        Receiving = false;
        AnswerTimer.stop();
        GapTimer.stop();
        throw;
    }
    Receiving = false;
    const int64_t t1 = GetTick();
    AnswerTimer.stop();
    GapTimer.stop();

    Mail.AnswerOK = ::ChecksumOK(Mail);
    ::BuildAnswerText(Mail);
    // Bytes that fail their checksum are no answer: handing them on would pass corrupted data as good.
    if (!Mail.AnswerOK)
        Mail.AnswerText.clear();
    Mail.Elapsed = TicksToMs(t1, t0);
    if (Mail.AnswerOK) {
        PacedBytes += Mail.RxCount;
        PacedTicks += t1 - t0;
        ++PacedMails;
    }
    if (MonitorVisible())
        Monitor->LogRx(HexWithTrailingSpaces({Mail.RxBuf.data() + 1, Mail.RxCount}), Mail.AnswerText,
                       Mail.AnswerOK ? "OK" : "Error", Mail.RxCount, Mail.Elapsed);
    if (recorded)
        Record(sentAt);
    return Mail.Elapsed;
}

double TMailControl::Pace(int baud) const {
    // Fewer mails than this say more of the moment than of the link.
    constexpr int FewestMails = 8;
    constexpr int BitsPerByte = 10;
    if (PacedMails < FewestMails || baud <= 0 || PacedBytes <= 0)
        return 1.0;
    const double wireTicks = double(PacedBytes) * BitsPerByte * double(TickFrequency) / baud;
    return std::max(1.0, double(PacedTicks) / wireTicks);
}

void TMailControl::Record(const std::string& time) {
    TMailRecord record;
    record.Time = time;
    record.Port = "COM" + std::to_string(ComLink.ComNumber());
    record.Handset = RecordedHandset;
    record.Mail = Mail.MailText;
    record.Framed = Mail.FramedAnswer;
    record.Sent.assign(Mail.TxFrame.begin(), Mail.TxFrame.begin() + Mail.TxLength);
    record.Received.assign(Mail.RxBuf.begin() + 1, Mail.RxBuf.begin() + 1 + Mail.RxCount);
    record.Answer = Mail.AnswerText;
    record.ChecksumOK = Mail.AnswerOK;
    record.ElapsedMs = Mail.Elapsed;
    record.Try = Try;
    record.LineOpen = ComLink.IsOpen();
    if (MonitorVisible())
        Monitor->LogRecord(record);
    if (Recorder)
        Recorder->MailRecorded(record);
}

void TMailControl::DataReceived(std::span<const uint8_t> block) {
    // Every notification gives the handset the gap time-out anew, counted from the send.
    const int64_t stretched = TicksToMs(GetTick(), SendTick) + GapTimer.interval();
    GapTimer.setInterval(int(std::min<int64_t>(stretched, INT_MAX)));

    ++RxChunks;
    LastBlock = block.size();
    if (MonitorVisible())
        Monitor->ShowRxChunks(RxChunks);

    if (block.empty() || !Receiving)
        return;
    if (block.size() > 256) {
        Mail.RxCount = 0;
    } else {
        for (const uint8_t byte : block) {
            if (Mail.RxCount >= RxBufSize - 1) {
                Mail.RxCount = 0;
                break;
            }
            Mail.RxBuf[++Mail.RxCount] = byte;
        }
    }
    WakeWait();
}

// ---- transactions ----

std::string TMailControl::SendMail(const std::string& text) {
    if (Ending())
        return {};
    int limit = WriteRetries;
    Verified = false;
    int tries = 0;

    ::BuildFrame(Mail, text);
    const bool write = IsWriteMail(Mail);
    do {
        const TTryScope attempt(*this, write ? tries + 1 : Try);
        TransmitAndReceive();
        if (write && !Ending()) {
            ++tries;
            if (VerifyWrite())
                Verified = true;
            if (!Verified && !Ending() && ComLink.IsOpen()) {
                if (tries != limit)
                    Pause(WritePause);
                else if (Warn("Writing failed " + std::to_string(tries) + " times. \r\rTry once more ?",
                              true))
                    ++limit;
            }
        }
    } while (write && tries < limit && !Verified && !Ending() && ComLink.IsOpen());

    // A lost line is the operation's to tell, with what it means for the handset, and so is a stop.
    if (write && !Verified && !LineLost() && !Ending())
        Warn("Readback Error! - Writing failed!!", false);
    return Mail.AnswerText;
}

bool TMailControl::Warn(const std::string& text, bool withCancel) {
    if (!ShowDialogs || !User)
        return false;
    return User->Message(TMessageKind::Warning, text, withCancel ? TButtons::OkCancel : TButtons::Ok) ==
           TAnswer::Ok;
}

bool TMailControl::VerifyWrite() {
    if (ReadbackDelay > std::chrono::milliseconds(0))
        PreciseDelay(int(ReadbackDelay.count()));
    const TMail written = Mail;
    const uint8_t n = MailByte(written, 5);
    ::BuildFrame(Mail, ReadMail(n, MailByte(written, 6), MailByte(written, 7)));
    TransmitAndReceive();

    bool same = false;
    // The answer must hold all n bytes: bytes past a shorter answer are no read-back.
    if (::ChecksumOK(Mail) && Mail.AnswerOK && ::AnswerLength(Mail) >= n) {
        const int e = Mail.TxLength;
        same = true;
        for (int i = 0; i < n; ++i)
            same = same && RxByte(Mail, e + 5 + i) == MailByte(written, 8 + i);
    }
    Mail = written;
    return same;
}

uint8_t TMailControl::SendMailToArray(const std::string& text, std::span<uint8_t> buf) {
    SendMail(text);
    return RcvArray(buf);
}

uint8_t TMailControl::SendArrayMail(std::span<const uint8_t> bytes, int count, std::span<uint8_t> buf) {
    std::string text;
    count = std::clamp(count, 0, int(bytes.size()));
    for (int i = 0; i < count; ++i)
        text += ByteToHex(bytes[size_t(i)]) + " ";
    return SendMailToArray(text, buf);
}

uint8_t TMailControl::ProbeHandset(std::chrono::milliseconds pause) {
    if (!IsPortOpen())
        return 255;
    for (int attempt = 1; attempt <= ProbeTries && !Ending(); ++attempt) {
        if (attempt > 1)
            Pause(pause);
        if (!IsPortOpen())
            return 255;
        const TTryScope numbered(*this, attempt);
        if (!SendMail(ProbeMail).empty())
            return uint8_t(attempt);
    }
    return 0;
}

// ---- handset memory ----

bool TMailControl::WriteMemory(uint8_t lo, uint8_t hi, uint8_t n, std::span<const uint8_t> data) {
    std::string text = MailCode::WriteMemory + ByteToHex(n) + " " + ByteToHex(lo) + " " + ByteToHex(hi);
    for (size_t i = 0; i < n && i < data.size(); ++i)
        text += " " + ByteToHex(data[i]);
    SendMail(text);
    return Verified;
}

void TMailControl::ReadMemoryText(uint8_t lo, uint8_t hi, std::string& text, uint8_t n) {
    text.clear();
    for (int tries = 0; text.empty() && tries < ReadTries && (tries == 0 || ComLink.IsOpen()); ++tries) {
        if (tries > 0)
            Pause(ReadPause);
        const TTryScope numbered(*this, tries + 1);
        text = SendMail(ReadMail(n, lo, hi));
    }
    const size_t bytesText = n > 0 ? size_t(3 * n - 1) : 0;
    if (text.size() > bytesText)
        text.resize(bytesText);
}

uint8_t TMailControl::ReadMemory(uint8_t lo, uint8_t hi, std::span<uint8_t> buf, uint8_t n) {
    int got = 0;
    for (int tries = 0; got < n && tries < ReadTries && (tries == 0 || ComLink.IsOpen()); ++tries) {
        if (tries > 0)
            Pause(ReadPause);
        const TTryScope numbered(*this, tries + 1);
        got = SendMailToArray(ReadMail(n, lo, hi), buf);
    }
    return got >= n ? n : 0;
}

uint16_t TMailControl::ReadBlock(std::span<uint8_t> buf, uint16_t count, uint16_t start) {
    count = uint16_t(std::min<size_t>(count, buf.size()));
    std::fill_n(buf.begin(), count, uint8_t(0xFF));
    int done = 0;
    int addr = start;
    int left = count;
    bool failed = false;
    // A stop asked for ends the block between pieces: the count written says how far it came.
    while (left > 0 && !failed && !StopRequested()) {
        const int piece = BlockSize < left ? BlockSize : left;
        left -= piece;
        std::string text;
        ReadMemoryText(uint8_t(addr & 0xFF), uint8_t((addr >> 8) & 0xFF), text, uint8_t(piece));
        std::array<uint8_t, ScratchSize> scratch{};
        // A shorter answer than asked for is a failed piece, not bytes to fill with zeros.
        if (!text.empty() && RcvArray(scratch) >= piece) {
            std::copy_n(scratch.begin(), piece, buf.begin() + done);
            done += piece;
            addr += piece;
        } else {
            failed = true;
        }
        if (BlockListener)
            BlockListener->BlockDone(*this, uint8_t(piece));
    }
    return uint16_t(done);
}

int32_t TMailControl::WriteBlock(uint16_t start, std::span<const uint8_t> data, uint16_t count) {
    count = uint16_t(std::min<size_t>(count, data.size()));
    int addr = start;
    int left = count;
    bool failed = false;
    while (left > 0 && !failed) {
        const int piece = BlockSize < left ? BlockSize : left;
        std::array<uint8_t, ScratchSize> scratch{};
        CopyBytes(scratch, data, uint16_t(piece), uint16_t(count - left));
        left -= piece;
        if (!WriteMemory(uint8_t(addr & 0xFF), uint8_t((addr >> 8) & 0xFF), uint8_t(piece), scratch))
            failed = true;
        else
            addr += piece;
        if (BlockListener)
            BlockListener->BlockDone(*this, uint8_t(piece));
    }
    return addr - start;
}

// ---- monitor ----

bool TMailControl::MonitorVisible() const {
    return Monitor && Monitor->IsVisible();
}

void TMailControl::SetMonitor(std::unique_ptr<TMailMonitor> monitor) {
    Monitor = std::move(monitor);
}

void TMailControl::ShowMonitor() {
    if (!Monitor)
        return;
    UpdateMonitorCaption();
    Monitor->Show();
}

void TMailControl::UpdateMonitorCaption() {
    if (!Monitor)
        return;
    const int n = ComLink.ComNumber();
    Monitor->SetCaptionSuffix(ComLink.IsOpen()
                                  ? "COM" + std::to_string(n) + "@" + std::to_string(ComLink.Baud())
                                  : "COM" + std::to_string(n) + " Closed");
}

// ---- the engine on its own port ----

TSendmail::TSendmail()
    : TMailControl(Port) {}

TSendmail::~TSendmail() = default;
