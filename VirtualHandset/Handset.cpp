#include "Handset.h"

#include "link/MailCodes.h"
#include "link/NumberConverting.h"
#include "link/SendMailHandling.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace {

constexpr const std::array<uint8_t, 3>& kFrameStart = FrameByte::FrameStart;
constexpr std::size_t kCommandPos = 3;
constexpr std::size_t kLengthPos = 4;
constexpr std::size_t kDataPos = 5;
constexpr uint8_t kFramedCommand = 0x0D;
constexpr uint8_t kShortAnswerMark = 0x3D;

// Second bytes of the phone book answers.
constexpr uint8_t kPhonebookDone = 0xCC;
constexpr uint8_t kPhonebookRefused = 0xEE;
constexpr uint8_t kPhonebookFull = 0xFF;
constexpr uint8_t kNoSuchEntry = 0xFF;
// Statuses of the broadcast group answers.
constexpr uint8_t kGroupDone = 0x00;
constexpr uint8_t kGroupRefused = 0x01;
constexpr uint8_t kGroupsFull = 0x02;
constexpr uint8_t kGroupPresent = 0x03;
// 0D sub 00 L data..: where L and the data begin.
constexpr std::size_t kPhonebookLengthPos = 3;
constexpr std::size_t kPhonebookDataPos = 4;

// True when the mail carries a length byte of at most max, followed by exactly that many bytes.
bool HoldsCountedData(std::span<const uint8_t> mail, std::size_t max) {
    return mail.size() >= kPhonebookDataPos && mail[kPhonebookLengthPos] <= max &&
           mail.size() == kPhonebookDataPos + mail[kPhonebookLengthPos];
}

uint8_t Sum(std::span<const uint8_t> bytes) {
    return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

// True when the bytes from pos on could be the beginning of a frame.
bool MayStartFrame(const TBytes& bytes, std::size_t pos) {
    for (std::size_t i = 0; i < kFrameStart.size() && pos + i < bytes.size(); ++i)
        if (bytes[pos + i] != kFrameStart[i])
            return false;
    return true;
}

std::string Count(unsigned frame) {
    return "frame " + std::to_string(frame) + ": ";
}

} // namespace

TBytes FramedAnswer(std::span<const uint8_t> data) {
    TBytes answer(kFrameStart.begin(), kFrameStart.end());
    answer.push_back(kFramedCommand);
    answer.push_back(static_cast<uint8_t>(data.size()));
    answer.insert(answer.end(), data.begin(), data.end());
    answer.push_back(Sum(data));
    return answer;
}

TBytes ShortAnswer(uint8_t command, std::span<const uint8_t> data) {
    TBytes answer;
    answer.reserve(data.size() + 5);
    for (const uint8_t b : {uint8_t{0x4D}, command, static_cast<uint8_t>(data.size()), kShortAnswerMark})
        answer.push_back(b);
    for (const uint8_t b : data)
        answer.push_back(b);
    answer.push_back(static_cast<uint8_t>(kShortAnswerMark + Sum(data)));
    return answer;
}

std::string HexText(std::span<const uint8_t> bytes) {
    std::string text;
    for (const uint8_t b : bytes) {
        if (!text.empty())
            text += ' ';
        text += ByteToHex(b);
    }
    return text;
}

// Gathers the echo byte by byte and keeps it ahead of each answer, as the line delivers them.
class THandset::TCollector {
public:
    explicit TCollector(bool echo)
        : echo_(echo) {}

    void Echo(uint8_t byte) {
        if (echo_)
            echoed_.push_back(byte);
    }

    void Answer(TBytes bytes) {
        FlushEcho();
        outputs_.push_back({TOutput::TKind::Answer, std::move(bytes)});
    }

    std::vector<TOutput> Take() {
        FlushEcho();
        return std::move(outputs_);
    }

private:
    void FlushEcho() {
        if (!echoed_.empty())
            outputs_.push_back({TOutput::TKind::Echo, std::move(echoed_)});
        echoed_.clear();
    }

    bool echo_;
    TBytes echoed_;
    std::vector<TOutput> outputs_;
};

THandset::THandset(THandsetState state, TReadiness readiness, THandsetFaults faults)
    : state_(std::move(state))
    , readiness_(readiness)
    , faults_(std::move(faults)) {
    state_.memory.resize(kMemorySize, 0xFF);
    // Handlers take the handset they serve rather than capturing it, so that a copied or moved handset
    // answers with its own memory.
    AddMail(MailBytes(MailCode::ReadMemory), [](THandset& h, auto mail) { return h.ReadMemory(mail); });
    AddMail(MailBytes(MailCode::WriteMemory), [](THandset& h, auto mail) { return h.WriteMemory(mail); });
    AddMail({0x02, 0x3B, 0x02, 0x00}, [](THandset& h, auto mail) { return h.WriteMemory(mail); });
    AddMail(MailBytes(MailCode::Software), [](THandset& h, auto) { return h.SoftwareAndPcs(); });
    AddMail(MailBytes(MailCode::LongestMail), [](THandset& h, auto) { return h.MaxMailLength(); });
    AddMail(MailBytes(MailCode::Ready), [](THandset& h, auto) { return h.Readiness(); });
    AddMail(MailBytes(MailCode::SimOpening), [](THandset& h, auto) { return h.SimOpening(); });
    AddMail(MailBytes(MailCode::SimClosing), [](THandset& h, auto) { return h.SimClosing(); });
    AddMail(MailBytes(MailCode::PhonebookCapacity), [](THandset& h, auto) {
        return TBytes{0x09, h.state_.capacity};
    });
    AddMail(MailBytes(MailCode::RingerTest), [](THandset& h, auto mail) { return h.RingerTest(mail); });
    AddMail(MailBytes(MailCode::ReadNumber), [](THandset& h, auto mail) { return h.PhonebookNumber(mail); });
    AddMail(MailBytes(MailCode::ReadName), [](THandset& h, auto mail) { return h.PhonebookName(mail); });
    AddMail(MailBytes(MailCode::AppendNumber), [](THandset& h, auto mail) { return h.AppendNumber(mail); });
    AddMail(MailBytes(MailCode::AppendName), [](THandset& h, auto mail) { return h.AppendName(mail); });
    AddMail(MailBytes(MailCode::PhonebookDelete),
            [](THandset& h, auto mail) { return h.DeletePhonebook(mail); });
    AddMail(MailBytes(MailCode::ReadGroups), [](THandset& h, auto mail) { return h.ReadGroups(mail); });
    AddMail(MailBytes(MailCode::DeleteGroups), [](THandset& h, auto mail) { return h.DeleteGroups(mail); });
    AddMail(MailBytes(MailCode::AddGroup), [](THandset& h, auto mail) { return h.AddGroup(mail); });
}

void THandset::AddMail(TBytes leading, TMailHandler handler) {
    for (auto& [known, existing] : mails_) {
        if (known == leading) {
            existing = std::move(handler);
            return;
        }
    }
    mails_.emplace_back(std::move(leading), std::move(handler));
}

std::vector<TOutput> THandset::Receive(std::span<const uint8_t> bytes) {
    TCollector out(!faults_.noEcho);
    for (const uint8_t byte : bytes) {
        if (hungUp_)
            break;
        if (faults_.hangupAfter && frames_ >= *faults_.hangupAfter && pending_.empty() &&
            byte == kFrameStart[0]) {
            hungUp_ = true;
            Log("hanging up as frame " + std::to_string(frames_ + 1) + " begins");
            break;
        }
        out.Echo(byte);
        pending_.push_back(byte);
        Scan(out);
    }
    return out.Take();
}

std::vector<TOutput> THandset::ExpireIncompleteFrame() {
    TCollector out(false);
    while (!pending_.empty() && !hungUp_) {
        pending_.erase(pending_.begin());
        Scan(out);
    }
    return out.Take();
}

// Leaves pending_ empty or holding the beginning of what may still become a frame. Never more than
// one frame's worth stays, so bursts of any size pass through.
void THandset::Scan(TCollector& out) {
    for (;;) {
        std::size_t skip = 0;
        while (skip < pending_.size() && !MayStartFrame(pending_, skip))
            ++skip;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(skip));
        if (pending_.size() <= kLengthPos)
            return;
        const std::size_t length = pending_[kLengthPos];
        const std::size_t frameSize = kDataPos + length + 1;
        if (pending_.size() < frameSize)
            return;
        const std::span<const uint8_t> data(pending_.data() + kDataPos, length);
        if (Sum(data) != pending_[kDataPos + length]) {
            pending_.erase(pending_.begin());
            continue;
        }
        const TBytes frame(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(frameSize));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(frameSize));
        HandleFrame(frame, out);
    }
}

void THandset::HandleFrame(std::span<const uint8_t> frame, TCollector& out) {
    ++frames_;
    Log(Count(frames_) + "received " + HexText(frame));
    const uint8_t command = frame[kCommandPos];
    TBytes mail{command};
    mail.insert(mail.end(), frame.begin() + kDataPos, frame.end() - 1);
    if (MailFaultStrikes(TMailFault::TKind::Ignore, mail)) {
        Log(Count(frames_) + "mail lost on the way in, not carried out");
        return;
    }
    const auto data = Dispatch(mail);
    if (!data)
        return;
    if (MailFaultStrikes(TMailFault::TKind::LoseAnswer, mail)) {
        Log(Count(frames_) + "carried out, answer lost");
        return;
    }
    if (faults_.silent) {
        Log(Count(frames_) + "silent, no answer");
        return;
    }
    if (faults_.dropAnswers.contains(frames_)) {
        Log(Count(frames_) + "answer dropped");
        return;
    }
    TBytes answer = command == kFramedCommand ? FramedAnswer(*data) : ShortAnswer(command, *data);
    if (faults_.corruptAnswers.contains(frames_))
        ++answer.back();
    Log(Count(frames_) + "answered " + HexText(answer));
    out.Answer(std::move(answer));
}

std::optional<TBytes> THandset::Dispatch(std::span<const uint8_t> mail) {
    const TMailHandler* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& [leading, handler] : mails_) {
        if (leading.size() >= bestLength && leading.size() <= mail.size() &&
            std::equal(leading.begin(), leading.end(), mail.begin())) {
            best = &handler;
            bestLength = leading.size();
        }
    }
    return best ? (*best)(*this, mail) : std::nullopt;
}

// 02 3C 08 00 n lo hi
std::optional<TBytes> THandset::ReadMemory(std::span<const uint8_t> mail) const {
    if (mail.size() != 7)
        return std::nullopt;
    const std::size_t count = mail[4];
    const std::size_t address = mail[5] + 256u * mail[6];
    TBytes data;
    for (std::size_t i = 0; i < count; ++i)
        data.push_back(state_.memory[(address + i) % kMemorySize]);
    return data;
}

// 02 3B 08 00 n lo hi d1 .. dn
std::optional<TBytes> THandset::WriteMemory(std::span<const uint8_t> mail) {
    if (mail.size() < 7 || mail.size() != 7u + mail[4])
        return std::nullopt;
    if (++writes_ <= faults_.unconfirmedWrites) {
        Log(Count(frames_) + "write not stored");
        return std::nullopt;
    }
    const std::size_t address = mail[5] + 256u * mail[6];
    for (std::size_t i = 7; i < mail.size(); ++i) {
        const std::size_t at = (address + i - 7) % kMemorySize;
        if (faults_.unwritable.contains(static_cast<uint16_t>(at)))
            Log(Count(frames_) + "address " + std::to_string(at) + " not written");
        else
            state_.memory[at] = mail[i];
    }
    stateChanged_ = true;
    return std::nullopt;
}

std::optional<TBytes> THandset::SoftwareAndPcs() const {
    TBytes data(state_.software.begin(), state_.software.end());
    std::string pcs = state_.pcs;
    pcs.resize(4, ' ');
    data.insert(data.end(), pcs.begin(), pcs.end());
    return data;
}

std::optional<TBytes> THandset::MaxMailLength() const {
    return TBytes{state_.maxMail, 0x00};
}

std::optional<TBytes> THandset::Readiness() {
    if (readiness_ != TReadiness::NoAnswer && polls_ < faults_.busyPolls) {
        ++polls_;
        return TBytes{0x00};
    }
    switch (readiness_) {
    case TReadiness::Ready:
        return TBytes{0x01};
    case TReadiness::NotReady:
        return TBytes{0x00};
    case TReadiness::NoAnswer:
        break;
    }
    return std::nullopt;
}

// 00 54 01 01, sent before a SIM is read or written; only noted.
std::optional<TBytes> THandset::SimOpening() {
    ++state_.simOpenings;
    stateChanged_ = true;
    return TBytes{0x01};
}

// 02 5D 31, sent at the end of a SIM transfer; only noted.
std::optional<TBytes> THandset::SimClosing() {
    ++state_.simClosings;
    stateChanged_ = true;
    return TBytes{0x01};
}

// 05 4C tone 1: plays the tone; the handset only notes it.
std::optional<TBytes> THandset::RingerTest(std::span<const uint8_t> mail) {
    if (mail.size() != 4)
        return std::nullopt;
    state_.ringerTone = mail[2];
    ++state_.ringerTests;
    stateChanged_ = true;
    Log(Count(frames_) + "ringer tone " + std::to_string(mail[2]));
    return TBytes{0x01};
}

// 0D 04 i
std::optional<TBytes> THandset::PhonebookNumber(std::span<const uint8_t> mail) const {
    if (mail.size() != 3)
        return std::nullopt;
    TBytes data{0x04};
    if (mail[2] >= state_.phonebook.size()) {
        data.push_back(kNoSuchEntry);
        return data;
    }
    const TBytes& number = state_.phonebook[mail[2]].number;
    data.insert(data.end(), number.begin(), number.end());
    return data;
}

// 0D 03 i
std::optional<TBytes> THandset::PhonebookName(std::span<const uint8_t> mail) const {
    if (mail.size() != 3)
        return std::nullopt;
    if (faults_.noNames) {
        Log(Count(frames_) + "name withheld");
        return std::nullopt;
    }
    TBytes data{0x03};
    if (mail[2] >= state_.phonebook.size()) {
        data.push_back(kNoSuchEntry);
        return data;
    }
    const std::string& name = state_.phonebook[mail[2]].name;
    data.insert(data.end(), name.begin(), name.end());
    return data;
}

// 0D 06 00 L p1 .. pL: the first half of an entry. A refused number leaves none pending, so that a
// name sent after it cannot complete an entry with an older number.
std::optional<TBytes> THandset::AppendNumber(std::span<const uint8_t> mail) {
    pendingNumber_.reset();
    unnamedEntry_.reset();
    if (!HoldsCountedData(mail, kMaxNumberBytes) || mail[kPhonebookLengthPos] == 0) {
        Log(Count(frames_) + "phone book number refused");
        return TBytes{0x06, kPhonebookRefused};
    }
    if (state_.phonebook.size() >= state_.capacity) {
        Log(Count(frames_) + "phone book full");
        return TBytes{0x06, kPhonebookFull};
    }
    if (faults_.unnamedNumbers) {
        state_.phonebook.push_back({TBytes(mail.begin() + kPhonebookDataPos, mail.end()), ""});
        unnamedEntry_ = state_.phonebook.size() - 1;
        stateChanged_ = true;
        return TBytes{0x06, kPhonebookDone};
    }
    pendingNumber_.emplace(mail.begin() + kPhonebookDataPos, mail.end());
    return TBytes{0x06, kPhonebookDone};
}

// 0D 05 00 L c1 .. cL: the name completes the entry whose number came before. A refused name keeps
// the number pending, so the name can be sent again.
std::optional<TBytes> THandset::AppendName(std::span<const uint8_t> mail) {
    if (unnamedEntry_ && HoldsCountedData(mail, kMaxNameBytes)) {
        state_.phonebook[*unnamedEntry_].name.assign(mail.begin() + kPhonebookDataPos, mail.end());
        unnamedEntry_.reset();
        stateChanged_ = true;
        return TBytes{0x05, kPhonebookDone};
    }
    if (!HoldsCountedData(mail, kMaxNameBytes) || !pendingNumber_) {
        Log(Count(frames_) +
            (pendingNumber_ ? "phone book name refused" : "phone book name without a number"));
        return TBytes{0x05, kPhonebookRefused};
    }
    state_.phonebook.push_back(
        {std::move(*pendingNumber_), std::string(mail.begin() + kPhonebookDataPos, mail.end())});
    pendingNumber_.reset();
    stateChanged_ = true;
    return TBytes{0x05, kPhonebookDone};
}

// 0D 07 00
std::optional<TBytes> THandset::DeletePhonebook(std::span<const uint8_t> mail) {
    if (mail.size() != 3)
        return TBytes{0x07, kPhonebookRefused};
    pendingNumber_.reset();
    unnamedEntry_.reset();
    if (!state_.phonebook.empty()) {
        state_.phonebook.clear();
        stateChanged_ = true;
    }
    return TBytes{0x07, kPhonebookDone};
}

// 0D 20: 20 00 n g1 .. gn
std::optional<TBytes> THandset::ReadGroups(std::span<const uint8_t> mail) const {
    if (mail.size() != 2)
        return TBytes{0x20, kGroupRefused};
    TBytes answer{0x20, kGroupDone, static_cast<uint8_t>(state_.groups.size())};
    answer.insert(answer.end(), state_.groups.begin(), state_.groups.end());
    return answer;
}

// 0D 21: 21 00
std::optional<TBytes> THandset::DeleteGroups(std::span<const uint8_t> mail) {
    if (mail.size() != 2)
        return TBytes{0x21, kGroupRefused};
    if (!state_.groups.empty()) {
        state_.groups.clear();
        stateChanged_ = true;
    }
    return TBytes{0x21, kGroupDone};
}

// 0D 22 g: 22 00 added, 22 02 no free slot, 22 03 already a member.
std::optional<TBytes> THandset::AddGroup(std::span<const uint8_t> mail) {
    if (mail.size() != 3)
        return TBytes{0x22, kGroupRefused};
    const uint8_t group = mail[2];
    if (std::find(state_.groups.begin(), state_.groups.end(), group) != state_.groups.end())
        return TBytes{0x22, kGroupPresent};
    if (state_.groups.size() >= kGroupSlots)
        return TBytes{0x22, kGroupsFull};
    state_.groups.push_back(group);
    stateChanged_ = true;
    return TBytes{0x22, kGroupDone};
}

bool THandset::MailFaultStrikes(TMailFault::TKind kind, std::span<const uint8_t> mail) {
    mailFaultSeen_.resize(faults_.mailFaults.size(), 0);
    bool strikes = false;
    for (std::size_t i = 0; i < faults_.mailFaults.size(); ++i) {
        const TMailFault& fault = faults_.mailFaults[i];
        if (fault.Kind != kind || fault.Leading.size() > mail.size() ||
            !std::equal(fault.Leading.begin(), fault.Leading.end(), mail.begin()))
            continue;
        if (++mailFaultSeen_[i] == fault.Nth || (fault.AndLater && mailFaultSeen_[i] >= fault.Nth))
            strikes = true;
    }
    return strikes;
}

void THandset::Log(const std::string& line) const {
    if (log_)
        log_(line);
}
