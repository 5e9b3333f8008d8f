// The SIM move cut off at every mail in turn (the program killed, the line hung up, an answer lost), for
// both directions and for SIMs that end above, inside and below the text area; after each cut the next
// steps are taken in the orders a person could take them: the same handset again, a second empty
// handset, a handset with another SIM, from another current folder. After every step the SIM is in at
// most one place and in at least one, and no handset holds a byte that is neither its own nor the SIM's;
// once the person has done what the last message says, it is in exactly one place, and each handset is
// byte for byte what an uninterrupted move leaves.
#include "platform/Texts.h"
#include "vsim/SimMoveFixture.h"

#include <algorithm>
#include <map>

namespace {

enum class TStep { Same, Second, Other, Folder };
enum class TFault { Killed, HungUp, AnswerLost };

// The entries of SimMoveList: software byte, last SIM address, delete-marked addresses.
struct TEntry {
    const char* name;
    uint8_t software;
    int last;
    int deleteFirst;
    int deleteLast;
};
constexpr TEntry Entries[] = {{"Above", 0x00, 0x1C0, 0x100, 0x13F},
                              {"Inside", 0x01, 0x1A0, 0x100, 0x13F},
                              {"Below", 0x02, 0x120, 0xE0, 0xFF}};

struct TCase {
    TEntry entry;
    bool toFile;
    TFault fault;
};

std::string Name(const TCase& c) {
    const char* faults[] = {"Killed", "HungUp", "AnswerLost"};
    return std::string(c.toFile ? "Out" : "In") + c.entry.name + faults[int(c.fault)];
}

std::string CaseName(const testing::TestParamInfo<TCase>& info) {
    return Name(info.param);
}

void PrintTo(const TCase& c, std::ostream* out) {
    *out << Name(c);
}

// The orders tried after each cut. The first tries the other handsets before the one concerned.
const std::vector<std::vector<TStep>> Orders = {
    {TStep::Second, TStep::Other, TStep::Same, TStep::Second},
    {TStep::Folder, TStep::Same, TStep::Second, TStep::Other},
    {TStep::Other, TStep::Folder, TStep::Second, TStep::Same},
};

constexpr size_t TextArea = 406;
constexpr size_t TextLength = 36;
constexpr size_t Checked = 0x200;

struct TWorld {
    THandsetState giver;    // held the SIM first
    THandsetState receiver; // the empty handset the move in goes into
    THandsetState second;   // another empty handset
    THandsetState other;    // holds a SIM of its own
    std::vector<TSimRecord> records{};
    std::map<QString, QByteArray> files{};
};

struct SimFaultMatrix : TSimMoveFixture, testing::WithParamInterface<TCase> {
    SimFaultMatrix() {
        QDir().mkpath(dir.filePath("elsewhere"));
        home = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    ~SimFaultMatrix() override { QDir::setCurrent(home); }

    const TEntry& Entry() const { return GetParam().entry; }

    THandsetState Fresh(bool withSim) const { return Handset(withSim, Entry().software); }
    THandsetState OtherSim() const {
        THandsetState state = Fresh(true);
        state.memory[68] = 0x79;
        return state;
    }

    // The file names the first move is given: relative to the folder it runs in.
    static std::string RelativeChosen() { return "files/backup.sim"; }
    static std::string RelativeSimFile() { return "files/backup_" + Serial + ".sim"; }

    TWorld Snapshot(const TWorld& handsets) const {
        TWorld world = handsets;
        world.records = Store.Save();
        for (const QFileInfo& info : QDir(dir.filePath("files")).entryInfoList(QDir::Files)) {
            QFile file(info.filePath());
            if (file.open(QIODevice::ReadOnly))
                world.files[info.fileName()] = file.readAll();
        }
        return world;
    }
    void Restore(const TWorld& world) {
        QDir(dir.filePath("files")).removeRecursively();
        QDir().mkpath(dir.filePath("files"));
        for (const auto& [name, bytes] : world.files) {
            QFile file(dir.filePath("files/" + name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        Store.Restore(world.records);
    }

    static std::string Display(const THandsetState& state) {
        return SimMark::DisplayText(std::span(state.memory).subspan(TextArea, TextLength));
    }
    static bool Holds(const THandsetState& state, const std::string& serial = Serial) {
        return SerialNumberFromImage(state.memory) == serial;
    }

    // Every byte of the handset is its own, the SIM's, or what a move writes of its own: FF where it
    // erases, and in the text area a mark, "   NO SIM   " or an empty text, each followed by zero bytes.
    ::testing::AssertionResult Sound(const char* name, const THandsetState& state,
                                     const THandsetState& own) const {
        const std::vector<uint8_t>& sim = Sim;
        for (size_t a = 0; a < Checked; ++a) {
            if (a >= TextArea && a < TextArea + TextLength)
                continue;
            const uint8_t b = state.memory[a];
            const bool erased =
                b == 0xFF &&
                ((a >= 64 && a <= 68) || (int(a) >= Entry().deleteFirst && int(a) <= Entry().deleteLast));
            if (b != own.memory[a] && !(int(a) <= Entry().last && b == sim[a]) && !erased)
                return ::testing::AssertionFailure() << name << " holds " << int(b) << " at " << a;
        }
        // A text cut off part-way leaves pieces of two texts: each byte must come from one of them.
        static const std::string MoveText = std::string("MOVING OUT IN 0123456789ABCDEF") + Texts::NoSimText;
        for (size_t a = TextArea; a < TextArea + TextLength; ++a) {
            const uint8_t b = state.memory[a];
            const bool simText = Entry().last >= int(TextArea + TextLength - 1) && b == sim[a];
            if (b != own.memory[a] && !simText && b != 0 && MoveText.find(char(b)) == std::string::npos)
                return ::testing::AssertionFailure() << name << " shows \"" << Display(state) << "\"";
        }
        return ::testing::AssertionSuccess();
    }

    // At most one place, at least one, and every handset sound.
    void Check(const TWorld& w, const std::string& when) {
        const int holders = Holds(w.giver) + Holds(w.receiver) + Holds(w.second) + Holds(w.other);
        const TFiles files = Files();
        ASSERT_LE(holders + files.accepted, 1) << when;
        ASSERT_GE(holders + files.recorded, 1) << when << ": the SIM is nowhere";
        ASSERT_TRUE(Holds(w.other, "00291 0284281")) << when << ": the other SIM is gone";
        ASSERT_TRUE(Sound("the giving handset", w.giver, Fresh(true))) << when;
        ASSERT_TRUE(Sound("the receiving handset", w.receiver, Fresh(false))) << when;
        ASSERT_TRUE(Sound("the second handset", w.second, Fresh(false))) << when;
        ASSERT_TRUE(Sound("the handset with another SIM", w.other, OtherSim())) << when;
    }

    void Take(TWorld& w, TStep step, const std::string& when) {
        const std::string file = dir.filePath(QString::fromStdString(RelativeSimFile())).toStdString();
        const bool present = QFile::exists(QString::fromStdString(file));
        switch (step) {
        case TStep::Same:
            if (GetParam().toFile)
                Run(w.giver, true, Chosen());
            else if (present)
                Run(w.receiver, false, file);
            break;
        case TStep::Second:
            if (present)
                Run(w.second, false, file);
            break;
        case TStep::Other:
            if (present) {
                ASSERT_NE(Run(w.other, false, file), TSimResult::Done) << when;
            }
            break;
        case TStep::Folder:
            QDir::setCurrent(dir.filePath("elsewhere"));
            break;
        }
        Check(w, when + ", then step " + std::to_string(int(step)) + " (" + LastDetail + ")");
    }

    // What the last messages tell the person to do: the handset the unfinished move concerns, and a
    // save on any handset that still shows a mark.
    void FollowMessages(TWorld& w, const std::string& when) {
        TSimRecords records(Store);
        const std::string file = dir.filePath(QString::fromStdString(RelativeSimFile())).toStdString();
        for (int round = 0; round < 3; ++round) {
            const TSimJournal journal = records.Journal(Serial);
            // Moving out, or in its file with the giving handset's erase to finish.
            if (journal.State == SimMoveState::MovingOut || (journal.State.empty() && !journal.Mark.empty()))
                Run(w.giver, true, Chosen());
            else if (journal.State == SimMoveState::MovingIn)
                Run(w.receiver, false, file);
            for (THandsetState* marked : {&w.giver, &w.receiver, &w.second})
                if (!Holds(*marked) && Display(*marked).starts_with("MOVING "))
                    Run(*marked, true, Chosen());
        }
        const int holders = Holds(w.giver) + Holds(w.receiver) + Holds(w.second);
        ASSERT_EQ(holders + Files().accepted, 1) << when << " (" << LastDetail << ")";
        // Byte for byte what the uninterrupted moves leave; the first address that differs, or -1.
        const auto differs = [](const THandsetState& s, const THandsetState& t) {
            const auto d = std::mismatch(s.memory.begin(), s.memory.begin() + Checked, t.memory.begin());
            return d.first == s.memory.begin() + Checked ? -1 : int(d.first - s.memory.begin());
        };
        if (!Holds(w.giver)) {
            ASSERT_EQ(differs(w.giver, MovedOut), -1) << when << ": the giving handset";
        }
        if (Holds(w.receiver)) {
            ASSERT_EQ(differs(w.receiver, MovedIn), -1) << when << ": the receiving handset";
        }
        if (Holds(w.second)) {
            ASSERT_EQ(differs(w.second, MovedIn), -1) << when << ": the second handset";
        }
    }

    // Uninterrupted moves, for the mail count and what they leave.
    void Measure() {
        Sim = Fresh(true).memory;
        MovedOut = Fresh(true);
        ASSERT_EQ(Run(MovedOut, true, Chosen()), TSimResult::Done) << LastDetail;
        OutMails = Frames;
        MovedIn = Fresh(false);
        ASSERT_EQ(Run(MovedIn, false, SimFile()), TSimResult::Done) << LastDetail;
        InMails = Frames;
        ASSERT_TRUE(Holds(MovedIn));
        Store.Clear();
    }

    QString home;
    std::vector<uint8_t> Sim;
    THandsetState MovedOut;
    THandsetState MovedIn;
    size_t OutMails = 0;
    size_t InMails = 0;
};

TEST_P(SimFaultMatrix, TheSimIsNeverInTwoPlacesAndEndsInOne) {
    Measure();
    const TCase c = GetParam();
    TWorld start{Fresh(true), Fresh(false), Fresh(false), OtherSim()};
    // A move in starts from the SIM in its file.
    if (!c.toFile) {
        ASSERT_EQ(Run(start.giver, true, Chosen()), TSimResult::Done);
    }
    const TWorld before = Snapshot(start);
    const size_t mails = c.toFile ? OutMails : InMails;
    ASSERT_GT(mails, 30u);
    for (size_t k = 1; k <= mails; ++k) {
        Restore(before);
        TWorld cut = before;
        THandsetFaults faults;
        std::optional<size_t> stop;
        if (c.fault == TFault::Killed)
            stop = k;
        else if (c.fault == TFault::HungUp)
            faults.hangupAfter = unsigned(k - 1);
        else
            faults.dropAnswers = {unsigned(k)};
        QDir::setCurrent(dir.path());
        const std::optional<TSimResult> code =
            c.toFile ? Run(cut.giver, true, RelativeChosen(), faults, stop)
                     : Run(cut.receiver, false, RelativeSimFile(), faults, stop);
        const std::string when =
            "cut at mail " + std::to_string(k) + " (" + (code ? SimResultName(*code) : "killed") + ")";
        Check(cut, when);
        const TWorld after = Snapshot(cut);
        for (size_t order = 0; order < Orders.size(); ++order) {
            // Each order after every cut where the program stops; else one order each, in turn.
            const bool everyOrder = c.fault == TFault::Killed && c.entry.last == Entries[0].last;
            if (!everyOrder && order != k % Orders.size())
                continue;
            Restore(after);
            QDir::setCurrent(dir.path());
            TWorld w = after;
            const std::string tried = when + ", order " + std::to_string(order);
            for (const TStep step : Orders[order]) {
                Take(w, step, tried);
                if (HasFatalFailure())
                    return;
            }
            FollowMessages(w, tried);
            if (HasFatalFailure())
                return;
        }
    }
}

std::vector<TCase> Cases() {
    // Every fault on the SIM that covers the text area; the others, whose text area is the handset's,
    // cut off by the program stopping.
    std::vector<TCase> cases;
    for (const TEntry& entry : Entries)
        for (const bool toFile : {true, false})
            for (const TFault fault : {TFault::Killed, TFault::HungUp, TFault::AnswerLost})
                if (entry.last == Entries[0].last || fault == TFault::Killed)
                    cases.push_back({entry, toFile, fault});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Moves, SimFaultMatrix, testing::ValuesIn(Cases()), CaseName);

} // namespace
