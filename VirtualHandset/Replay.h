#pragma once

#include "Handset.h"
#include "link/MailRecord.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// A recording that cannot be replayed: the message names the file and the line.
class EReplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A transaction of a recording and the line it stands on.
struct TRecordedMail {
    TMailRecord Record;
    std::size_t Line = 0;
};

// The transactions of a recording (quorvel --record), in order. Blank lines are passed over; anything
// else that is not a record is refused with its line number.
std::vector<TRecordedMail> LoadRecording(const std::string& path);

// Plays the handset of a recording: each frame that arrives as recorded is answered with the bytes the
// recording received, echo included, corrupted or missing as they were; where the handset hung up, it
// hangs up. The first frame that differs from the recording is reported, and from then on the handset
// only echoes. The difference goes to `report` as it is found.
class TReplayHandset {
public:
    using TReport = std::function<void(const std::string& line)>;

    TReplayHandset(std::vector<TRecordedMail> records, std::string name, TReport report);

    std::vector<TOutput> Receive(std::span<const uint8_t> bytes);
    bool HasIncompleteFrame() const { return !pending_.empty(); }
    std::vector<TOutput> ExpireIncompleteFrame();
    bool HungUp() const { return hungUp_; }

    // Told of every mail replayed (--log).
    void SetLog(TReport log) { log_ = std::move(log); }

    // Nothing to keep: the recording is the state.
    bool StateChanged() const { return false; }
    void StateSaved() {}

    // The report of the first difference; empty while everything came as recorded.
    const std::string& Difference() const { return difference_; }
    std::size_t Replayed() const { return next_; }
    std::size_t Recorded() const { return records_.size(); }

private:
    // Compares the frame in pending_ with the next record and answers it as recorded.
    void TakeFrame(std::vector<TOutput>& out);
    // Notes the first difference: what came instead of the next recorded mail.
    void Differs(const std::string& came);

    std::vector<TRecordedMail> records_;
    std::string name_;
    TReport report_;
    TReport log_;
    TBytes pending_;
    std::size_t next_ = 0;
    bool hungUp_ = false;
    std::string difference_;
};
