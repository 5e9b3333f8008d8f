// The transaction engine over an in-process link, at small time-outs.
#include "support/FakeLink.h"
#include "support/RecordingUser.h"
#include "support/WaitFor.h"

#include "link/EngineSettings.h"
#include "link/Sndmail.h"
#include "link/StopRequest.h"
#include "link/Timing.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <numeric>
#include <thread>

namespace {

constexpr uint8_t ReadCommand = 0x3C;
constexpr uint8_t WriteCommand = 0x3B;

THandsetState MemoryCounting() {
    THandsetState state = DefaultHandsetState();
    std::iota(state.memory.begin(), state.memory.begin() + 256, uint8_t(0));
    return state;
}

template <typename F> THandset HandsetWith(F&& setFaults) {
    THandsetFaults faults;
    setFaults(faults);
    return THandset{MemoryCounting(), TReadiness::Ready, faults};
}

// A request frame's mail bytes: command, then the data bytes. Taken in one piece from the length byte on,
// which the command then replaces; GCC 12 at -O2 misreads an insert into a one-byte vector as a read
// beyond its end (-Warray-bounds).
TBytes MailOf(const TBytes& frame) {
    TBytes mail(frame.begin() + 4, frame.end() - 1);
    mail.front() = frame[3];
    return mail;
}

bool IsMemoryMail(const TBytes& frame, uint8_t command) {
    return frame.size() >= 12 && frame[3] == 0x02 && frame[5] == command;
}

struct Engine : testing::Test {
    explicit Engine(THandset handset = THandset{MemoryCounting()})
        : link(std::move(handset))
        , engine(link) {
        engine.AnswerTimeout = std::chrono::milliseconds(400);
        engine.GapTimeout = std::chrono::milliseconds(150);
        engine.WritePause = std::chrono::milliseconds(20);
        engine.ReadPause = std::chrono::milliseconds(20);
        engine.ReadbackDelay = std::chrono::milliseconds(0);
    }

    // The time a call took, in ms.
    template <typename F> int64_t Timed(F&& f) {
        const int64_t t0 = GetTick();
        f();
        return TicksToMs(GetTick(), t0);
    }

    TFakeLink link;
    TMailControl engine;
};

TEST_F(Engine, TakesShortAndFramedAnswers) {
    EXPECT_EQ(engine.SendMail("2 3c 8 0 4 2 0"), "02 03 04 05");
    EXPECT_TRUE(engine.Transaction().AnswerOK);

    // A 0D mail answered in the request frame's layout.
    link.Script = [](const TBytes& frame) {
        TBytes reply = frame;
        const TBytes answer = FramedAnswer(std::array<uint8_t, 2>{0x09, 0xC8});
        reply.insert(reply.end(), answer.begin(), answer.end());
        return std::vector<TFakeLink::TReply>{{1, reply}};
    };
    engine.SetFramedAnswer(true);
    std::array<uint8_t, 21> buf{};
    EXPECT_EQ(engine.SendMailToArray("0D 09", buf), 2);
    EXPECT_EQ(buf[1], 0xC8);
}

// The upper bounds below tell which timer ended the wait. The timer that must not end it is set far off, so
// that a slow build (sanitizers) stays well inside the bound.
TEST_F(Engine, SilentHandsetEndsWhenTheGapRunsOut) {
    engine.AnswerTimeout = std::chrono::milliseconds(5000);
    link.Script = [](const TBytes&) { return std::vector<TFakeLink::TReply>{}; };
    const int64_t ms = Timed([&] { EXPECT_EQ(engine.SendMail("02 5D 16"), ""); });
    EXPECT_EQ(link.Frames.size(), 1u);
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 2500) << "ended by the answer time-out, not the gap";
}

TEST_F(Engine, EchoStretchesTheGapFromTheSend) {
    // The echo at 50 ms restarts the gap timer with 50 + 150 ms: the wait ends about 250 ms after the send.
    engine.AnswerTimeout = std::chrono::milliseconds(5000);
    link.Script = [](const TBytes& frame) { return std::vector<TFakeLink::TReply>{{50, frame}}; };
    const int64_t ms = Timed([&] { EXPECT_EQ(engine.SendMail("02 5D 16"), ""); });
    EXPECT_GE(ms, 240);
    EXPECT_LT(ms, 2500) << "ended by the answer time-out, not the stretched gap";
}

TEST_F(Engine, AnswerTimeoutCapsTheStretchedGap) {
    // The gap alone would end the wait at 450 ms; the echo at 300 ms stretches it to 300 + 450 ms from then,
    // 1050 ms after the send; the answer time-out ends it at 500 ms.
    engine.AnswerTimeout = std::chrono::milliseconds(500);
    engine.GapTimeout = std::chrono::milliseconds(450);
    link.Script = [](const TBytes& frame) { return std::vector<TFakeLink::TReply>{{300, frame}}; };
    const int64_t ms = Timed([&] { engine.SendMail("02 5D 16"); });
    EXPECT_GE(ms, 490);
    EXPECT_LT(ms, 900) << "the stretched gap was not capped";
}

TEST_F(Engine, WrongChecksumGivesNoAnswer) {
    link.Script = [](const TBytes& frame) {
        TBytes reply = frame;
        TBytes answer = ShortAnswer(0x02, std::array<uint8_t, 2>{0x06, 0xCC});
        answer.back() ^= 0x01;
        reply.insert(reply.end(), answer.begin(), answer.end());
        return std::vector<TFakeLink::TReply>{{1, reply}};
    };
    EXPECT_EQ(engine.SendMail("02 5D 16"), "");
    std::array<uint8_t, 8> buf{};
    EXPECT_EQ(engine.RcvArray(buf), 0);
    EXPECT_FALSE(engine.Transaction().AnswerOK);
}

TEST_F(Engine, OverlongBurstEmptiesTheBuffer) {
    link.Script = [](const TBytes& frame) {
        TBytes reply = frame;
        const TBytes answer = ShortAnswer(0x02, std::array<uint8_t, 1>{0x01});
        reply.insert(reply.end(), answer.begin(), answer.end());
        return std::vector<TFakeLink::TReply>{
            {1, TBytes(300, 0x4D)}, {5, TBytes(250, 0x00)}, {10, TBytes(20, 1)}};
    };
    EXPECT_EQ(engine.SendMail("02 5D 46"), "");
    EXPECT_LE(engine.Transaction().RxCount, 255);
}

TEST_F(Engine, BytesAfterTheTransactionAreDropped) {
    EXPECT_EQ(engine.SendMail("02 3C 08 00 01 05 00"), "05");
    link.Deliver(0, TBytes(40, 0xEE));
    EXPECT_TRUE(WaitFor([&] { return engine.RxChunkCount() >= 1; }));
    EXPECT_EQ(engine.Transaction().AnswerText, "05");
    EXPECT_GE(engine.RxChunkCount(), 1);
    EXPECT_EQ(engine.SendMail("02 3C 08 00 01 06 00"), "06");
}

TEST_F(Engine, UnconfirmedWriteIsSentWriteRetriesTimesEachReadBack) {
    link.Handset = HandsetWith([](THandsetFaults& f) { f.unconfirmedWrites = kEveryWrite; });
    engine.WriteRetries = 3;
    const std::array<uint8_t, 2> data{0xAB, 0xCD};
    EXPECT_FALSE(engine.WriteMemory(0x10, 0x00, 2, data));
    ASSERT_EQ(link.Frames.size(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_TRUE(IsMemoryMail(link.Frames[i], i % 2 == 0 ? WriteCommand : ReadCommand)) << i;
    EXPECT_EQ(MailOf(link.Frames[1]), (TBytes{0x02, 0x3C, 0x08, 0x00, 0x02, 0x10, 0x00}));
}

TEST_F(Engine, WriteVerifiedOnTheSecondTry) {
    link.Handset = HandsetWith([](THandsetFaults& f) { f.unconfirmedWrites = 1; });
    const std::array<uint8_t, 1> data{0x99};
    EXPECT_TRUE(engine.WriteMemory(0x00, 0x01, 1, data));
    EXPECT_EQ(link.Frames.size(), 4u);
    EXPECT_EQ(link.Handset.State().memory[0x100], 0x99);
}

TEST_F(Engine, AskedOnceMoreAfterTheLastFailedWrite) {
    link.Handset = HandsetWith([](THandsetFaults& f) { f.unconfirmedWrites = 2; });
    engine.WriteRetries = 2;
    TRecordingUser user;
    user.Answers = {TAnswer::Ok};
    engine.SetUser(&user);
    const std::array<uint8_t, 1> data{0x42};
    EXPECT_TRUE(engine.WriteMemory(0x20, 0x00, 1, data));
    ASSERT_EQ(user.Messages.size(), 1u);
    EXPECT_EQ(user.Messages[0].text, "Writing failed 2 times. \r\rTry once more ?");
    EXPECT_EQ(user.Messages[0].buttons, TButtons::OkCancel);

    engine.ShowDialogs = false;
    link.Handset = HandsetWith([](THandsetFaults& f) { f.unconfirmedWrites = kEveryWrite; });
    EXPECT_FALSE(engine.WriteMemory(0x20, 0x00, 1, data));
    EXPECT_EQ(user.Messages.size(), 1u);
}

TEST_F(Engine, ReadMemoryTextKeepsTheAskedBytes) {
    link.Script = [](const TBytes& frame) {
        TBytes reply = frame;
        const TBytes answer = ShortAnswer(0x02, TBytes(10, 0x11));
        reply.insert(reply.end(), answer.begin(), answer.end());
        return std::vector<TFakeLink::TReply>{{1, reply}};
    };
    std::string text;
    engine.ReadMemoryText(0, 0, text, 8);
    EXPECT_EQ(text.size(), 23u);
}

TEST_F(Engine, ReadBlockInPiecesStopsAtTheFailedOne) {
    std::array<uint8_t, 20> buf{};
    EXPECT_EQ(engine.ReadBlock(buf, 20, 0x40), 20);
    ASSERT_EQ(link.Frames.size(), 3u);
    const TBytes lengths{MailOf(link.Frames[0])[4], MailOf(link.Frames[1])[4], MailOf(link.Frames[2])[4]};
    const TBytes starts{MailOf(link.Frames[0])[5], MailOf(link.Frames[1])[5], MailOf(link.Frames[2])[5]};
    EXPECT_EQ(lengths, (TBytes{8, 8, 4}));
    EXPECT_EQ(starts, (TBytes{0x40, 0x48, 0x50}));
    EXPECT_EQ(buf[19], 0x53);

    link.Frames.clear();
    link.Handset = HandsetWith([](THandsetFaults& f) { f.dropAnswers = {2}; });
    struct TPieces : TBlockListener {
        void BlockDone(TMailControl&, uint8_t piece) override { progress += piece; }
        int progress = 0;
    } pieces;
    engine.SetBlockListener(&pieces);
    EXPECT_EQ(engine.ReadBlock(buf, 20, 0x40), 8);
    EXPECT_EQ(buf[7], 0x47);
    for (size_t i = 8; i < 20; ++i)
        EXPECT_EQ(buf[i], 0xFF);
    EXPECT_EQ(pieces.progress, 16);
}

TEST_F(Engine, WriteBlockInPiecesStopsAtTheFailedOne) {
    std::array<uint8_t, 20> data{};
    std::iota(data.begin(), data.end(), uint8_t(0xA0));
    EXPECT_EQ(engine.WriteBlock(0x300, data, 20), 20);
    EXPECT_EQ(link.Handset.State().memory[0x313], 0xB3);

    engine.WriteRetries = 1;
    // Frames: write 1, read-back 1, then the second write is not stored.
    link.Handset = THandset{MemoryCounting(), TReadiness::Ready, THandsetFaults{}};
    int writes = 0;
    link.Script = [&](const TBytes& frame) {
        if (IsMemoryMail(frame, WriteCommand) && ++writes == 2)
            return std::vector<TFakeLink::TReply>{{0, frame}};
        std::vector<TFakeLink::TReply> replies;
        for (TOutput& out : link.Handset.Receive(frame))
            replies.push_back({1, out.bytes});
        return replies;
    };
    EXPECT_EQ(engine.WriteBlock(0x300, data, 20), 8);
}

TEST_F(Engine, ProbeAnswersWithTheTryThatGotThrough) {
    link.Opened = false;
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(1000)), 255);
    EXPECT_TRUE(link.Frames.empty());

    link.Opened = true;
    link.Handset = HandsetWith([](THandsetFaults& f) { f.dropAnswers = {1, 2}; });
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(5)), 3);

    link.Frames.clear();
    link.Handset = HandsetWith([](THandsetFaults& f) { f.silent = true; });
    EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(5)), 0);
    EXPECT_EQ(link.Frames.size(), 6u);
}

TEST_F(Engine, ClosingEndsTheWaitAndLaterSends) {
    link.Script = [](const TBytes&) { return std::vector<TFakeLink::TReply>{}; };
    engine.AnswerTimeout = std::chrono::milliseconds(5000);
    engine.GapTimeout = std::chrono::milliseconds(5000);
    QTimer::singleShot(30, [&] { engine.BeginClosing(); });
    const int64_t ms = Timed([&] { EXPECT_EQ(engine.SendMail("02 5D 16"), ""); });
    EXPECT_LT(ms, 2500) << "the wait ran on to a time-out";

    link.Frames.clear();
    EXPECT_EQ(engine.SendMail("02 5D 16"), "");
    EXPECT_TRUE(link.Frames.empty());
}

TEST_F(Engine, ClosedPortIsNoWaitAndNoTry) {
    link.Opened = false;
    engine.AnswerTimeout = std::chrono::milliseconds(5000);
    engine.GapTimeout = std::chrono::milliseconds(5000);
    const int64_t ms = Timed([&] { EXPECT_EQ(engine.SendMail("02 3B 08 00 01 00 01 41"), ""); });
    EXPECT_LT(ms, 2500) << "a closed port was waited for";
    EXPECT_TRUE(link.Frames.empty());
    EXPECT_FALSE(engine.WriteVerified());
    EXPECT_FALSE(engine.LineLost()) << "a port never opened is not a lost line";
}

// A line that goes away while the engine waits ends the wait, the write's retries and every pause at
// once; the next open that works ends the lost state.
TEST_F(Engine, ALostLineEndsTheWaitTheRetriesAndThePausesAtOnce) {
    link.Script = [](const TBytes&) { return std::vector<TFakeLink::TReply>{}; };
    engine.AnswerTimeout = std::chrono::milliseconds(5000);
    engine.GapTimeout = std::chrono::milliseconds(5000);
    engine.WriteRetries = 10;
    engine.WritePause = std::chrono::milliseconds(1000);
    engine.ReadTries = 5;
    engine.ReadPause = std::chrono::milliseconds(1000);
    QTimer::singleShot(30, [&] { link.Lose(); });
    const uint32_t before = engine.LineLosses();
    int64_t ms = Timed([&] { EXPECT_EQ(engine.SendMail("02 3B 08 00 01 00 01 41"), ""); });
    EXPECT_LT(ms, 2500) << "the wait ran on after the line was lost";
    EXPECT_EQ(link.Frames.size(), 1u) << "a try was spent on a lost line";
    EXPECT_TRUE(engine.LineLost());
    EXPECT_EQ(engine.LineLosses(), before + 1);

    std::array<uint8_t, 8> buf{};
    ms = Timed([&] {
        EXPECT_EQ(engine.ReadMemory(0x00, 0x01, buf, 4), 0);
        EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(1000)), 255);
        engine.Pause(std::chrono::milliseconds(5000));
    });
    EXPECT_LT(ms, 2500) << "a pause or a retry waited on a lost line";
    EXPECT_EQ(link.Frames.size(), 1u);

    link.Script = nullptr;
    EXPECT_TRUE(engine.OpenPort(1, 115200));
    EXPECT_FALSE(engine.LineLost());
    EXPECT_EQ(engine.SendMail("02 5D 47"), "1A 00");
}

// A stop asked for from outside the event loop (a signal handler, here another thread) wakes a wait of a
// stretch that changes nothing and ends it, its tries and its pauses at once; outside such a stretch it
// is the operation's to look at, and the engine sends and waits as ever.
TEST_F(Engine, AStopEndsTheWaitsOfAStoppableStretchAtOnceAndNoOthers) {
    ClearStopRequest();
    link.Script = [](const TBytes&) { return std::vector<TFakeLink::TReply>{}; };
    engine.AnswerTimeout = std::chrono::milliseconds(5000);
    engine.GapTimeout = std::chrono::milliseconds(5000);
    engine.ReadTries = 5;
    engine.ReadPause = std::chrono::milliseconds(1000);
    {
        const TStoppableStretch stoppable(engine);
        std::thread stopper([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            RequestStop();
        });
        std::array<uint8_t, 8> buf{};
        int64_t ms = Timed([&] { EXPECT_EQ(engine.ReadMemory(0x00, 0x01, buf, 4), 0); });
        stopper.join();
        EXPECT_LT(ms, 2500) << "the wait ran on after the stop";
        EXPECT_EQ(link.Frames.size(), 1u) << "a try was sent after the stop";
        ms = Timed([&] {
            engine.Pause(std::chrono::milliseconds(5000));
            EXPECT_EQ(engine.ProbeHandset(std::chrono::milliseconds(1000)), 0);
        });
        EXPECT_LT(ms, 2500) << "a pause or a probe went on after the stop";
        EXPECT_EQ(link.Frames.size(), 1u);
    }
    EXPECT_FALSE(engine.Stoppable) << "the stretch put back what it found";
    link.Script = nullptr;
    EXPECT_EQ(engine.SendMail("02 5D 47"), "1A 00");
    ClearStopRequest();
}

TEST_F(Engine, OpenPortClosesTheOldPortFirst) {
    link.CloseSucceeds = false;
    EXPECT_FALSE(engine.OpenPort(4, 115200));
    EXPECT_EQ(link.ComNumber(), 1);
    link.CloseSucceeds = true;
    EXPECT_TRUE(engine.OpenPort(4, 115200));
    EXPECT_EQ(link.ComNumber(), 4);
}

TEST(Timing, TimeStampHasTheFourFields) {
    const std::string stamp = TimeStamp();
    ASSERT_EQ(stamp.size(), 15u);
    EXPECT_EQ(stamp[2], ':');
    EXPECT_EQ(stamp[5], ':');
    EXPECT_EQ(stamp[8], ':');
    EXPECT_EQ(TicksToMs(3 * TickFrequency, TickFrequency), 2000);
}

TEST(Timing, TicksToMsTruncatesAndHoldsForYears) {
    EXPECT_EQ(TicksToMs(TickFrequency / 1000 * 7 - 1, 0), 6);
    EXPECT_EQ(TicksToMs(0, TickFrequency / 1000 * 7 - 1), -6);
    constexpr int64_t day = 86'400 * TickFrequency;
    const int64_t start = GetTick();
    EXPECT_EQ(TicksToMs(start + 200 * day + TickFrequency / 2, start), 200 * 86'400'000LL + 500);
    EXPECT_EQ(TicksToMs(start, start + 200 * day), -200 * 86'400'000LL);
    EXPECT_EQ(TicksToMs(INT64_MAX, 0), INT64_MAX / (TickFrequency / 1000));
}

// The tests' own clock: waits pass at once, what is due meanwhile still arrives, the counter reads the
// time as waited, and the real clock is back once the test clock goes.
TEST(Timing, OnTheTestClockAWaitPassesAtOnceAndIsCountedAsWaited) {
    TFakeLink link;
    TMailControl engine(link);
    bool delivered = false;
    const auto begun = std::chrono::steady_clock::now();
    {
        const TTestClock clock;
        const int64_t before = GetTick();
        QTimer::singleShot(0, [&] { delivered = true; });
        PreciseDelay(60'000);
        engine.Pause(std::chrono::minutes(1));
        EXPECT_TRUE(delivered);
        EXPECT_EQ(clock.Skipped(), 120'000);
        EXPECT_GE(TicksToMs(GetTick(), before), 120'000);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(10));
    const int64_t before = GetTick();
    PreciseDelay(30);
    const int64_t waited = TicksToMs(GetTick(), before);
    EXPECT_GE(waited, 30);
    EXPECT_LT(waited, 1000);
}

} // namespace

// A stretch's settings are applied whole and what the engine held before comes back, whatever it held
// and however the stretch ends: an operation that follows one with short answers must not find framed
// ones (or the write's long waits) left behind.
TEST_F(Engine, AStretchsSettingsPutBackWhatTheEngineHeldHoweverItEnds) {
    using std::chrono::milliseconds;
    const TEngineProfile before{TAnswerLayout::Short, milliseconds(400), milliseconds(150)};
    engine.Apply(before);
    engine.ReadbackDelay = milliseconds(7);
    {
        const TEngineSettings write(engine, EngineProfileFor(TEngineUse::Write));
        EXPECT_TRUE(engine.FramedAnswer());
        EXPECT_EQ(engine.AnswerTimeout, milliseconds(10000));
        {
            const TEngineSettings questions(engine, EngineProfileFor(TEngineUse::Questions));
            engine.ReadbackDelay = milliseconds(0);
            EXPECT_FALSE(engine.FramedAnswer());
        }
        EXPECT_EQ(engine.Profile(), EngineProfileFor(TEngineUse::Write))
            << "the inner stretch put back the outer's";
        EXPECT_EQ(engine.ReadbackDelay, milliseconds(7));
    }
    EXPECT_EQ(engine.Profile(), before);

    try {
        const TEngineSettings read(engine, EngineProfileFor(TEngineUse::Read));
        throw std::runtime_error("line lost");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(engine.Profile(), before);
    EXPECT_EQ(engine.ReadbackDelay, milliseconds(7));
}
