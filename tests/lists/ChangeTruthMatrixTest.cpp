// Every operation that changes a handset's lists or profile, cut at every Nth mail (at least ten cuts each)
// by an answer lost, the line hung up, or a stop asked for. After each cut four things must agree: what the
// handset holds, the outcome the operation gives (from which every message, exit status and JSON count
// is cut), and the change log's lines. "Nothing was changed" only when the handset is as it was; a
// "begun" line whenever a mail that changes the handset went out; the end line's counts are the
// outcome's; and the counts add up to what the handset holds.
#include "HandsetPhonebook.h"
#include "link/StopRequest.h"
#include "link/Timing.h"
#include "lists/BroadcastGroupsTransfer.h"
#include "lists/PhonebookTransfer.h"
#include "lists/SpeedDialTransfer.h"
#include "platform/ChangeLog.h"
#include "profile/ProfileTransfer.h"
#include "support/FakeLink.h"
#include "support/RecordingUser.h"
#include "support/TestConnection.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

enum class TCut { AnswerLost, HungUp, Stopped };
constexpr TCut Cuts[] = {TCut::AnswerLost, TCut::HungUp, TCut::Stopped};
const char* CutName(TCut cut) {
    return cut == TCut::AnswerLost ? "answer lost" : cut == TCut::HungUp ? "hung up" : "stopped";
}

// Closes the line once the handset has hung up, as the port does, and asks for a stop as frame StopAt
// goes out, as Ctrl-C does.
class TCuttingLink : public TFakeLink {
public:
    using TFakeLink::TFakeLink;
    int32_t Write(const uint8_t* bytes, int32_t count) override {
        const int32_t written = TFakeLink::Write(bytes, count);
        if (StopAt > 0 && Frames.size() == StopAt)
            RequestStop();
        if (Handset.HungUp() && Opened)
            Lose();
        return written;
    }
    size_t StopAt = 0;
};

// The mails that change what a handset holds: phone book appends and its delete, group adds and their
// delete, memory writes.
int ChangingMails(const TFakeLink& link) {
    int n = 0;
    for (const TBytes& frame : link.Frames) {
        const uint8_t command = frame[3];
        const uint8_t sub = frame.size() > 5 ? frame[5] : 0;
        n += (command == 0x0D && (sub == 0x05 || sub == 0x06 || sub == 0x07 || sub == 0x21 || sub == 0x22)) ||
             (command == 0x02 && sub == 0x3B);
    }
    return n;
}

struct TOperation {
    const char* name;
    std::function<void(THandsetState&)> before;
    // Runs the operation; gives its outcome.
    std::function<THandsetOutcome(TTestConnection&, TRecordingUser&)> run;
    // How many entries the handset's list holds, and the list as a text to compare.
    std::function<int(const THandsetState&)> entries;
    std::function<std::string(const THandsetState&)> holds;
};

std::string PhonebookText(const THandsetState& s) {
    std::string text;
    for (const TPhonebookRecord& r : s.phonebook)
        text += r.name + "|" + HexText(r.number) + ";";
    return text;
}

int SpeedDialKeys(const THandsetState& s) {
    TPP5SpeedDial list;
    TPP5SpeedDial::TBlock block{};
    std::copy_n(s.memory.begin() + TPP5SpeedDial::Address, block.size(), block.begin());
    list.Decode(block);
    return int(std::count_if(list.Numbers.begin(), list.Numbers.end(),
                             [](const std::string& n) { return !n.empty(); }));
}

std::string SpeedDialBytes(const THandsetState& s) {
    return HexText(TBytes(s.memory.begin() + TPP5SpeedDial::Address,
                          s.memory.begin() + TPP5SpeedDial::Address + TPP5SpeedDial::BlockBytes));
}

// The profile's bytes; its settings are changed, never added or removed, so it counts no entries.
std::string ProfileBytes(const THandsetState& s) {
    std::string text;
    for (const uint16_t address : TProfileSettings::ProfileAddresses)
        text += HexText(TBytes{s.memory[address]});
    return text;
}

std::string GroupsText(const THandsetState& s) {
    return HexText(TBytes(s.groups.begin(), s.groups.end()));
}

std::vector<TOperation> Operations() {
    const auto phonebook = [](std::optional<TWriteMode> mode) {
        return [mode](TTestConnection& connection, TRecordingUser& user) {
            TPP5Phonebook book;
            book.SetCount(40);
            for (int i = 0; i < 6; ++i) {
                book.SetName(uint16_t(i), "New " + std::to_string(i));
                book.SetNumber(uint16_t(i), std::to_string(700 + i));
            }
            TPhonebookTransfer transfer(connection, user, book);
            user.WriteMode = mode.value_or(TWriteMode::Cancel);
            if (mode)
                transfer.SaveToHandset();
            else
                transfer.DeleteInHandset();
            return transfer.LastOutcome();
        };
    };
    const auto speedDial = [](bool write) {
        return [write](TTestConnection& connection, TRecordingUser& user) {
            TPP5SpeedDial list;
            list.SetNumber(1, "777");
            list.SetNumber(10, "#9");
            TSpeedDialTransfer transfer(connection, user, list);
            write ? transfer.SaveToHandset() : transfer.DeleteInHandset();
            return transfer.LastOutcome();
        };
    };
    const auto groups = [](std::optional<TWriteMode> mode) {
        return [mode](TTestConnection& connection, TRecordingUser& user) {
            TBroadcastGroups list;
            for (int slot = 0; slot < 5; ++slot)
                list.SetGroup(slot, std::to_string(20 + slot));
            TBroadcastGroupsTransfer transfer(connection, user, list);
            user.WriteMode = mode.value_or(TWriteMode::Cancel);
            mode ? transfer.SaveToHandset() : transfer.DeleteInHandset();
            return transfer.LastOutcome();
        };
    };
    const auto heldBook = [](THandsetState& s) {
        s.capacity = 40;
        for (int i = 0; i < 4; ++i)
            s.phonebook.push_back({*PackNumber(std::to_string(500 + i)), "Old " + std::to_string(i)});
    };
    const auto heldKeys = [](THandsetState& s) {
        TPP5SpeedDial list;
        list.SetNumber(0, "123");
        list.SetNumber(3, "555");
        const TPP5SpeedDial::TBlock block = list.Encode();
        std::copy(block.begin(), block.end(), s.memory.begin() + TPP5SpeedDial::Address);
    };
    const auto heldGroups = [](THandsetState& s) { s.groups = {1, 3, 5}; };
    const auto profile = [](TTestConnection& connection, TRecordingUser& user) {
        TProfileValues wanted;
        wanted[size_t(TProfileSetting::RingerTone)] = 5;
        wanted[size_t(TProfileSetting::RingerVolume)] = 2;
        wanted[size_t(TProfileSetting::HeadsetVolume)] = 4;
        wanted[size_t(TProfileSetting::BackLight)] = 0;
        TProfileTransfer transfer(connection, user);
        transfer.WriteToHandset(wanted);
        return transfer.LastOutcome();
    };
    const auto bookEntries = [](const THandsetState& s) { return int(s.phonebook.size()); };
    const auto groupCount = [](const THandsetState& s) { return int(s.groups.size()); };
    return {
        {"phonebook add", heldBook, phonebook(TWriteMode::Add), bookEntries, PhonebookText},
        {"phonebook replace", heldBook, phonebook(TWriteMode::Replace), bookEntries, PhonebookText},
        {"phonebook delete", heldBook, phonebook(std::nullopt), bookEntries, PhonebookText},
        {"speed dial write", heldKeys, speedDial(true), SpeedDialKeys, SpeedDialBytes},
        {"speed dial delete", heldKeys, speedDial(false), SpeedDialKeys, SpeedDialBytes},
        {"groups add", heldGroups, groups(TWriteMode::Add), groupCount, GroupsText},
        {"groups replace", heldGroups, groups(TWriteMode::Replace), groupCount, GroupsText},
        {"groups delete", heldGroups, groups(std::nullopt), groupCount, GroupsText},
        {"profile write", [](THandsetState&) {}, profile, [](const THandsetState&) { return 0; },
         ProfileBytes},
    };
}

struct TRun {
    THandsetOutcome outcome;
    THandsetState before;
    THandsetState after;
    int changingMails = 0;
    size_t mails = 0;
    std::vector<TChangeRecord> log;
    std::string messages;
};

TRun RunCut(const TOperation& operation, std::optional<std::pair<TCut, unsigned>> cut) {
    QTemporaryDir state;
    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    qputenv("QUORVEL_STATE_DIR", state.path().toLocal8Bit());
    TRun run;
    run.before = DefaultHandsetState();
    operation.before(run.before);
    THandsetFaults faults;
    if (cut && cut->first == TCut::AnswerLost)
        faults.dropAnswers = {cut->second};
    if (cut && cut->first == TCut::HungUp)
        faults.hangupAfter = cut->second - 1;
    // The handset answers at once: the engine's pauses for its time to store pass at once too.
    const TTestClock clock;
    TCuttingLink link(THandset(run.before, TReadiness::Ready, faults));
    link.AnswerDelayMs = 0;
    if (cut && cut->first == TCut::Stopped)
        link.StopAt = cut->second;
    TTestConnection connection(link);
    connection.Timeouts(std::chrono::milliseconds(12), std::chrono::milliseconds(6));
    TMailControl& engine = connection.Engine();
    engine.WriteRetries = 2;
    engine.WritePause = std::chrono::milliseconds(1);
    TRecordingUser user;
    run.outcome = operation.run(connection, user);
    ClearStopRequest();
    run.after = link.Handset.State();
    run.changingMails = ChangingMails(link);
    run.mails = link.Frames.size();
    run.log = ReadChangeLog().Changes;
    for (const auto& shown : user.Messages)
        run.messages += shown.text + "\n";
    qputenv("QUORVEL_STATE_DIR", saved);
    return run;
}

// The four-way check of one run; where names the run in a failure.
void Check(const TOperation& operation, const TRun& run, const std::string& where) {
    const THandsetOutcome& o = run.outcome;
    const bool unchanged = operation.holds(run.after) == operation.holds(run.before);
    // "Nothing was changed" only of a handset that is as it was, and only when nothing that changes it went.
    if (o.Result == TChangeResult::NotChanged || o.Result == TChangeResult::AlreadyHeld) {
        ASSERT_TRUE(unchanged) << where;
        ASSERT_EQ(run.changingMails, 0) << where;
    }
    // A mail that changes the handset went out: the log knew of the operation before it, and ended it. (A
    // "begun" line may stand without one: the line can go as the first such mail is sent.)
    const auto begun = std::find_if(run.log.begin(), run.log.end(),
                                    [](const TChangeRecord& r) { return r.Outcome == BegunOutcome; });
    if (run.changingMails > 0) {
        ASSERT_NE(begun, run.log.end()) << where;
        ASSERT_EQ(run.log.size(), 2u) << where;
        const TChangeRecord& end = run.log.back();
        ASSERT_EQ(end.Id, begun->Id) << where;
        // The end line's counts are the outcome's, which the read after the writes measured.
        ASSERT_EQ(end.Changed, o.Held) << where;
        ASSERT_EQ(end.Outcome, ChangeOutcomeText(ChangeOutcomeOf(o))) << where;
    }
    // The counts add up to what the handset holds.
    if (o.Held) {
        ASSERT_EQ(operation.entries(run.before) + o.Held->Added - o.Held->Removed,
                  operation.entries(run.after))
            << where;
    }
    // Done is the handset holding what was wanted (a profile setting the handset does not have is not
    // written, and known so before the write began).
    if (o.Result == TChangeResult::Done) {
        ASSERT_TRUE(o.Held && o.Lacking && o.Lacking->Changes() == 0) << where;
    }
    // Where the read after the writes could not tell, the person is told so.
    if (o.Result == TChangeResult::Unknown) {
        ASSERT_TRUE(run.messages.find("could not be read back") != std::string::npos ||
                    run.messages.find("could not be found out") != std::string::npos)
            << where;
    }
}

} // namespace

TEST(ChangeTruthMatrix, TheHandsetTheOutcomeAndTheLogAgreeAfterEveryCut) {
    int cuts = 0;
    for (const TOperation& operation : Operations()) {
        const TRun clean = RunCut(operation, std::nullopt);
        ASSERT_EQ(clean.outcome.Result, TChangeResult::Done) << operation.name << ": " << clean.messages;
        Check(operation, clean, std::string(operation.name) + ", uncut");
        // At least ten cuts for each kind, spread over every mail of the operation.
        const unsigned every = std::max<unsigned>(1, unsigned(clean.mails) / 10);
        int operationCuts = 0;
        for (unsigned mail = 1; mail <= clean.mails; mail += every)
            for (const TCut cut : Cuts) {
                const TRun run = RunCut(operation, std::make_pair(cut, mail));
                ++cuts;
                ++operationCuts;
                Check(operation, run,
                      std::string(operation.name) + ", " + CutName(cut) + " at mail " + std::to_string(mail) +
                          " of " + std::to_string(clean.mails) + ": " + run.messages);
            }
        EXPECT_GE(operationCuts, 3 * std::min(10, int(clean.mails))) << operation.name;
    }
    RecordProperty("cuts", cuts);
}
