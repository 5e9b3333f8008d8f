// The speed dial and broadcast group operations with a fault at every mail in turn: its answer lost, its
// answer corrupted, or the line hung up as it begins. No run reports success with a wrong result; a run
// that fails with the handset changed names the backup that holds what it had, and that backup holds it.
#include "link/Timing.h"
#include "lists/BroadcastGroupsTransfer.h"
#include "lists/SpeedDialTransfer.h"
#include "platform/TextFile.h"
#include "support/FakeLink.h"
#include "support/RecordingUser.h"
#include "support/TestConnection.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

enum class TFault { AnswerLost, AnswerCorrupted, HungUp };
constexpr TFault Faults[] = {TFault::AnswerLost, TFault::AnswerCorrupted, TFault::HungUp};

THandsetFaults FaultAt(TFault fault, unsigned mail) {
    THandsetFaults faults;
    if (fault == TFault::AnswerLost)
        faults.dropAnswers = {mail};
    else if (fault == TFault::AnswerCorrupted)
        faults.corruptAnswers = {mail};
    else
        faults.hangupAfter = mail - 1;
    return faults;
}

// Closes the line once the handset has hung up, as the port does.
class TClosingLink : public TFakeLink {
public:
    using TFakeLink::TFakeLink;
    int32_t Write(const uint8_t* bytes, int32_t count) override {
        const int32_t written = TFakeLink::Write(bytes, count);
        if (Handset.HungUp() && Opened)
            Lose();
        return written;
    }
};

// One operation on a handset that starts from `before`; what the handset holds is a text of the test's
// choosing (the speed dial block's numbers, the groups).
struct TOperation {
    const char* name;
    std::function<void(THandsetState&)> before;
    std::function<bool(TFakeLink&, TTestConnection&, TRecordingUser&, std::string& backup)> run;
    std::function<std::string(const THandsetState&)> holds;
    std::string expected; // what a successful run leaves
    std::string kept;     // what the handset held before
    std::function<std::string(const std::string& file)> backupHolds;
    // It takes something from the handset (a write over, a delete): a failure that changed the handset
    // needs the backup. An add takes nothing; its failure says what the handset holds.
    bool destroys = true;
};

std::string SpeedDialHeld(const THandsetState& state) {
    TPP5SpeedDial list;
    TPP5SpeedDial::TBlock block{};
    std::copy_n(state.memory.begin() + TPP5SpeedDial::Address, block.size(), block.begin());
    list.Decode(block);
    return SpeedDialListText(list);
}

std::string GroupsHeld(const THandsetState& state) {
    std::string text;
    for (const uint8_t group : state.groups)
        text += std::to_string(group) + " ";
    return text;
}

std::string SpeedDialText(std::initializer_list<std::pair<int, const char*>> numbers) {
    TPP5SpeedDial list;
    for (const auto& [key, number] : numbers)
        list.SetNumber(key, number);
    return SpeedDialListText(list);
}

void HoldSpeedDial(THandsetState& state, std::initializer_list<std::pair<int, const char*>> numbers) {
    TPP5SpeedDial list;
    for (const auto& [key, number] : numbers)
        list.SetNumber(key, number);
    const TPP5SpeedDial::TBlock block = list.Encode();
    std::copy(block.begin(), block.end(), state.memory.begin() + TPP5SpeedDial::Address);
}

std::vector<TOperation> Operations() {
    const auto speedDial = [](bool write) {
        return [write](TFakeLink&, TTestConnection& connection, TRecordingUser& user, std::string& backup) {
            TPP5SpeedDial list;
            list.SetNumber(1, "777");
            list.SetNumber(10, "#9");
            TSpeedDialTransfer transfer(connection, user, list);
            user.Answers = {TAnswer::Ok};
            const bool ok = write ? transfer.SaveToHandset() : transfer.DeleteInHandset();
            backup = transfer.BackupPath();
            return ok;
        };
    };
    const auto groups = [](std::optional<TWriteMode> mode) {
        return [mode](TFakeLink&, TTestConnection& connection, TRecordingUser& user, std::string& backup) {
            TBroadcastGroups list;
            list.SetGroup(0, "7");
            list.SetGroup(2, "5");
            TBroadcastGroupsTransfer transfer(connection, user, list);
            user.Answers = {TAnswer::Ok};
            bool ok = false;
            if (mode) {
                user.WriteMode = *mode;
                ok = transfer.SaveToHandset();
            } else {
                ok = transfer.DeleteInHandset();
            }
            backup = transfer.BackupPath();
            return ok;
        };
    };
    const auto keepSpeedDial = [](THandsetState& s) { HoldSpeedDial(s, {{0, "123"}, {3, "555"}}); };
    const auto keepGroups = [](THandsetState& s) { s.groups = {1, 3}; };
    const auto sdlFile = [](const std::string& file) {
        TPP5SpeedDial list;
        LoadSpeedDialList(file, list);
        return SpeedDialListText(list);
    };
    const auto bglFile = [](const std::string& file) {
        TBroadcastGroups list;
        list.LoadFromFile(file);
        std::string text;
        for (const std::string& group : list.Groups)
            if (!group.empty())
                text += group + " ";
        return text;
    };
    const std::string heldSdl = SpeedDialText({{0, "123"}, {3, "555"}});
    return {
        {"speed dial write", keepSpeedDial, speedDial(true), SpeedDialHeld,
         SpeedDialText({{1, "777"}, {10, "#9"}}), heldSdl, sdlFile},
        {"speed dial delete", keepSpeedDial, speedDial(false), SpeedDialHeld, SpeedDialText({}), heldSdl,
         sdlFile},
        {"groups add", keepGroups, groups(TWriteMode::Add), GroupsHeld, "1 3 7 5 ", "1 3 ", bglFile, false},
        {"groups replace", keepGroups, groups(TWriteMode::Replace), GroupsHeld, "7 5 ", "1 3 ", bglFile},
        {"groups delete", keepGroups, groups(std::nullopt), GroupsHeld, "", "1 3 ", bglFile},
    };
}

struct Outcome {
    bool ok = false;
    std::string holds;
    std::string backup;
    std::string message;
};

Outcome RunOperation(const TOperation& operation, std::optional<std::pair<TFault, unsigned>> fault,
                     size_t* mails) {
    THandsetState state = DefaultHandsetState();
    operation.before(state);
    // The handset answers at once: the engine's pauses for its time to store pass at once too.
    const TTestClock clock;
    TClosingLink link(
        THandset(state, TReadiness::Ready, fault ? FaultAt(fault->first, fault->second) : THandsetFaults{}));
    link.AnswerDelayMs = 0;
    TTestConnection connection(link);
    connection.Timeouts(std::chrono::milliseconds(12), std::chrono::milliseconds(6));
    TMailControl& engine = connection.Engine();
    engine.WriteRetries = 2;
    engine.WritePause = std::chrono::milliseconds(1);
    TRecordingUser user;
    Outcome outcome;
    outcome.ok = operation.run(link, connection, user, outcome.backup);
    outcome.holds = operation.holds(link.Handset.State());
    for (const auto& shown : user.Messages)
        outcome.message += shown.text + "\n";
    if (mails)
        *mails = link.Frames.size();
    return outcome;
}

} // namespace

TEST(ListFaultMatrix, NoRunCallsAWrongResultDoneOrLosesTheListWithoutItsBackup) {
    int runs = 0;
    for (const TOperation& operation : Operations()) {
        size_t mails = 0;
        const Outcome clean = RunOperation(operation, std::nullopt, &mails);
        ASSERT_TRUE(clean.ok) << operation.name << ": " << clean.message;
        ASSERT_EQ(clean.holds, operation.expected) << operation.name;
        for (unsigned mail = 1; mail <= mails; ++mail) {
            for (const TFault fault : Faults) {
                const Outcome run = RunOperation(operation, std::make_pair(fault, mail), nullptr);
                ++runs;
                const std::string where = std::string(operation.name) + ", fault " +
                                          std::to_string(int(fault)) + " at mail " + std::to_string(mail) +
                                          ": " + run.message;
                if (run.ok) {
                    ASSERT_EQ(run.holds, operation.expected) << where;
                    continue;
                }
                if (run.holds == operation.kept)
                    continue;
                // A report never says nothing went of a list that is partly gone.
                ASSERT_EQ(run.message.find("was not deleted!"), std::string::npos) << where;
                if (!operation.destroys) {
                    // What it holds, or that it could not be read back.
                    ASSERT_NE(run.message.find("holds"), std::string::npos) << where;
                    continue;
                }
                // Changed and failed: what it held is in the backup the message names.
                ASSERT_FALSE(run.backup.empty()) << where;
                ASSERT_NE(run.message.find(run.backup), std::string::npos) << where;
                ASSERT_EQ(operation.backupHolds(run.backup), operation.kept) << where;
            }
        }
    }
    RecordProperty("runs", runs);
}
