#include "Replay.h"

#include "link/SendMailHandling.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

constexpr std::size_t kLengthPos = 4;
constexpr std::size_t kDataStart = 5;
constexpr std::size_t kFrameOverhead = 6;
constexpr const std::array<uint8_t, 3>& kFrameStart = FrameByte::FrameStart;

bool Blank(const std::string& line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

// The mail of a frame: its command byte and its data bytes.
std::string MailOf(const TBytes& frame) {
    if (frame.size() < kFrameOverhead)
        return "";
    TBytes mail{frame[3]};
    mail.insert(mail.end(), frame.begin() + kDataStart, frame.end() - 1);
    return HexText(mail);
}

} // namespace

std::vector<TRecordedMail> LoadRecording(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EReplayError("cannot read the recording " + path + ": " + std::strerror(errno));
    std::vector<TRecordedMail> records;
    std::string line;
    std::size_t number = 0;
    bool atEnd = false;
    while (!atEnd) {
        // One line, read no further than a record may reach.
        line.clear();
        ++number;
        bool ended = false;
        while (!ended) {
            const int c = in.get();
            if (c == std::char_traits<char>::eof()) {
                atEnd = true;
                break;
            }
            if (c == '\n') {
                ended = true;
                break;
            }
            line += static_cast<char>(c);
            if (line.size() > MaxMailRecordLine)
                throw EReplayError(path + " line " + std::to_string(number) + ": longer than " +
                                   std::to_string(MaxMailRecordLine) + " bytes, no recorded mail");
        }
        if (in.bad())
            throw EReplayError("cannot read the recording " + path + ": " + std::strerror(errno));
        if (Blank(line))
            continue;
        try {
            records.push_back({ParseMailRecordLine(line), number});
        } catch (const EMailRecordError& e) {
            throw EReplayError(path + " line " + std::to_string(number) + ": " + e.what());
        }
    }
    if (records.empty())
        throw EReplayError(path + ": the recording holds no mail (it is empty)");
    return records;
}

TReplayHandset::TReplayHandset(std::vector<TRecordedMail> records, std::string name, TReport report)
    : records_(std::move(records))
    , name_(std::move(name))
    , report_(std::move(report)) {}

std::vector<TOutput> TReplayHandset::Receive(std::span<const uint8_t> bytes) {
    std::vector<TOutput> out;
    TBytes echo;
    for (const uint8_t byte : bytes) {
        if (hungUp_)
            break;
        if (!difference_.empty()) {
            // Out of step: the line still echoes, the handset says nothing.
            echo.push_back(byte);
            continue;
        }
        // The handset hung up here as this frame began to arrive.
        if (pending_.empty() && next_ < records_.size() && !records_[next_].Record.LineOpen &&
            records_[next_].Record.Received.empty()) {
            hungUp_ = true;
            if (log_)
                log_("line " + std::to_string(records_[next_].Line) + ": hanging up as the recording did");
            ++next_;
            break;
        }
        pending_.push_back(byte);
        const std::size_t at = pending_.size() - 1;
        if (at < std::size(kFrameStart) && byte != kFrameStart[at]) {
            TBytes came = std::move(pending_);
            pending_.clear();
            Differs("the bytes " + HexText(came) + ", which begin no frame,");
            out.push_back({TOutput::TKind::Echo, came});
            continue;
        }
        if (pending_.size() > kLengthPos && pending_.size() == kFrameOverhead + pending_[kLengthPos])
            TakeFrame(out);
    }
    if (!echo.empty())
        out.push_back({TOutput::TKind::Echo, std::move(echo)});
    return out;
}

void TReplayHandset::TakeFrame(std::vector<TOutput>& out) {
    TBytes frame = std::move(pending_);
    pending_.clear();
    if (next_ >= records_.size()) {
        Differs("the mail " + MailOf(frame) + " (" + HexText(frame) + ")");
        out.push_back({TOutput::TKind::Echo, frame});
        return;
    }
    const TMailRecord& record = records_[next_].Record;
    const std::size_t line = records_[next_].Line;
    if (frame != record.Sent) {
        Differs("the mail " + MailOf(frame) + " (" + HexText(frame) + ")");
        out.push_back({TOutput::TKind::Echo, frame});
        return;
    }
    ++next_;
    const std::size_t echoed = std::min(record.Received.size(), frame.size());
    if (echoed > 0)
        out.push_back(
            {TOutput::TKind::Echo, TBytes(record.Received.begin(), record.Received.begin() + echoed)});
    if (record.Received.size() > echoed)
        out.push_back(
            {TOutput::TKind::Answer, TBytes(record.Received.begin() + echoed, record.Received.end())});
    if (log_)
        log_("line " + std::to_string(line) + ": " + MailOf(frame) + " answered " +
             (record.Received.size() > echoed
                  ? HexText(TBytes(record.Received.begin() + echoed, record.Received.end()))
                  : std::string("with silence")));
}

std::vector<TOutput> TReplayHandset::ExpireIncompleteFrame() {
    std::vector<TOutput> out;
    if (pending_.empty())
        return out;
    TBytes came = std::move(pending_);
    pending_.clear();
    Differs("the incomplete frame " + HexText(came));
    out.push_back({TOutput::TKind::Echo, came});
    return out;
}

void TReplayHandset::Differs(const std::string& came) {
    if (!difference_.empty())
        return;
    if (next_ < records_.size()) {
        const TMailRecord& record = records_[next_].Record;
        difference_ = name_ + " line " + std::to_string(records_[next_].Line) +
                      ": the recording has the mail " + MailOf(record.Sent) + " (" + HexText(record.Sent) +
                      "), but " + came + " came";
    } else {
        difference_ = name_ + ": the recording ends with line " + std::to_string(records_.back().Line) +
                      ", but " + came + " came";
    }
    if (report_)
        report_(difference_);
}
