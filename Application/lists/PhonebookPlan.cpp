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

bool SameNumber(const std::string& a, const std::string& b) {
    return NormaliseNumber(a) == NormaliseNumber(b);
}

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

TWritePlan PlanPhonebookWrite(const TPP5Phonebook& held, const TPP5Phonebook& wanted, bool replace) {
    TWritePlan plan;
    plan.List = "phone book";
    plan.Replace = replace;
    if (replace)
        plan.Cost.Add(1, FrameBytes + DeleteMailBytes + AnswerBytes);
    // The entries the write leaves in the handset, in order.
    std::vector<TEntry> written;
    int entries = replace ? 0 : held.CountNumbers();
    for (int row = 1; row <= wanted.Count(); ++row) {
        const std::string name = NameAsStored(wanted.GetName(uint16_t(row - 1)));
        const std::string& number = wanted.GetNumber(uint16_t(row - 1));
        if (number.empty()) {
            if (!BlankName(name))
                plan.Lines.push_back({TPlanStep::NotWritten, name, {}, {}, "no number", row});
        } else if (!replace && held.HasNumber(number)) {
            const int at = held.FindNumber(number);
            plan.Lines.push_back(
                {TPlanStep::Keep, held.GetName(uint16_t(at)), held.GetNumber(uint16_t(at)), {}, {}, row});
        } else if (entries < wanted.Count()) {
            ++entries;
            written.push_back({name, NormaliseNumber(number), row});
            plan.Lines.push_back({TPlanStep::Add, name, {}, NormaliseNumber(number), {}, row});
            plan.Cost.Add(1, EntryBytes(name, number));
            plan.Cost.Mails += 1; // the name's mail; EntryBytes holds both
        } else {
            plan.Lines.push_back(
                {TPlanStep::NotWritten, name, {}, NormaliseNumber(number), "the phone book is full", row});
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
    // A replace: each entry written is matched with one the handset holds under the same number.
    std::vector<bool> matched(size_t(held.Count()), false);
    for (TPlanLine& line : plan.Lines) {
        if (line.Step != TPlanStep::Add)
            continue;
        for (int i = 0; i < held.Count(); ++i) {
            const std::string& number = held.GetNumber(uint16_t(i));
            if (matched[size_t(i)] || number.empty() || !SameNumber(number, line.After))
                continue;
            matched[size_t(i)] = true;
            const std::string& heldName = held.GetName(uint16_t(i));
            if (heldName == line.Item) {
                line.Step = TPlanStep::Keep;
                line.Before = number;
                line.After.clear();
            } else {
                line = {TPlanStep::Change, number, heldName, line.Item, {}, line.Row};
            }
            break;
        }
    }
    for (int i = 0; i < held.Count(); ++i)
        if (!matched[size_t(i)] && !held.GetNumber(uint16_t(i)).empty())
            plan.Lines.push_back(
                {TPlanStep::Remove, held.GetName(uint16_t(i)), held.GetNumber(uint16_t(i)), {}, {}, 0});
    // A name whose number changed reads better as one change than as an entry removed and one added.
    for (TPlanLine& line : plan.Lines) {
        if (line.Step != TPlanStep::Add || BlankName(line.Item))
            continue;
        const auto removed =
            std::find_if(plan.Lines.begin(), plan.Lines.end(), [&line](const TPlanLine& other) {
                return other.Step == TPlanStep::Remove && other.Item == line.Item;
            });
        if (removed == plan.Lines.end())
            continue;
        line = {TPlanStep::Change, line.Item, removed->Before, line.After, {}, line.Row};
        removed->Step = TPlanStep::Keep; // dropped below
        removed->Item.clear();
        removed->Row = -1;
    }
    std::erase_if(plan.Lines, [](const TPlanLine& line) { return line.Row < 0; });
    // The same entries in another order: a replace still rewrites them.
    if (plan.Count(TPlanStep::Add) + plan.Count(TPlanStep::Change) + plan.Count(TPlanStep::Remove) == 0) {
        int at = 0;
        for (int i = 0; i < held.Count() && !plan.OrderDiffers; ++i) {
            if (held.GetNumber(uint16_t(i)).empty())
                continue;
            const TEntry& entry = written[size_t(at++)];
            plan.OrderDiffers = entry.Name != held.GetName(uint16_t(i)) ||
                                !SameNumber(entry.Number, held.GetNumber(uint16_t(i)));
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
