// Round trips through a pseudo-terminal against the virtual handset: rate and latency at zero delay,
// the ratio to the wire time when the handset keeps to 115200 baud, how soon an answer is taken after
// its last byte, and the CPU a wait for a silent handset costs.
#include "support/HandsetProcess.h"

#include "link/SendMailHandling.h"
#include "link/Sndmail.h"
#include "link/Timing.h"

#include <QCoreApplication>
#include <QStringList>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int ProbeFrameBytes = 12;
constexpr int ProbeAnswerBytes = 6;
constexpr double Baud = 115200.0;

struct TStats {
    double p50, p90, p99, mean;
};

TStats Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    double sum = 0;
    for (double v : ms)
        sum += v;
    return {at(0.50), at(0.90), at(0.99), sum / double(ms.size())};
}

double SecondsOfCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Times each round trip and, by listening on the link beside the engine, how long after the last
// received block the answer was handed back.
struct TRoundTrips {
    std::vector<double> roundTrip;
    std::vector<double> takeLag;
    int failures = 0;
};

TRoundTrips Run(TSendmail& engine, int count) {
    TRoundTrips result;
    int64_t lastBlock = 0;
    auto engineListener = engine.Com().OnReceive;
    engine.Com().OnReceive = [&](TVirtualCom& link, std::span<const uint8_t> block) {
        lastBlock = GetTick();
        engineListener(link, block);
    };
    for (int i = 0; i < count; ++i) {
        const int64_t t0 = GetTick();
        const std::string answer = engine.SendMail(ProbeMail);
        const int64_t t1 = GetTick();
        if (answer.empty()) {
            ++result.failures;
            continue;
        }
        result.roundTrip.push_back(double(t1 - t0) / 1e6);
        result.takeLag.push_back(double(t1 - lastBlock) / 1e6);
    }
    engine.Com().OnReceive = engineListener;
    return result;
}

bool Connect(TSendmail& engine, const THandsetProcess& handset) {
    if (!handset.Started() || !engine.OpenPort(uint8_t(handset.ComNumber()), 115200)) {
        std::fprintf(stderr, "link_bench: could not start or open the virtual handset\n");
        return false;
    }
    engine.SetFramedAnswer(false);
    engine.AnswerTimeout = std::chrono::milliseconds(1000);
    engine.GapTimeout = std::chrono::milliseconds(1000);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // As the command line runs: on Qt's own event dispatcher.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    const double wireMs = (ProbeFrameBytes + ProbeAnswerBytes) * 10 / Baud * 1000;

    {
        THandsetProcess handset;
        TSendmail engine;
        if (!Connect(engine, handset))
            return 1;
        Run(engine, 50);
        const int64_t t0 = GetTick();
        const TRoundTrips r = Run(engine, count);
        const double seconds = double(GetTick() - t0) / 1e9;
        const TStats rt = Summarise(r.roundTrip), lag = Summarise(r.takeLag);
        std::printf("zero delay: %d round trips, %.0f per second, %d failed\n", count, count / seconds,
                    r.failures);
        std::printf("  round trip ms: median %.3f  p90 %.3f  p99 %.3f\n", rt.p50, rt.p90, rt.p99);
        std::printf("  answer taken after its last byte, ms: median %.3f  p90 %.3f  p99 %.3f\n", lag.p50,
                    lag.p90, lag.p99);
    }
    // Paced as the wire goes, straight to the program (a pseudo-terminal), and through a USB serial
    // adapter whose latency timer is 1 ms (its driver asked for low latency) or 16 ms (not asked).
    for (const char* latency : {"", "1", "16"}) {
        QStringList options{"--pace", "115200"};
        if (*latency)
            options << "--adapter-latency" << latency;
        THandsetProcess handset(options);
        TSendmail engine;
        if (!Connect(engine, handset))
            return 1;
        const int paced = std::max(10, *latency ? count / 8 : count / 4);
        Run(engine, 20);
        const TRoundTrips r = Run(engine, paced);
        const TStats rt = Summarise(r.roundTrip), lag = Summarise(r.takeLag);
        const std::string through = *latency ? std::string(", through an adapter of ") + latency + " ms" : "";
        std::printf(
            "paced at 115200 baud%s: %d round trips, wire-time bound %.3f ms (%d + %d bytes), %d failed\n",
            through.c_str(), paced, wireMs, ProbeFrameBytes, ProbeAnswerBytes, r.failures);
        std::printf("  round trip ms: median %.3f  p90 %.3f  p99 %.3f  mean %.3f\n", rt.p50, rt.p90, rt.p99,
                    rt.mean);
        std::printf("  ratio to the wire-time bound: median %.3f  p90 %.3f  mean %.3f%s\n", rt.p50 / wireMs,
                    rt.p90 / wireMs, rt.mean / wireMs, *latency ? "" : " (target 1.10)");
        if (!*latency)
            std::printf("  answer taken after its last byte, ms: median %.3f (target 1.000)\n", lag.p50);
    }
    {
        THandsetProcess handset({"--silent", "--no-echo"});
        TSendmail engine;
        if (!Connect(engine, handset))
            return 1;
        engine.AnswerTimeout = std::chrono::milliseconds(4000);
        engine.GapTimeout = std::chrono::milliseconds(4000);
        const double cpu0 = SecondsOfCpu();
        const int64_t t0 = GetTick();
        engine.SendMail(ProbeMail);
        const double wall = double(GetTick() - t0) / 1e9;
        const double cpu = SecondsOfCpu() - cpu0;
        std::printf("silent handset: waited %.3f s, CPU %.4f s = %.2f%% of one core (target 5%%)\n", wall,
                    cpu, 100 * cpu / wall);
    }
    return 0;
}
