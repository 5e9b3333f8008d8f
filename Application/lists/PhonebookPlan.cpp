#include "lists/PhonebookPlan.h"

#include "lists/DockingStationPhoneBookConverter.h"

#include <algorithm>
#include <vector>

namespace {

// A mail's frame around its bytes, and the framed answer that confirms it ("06 CC").
constexpr int FrameBytes = 5;
constexpr int AnswerBytes = 8;
// "0D 06 00 <count> <bytes>" and "0D 05 00 <count> <bytes>".
constexpr int EntryMailHead = 4;
constexpr int DeleteMailBytes = 3;
// "0D 04 index" and "0D 03 index".
constexpr int ReadMailBytes = 3;

bool BlankName(const std::string& name) {
    for (const char c : name)
        if (uint8_t(c) > ' ')
            return false;
    return true;
}

// The bytes of the two mails that write an entry.
int64_t EntryBytes(const std::string& name, const std::string& number) {
    const int64_t packed = int64_t(number.size() + 2) / 2;
    return 2 * (FrameBytes + EntryMailHead + AnswerBytes) + packed + int64_t(name.size());
}

struct TEntry {
    std::string Name;
    std::string Number;
    int Row = 0;
};

// The read after the write, which tells what the handset holds: a number and a name mail for each entry
// it will hold, and the one that finds the end where the table has room for it.
void AddReadAfter(TWritePlan& plan, const std::vector<TEntry>& entries, int capacity) {
    for (const TEntry& entry : entries) {
        plan.Cost.Mails += 2;
        plan.Cost.Bytes += 2 * (FrameBytes + ReadMailBytes + AnswerBytes) +
                           int64_t(entry.Number.size() + 2) / 2 + int64_t(entry.Name.size());
    }
    if (int(entries.size()) < capacity)
        plan.Cost.Add(1, FrameBytes + ReadMailBytes + AnswerBytes);
}

} // namespace

std::string NameAsStored(const std::string& name) {
    const TDSPBC codec;
    const std::string encoded = codec.EncodeName(name.substr(0, MaxNameLength));
    return codec.DecodeName("03 " + (encoded.size() > 3 ? encoded.substr(3) : std::string()));
}

std::string NumberAsStored(const std::string& number) {
    const TDSPBC codec;
    const std::string encoded = codec.EncodeNumber(NormaliseNumber(number));
    return codec.DecodeNumber("04 " + (encoded.size() > 3 ? encoded.substr(3) : std::string()));
}

TPhonebookEntry EntryAsHeld(const std::string& name, const std::string& number) {
    return {NameAsStored(name), number.empty() ? number : NumberAsStored(number)};
}

TPP5Phonebook PhonebookAsHeld(const TPP5Phonebook& book) {
    TPP5Phonebook held;
    held.SetCount(uint8_t(book.Count()));
    for (int i = 0; i < book.Count(); ++i) {
        const TPhonebookEntry entry = EntryAsHeld(book.GetName(uint16_t(i)), book.GetNumber(uint16_t(i)));
        held.SetName(uint16_t(i), entry.Name);
        held.SetNumber(uint16_t(i), entry.Number);
    }
    return held;
}

namespace {

// A replace's entries written set against those the handset holds: each written entry is paired with
// at most one held entry, the closest first.
void PairReplace(TWritePlan& plan, const TPP5Phonebook& held) {
    struct THeld {
        std::string Name;
        std::string Number;
        bool Paired = false;
    };
    std::vector<THeld> entries;
    for (int i = 0; i < held.Count(); ++i)
        if (!held.GetNumber(uint16_t(i)).empty())
            entries.push_back({held.GetName(uint16_t(i)), held.GetNumber(uint16_t(i))});
    std::vector<TPlanLine*> adds;
    for (TPlanLine& line : plan.Lines)
        if (line.Step == TPlanStep::Add)
            adds.push_back(&line);
    // Each rule pairs what the rules before it left.
    const auto pair = [&](const auto& same, const auto& make) {
        for (TPlanLine*& line : adds) {
            if (!line)
                continue;
            for (THeld& entry : entries) {
                if (entry.Paired || !same(*line, entry))
                    continue;
                entry.Paired = true;
                *line = make(*line, entry);
                line = nullptr;
                break;
            }
        }
    };
    pair([](const TPlanLine& l, const THeld& e) { return l.Item == e.Name && l.After == e.Number; },
         [](const TPlanLine& l, const THeld& e) {
             return TPlanLine{TPlanStep::Keep, e.Name, e.Number, {}, {}, l.Row};
         });
    pair([](const TPlanLine& l, const THeld& e) { return !BlankName(l.Item) && l.Item == e.Name; },
         [](const TPlanLine& l, const THeld& e) {
             return TPlanLine{TPlanStep::Change, e.Name, e.Number, l.After, {}, l.Row};
         });
    pair([](const TPlanLine& l, const THeld& e) { return l.After == e.Number; },
         [](const TPlanLine& l, const THeld& e) {
             return TPlanLine{TPlanStep::Change, e.Number, e.Name, l.Item, {}, l.Row};
         });
    for (const THeld& entry : entries)
        if (!entry.Paired)
            plan.Lines.push_back({TPlanStep::Remove, entry.Name, entry.Number, {}, {}, 0});
}

} // namespace

TWritePlan PlanPhonebookWrite(const TPP5Phonebook& held, const TPP5Phonebook& asGiven, bool replace) {
    const TPP5Phonebook wanted = PhonebookAsHeld(asGiven);
    TWritePlan plan;
    plan.List = "phone book";
    plan.Replace = replace;
    if (replace)
        plan.Cost.Add(1, FrameBytes + DeleteMailBytes + AnswerBytes);
    // The entries the write leaves in the handset, in order.
    std::vector<TEntry> written;
    int entries = replace ? 0 : held.CountNumbers();
    for (int row = 1; row <= wanted.Count(); ++row) {
        const std::string& name = wanted.GetName(uint16_t(row - 1));
        const std::string& number = wanted.GetNumber(uint16_t(row - 1));
        if (number.empty()) {
            if (!BlankName(name))
                plan.Lines.push_back({TPlanStep::NotWritten, name, {}, {}, "no number", row, true});
        } else if (!replace && held.HasNumber(number)) {
            const int at = held.FindNumber(number);
            plan.Lines.push_back(
                {TPlanStep::Keep, held.GetName(uint16_t(at)), held.GetNumber(uint16_t(at)), {}, {}, row});
        } else if (entries < wanted.Count()) {
            ++entries;
            written.push_back({name, number, row});
            plan.Lines.push_back({TPlanStep::Add, name, {}, number, {}, row});
            plan.Cost.Add(1, EntryBytes(name, number));
            plan.Cost.Mails += 1; // the name's mail; EntryBytes holds both
        } else {
            plan.Lines.push_back({TPlanStep::NotWritten, name, {}, number, "the phone book is full", row});
        }
    }
    if (!replace) {
        if (plan.ChangesHandset()) {
            for (int i = 0; i < held.Count(); ++i)
                if (!held.GetNumber(uint16_t(i)).empty())
                    written.insert(written.begin(),
                                   {held.GetName(uint16_t(i)), held.GetNumber(uint16_t(i)), 0});
            AddReadAfter(plan, written, wanted.Count());
        }
        return plan;
    }
    PairReplace(plan, held);
    // The same entries in another order: a replace still rewrites them.
    if (plan.Changes() == 0) {
        int at = 0;
        for (int i = 0; i < held.Count() && !plan.OrderDiffers; ++i) {
            if (held.GetNumber(uint16_t(i)).empty())
                continue;
            const TEntry& entry = written[size_t(at++)];
            plan.OrderDiffers =
                entry.Name != held.GetName(uint16_t(i)) || entry.Number != held.GetNumber(uint16_t(i));
        }
    }
    // A replace that would leave the handset as it is sends nothing.
    if (!plan.ChangesHandset()) {
        plan.Cost = {};
        return plan;
    }
    AddReadAfter(plan, written, wanted.Count());
    return plan;
}
