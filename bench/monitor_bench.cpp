// What the mail monitor costs: the round trip of a transaction at zero delay through a pseudo-terminal
// with the monitor shown (offscreen) against the same with it closed, and the cost of one log line
// after 10 lines and after 100 000.
#include "support/HandsetProcess.h"

#include "link/SendMailHandling.h"
#include "link/Sndmail.h"
#include "link/Timing.h"
#include "windows/MailControlMonitor.h"

#include <QApplication>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr const char* ProbeFrame = "FF FF 4D 02 06 3C 08 00 01 00 00 45 ";
constexpr const char* ProbeReceived = "FF FF 4D 02 06 3C 08 00 01 00 00 45 4D 02 01 3D FF 3C ";
constexpr int Rounds = 15;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TTimes {
    double wallMs; // per transaction
    double cpuMs;  // of this process, per transaction
};

TTimes MeanTransaction(TMailControl& engine, int count) {
    const double cpu0 = CpuSeconds();
    const int64_t t0 = GetTick();
    for (int i = 0; i < count; ++i)
        if (engine.SendMail(ProbeMail).empty())
            std::fprintf(stderr, "monitor_bench: a probe went unanswered\n");
    return {double(GetTick() - t0) / 1e6 / count, (CpuSeconds() - cpu0) * 1e3 / count};
}

// Microseconds per transaction logged (its Tx and Rx lines and its record) and put on the screen, over
// the next count.
double MicrosecondsPerLog(TMailControlMonitor& monitor, int count) {
    TMailRecord record;
    record.Mail = ProbeMail;
    const int64_t t0 = GetTick();
    for (int i = 0; i < count; ++i) {
        monitor.LogTx(ProbeMail, ProbeFrame, 16, 12);
        monitor.LogRx(ProbeReceived, "FF", "OK", 18, 1);
        monitor.LogRecord(record);
    }
    monitor.Flush();
    return double(GetTick() - t0) / 1e3 / count;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 1000;

    THandsetProcess handset;
    TSendmail engine;
    if (!handset.Started() || !engine.OpenPort(uint8_t(handset.ComNumber()), 115200)) {
        std::fprintf(stderr, "monitor_bench: could not start or open the virtual handset\n");
        return 1;
    }
    engine.SetFramedAnswer(false);
    auto owned = std::make_unique<TMailControlMonitor>();
    TMailControlMonitor& monitor = *owned;
    engine.SetMonitor(std::move(owned));
    MeanTransaction(engine, count / 10); // the line and the handset warm up

    // Closed and shown in turn, so that what else the machine does falls on both alike; each pair of
    // rounds gives one ratio.
    std::vector<double> closed, shown, ratios, closedCpu, shownCpu;
    for (int round = 0; round < Rounds; ++round) {
        monitor.Window().hide();
        const TTimes off = MeanTransaction(engine, count);
        engine.ShowMonitor();
        const TTimes on = MeanTransaction(engine, count);
        closed.push_back(off.wallMs);
        shown.push_back(on.wallMs);
        ratios.push_back(on.wallMs / off.wallMs);
        closedCpu.push_back(off.cpuMs);
        shownCpu.push_back(on.cpuMs);
        if (std::getenv("MONITOR_BENCH_ROUNDS"))
            std::printf("  round %2d: closed %.3f ms (cpu %.3f), shown %.3f ms (cpu %.3f)\n", round + 1,
                        off.wallMs, off.cpuMs, on.wallMs, on.cpuMs);
    }
    const double ratio = Median(ratios);
    std::printf("transaction at zero delay, %d probes x %d rounds each way, medians of the rounds:\n", count,
                Rounds);
    std::printf("  monitor closed  %.3f ms (this process's CPU %.3f ms)\n", Median(closed),
                Median(closedCpu));
    std::printf("  monitor shown   %.3f ms (this process's CPU %.3f ms)\n", Median(shown), Median(shownCpu));
    std::printf("  shown / closed  %.2f, median of the %d paired rounds (target 1.20 at most): %s\n", ratio,
                Rounds, ratio <= 1.20 ? "met" : "NOT MET");

    // One line's cost as the log grows: early, and after 100 000 lines (the window keeps its last
    // MaxLogLines).
    monitor.ClearAll();
    std::printf("log append, per transaction (two lines and its record):\n");
    int lines = 0;
    for (const int upTo : {10, 1000, 10000, 100000, 200000}) {
        if (upTo > lines)
            MicrosecondsPerLog(monitor, (upTo - lines) / 2);
        lines = upTo;
        std::vector<double> samples;
        for (int i = 0; i < 5; ++i)
            samples.push_back(MicrosecondsPerLog(monitor, 100));
        // Over enough lines that the trimming of the oldest is paid as well.
        double amortised = 0;
        constexpr int Batches = TMailControlMonitor::MaxLogLines / 200;
        for (int i = 0; i < Batches; ++i)
            amortised += MicrosecondsPerLog(monitor, 100) / Batches;
        lines += 1000 + TMailControlMonitor::MaxLogLines;
        std::printf("  after %6d lines  %5.1f us (median of 5 x 100), %5.1f us (mean of the next %d, trims "
                    "included)\n",
                    upTo, Median(samples), amortised, TMailControlMonitor::MaxLogLines / 2);
    }
    return 0;
}
