// The SIM move in both directions against the virtual handset paced at 115200 baud, with readiness
// reports and without, as a ratio to its bound: the wire time of every byte the handset sent (the echo
// of each mail and its answer) plus the pauses the move prescribes (the read-back delay of each write
// without readiness reports, the closing pause).
#include "support/HandsetProcess.h"

#include "link/SendMailHandling.h"
#include "link/Sndmail.h"
#include "link/Timing.h"
#include "vsim/RecordStore.h"
#include "vsim/SimRecords.h"
#include "vsim/VirtualSim.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr double Baud = 115200.0;

struct TRun {
    std::optional<TSimResult> code;
    double ms = 0;
    size_t received = 0;
    int writes = 0;
};

// The echoes of memory writes in what the handset sent: "FF FF 4D 02 n 3B 08 00".
int CountWrites(const std::vector<uint8_t>& bytes) {
    int writes = 0;
    for (size_t i = 0; i + 8 <= bytes.size(); ++i)
        writes +=
            std::equal(FrameByte::FrameStart.begin(), FrameByte::FrameStart.end(), bytes.begin() + long(i)) &&
            bytes[i + 3] == 0x02 && bytes[i + 5] == 0x3B && bytes[i + 6] == 0x08 && bytes[i + 7] == 0x00;
    return writes;
}

TRun Move(const THandsetProcess& handset, bool toFile, const std::string& file, TSimRecords& records) {
    TRun run;
    TSendmail engine;
    if (!handset.Started() || !engine.OpenPort(uint8_t(handset.ComNumber()), 115200))
        return run;
    engine.SetFramedAnswer(false);
    std::vector<uint8_t> received;
    auto listener = engine.Com().OnReceive;
    engine.Com().OnReceive = [&](TVirtualCom& link, std::span<const uint8_t> block) {
        received.insert(received.end(), block.begin(), block.end());
        listener(link, block);
    };
    TVirtualSim sim(engine, ProgramFolder().toStdString() + "/sim_list/VSIMLIST.xml", records);
    const int64_t t0 = GetTick();
    run.code = toFile ? sim.TransferSimToFile(file) : sim.TransferFileToSim(file);
    run.ms = double(GetTick() - t0) / 1e6;
    engine.Com().OnReceive = listener;
    run.received = received.size();
    run.writes = CountWrites(received);
    return run;
}

void Report(const char* what, bool ready, const TRun& run) {
    const double wire = double(run.received) * 10 / Baud * 1000;
    const double pauses = (ready ? 3000.0 : 10000.0) + (ready ? 0.0 : 25.0 * run.writes);
    const double bound = wire + pauses;
    std::printf("%-18s readiness %-3s: %s, %.0f ms; bound %.0f ms (wire %.0f ms for %zu bytes, pauses %.0f "
                "ms, %d writes); ratio %.3f (target 1.10)\n",
                what, ready ? "on" : "off", run.code ? SimResultName(*run.code) : "not run", run.ms, bound,
                wire, run.received, pauses, run.writes, run.ms / bound);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::unique_ptr<TRecordEngine> store = OpenRecordStore(dir.filePath("records.db").toStdString());
    TSimRecords records(*store);
    for (const bool ready : {true, false}) {
        const QString state = dir.filePath(ready ? "ready.txt" : "unready.txt");
        const QStringList options{"--pace", "115200", "--ready", ready ? "yes" : "none", "--state", state};
        const std::string chosen = dir.filePath(ready ? "ready.sim" : "unready.sim").toStdString();
        std::string written;
        {
            THandsetProcess handset(options);
            const TRun out = Move(handset, true, chosen, records);
            Report("to file", ready, out);
            written = TVirtualSim::SimFileName(chosen, "00291 0284280");
        }
        {
            THandsetProcess handset(options);
            Report("to handset", ready, Move(handset, false, written, records));
        }
    }
    return 0;
}
