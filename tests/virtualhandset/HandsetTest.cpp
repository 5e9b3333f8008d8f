#include "Handset.h"
#include "AdapterBuffer.h"
#include "HandsetOptions.h"
#include "HandsetPhonebook.h"
#include "HandsetState.h"
#include "SendQueue.h"
#include "link/NumberConverting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

TBytes Hex(const std::string& text) {
    TBytes bytes;
    std::istringstream in(text);
    unsigned value = 0;
    while (in >> std::hex >> value)
        bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

// Everything the handset sends, echo and answers, in order.
std::string Sent(const std::vector<TOutput>& outputs) {
    TBytes all;
    for (const TOutput& output : outputs)
        all.insert(all.end(), output.bytes.begin(), output.bytes.end());
    return HexText(all);
}

// Only the answers, one text each.
std::vector<std::string> Answers(const std::vector<TOutput>& outputs) {
    std::vector<std::string> answers;
    for (const TOutput& output : outputs)
        if (output.kind == TOutput::TKind::Answer)
            answers.push_back(HexText(output.bytes));
    return answers;
}

const std::string kProbe = "FF FF 4D 02 06 3C 08 00 01 00 00 45";
const std::string kWrite55At0 = "FF FF 4D 02 07 3B 08 00 01 00 00 55 99";
const std::string kSoftwareQuery = "FF FF 4D 02 02 5D 16 73";
const std::string kMaxMailQuery = "FF FF 4D 02 02 5D 47 A4";
const std::string kReadyPoll = "FF FF 4D 02 02 5D 46 A3";

std::vector<std::string> AnswersTo(THandset& handset, const std::string& frames) {
    return Answers(handset.Receive(Hex(frames)));
}

// Sends the phone book mail "0D <data>" and gives the data of its framed answer, or "none".
std::string Ask(THandset& handset, const std::string& data) {
    // A request to command 0D has the layout of its answer.
    const auto answers = Answers(handset.Receive(FramedAnswer(Hex(data))));
    if (answers.empty())
        return "none";
    EXPECT_EQ(answers.size(), 1u) << data;
    const TBytes answer = Hex(answers.front());
    const std::string text = HexText(std::span(answer).subspan(5, answer.size() - 6));
    EXPECT_EQ(answers.front(), HexText(FramedAnswer(Hex(text)))) << "checksum of the answer to " << data;
    return text;
}

THandsetState WithPhonebook(std::vector<TPhonebookRecord> records, uint8_t capacity = 200) {
    THandsetState state = DefaultHandsetState();
    state.phonebook = std::move(records);
    state.capacity = capacity;
    return state;
}

} // namespace

TEST(MemoryMail, WriteIsStoredSilentlyAndTheProbeReadsItBack) {
    THandset handset;
    EXPECT_EQ(Sent(handset.Receive(Hex(kWrite55At0))), kWrite55At0);
    EXPECT_EQ(Sent(handset.Receive(Hex(kProbe))), kProbe + " 4D 02 01 3D 55 92");
    EXPECT_EQ(handset.State().memory[0], 0x55);
    EXPECT_TRUE(handset.StateChanged());
}

TEST(MemoryMail, ShortWriteLayoutAndWrapAroundAddresses) {
    THandset handset;
    // 02 3B 02 00: two bytes at FFFF, the second lands at 0000.
    handset.Receive(Hex("FF FF 4D 02 08 3B 02 00 02 FF FF 11 22 70"));
    EXPECT_EQ(AnswersTo(handset, "FF FF 4D 02 06 3C 08 00 02 FF FF 44"),
              std::vector<std::string>{"4D 02 02 3D 11 22 70"});
    EXPECT_EQ(handset.State().memory[0], 0x22);
}

TEST(MemoryMail, WriteWhoseCountDisagreesWithItsDataIsIgnored) {
    THandset handset;
    handset.Receive(Hex("FF FF 4D 02 07 3B 08 00 02 00 00 55 9A"));
    EXPECT_EQ(handset.State().memory[0], 0xFF);
    EXPECT_FALSE(handset.StateChanged());
}

TEST(MemoryMail, ModelByteSitsAtAddress29) {
    THandset handset;
    EXPECT_EQ(AnswersTo(handset, "FF FF 4D 02 06 3C 08 00 01 1D 00 62"),
              std::vector<std::string>{"4D 02 01 3D AA E7"});
}

TEST(ProfileMail, DefaultProfileBytesAndTheRingerTestIsNoted) {
    THandset handset;
    for (const TProfileByte& byte : kProfileDefaults)
        EXPECT_EQ(handset.State().memory[byte.address], byte.value) << byte.address;
    // 05 4C 03 01: the short answer, the tone noted and kept in the state file.
    EXPECT_EQ(AnswersTo(handset, "FF FF 4D 05 03 4C 03 01 50"),
              std::vector<std::string>{"4D 05 01 3D 01 3E"});
    EXPECT_EQ(handset.State().ringerTone, 3);
    EXPECT_EQ(handset.State().ringerTests, 1u);
    EXPECT_TRUE(handset.StateChanged());
    const THandsetState back = ParseStateText(StateText(handset.State()));
    EXPECT_EQ(back.ringerTone, 3);
    EXPECT_EQ(back.ringerTests, 1u);
    EXPECT_EQ(back.memory, handset.State().memory);
    EXPECT_THROW(ParseStateText("quorvel-handset state 1\nringer 3\n"), EStateFileError);
}

TEST(CapabilityMail, SoftwarePcsMaxMailAndReadiness) {
    THandset handset;
    EXPECT_EQ(AnswersTo(handset, kSoftwareQuery + " " + kMaxMailQuery + " " + kReadyPoll),
              (std::vector<std::string>{"4D 02 08 3D 62 01 84 00 30 36 42 20 EC", "4D 02 02 3D 1A 00 57",
                                        "4D 02 01 3D 01 3E"}));

    THandset notReady(DefaultHandsetState(), TReadiness::NotReady);
    EXPECT_EQ(AnswersTo(notReady, kReadyPoll), std::vector<std::string>{"4D 02 01 3D 00 3D"});
    THandset mute(DefaultHandsetState(), TReadiness::NoAnswer);
    EXPECT_EQ(Sent(mute.Receive(Hex(kReadyPoll))), kReadyPoll);
}

TEST(AnswerLayout, CommandZeroDGetsTheFramedAnswer) {
    THandset handset;
    handset.AddMail({0x0D, 0x09}, [](THandset&, auto) { return TBytes{0x09, 0x50}; });
    EXPECT_EQ(AnswersTo(handset, "FF FF 4D 0D 01 09 09"),
              std::vector<std::string>{"FF FF 4D 0D 02 09 50 59"});
    EXPECT_EQ(HexText(ShortAnswer(0x0D, Hex("06 CC"))), "4D 0D 02 3D 06 CC 0F");
}

TEST(PhonebookMail, AppendedEntriesReadBackExactlyAndPastTheEndIsFF) {
    THandset handset;
    EXPECT_EQ(Ask(handset, "06 00 03 12 34 FF"), "06 CC");
    EXPECT_EQ(Ask(handset, "05 00 03 42 6F 62"), "05 CC");
    EXPECT_EQ(Ask(handset, "06 00 0C 11 11 11 11 11 11 11 11 11 11 11 1F"), "06 CC");
    EXPECT_EQ(Ask(handset, "05 00 00"), "05 CC");
    EXPECT_TRUE(handset.StateChanged());

    EXPECT_EQ(Ask(handset, "04 00"), "04 12 34 FF");
    EXPECT_EQ(Ask(handset, "03 00"), "03 42 6F 62");
    EXPECT_EQ(Ask(handset, "04 01"), "04 11 11 11 11 11 11 11 11 11 11 11 1F");
    EXPECT_EQ(Ask(handset, "03 01"), "03");
    EXPECT_EQ(Ask(handset, "04 02"), "04 FF");
    EXPECT_EQ(Ask(handset, "03 02"), "03 FF");
    EXPECT_EQ(Ask(handset, "04 FF"), "04 FF");
}

TEST(PhonebookMail, NameNeedsThePendingNumberAndTheLatestNumberWins) {
    THandset handset;
    EXPECT_EQ(Ask(handset, "05 00 01 41"), "05 EE");
    EXPECT_EQ(Ask(handset, "06 00 01 1F"), "06 CC");
    EXPECT_EQ(Ask(handset, "06 00 01 2F"), "06 CC");
    EXPECT_EQ(Ask(handset, "05 00 01 41"), "05 CC");
    EXPECT_EQ(Ask(handset, "05 00 01 42"), "05 EE") << "the number was used up";
    EXPECT_EQ(handset.State().phonebook, (std::vector<TPhonebookRecord>{{{0x2F}, "A"}}));
}

TEST(PhonebookMail, MalformedAppendsAreRefused) {
    THandset handset;
    for (const char* bad : {"06 00", "06 00 00", "06 00 03 12 34", "06 00 01 12 34",
                            "06 00 0D 11 11 11 11 11 11 11 11 11 11 11 11 1F"}) {
        EXPECT_EQ(Ask(handset, "06 00 01 1F"), "06 CC");
        EXPECT_EQ(Ask(handset, bad), "06 EE") << bad;
        EXPECT_EQ(Ask(handset, "05 00 00"), "05 EE") << "the number before " << bad << " is still pending";
    }

    EXPECT_EQ(Ask(handset, "06 00 01 5F"), "06 CC");
    EXPECT_EQ(Ask(handset, "05 00 19 " + HexText(TBytes(25, 0x41))), "05 EE");
    EXPECT_EQ(Ask(handset, "05 00 02 41"), "05 EE");
    EXPECT_TRUE(handset.State().phonebook.empty());
    EXPECT_FALSE(handset.StateChanged());
    // A refused name leaves the number pending for the name sent again.
    EXPECT_EQ(Ask(handset, "05 00 18 " + HexText(TBytes(24, 0x41))), "05 CC");
    EXPECT_EQ(handset.State().phonebook.size(), 1u);
}

TEST(PhonebookMail, FullListAnswersFullAndKeepsWhatItHolds) {
    THandset handset(WithPhonebook(GeneratedPhonebook(1), 2));
    EXPECT_EQ(Ask(handset, "06 00 01 1F"), "06 CC");
    EXPECT_EQ(Ask(handset, "05 00 01 41"), "05 CC");
    EXPECT_EQ(Ask(handset, "06 00 01 2F"), "06 FF");
    EXPECT_EQ(Ask(handset, "05 00 01 42"), "05 EE");
    EXPECT_EQ(handset.State().phonebook.size(), 2u);

    // A saved list may hold more than the capacity: all of it is read, nothing more appended.
    THandset crowded(WithPhonebook(GeneratedPhonebook(3), 2));
    EXPECT_EQ(Ask(crowded, "09"), "09 02");
    EXPECT_EQ(Ask(crowded, "04 02"), "04 55 50 00 3F");
    EXPECT_EQ(Ask(crowded, "06 00 01 1F"), "06 FF");
    EXPECT_EQ(crowded.State().phonebook, GeneratedPhonebook(3));
}

TEST(PhonebookMail, DeleteEmptiesTheListAndDropsThePendingNumber) {
    THandset handset(WithPhonebook(GeneratedPhonebook(2)));
    EXPECT_EQ(Ask(handset, "06 00 01 1F"), "06 CC");
    EXPECT_FALSE(handset.StateChanged());
    EXPECT_EQ(Ask(handset, "07 00"), "07 CC");
    EXPECT_TRUE(handset.StateChanged());
    EXPECT_EQ(Ask(handset, "04 00"), "04 FF");
    EXPECT_EQ(Ask(handset, "05 00 01 41"), "05 EE");
    EXPECT_TRUE(handset.State().phonebook.empty());
}

TEST(Framing, ResynchronisesAfterGarbageAndBadChecksums) {
    THandset handset;
    // Noise, a false start, a frame with a wrong checksum, then the probe.
    const std::string input = "00 FF 4D FF FF 12 FF FF 4D 02 06 3C 08 00 01 00 00 46 " + kProbe;
    const auto outputs = handset.Receive(Hex(input));
    EXPECT_EQ(Sent(outputs), input + " 4D 02 01 3D FF 3C");
    EXPECT_EQ(Answers(outputs).size(), 1u);
    EXPECT_EQ(handset.FramesReceived(), 1u);
}

TEST(Framing, FrameSplitOverSeveralChunksIsAnsweredOnItsLastByte) {
    THandset handset;
    const TBytes probe = Hex(kProbe);
    EXPECT_TRUE(Answers(handset.Receive({probe.data(), 2})).empty());
    EXPECT_TRUE(Answers(handset.Receive({probe.data() + 2, 9})).empty());
    EXPECT_EQ(Answers(handset.Receive({probe.data() + 11, 1})).size(), 1u);
}

TEST(Framing, StaleHeaderWithBogusLengthDoesNotSwallowTheNextFrame) {
    THandset handset;
    EXPECT_TRUE(AnswersTo(handset, "FF FF 4D 02 F0 " + kProbe).empty());
    ASSERT_TRUE(handset.HasIncompleteFrame());
    EXPECT_EQ(Answers(handset.ExpireIncompleteFrame()), std::vector<std::string>{"4D 02 01 3D FF 3C"});
    EXPECT_FALSE(handset.HasIncompleteFrame());
}

TEST(Framing, LongBurstOfNoiseLeavesNoBacklog) {
    THandset handset;
    const TBytes noise(100'000, 0xFF);
    EXPECT_EQ(handset.Receive(noise).front().bytes.size(), noise.size());
    EXPECT_EQ(AnswersTo(handset, "00 " + kProbe).size(), 1u);
}

TEST(Faults, DropCorruptSilentAndNoEcho) {
    THandsetFaults faults;
    faults.dropAnswers = {2};
    faults.corruptAnswers = {3};
    faults.noEcho = true;
    THandset handset(DefaultHandsetState(), TReadiness::Ready, faults);
    EXPECT_EQ(Sent(handset.Receive(Hex(kProbe + " " + kProbe + " " + kProbe))),
              "4D 02 01 3D FF 3C 4D 02 01 3D FF 3D");

    THandset silent(DefaultHandsetState(), TReadiness::Ready, {.silent = true});
    EXPECT_EQ(Sent(silent.Receive(Hex(kProbe))), kProbe);
}

TEST(Faults, UnconfirmedWritesLeaveTheOldBytes) {
    THandset handset(DefaultHandsetState(), TReadiness::Ready, {.unconfirmedWrites = 1});
    handset.Receive(Hex(kWrite55At0));
    EXPECT_EQ(handset.State().memory[0], 0xFF);
    handset.Receive(Hex(kWrite55At0));
    EXPECT_EQ(handset.State().memory[0], 0x55);
}

TEST(Faults, HangsUpWhenTheFrameAfterTheLastAllowedBegins) {
    THandset handset(DefaultHandsetState(), TReadiness::Ready, {.hangupAfter = 1});
    EXPECT_EQ(AnswersTo(handset, kProbe).size(), 1u);
    EXPECT_FALSE(handset.HungUp());
    EXPECT_TRUE(handset.Receive(Hex(kProbe)).empty());
    EXPECT_TRUE(handset.HungUp());
}

TEST(Faults, NoNamesWithholdsNameAnswersOnly) {
    THandset handset(WithPhonebook(GeneratedPhonebook(1)), TReadiness::Ready, {.noNames = true});
    EXPECT_EQ(Ask(handset, "03 00"), "none");
    EXPECT_EQ(Ask(handset, "03 05"), "none");
    EXPECT_EQ(Ask(handset, "04 00"), "04 55 50 00 1F");
}

TEST(StateFile, RoundTripKeepsMemoryAndSettingsAndSkipsUnknownLines) {
    THandset handset;
    handset.Receive(Hex("FF FF 4D 02 08 3B 08 00 02 80 00 12 34 0B"));
    THandsetState state = handset.State();
    state.pcs = "6A";
    state.maxMail = 40;
    state.capacity = 80;
    const std::string text = StateText(state);
    EXPECT_NE(text.find("mem 0080=1234FFFF"), std::string::npos);
    // tag, 4 settings, rows 0000, 0040 (the serial number), 0080, and row 0220 with the profile byte at 563
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);

    const THandsetState loaded = ParseStateText(text + "phonebook 1 later feature\n");
    EXPECT_EQ(loaded.memory, state.memory);
    EXPECT_EQ(loaded.software, state.software);
    EXPECT_EQ(loaded.pcs, "6A");
    EXPECT_EQ(loaded.maxMail, 40);
    EXPECT_EQ(loaded.capacity, 80);
}

TEST(StateFile, PhonebookEntriesKeepTheirOrderAndEveryByte) {
    const std::vector<TPhonebookRecord> records{
        {{0x12, 0x34, 0xFF}, "Bob"}, {{0x5F}, ""}, {{0xD1, 0xFF}, "Smith, J\xE6"}, {{0x5F}, "-"}};
    const std::string text = StateText(WithPhonebook(records));
    EXPECT_NE(text.find("pb 1234FF 426F62\npb 5F -\npb D1FF 536D6974682C204AE6\npb 5F 2D\n"),
              std::string::npos);
    EXPECT_EQ(ParseStateText(text).phonebook, records);
}

TEST(StateFile, MalformedContentIsRejectedWithItsLine) {
    const std::string tag = "quorvel-handset state 1\n";
    for (const std::string& bad :
         {std::string(""), std::string("quorvel-handset state 9\n"), tag + "mem 0041=" + std::string(64, '0'),
          tag + "mem 0040=12", tag + "mem zz40=" + std::string(64, '0'), tag + "software 6201",
          tag + "pcs TOOLONG", tag + "max-mail 300", tag + "pb 1234FF", tag + "pb 123 41", tag + "pb 12 4G",
          tag + "pb  41", tag + "pb 12 41 42", tag + "pb 12 --", tag + "pb " + std::string(26, '1') + " -",
          tag + "pb 12 " + std::string(50, '4')})
        EXPECT_THROW(ParseStateText(bad), EStateFileError) << bad;
    try {
        ParseStateText(tag + "pcs 06B\nmax-mail x\n");
        ADD_FAILURE() << "accepted max-mail x";
    } catch (const EStateFileError& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos);
    }
}

TEST(StateFile, SavedFileLoadsAndMissingFileIsNoState) {
    const auto path = std::filesystem::temp_directory_path() / ("handset-state-" + std::to_string(getpid()));
    EXPECT_FALSE(LoadStateFile(path.string()));
    THandsetState state = DefaultHandsetState();
    state.memory[0x1234] = 0x42;
    SaveStateFile(path.string(), state);
    EXPECT_EQ(LoadStateFile(path.string())->memory, state.memory);
    std::filesystem::remove(path);
}

TEST(Options, FaultListsSettingsOverridesAndBadValues) {
    const auto options =
        ParseHandsetOptions({"--drop-answer", "3,5", "--drop-answer=7", "--unconfirmed-writes", "--model",
                             "0x55", "--pcs", "6A", "--ready", "none"});
    EXPECT_EQ(options.faults.dropAnswers, (std::set<unsigned>{3, 5, 7}));
    EXPECT_EQ(options.faults.unconfirmedWrites, kEveryWrite);
    EXPECT_EQ(options.readiness, TReadiness::NoAnswer);
    EXPECT_EQ(ParseHandsetOptions({"--unconfirmed-writes", "2"}).faults.unconfirmedWrites, 2u);

    THandsetState state = DefaultHandsetState();
    state.maxMail = 40;
    ApplySettings(options, state);
    EXPECT_EQ(state.memory[kModelAddress], 0x55);
    EXPECT_EQ(state.pcs, "6A");
    EXPECT_EQ(state.maxMail, 40); // not given, so the loaded value stays

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--com", "0"},
                                                {"--com"},
                                                {"--software", "6201840G"},
                                                {"--model", "256"},
                                                {"--ready", "maybe"},
                                                {"--drop-answer", "3,"},
                                                {"--silent=1"},
                                                {"--frobnicate"}})
        EXPECT_THROW(ParseHandsetOptions(bad), EOptionError) << bad.front();
}

TEST(PhonebookFile, EntriesSplitAtTheLastCommaAndNumbersPackAsQuorvelPacks) {
    const auto records = ParseInitialPhonebook("Smith, John,0123*#p-\r\n\nBob,5\n\xE6,\n");
    EXPECT_EQ(records,
              (std::vector<TPhonebookRecord>{
                  {{0x01, 0x23, 0xBC, 0xDD, 0xFF}, "Smith, John"}, {{0x5F}, "Bob"}, {{0xFF}, "\xE6"}}));
    EXPECT_EQ(PackNumber(std::string(23, '9'))->size(), kMaxNumberBytes);
    EXPECT_FALSE(PackNumber(std::string(24, '9')));

    for (const std::string& bad :
         {std::string("Bob"), std::string("Bob,12 3"), std::string("Bob,12a"), std::string(25, 'x') + ",1"})
        EXPECT_THROW(ParseInitialPhonebook("Ann,1\n" + bad), EPhonebookFileError) << bad;
    try {
        ParseInitialPhonebook("Ann,1\r\n\nBob,x\n");
        ADD_FAILURE() << "accepted Bob,x";
    } catch (const EPhonebookFileError& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
}

TEST(Options, PhonebookFromFileOrMadeUpReplacesTheSavedOne) {
    const auto path =
        std::filesystem::temp_directory_path() / ("handset-phonebook-" + std::to_string(getpid()));
    std::ofstream(path) << "Ann,1234\n";
    const auto fromFile = ParseHandsetOptions({"--phonebook-entries", "5", "--phonebook=" + path.string()});
    THandsetState state = WithPhonebook(GeneratedPhonebook(9));
    ApplySettings(fromFile, state);
    EXPECT_EQ(state.phonebook, (std::vector<TPhonebookRecord>{{{0x12, 0x34, 0xFF}, "Ann"}}));

    const auto madeUp =
        ParseHandsetOptions({"--phonebook", path.string(), "--phonebook-entries=2", "--no-names"});
    EXPECT_TRUE(madeUp.faults.noNames);
    ApplySettings(madeUp, state);
    EXPECT_EQ(state.phonebook, (std::vector<TPhonebookRecord>{{{0x55, 0x50, 0x00, 0x1F}, "Name 001"},
                                                              {{0x55, 0x50, 0x00, 0x2F}, "Name 002"}}));
    ApplySettings(ParseHandsetOptions({}), state);
    EXPECT_EQ(state.phonebook.size(), 2u) << "no option, no change";

    std::ofstream(path) << "Ann,12x\n";
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--phonebook", path.string()},
                                                {"--phonebook", path.string() + ".missing"},
                                                {"--phonebook", path.parent_path().string()},
                                                {"--phonebook-entries", "256"}})
        EXPECT_THROW(ParseHandsetOptions(bad), EOptionError) << bad.back();
    std::filesystem::remove(path);
}

TEST(Pacing, BytesLeaveOnAbsoluteDeadlinesAndAnswersWaitForTheirTime) {
    using namespace std::chrono_literals;
    const auto period = TSendQueue::BytePeriod(115200);
    EXPECT_EQ(period, 86805ns);
    TSendQueue queue(period);
    const TSendQueue::TClock::time_point t0{};
    const TBytes echo = Hex("01 02 03");
    queue.PushEcho(echo, t0);
    queue.PushAnswer(Hex("4D"), t0 + 1ms);
    // Each byte is sent a little late; the next deadline still counts from the previous one.
    for (int i = 0; i < 3; ++i) {
        const auto deadline = *queue.NextDeparture();
        EXPECT_EQ(deadline, t0 + i * period);
        ASSERT_EQ(queue.Ready(deadline + 30us).size(), 1u);
        queue.Sent(1, deadline + 30us);
    }
    EXPECT_EQ(*queue.NextDeparture(), t0 + 1ms);
    EXPECT_TRUE(queue.Ready(t0 + 999us).empty());
    EXPECT_EQ(queue.Ready(t0 + 1ms).size(), 1u);
}

// A USB adapter holds what the handset sends until its latency timer has run since the first held byte,
// or a packet's worth waits, whichever is first.
TEST(Adapter, HoldsBytesForItsLatencyOrUntilAPacketIsFull) {
    using namespace std::chrono_literals;
    TAdapterBuffer adapter(16ms);
    const TAdapterBuffer::TClock::time_point t0{};
    EXPECT_FALSE(adapter.NextRelease());
    EXPECT_EQ(adapter.Take(Hex("4D 02 01"), t0), 3u);
    EXPECT_EQ(adapter.Take(Hex("3D"), t0 + 5ms), 1u);
    EXPECT_FALSE(adapter.Due(t0 + 15ms));
    EXPECT_EQ(*adapter.NextRelease(), t0 + 16ms);
    ASSERT_TRUE(adapter.Due(t0 + 16ms));
    EXPECT_EQ(TBytes(adapter.Held().begin(), adapter.Held().end()), Hex("4D 02 01 3D"));
    // The PC took part of it: the rest goes as soon as it can.
    adapter.Released(3);
    EXPECT_TRUE(adapter.Due(t0 + 16ms));
    adapter.Released(1);
    EXPECT_TRUE(adapter.Empty());

    // 70 bytes at once: a packet of 62 goes without waiting, the other 8 wait their time.
    const TBytes many(70, 0x55);
    const auto t1 = t0 + 100ms;
    ASSERT_EQ(adapter.Take(many, t1), TAdapterBuffer::PacketBytes);
    EXPECT_EQ(adapter.Take(many, t1), 0u);
    EXPECT_TRUE(adapter.Due(t1));
    adapter.Released(TAdapterBuffer::PacketBytes);
    EXPECT_EQ(adapter.Take(std::span(many).subspan(62), t1), 8u);
    EXPECT_FALSE(adapter.Due(t1 + 15ms));
    EXPECT_TRUE(adapter.Due(t1 + 16ms));
}

namespace {

// The frame that carries the mail (command byte first).
TBytes Frame(const TBytes& mail) {
    TBytes frame{0xFF, 0xFF, 0x4D, mail[0], uint8_t(mail.size() - 1)};
    uint8_t sum = 0;
    for (size_t i = 1; i < mail.size(); ++i) {
        frame.push_back(mail[i]);
        sum = uint8_t(sum + mail[i]);
    }
    frame.push_back(sum);
    return frame;
}

} // namespace

TEST(SimMail, SerialNumberOpeningClosingAndReadiness) {
    THandset handset(DefaultHandsetState(), TReadiness::Ready, {.busyPolls = 2});
    const auto& memory = handset.State().memory;
    EXPECT_EQ(TBytes(memory.begin() + kSerialAddress, memory.begin() + kSerialAddress + kSerialBytes),
              TBytes(kDefaultSerial.begin(), kDefaultSerial.end()));
    // Not ready twice, then ready.
    for (const char* expected : {"4D 02 01 3D 00 3D", "4D 02 01 3D 00 3D", "4D 02 01 3D 01 3E"})
        EXPECT_EQ(AnswersTo(handset, kReadyPoll), std::vector<std::string>{expected});
    EXPECT_EQ(Answers(handset.Receive(Frame({0x00, 0x54, 0x01, 0x01}))).size(), 1u);
    EXPECT_EQ(Answers(handset.Receive(Frame({0x02, 0x5D, 0x31}))).size(), 1u);
    EXPECT_EQ(handset.State().simOpenings, 1u);
    EXPECT_EQ(handset.State().simClosings, 1u);
    const THandsetState loaded = ParseStateText(StateText(handset.State()));
    EXPECT_EQ(loaded.simOpenings, 1u);
    EXPECT_EQ(loaded.simClosings, 1u);
}

TEST(Faults, UnwritableAddressesKeepTheirBytes) {
    THandset handset(DefaultHandsetState(), TReadiness::Ready, {.unwritable = {65, 66}});
    handset.Receive(Frame({0x02, 0x3B, 0x08, 0x00, 0x03, 0x40, 0x00, 0xAA, 0xBB, 0xCC}));
    const auto& memory = handset.State().memory;
    EXPECT_EQ(TBytes(memory.begin() + 64, memory.begin() + 67), (TBytes{0xAA, 0x12, 0x34}));
}

TEST(Options, SimSerialBusyPollsAndUnwritableAddresses) {
    THandsetOptions options =
        ParseHandsetOptions({"--serial", "none", "--busy-polls", "3", "--unwritable", "64-66,0x1B6"});
    EXPECT_EQ(options.faults.busyPolls, 3u);
    EXPECT_EQ(options.faults.unwritable, (std::set<uint16_t>{64, 65, 66, 438}));
    THandsetState state = DefaultHandsetState();
    ApplySettings(options, state);
    EXPECT_EQ(TBytes(state.memory.begin() + 64, state.memory.begin() + 69), TBytes(5, 0xFF));
    options = ParseHandsetOptions({"--serial", "186A000000"});
    ApplySettings(options, state);
    EXPECT_EQ(state.memory[64], 0x18);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--serial", "12"},
                                                {"--unwritable", "70-64"},
                                                {"--unwritable", "65536"},
                                                {"--ignore-mail", "0D0"},
                                                {"--lose-answer-to", "0D07:0"}})
        EXPECT_THROW(ParseHandsetOptions(bad), EOptionError) << bad[0] << " " << bad[1];
}

TEST(GroupMail, SixteenSlotsEachGroupOnceAndTheListInTheStateFile) {
    THandset handset;
    EXPECT_EQ(Ask(handset, "20"), "20 00 00");
    EXPECT_EQ(Ask(handset, "22 05"), "22 00");
    EXPECT_EQ(Ask(handset, "22 05"), "22 03");
    EXPECT_EQ(Ask(handset, "22"), "22 01");
    for (uint8_t g = 100; g < 115; ++g)
        EXPECT_EQ(Ask(handset, "22 " + ByteToHex(g)), "22 00");
    EXPECT_EQ(Ask(handset, "22 FF"), "22 02");
    EXPECT_EQ(Ask(handset, "20").substr(0, 14), "20 00 10 05 64");
    EXPECT_TRUE(handset.StateChanged());

    const THandsetState saved = ParseStateText(StateText(handset.State()));
    EXPECT_EQ(saved.groups, handset.State().groups);
    EXPECT_EQ(Ask(handset, "21"), "21 00");
    EXPECT_EQ(Ask(handset, "20"), "20 00 00");

    EXPECT_EQ(ParseHandsetOptions({"--groups", "5,7"}).groups, (std::vector<uint8_t>{5, 7}));
    EXPECT_EQ(ParseHandsetOptions({"--groups", "none"}).groups, std::vector<uint8_t>{});
    for (const char* bad : {"256", "5,5", "a", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16"})
        EXPECT_THROW(ParseHandsetOptions({"--groups", bad}), EOptionError) << bad;
    EXPECT_THROW(ParseStateText("quorvel-handset state 1\ngroups 1 300\n"), EStateFileError);
}
