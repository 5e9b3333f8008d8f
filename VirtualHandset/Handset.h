#pragma once

#include "HandsetState.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

// What the handset says to the readiness poll "02 5D 46".
enum class TReadiness { Ready, NotReady, NoAnswer };

// A fault aimed at one kind of mail: the Nth mail (from 1) beginning with Leading.
struct TMailFault {
    enum class TKind {
        // Carried out, but its answer never leaves the handset.
        LoseAnswer,
        // Lost on the way in: neither carried out nor answered.
        Ignore,
    };
    TKind Kind;
    TBytes Leading;
    unsigned Nth = 1;
    // The Nth and every later one.
    bool AndLater = false;
};

// Named misbehaviours, so that a test can stage the situation it is about.
struct THandsetFaults {
    bool silent = false;
    bool noEcho = false;
    // 1-based numbers of valid frames received, memory writes included.
    std::set<unsigned> dropAnswers{};
    std::set<unsigned> corruptAnswers{};
    // How many of the first memory writes are acknowledged by silence but not stored.
    unsigned unconfirmedWrites = 0;
    // Hang up when the frame after this many begins to arrive.
    std::optional<unsigned> hangupAfter{};
    // Phone book name requests get no answer; number requests still do.
    bool noNames = false;
    std::vector<TMailFault> mailFaults{};
    // A phone book number is an entry at once, with an empty name until its name comes, as some
    // handsets keep it; otherwise the entry waits for its name.
    bool unnamedNumbers = false;
    // The readiness poll answers "not ready" this many times before it answers as set.
    unsigned busyPolls = 0;
    // Memory writes to these addresses are not stored, as a worn cell would not take them.
    std::set<uint16_t> unwritable{};
};

constexpr unsigned kEveryWrite = std::numeric_limits<unsigned>::max();

// Bytes the handset puts on the line, in the order they are due.
struct TOutput {
    enum class TKind { Echo, Answer };
    TKind kind;
    TBytes bytes;
    bool operator==(const TOutput&) const = default;
};

// Answer layouts: the request frame's layout for command 0x0D, the short answer for all others.
TBytes FramedAnswer(std::span<const uint8_t> data);
TBytes ShortAnswer(uint8_t command, std::span<const uint8_t> data);

std::string HexText(std::span<const uint8_t> bytes);

// The handset behind the docking station: takes the bytes received from the PC and gives the bytes
// to send back. It knows nothing of lines or time; the idle time-out is its caller's to notice.
class THandset {
public:
    // The mail (command byte first) in, the answer's data bytes out; no value means no answer.
    using TMailHandler =
        std::function<std::optional<TBytes>(THandset& handset, std::span<const uint8_t> mail)>;
    using TLogSink = std::function<void(const std::string& line)>;

    explicit THandset(THandsetState state = DefaultHandsetState(), TReadiness readiness = TReadiness::Ready,
                      THandsetFaults faults = {});

    std::vector<TOutput> Receive(std::span<const uint8_t> bytes);

    // Input has paused in the middle of a frame: its start was no frame after all.
    bool HasIncompleteFrame() const { return !pending_.empty(); }
    std::vector<TOutput> ExpireIncompleteFrame();

    // The mails whose first bytes are `leading` go to `handler`; the longest match wins.
    void AddMail(TBytes leading, TMailHandler handler);

    bool HungUp() const { return hungUp_; }
    unsigned FramesReceived() const { return frames_; }

    const THandsetState& State() const { return state_; }
    bool StateChanged() const { return stateChanged_; }
    void StateSaved() { stateChanged_ = false; }

    void SetLog(TLogSink sink) { log_ = std::move(sink); }

private:
    class TCollector;

    void Scan(TCollector& out);
    void HandleFrame(std::span<const uint8_t> frame, TCollector& out);
    std::optional<TBytes> Dispatch(std::span<const uint8_t> mail);

    std::optional<TBytes> ReadMemory(std::span<const uint8_t> mail) const;
    std::optional<TBytes> WriteMemory(std::span<const uint8_t> mail);
    std::optional<TBytes> SoftwareAndPcs() const;
    std::optional<TBytes> MaxMailLength() const;
    std::optional<TBytes> Readiness();
    std::optional<TBytes> SimOpening();
    std::optional<TBytes> SimClosing();
    std::optional<TBytes> RingerTest(std::span<const uint8_t> mail);
    std::optional<TBytes> PhonebookNumber(std::span<const uint8_t> mail) const;
    std::optional<TBytes> PhonebookName(std::span<const uint8_t> mail) const;
    std::optional<TBytes> AppendNumber(std::span<const uint8_t> mail);
    std::optional<TBytes> AppendName(std::span<const uint8_t> mail);
    std::optional<TBytes> DeletePhonebook(std::span<const uint8_t> mail);
    std::optional<TBytes> ReadGroups(std::span<const uint8_t> mail) const;
    std::optional<TBytes> DeleteGroups(std::span<const uint8_t> mail);
    std::optional<TBytes> AddGroup(std::span<const uint8_t> mail);

    // Whether the fault of this kind aimed at the mail strikes now; counts the mail.
    bool MailFaultStrikes(TMailFault::TKind kind, std::span<const uint8_t> mail);
    void Log(const std::string& line) const;

    THandsetState state_;
    TReadiness readiness_;
    THandsetFaults faults_;
    std::vector<std::pair<TBytes, TMailHandler>> mails_;
    TBytes pending_;
    // The number of the entry being appended, until its name arrives.
    std::optional<TBytes> pendingNumber_;
    // With unnamedNumbers: the entry the last number made, until its name arrives.
    std::optional<std::size_t> unnamedEntry_;
    // Per mail fault, how many of its mails have arrived.
    std::vector<unsigned> mailFaultSeen_;
    unsigned frames_ = 0;
    unsigned writes_ = 0;
    unsigned polls_ = 0;
    bool hungUp_ = false;
    bool stateChanged_ = false;
    TLogSink log_;
};
