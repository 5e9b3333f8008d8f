// The phone book's handset operations over an in-process link, against the virtual handset's logic or
// against scripted answers.

#include "lists/PhonebookTransfer.h"
#include "HandsetPhonebook.h"
#include "link/StopRequest.h"
#include "support/FakeLink.h"
#include "support/RecordingUser.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>

namespace {

// The program's side of the connection step, with short time-outs so that silence costs little.
class TTestConnection : public THandsetConnection {
public:
    explicit TTestConnection(TFakeLink& link, TPP5Phonebook& book)
        : Engine_(link)
        , Book(book) {}

    TMailControl& Engine() override { return Engine_; }
    TConnectResult ConnectHandset() override {
        ++Connects;
        if (Result == TConnectResult::Connected)
            Book.SetCount(Capacity);
        return Result;
    }
    std::optional<uint8_t> HandsetLevelNow() const override { return 0; }
    TEngineProfile Profile(TEngineUse use) const override {
        return {EngineProfileFor(use).layout, std::chrono::milliseconds(150), std::chrono::milliseconds(50)};
    }

    TConnectResult Result = TConnectResult::Connected;
    uint8_t Capacity = 200;
    int Connects = 0;

private:
    TMailControl Engine_;
    TPP5Phonebook& Book;
};

TPhonebookRecord Record(const std::string& name, const std::string& number) {
    return {*PackNumber(number), name};
}

THandsetState StateWith(std::vector<TPhonebookRecord> list, uint8_t capacity = 200) {
    THandsetState state = DefaultHandsetState();
    state.phonebook = std::move(list);
    state.capacity = capacity;
    return state;
}

// The mail texts the engine sent, from the frames on the line.
std::vector<std::string> Mails(const TFakeLink& link) {
    std::vector<std::string> mails;
    for (const TBytes& frame : link.Frames) {
        TBytes mail{frame[3]};
        mail.insert(mail.end(), frame.begin() + 5, frame.end() - 1);
        mails.push_back(HexText(mail));
    }
    return mails;
}

int Count(const std::vector<std::string>& mails, const std::string& prefix) {
    int n = 0;
    for (const std::string& mail : mails)
        n += mail.starts_with(prefix);
    return n;
}

struct TFixture : ::testing::Test {
    TFakeLink Link;
    TPP5Phonebook Book;
    TRecordingUser User;
    TTestConnection Connection{Link, Book};
    TPhonebookTransfer Transfer{Connection, User, Book};

    TFixture() { Book.SetCount(200); }

    void UseHandset(THandsetState state, THandsetFaults faults = {}) {
        Link.Handset = THandset(std::move(state), TReadiness::Ready, std::move(faults));
    }
    // Answers each mail by its text; no entry means silence.
    void Script(std::function<std::optional<std::string>(const std::string& mail)> answer) {
        Link.Script = [answer](const TBytes& frame) {
            std::vector<TFakeLink::TReply> replies{{0, frame}};
            TBytes mail{frame[3]};
            mail.insert(mail.end(), frame.begin() + 5, frame.end() - 1);
            if (const auto text = answer(HexText(mail)))
                replies.push_back({1, FramedAnswer(MailBytes(*text))});
            return replies;
        };
    }
    void Fill(std::initializer_list<std::pair<const char*, const char*>> rows) {
        int i = 0;
        for (const auto& [name, number] : rows) {
            Book.SetName(uint16_t(i), name);
            Book.SetNumber(uint16_t(i), number);
            ++i;
        }
    }
    static std::string FileText(const std::string& path) {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("(no file)");
    }
    const std::vector<TPhonebookRecord>& HandsetList() { return Link.Handset.State().phonebook; }
    bool Shows(const std::string& text) const {
        for (const auto& shown : User.Messages)
            if (shown.text == text)
                return true;
        return false;
    }
};

using PhonebookRead = TFixture;
using PhonebookWrite = TFixture;
using PhonebookDelete = TFixture;

} // namespace

TEST_F(PhonebookRead, TakesEveryEntryUntilTheHandsetSaysTheListEnds) {
    UseHandset(StateWith({Record("Bob", "1234"), Record("", "*#P5"), Record("Smith, John", "0123")}));
    EXPECT_TRUE(Transfer.LoadFromHandset());
    EXPECT_EQ(Book.GetName(0), "Bob");
    EXPECT_EQ(Book.GetNumber(0), "1234");
    EXPECT_EQ(Book.GetName(1), "");
    EXPECT_EQ(Book.GetNumber(1), "*#P5");
    EXPECT_EQ(Book.GetName(2), "Smith, John");
    // Shown whole once it is read, not row by row over what the grid showed before.
    EXPECT_TRUE(User.ShownEntries.empty());
    EXPECT_EQ(User.WholeListsShown, 1);
    EXPECT_EQ(User.LastStatus(), "Finished reading from handset! - 1 sec");
    EXPECT_TRUE(User.Messages.empty());
    EXPECT_EQ(User.BusyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(User.Progress.front(), "start 1..200");
    EXPECT_EQ(User.Steps, 3);
    EXPECT_EQ(Mails(Link).back(), "0D 04 03");
}

TEST_F(PhonebookRead, AnEmptyHandsetIsASuccess) {
    UseHandset(StateWith({}));
    Fill({{"old", "999"}});
    EXPECT_TRUE(Transfer.LoadFromHandset());
    EXPECT_EQ(Book.CountNumbers(), 0);
    EXPECT_EQ(User.LastStatus(), "Finished reading from handset! - 1 sec");
}

TEST_F(PhonebookRead, EndOfListInANameAnswerKeepsThatNumber) {
    Script([](const std::string& mail) -> std::optional<std::string> {
        if (mail == "0D 04 00")
            return "04 12 3F";
        if (mail == "0D 03 00")
            return "03 FF";
        return "04 45 6F";
    });
    EXPECT_TRUE(Transfer.LoadFromHandset());
    EXPECT_EQ(Book.GetNumber(0), "123");
    EXPECT_EQ(Book.GetName(0), "");
    EXPECT_EQ(Book.CountNumbers(), 1);
    EXPECT_EQ(Count(Mails(Link), "0D 04"), 1);
}

TEST_F(PhonebookRead, AnErrorAnswerToTheNameIsNoName) {
    // Entry 0's name comes after one error answer; entry 1's name never does.
    std::map<std::string, int> asked;
    Script([&asked](const std::string& mail) -> std::optional<std::string> {
        const int n = ++asked[mail];
        if (mail == "0D 04 00")
            return "04 12 3F";
        if (mail == "0D 03 00")
            return n == 1 ? "03 EE" : "03 42";
        if (mail == "0D 04 01")
            return "04 45 6F";
        if (mail == "0D 03 01")
            return "03 EE";
        return "04 FF";
    });
    Fill({{"kept", "999"}});
    EXPECT_FALSE(Transfer.LoadFromHandset());
    EXPECT_EQ(asked["0D 03 00"], 2);
    EXPECT_EQ(asked["0D 03 01"], 3);
    EXPECT_EQ(Book.GetName(0), "kept") << "a read that fails leaves the list as it was";
    EXPECT_TRUE(Shows("Could not read Phone Book!"));
}

TEST_F(PhonebookRead, ThreeFailedAttemptsInARowEndTheRead) {
    // Entry 0 after one error answer; entry 1 gets an error answer, then silence twice.
    std::map<std::string, int> asked;
    Script([&asked](const std::string& mail) -> std::optional<std::string> {
        const int n = ++asked[mail];
        if (mail == "0D 04 00")
            return n == 1 ? "04 EE" : "04 12 3F";
        if (mail == "0D 03 00")
            return "03 42";
        if (mail == "0D 04 01" && n == 1)
            return "04 EE";
        return std::nullopt;
    });
    // What the grid showed (perhaps never saved) stays when the read fails.
    Book.SetName(0, "Unsaved");
    Book.SetNumber(5, "5550005");
    EXPECT_FALSE(Transfer.LoadFromHandset());
    EXPECT_EQ(Book.GetName(0), "Unsaved");
    EXPECT_EQ(Book.GetNumber(5), "5550005");
    EXPECT_EQ(asked["0D 04 01"], 3);
    EXPECT_TRUE(Shows("Could not read Phone Book!"));
    EXPECT_EQ(User.LastStatus(), "Could not read Phone Book!");
    EXPECT_EQ(User.BusyChanges.back(), false);
}

TEST_F(PhonebookRead, AHandsetThatNeverNamesAnEntryDoesNotKeepTheReadGoing) {
    UseHandset(StateWith({Record("Bob", "1234")}), THandsetFaults{.noNames = true});
    EXPECT_FALSE(Transfer.LoadFromHandset());
    const auto mails = Mails(Link);
    EXPECT_EQ(Count(mails, "0D 03 00"),
              TPhonebookTransfer::NameRepeats + TPhonebookTransfer::FailedAttempts - 1);
    EXPECT_TRUE(Shows("Could not read Phone Book!"));
}

TEST_F(PhonebookRead, NoHandsetSaysWhyInOneBox) {
    Connection.Result = TConnectResult::NoAnswer;
    Fill({{"old", "999"}});
    EXPECT_FALSE(Transfer.LoadFromHandset());
    ASSERT_EQ(User.Messages.size(), 1u);
    EXPECT_EQ(User.Messages[0].text, "Could not connect to the handset!\r Could not read Phone Book!");
    EXPECT_EQ(Book.GetNumber(0), "999") << "the list stays as it was";
    EXPECT_TRUE(Link.Frames.empty());
}

TEST_F(PhonebookRead, AnExceptionIsShownAndLeavesTheBusyState) {
    struct TThrowing : TTestConnection {
        using TTestConnection::TTestConnection;
        TConnectResult ConnectHandset() override { throw std::runtime_error("broken"); }
    } throwing(Link, Book);
    TPhonebookTransfer transfer(throwing, User, Book);
    EXPECT_FALSE(transfer.LoadFromHandset());
    EXPECT_TRUE(Shows("broken"));
    EXPECT_EQ(User.BusyChanges, (std::vector<bool>{true, false}));
}

TEST(PhonebookTransferTimes, SecondsAreRoundedUp) {
    EXPECT_EQ(TPhonebookTransfer::ElapsedSeconds(0), 0);
    EXPECT_EQ(TPhonebookTransfer::ElapsedSeconds(1), 1);
    EXPECT_EQ(TPhonebookTransfer::ElapsedSeconds(1000), 1);
    EXPECT_EQ(TPhonebookTransfer::ElapsedSeconds(1001), 2);
}

TEST_F(PhonebookWrite, ReplaceDeletesTheHandsetListAndAppendsEveryNumberedRow) {
    UseHandset(StateWith({Record("Old", "1")}));
    Fill({{"Bob", "12-34 5"}, {"", ""}, {"   ", ""}, {"Ann", "*31#"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_TRUE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Bob", "12P345"), Record("Ann", "*31#")}));
    EXPECT_EQ(User.WriteModeCaptions.front(),
              "Add list to existing phone book in handset | Replace existing phone book in handset");
    // The list the handset held is read and kept before it is deleted.
    const auto mails = Mails(Link);
    EXPECT_EQ(std::vector<std::string>(mails.begin(), mails.begin() + 6),
              (std::vector<std::string>{"0D 04 00", "0D 03 00", "0D 04 01", "0D 07 00",
                                        "0D 06 00 04 12 D3 45 FF", "0D 05 00 03 42 6F 62"}));
    EXPECT_EQ(FileText(Transfer.BackupPath()), "Old,1\r\n");
    EXPECT_NE(Transfer.BackupPath().find("/backups/phonebook-"), std::string::npos);
    // A name of blanks without a number is no missing number; the one question is the plan's.
    EXPECT_TRUE(User.Colours.empty());
    EXPECT_TRUE(User.Messages.empty());
    ASSERT_EQ(User.Plans.size(), 1u);
    EXPECT_EQ(User.Plans[0].Question,
              "Replace the phone book in the connected handset? Its entries are deleted; "
              "afterwards it holds the 2 entries of this list, as far as they fit.");
    EXPECT_EQ(User.LastStatus(), "Finished writing to handset! - 1 sec");
}

// The mails that change the handset: appends and the delete.
int WriteMails(const TFakeLink& link) {
    const auto mails = Mails(link);
    return Count(mails, "0D 06") + Count(mails, "0D 05") + Count(mails, "0D 07");
}

TEST_F(PhonebookWrite, ThePlanIsShownBeforeAnyChangeAndTheWriteSendsItsMails) {
    for (const TWriteMode mode : {TWriteMode::Add, TWriteMode::Replace}) {
        Link.Frames.clear();
        UseHandset(StateWith({Record("Anna", "1"), Record("Old", "9")}));
        Fill({{"Anna", "1"}, {"Bob", "2"}});
        User.WriteMode = mode;
        User.Plans.clear();
        EXPECT_TRUE(Transfer.SaveToHandset());
        ASSERT_EQ(User.Plans.size(), 1u);
        const TWritePlan& plan = User.Plans[0];
        EXPECT_EQ(plan.Count(TPlanStep::Add), 1);
        EXPECT_EQ(plan.Count(TPlanStep::Remove), mode == TWriteMode::Replace ? 1 : 0);
        // Every mail from the first one that changes the handset on: the writes, then the read after them.
        const auto mails = Mails(Link);
        const auto first = std::find_if(mails.begin(), mails.end(), [](const std::string& mail) {
            return mail.starts_with("0D 06") || mail.starts_with("0D 07");
        });
        EXPECT_EQ(int(mails.end() - first), plan.Cost.Mails);
        ASSERT_TRUE(Transfer.LastPlan());
    }
}

TEST_F(PhonebookWrite, ADeclinedPlanChangesNothing) {
    UseHandset(StateWith({Record("Old", "1")}));
    Fill({{"Bob", "2"}});
    User.WriteMode = TWriteMode::Replace;
    User.PlanAnswer = false;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(WriteMails(Link), 0);
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Old", "1")}));
    EXPECT_EQ(User.LastStatus(), "Nothing was written to the handset.");
    EXPECT_TRUE(Transfer.BackupPath().empty());
}

TEST_F(PhonebookWrite, AReplaceWithWhatTheHandsetHoldsSendsNothing) {
    UseHandset(StateWith({Record("Anna", "1"), Record("Bob", "2")}));
    Fill({{"Anna", "1"}, {"Bob", "2"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_TRUE(Transfer.SaveToHandset());
    EXPECT_EQ(WriteMails(Link), 0);
    EXPECT_EQ(User.LastStatus(),
              "The handset already holds this phone book, in this order; nothing was written.");
    // In another order it is written again, so that the handset's order is the list's.
    Fill({{"Bob", "2"}, {"Anna", "1"}});
    EXPECT_TRUE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Bob", "2"), Record("Anna", "1")}));
}

TEST_F(PhonebookWrite, AnAddWhoseHandsetListCannotBeReadWritesNothing) {
    // Without the handset's list an add cannot tell which numbers it holds already.
    UseHandset(StateWith({Record("Old", "1")}),
               THandsetFaults{.mailFaults = {
                                  {TMailFault::TKind::Ignore, {0x0D, 0x04}, 1},
                                  {TMailFault::TKind::Ignore, {0x0D, 0x04}, 2},
                                  {TMailFault::TKind::Ignore, {0x0D, 0x04}, 3},
                              }});
    Fill({{"Old", "1"}, {"Bob", "2"}});
    User.WriteMode = TWriteMode::Add;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(WriteMails(Link), 0);
    EXPECT_TRUE(Shows("The handset's phone book could not be read, so it is not known which entries it holds "
                      "already. Nothing was written to the handset."));
}

TEST_F(PhonebookWrite, ReplaceAsksWithItsPlanAndCancelSendsNothing) {
    UseHandset(StateWith({Record("Old", "1")}));
    User.WriteMode = TWriteMode::Replace;
    User.PlanAnswer = false;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_TRUE(User.Messages.empty());
    ASSERT_EQ(User.Plans.size(), 1u);
    EXPECT_EQ(User.Plans[0].Question,
              "Replace the phone book in the connected handset? This list has no entries: "
              "afterwards the handset's phone book is empty.");
    EXPECT_EQ(User.Plans[0].Count(TPlanStep::Remove), 1);
    EXPECT_EQ(WriteMails(Link), 0);
    EXPECT_EQ(Transfer.LastOutcome().Result, TChangeResult::NotChanged);
    EXPECT_TRUE(Transfer.LastOutcome().Declined);
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Old", "1")}));
    EXPECT_EQ(User.BusyChanges.back(), false);
}

TEST_F(PhonebookWrite, AddSkipsNumbersTheHandsetHoldsButSendsGridDuplicates) {
    UseHandset(StateWith({Record("Bob", "1234")}));
    Fill({{"Bob again", "12 34"}, {"Ann", "555"}, {"Ann twice", "555"}});
    User.WriteMode = TWriteMode::Add;
    EXPECT_TRUE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Bob", "1234"), Record("Ann", "555"),
                                                            Record("Ann twice", "555")}));
    EXPECT_EQ(Count(Mails(Link), "0D 07"), 0);
}

TEST_F(PhonebookWrite, AFullHandsetMarksTheRowsThatDidNotFit) {
    std::vector<TPhonebookRecord> held;
    for (int i = 0; i < 70; ++i)
        held.push_back(Record("Held", std::to_string(1000 + i)));
    UseHandset(StateWith(held, 80));
    Connection.Capacity = 80;
    for (int i = 0; i < 15; ++i) {
        Book.SetName(uint16_t(i * 2), "New");
        Book.SetNumber(uint16_t(i * 2), std::to_string(5000 + i));
    }
    User.WriteMode = TWriteMode::Add;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList().size(), 80u);
    EXPECT_EQ(User.Colours.size(), 5u);
    for (int i = 10; i < 15; ++i)
        EXPECT_EQ(User.Colour(i * 2 + 1), TRowColour::Red) << i;
    EXPECT_TRUE(
        Shows("Phone book memory full!\r\rThe number(s) marked with red was not written to the phone."));
    EXPECT_EQ(User.Steps, 70 + 80 + 80); // the handset's list read, every row, the read after the write
    // What the handset holds, measured: ten added, five that did not fit.
    ASSERT_TRUE(Transfer.LastOutcome().Held);
    EXPECT_EQ(*Transfer.LastOutcome().Held, (TChangeCounts{10, 0, 0, 70, 5}));
}

TEST_F(PhonebookWrite, ANameWithoutANumberStaysYellowAndIsReported) {
    UseHandset(StateWith({}));
    Fill({{"Bob", "1"}, {"Nobody", ""}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_TRUE(Transfer.SaveToHandset());
    EXPECT_EQ(User.Colour(2), TRowColour::Yellow);
    EXPECT_EQ(User.Colours.size(), 1u);
    EXPECT_TRUE(
        Shows("No number attached to name!\r\rThe name(s) marked with yellow was not written to the phone."));
}

// A handset holding "A,12", whose delete is answered with an error.
std::optional<std::string> RefusesToDelete(const std::string& mail) {
    if (mail == "0D 04 00")
        return "04 12 FF";
    if (mail == "0D 03 00")
        return "03 41";
    if (mail.starts_with("0D 04"))
        return "04 FF";
    if (mail == "0D 07 00")
        return "07 EE";
    return "06 CC";
}

TEST_F(PhonebookWrite, ABadDeleteAnswerWritesNothingWhenTheListIsStillThere) {
    Script(RefusesToDelete);
    Fill({{"Bob", "1"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(Count(Mails(Link), "0D 06"), 0);
    const auto mails = Mails(Link);
    const auto deleted = std::find(mails.begin(), mails.end(), "0D 07 00");
    ASSERT_NE(deleted, mails.end());
    EXPECT_EQ(*std::next(deleted), "0D 04 00"); // asked what it holds after the answer
    EXPECT_TRUE(Shows("Error in reply from handset! Phone Book not deleted!"));
}

TEST_F(PhonebookWrite, ALostDeleteAnswerIsLookedIntoBeforeAnythingIsSaid) {
    // The handset deleted its list, but the answer never came: the write goes on.
    UseHandset(StateWith({Record("Old", "1")}),
               THandsetFaults{.mailFaults = {{TMailFault::TKind::LoseAnswer, {0x0D, 0x07}, 1}}});
    Fill({{"Bob", "2"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_TRUE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Bob", "2")}));
    EXPECT_NE(std::find(User.Statuses.begin(), User.Statuses.end(),
                        "The handset's answer was lost, but its phone book is empty: it has been deleted."),
              User.Statuses.end());

    // No answer to the delete nor to the reads after it: the person learns that it is not known, and
    // where the list is kept.
    UseHandset(StateWith({Record("Old", "1")}),
               THandsetFaults{.mailFaults = {
                                  {TMailFault::TKind::LoseAnswer, {0x0D, 0x07}, 1},
                                  {TMailFault::TKind::LoseAnswer, {0x0D, 0x04, 0x00}, 2, true},
                              }});
    EXPECT_FALSE(Transfer.SaveToHandset());
    const std::string& text = User.Messages.back().text;
    EXPECT_TRUE(text.starts_with(
        "Error in reply from handset! Whether the phone book was deleted could not be found out.\r\r"
        "The 1 entries it held before are kept in "))
        << text;
    EXPECT_NE(text.find(Transfer.BackupPath()), std::string::npos);
    EXPECT_EQ(FileText(Transfer.BackupPath()), "Old,1\r\n");
}

TEST_F(PhonebookWrite, AListThatCannotBeReadIsNotDeleted) {
    UseHandset(StateWith({Record("Old", "1")}),
               THandsetFaults{.mailFaults = {
                                  {TMailFault::TKind::Ignore, {0x0D, 0x04}, 1},
                                  {TMailFault::TKind::Ignore, {0x0D, 0x04}, 2},
                                  {TMailFault::TKind::Ignore, {0x0D, 0x04}, 3},
                              }});
    Fill({{"Bob", "2"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(Count(Mails(Link), "0D 07"), 0);
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Old", "1")}));
    EXPECT_TRUE(Shows("The handset's phone book could not be read, so no copy of it could be kept. Nothing "
                      "was changed in the handset."));
}

TEST_F(PhonebookWrite, AFailedAppendStopsAtItsRowAndSaysWhatTheHandsetHolds) {
    // The third number is lost on its way: two entries arrived.
    UseHandset(StateWith({Record("Old", "9")}),
               THandsetFaults{.mailFaults = {{TMailFault::TKind::Ignore, {0x0D, 0x06}, 3}}});
    Fill({{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList().size(), 2u);
    EXPECT_EQ(User.Colour(1), TRowColour::Window);
    EXPECT_EQ(User.Colour(3), TRowColour::Yellow);
    EXPECT_EQ(User.Colours.size(), 1u);
    EXPECT_EQ(Count(Mails(Link), "0D 06"), 3);
    const std::string expected = "Could not write Phone Book!\r\rThe handset now holds 2 entries. The write "
                                 "stopped at line 3; 2 of the entries up to it are in the handset.\r\rThe 1 "
                                 "entries it held before are kept in " +
                                 Transfer.BackupPath() +
                                 "; open that file and write it in replace mode to get them back.";
    EXPECT_TRUE(Shows(expected)) << User.Messages.back().text;
    EXPECT_EQ(User.LastStatus(), expected);
}

// The answer to a name is lost after the handset took it: one read of the entry finds it there, and the
// write goes on; the last entry's lost answer is no failure either.
TEST_F(PhonebookWrite, AnEntryWhoseAnswerWasLostIsReadBackAndTheWriteGoesOn) {
    UseHandset(StateWith({}),
               THandsetFaults{.mailFaults = {{TMailFault::TKind::LoseAnswer, {0x0D, 0x05}, 2},
                                             {TMailFault::TKind::LoseAnswer, {0x0D, 0x05}, 3}}});
    Fill({{"A", "1"}, {"B", "2-3"}, {"C", "3"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_TRUE(Transfer.SaveToHandset()) << User.Messages.back().text;
    // An empty handset needs no copy.
    EXPECT_EQ(Transfer.BackupPath(), "");
    EXPECT_EQ(HandsetList().size(), 3u);
    EXPECT_TRUE(User.LastStatus().starts_with("Finished writing to handset!")) << User.LastStatus();

    // Lost on the way in, the entry is not there: the write stops as before.
    UseHandset(StateWith({}), THandsetFaults{.mailFaults = {{TMailFault::TKind::Ignore, {0x0D, 0x06}, 2}}});
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList().size(), 1u);
}

TEST_F(PhonebookWrite, ANumberThatArrivedWithoutItsNameIsNamed) {
    THandsetFaults faults{.mailFaults = {{TMailFault::TKind::Ignore, {0x0D, 0x05}, 2}}};
    faults.unnamedNumbers = true;
    UseHandset(StateWith({}), faults);
    Fill({{"A", "1"}, {"B", "2"}, {"C", "3"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("A", "1"), Record("", "2")}));
    const std::string unnamed =
        "line 2: the number is in the handset without its name; write in replace mode to mend it";
    EXPECT_NE(User.Messages.back().text.find("\r" + unnamed), std::string::npos) << User.Messages.back().text;

    // Adding the list again skips the number as held, and still says that its name is missing.
    User.Messages.clear();
    User.WriteMode = TWriteMode::Add;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(HandsetList().size(), 3u);
    ASSERT_EQ(User.Messages.size(), 1u);
    EXPECT_EQ(User.Messages[0].text, unnamed);
    EXPECT_EQ(User.Messages[0].kind, TMessageKind::Warning);
}

TEST_F(PhonebookWrite, ANumberTheHandsetCannotStoreStopsBeforeAnythingIsSent) {
    UseHandset(StateWith({Record("Kept", "1")}));
    Fill({{"Bob", "12"}, {"Intl", "+45 1234"}, {"Paren", "(0)1"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_TRUE(Link.Frames.empty());
    EXPECT_EQ(Connection.Connects, 0);
    EXPECT_TRUE(User.WriteModeCaptions.empty());
    EXPECT_EQ(User.Colour(2), TRowColour::Red);
    ASSERT_EQ(User.Messages.size(), 1u);
    EXPECT_NE(User.Messages[0].text.find("line 2 holds \"+\""), std::string::npos);
    EXPECT_EQ(HandsetList().size(), 1u);
}

TEST_F(PhonebookWrite, CancelAndNoHandsetChangeNothing) {
    UseHandset(StateWith({Record("Kept", "1")}));
    Fill({{"Bob", "12"}});
    User.WriteMode = TWriteMode::Cancel;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_EQ(Connection.Connects, 0);

    User.WriteMode = TWriteMode::Replace;
    Connection.Result = TConnectResult::PortClosed;
    EXPECT_FALSE(Transfer.SaveToHandset());
    EXPECT_TRUE(Shows("Serial Device Closed!\r Could not write Phone Book!"));
    EXPECT_TRUE(Link.Frames.empty());
    EXPECT_EQ(User.BusyChanges, (std::vector<bool>{true, false, true, false}));
}

TEST_F(PhonebookDelete, AsksWithItsPlanThenKeepsAndEmptiesTheHandsetList) {
    UseHandset(StateWith({Record("Bob", "1")}));
    Fill({{"Grid", "5"}});
    User.PlanAnswer = false;
    EXPECT_FALSE(Transfer.DeleteInHandset());
    EXPECT_EQ(HandsetList().size(), 1u);
    ASSERT_EQ(User.Plans.size(), 1u);
    EXPECT_EQ(User.Plans[0].Question, "Delete the phone book in the connected handset?");
    EXPECT_TRUE(User.Plans[0].Delete);
    EXPECT_EQ(PlanText(User.Plans[0]),
              "The phone book delete: 1 to remove; 2 mails, under 1 s at 115200 baud.\r"
              "- Bob 1\rA copy of the handset's phone book goes to the backups folder "
              "first.\r");
    EXPECT_EQ(Count(Mails(Link), "0D 07"), 0);
    User.PlanAnswer = true;

    EXPECT_TRUE(Transfer.DeleteInHandset());
    EXPECT_TRUE(HandsetList().empty());
    EXPECT_EQ(User.LastStatus(), "Phone Book Deleted!");
    EXPECT_EQ(Book.GetNumber(0), "5");
    EXPECT_EQ(FileText(Transfer.BackupPath()), "Bob,1\r\n");

    // Nothing held, nothing kept.
    EXPECT_TRUE(Transfer.DeleteInHandset());
    EXPECT_EQ(Transfer.BackupPath(), "");
}

TEST_F(PhonebookDelete, AnUnexpectedAnswerIsReported) {
    Script(RefusesToDelete);
    EXPECT_FALSE(Transfer.DeleteInHandset());
    EXPECT_TRUE(Shows("Error in reply from handset! Phone Book not deleted!"));

    // Answers to other requests are no phone book.
    Script([](const std::string&) -> std::optional<std::string> { return "07 EE"; });
    EXPECT_FALSE(Transfer.DeleteInHandset());
    EXPECT_EQ(Count(Mails(Link), "0D 07"), 1);
    EXPECT_TRUE(Shows("The handset's phone book could not be read, so no copy of it could be kept. Nothing "
                      "was changed in the handset."));

    Connection.Result = TConnectResult::NoAnswer;
    EXPECT_FALSE(Transfer.DeleteInHandset());
    EXPECT_TRUE(Shows("Could not connect to the handset!\r The Phone Book was not deleted!"));
}

TEST_F(PhonebookDelete, ALostAnswerIsLookedInto) {
    UseHandset(StateWith({Record("Bob", "1")}),
               THandsetFaults{.mailFaults = {{TMailFault::TKind::LoseAnswer, {0x0D, 0x07}, 1}}});
    EXPECT_TRUE(Transfer.DeleteInHandset());
    EXPECT_TRUE(HandsetList().empty());
    EXPECT_EQ(User.LastStatus(),
              "The handset's answer was lost, but its phone book is empty: it has been deleted.");
}

// A stop asked for while the handset's list is read for a replace's plan: nothing has changed yet, so
// nothing may be sent that changes it, and the outcome says so.
TEST_F(PhonebookWrite, AStopDuringTheReadForAReplaceSendsNoWriteMail) {
    Script([](const std::string& mail) -> std::optional<std::string> {
        if (mail == "0D 04 02")
            RequestStop();
        if (mail.starts_with("0D 04 0"))
            return "04 12 FF";
        if (mail.starts_with("0D 03"))
            return "03 41";
        if (mail.starts_with("0D 04"))
            return "04 FF";
        return "07 CC";
    });
    Fill({{"Bob", "1"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(Transfer.SaveToHandset());
    ClearStopRequest();
    EXPECT_EQ(WriteMails(Link), 0);
    EXPECT_TRUE(User.Plans.empty()) << "no plan without the whole list";
    EXPECT_EQ(Transfer.LastOutcome().Result, TChangeResult::NotChanged);
    EXPECT_TRUE(Transfer.LastOutcome().Stopped);
    EXPECT_EQ(User.LastStatus(), "Stopped as asked: nothing was changed in the handset.");

    // A stop asked for as the plan is shown ends before the first write mail as well.
    struct TStoppingUser : TRecordingUser {
        bool ConfirmPlan(const TWritePlan& plan) override {
            RequestStop();
            return TRecordingUser::ConfirmPlan(plan);
        }
    } stopping;
    UseHandset(StateWith({Record("Old", "1")}));
    TPhonebookTransfer transfer(Connection, stopping, Book);
    stopping.WriteMode = TWriteMode::Replace;
    EXPECT_FALSE(transfer.SaveToHandset());
    ClearStopRequest();
    EXPECT_EQ(WriteMails(Link), 0);
    EXPECT_EQ(HandsetList(), (std::vector<TPhonebookRecord>{Record("Old", "1")}));
    EXPECT_TRUE(transfer.LastOutcome().Stopped);
}

// What the outcome counts is what the read after the write found, not what the plan said.
TEST_F(PhonebookWrite, TheOutcomeCountsWhatTheHandsetHoldsAfterTheWrite) {
    UseHandset(StateWith({Record("Anna", "1"), Record("Carl", "3")}));
    Fill({{"Anna", "1"}, {"Bob", "2"}});
    User.WriteMode = TWriteMode::Replace;
    EXPECT_TRUE(Transfer.SaveToHandset());
    ASSERT_TRUE(Transfer.LastOutcome().Held);
    EXPECT_EQ(*Transfer.LastOutcome().Held, (TChangeCounts{1, 1, 0, 1, 0}));
    EXPECT_EQ(Transfer.LastOutcome().Result, TChangeResult::Done);
    ASSERT_TRUE(Transfer.LastOutcome().Lacking);
    EXPECT_TRUE(Transfer.LastOutcome().Lacking->Matches(true));
}
