// The cost of one step of a SIM move's journal in the SIM records, as the move takes it: one transaction
// that writes the record and its step row and is on the disk when it returns. Run in a folder on the
// disk the records live on (the first argument, else the current folder): a step's cost is mostly the
// disk's flush. With QUORVEL_RECORDS=postgresql://… the same steps go to that server instead. Then the
// cost of one sealed row of the change log, appended after thousands of others: on one PC the lock, the
// read of the PC's last seal from the file's end, the write and its flush; on the server the transaction
// that locks the PC's chain, reads its last seal and adds the row.
#include "platform/ChangeStore.h"
#include "vsim/PgSession.h"
#include "vsim/PostgresChanges.h"
#include "vsim/RecordStore.h"
#include "vsim/SimRecords.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Steps = 400;
constexpr double TargetMs = 10.0;
// Lines in the log before the measured ones, and the median a sealed append must stay under.
constexpr int LogLines = 5000;
constexpr double AppendTargetMs = 5.0;

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QString(argc > 1 ? argv[1] : ".") + "/records_bench-XXXXXX");
    if (!dir.isValid()) {
        std::fprintf(stderr, "records_bench: no folder for the records: %s\n", qPrintable(dir.errorString()));
        return 2;
    }
    // The machine's folder is the bench's own: a server's log moves in no log of this machine.
    qputenv("QUORVEL_STATE_DIR", dir.path().toLocal8Bit());
    const char* server = std::getenv("QUORVEL_RECORDS");
    const std::string address =
        server && *server ? std::string(server) : "sqlite:" + dir.filePath("records.db").toStdString();
    try {
        const std::unique_ptr<TRecordEngine> engine = OpenRecordStore(address);
        TSimRecords records(*engine);
        const std::string serial = "00291 0284280";
        if (!records.StoreInRegistry(serial, "62018400", "06B", 123456, std::string(64, 'a'),
                                     {SimMoveState::MovingOut, "/tmp/x.sim", "MOVING OUT 1", "00"})) {
            std::fprintf(stderr, "records_bench: %s\n", records.LastError().c_str());
            return 2;
        }
        std::vector<double> ms;
        for (int step = 0; step < Steps; ++step) {
            const TSimJournal journal{step % 2 ? SimMoveState::MovingIn : "", "/tmp/x.sim",
                                      "MOVING " + std::to_string(step), "00"};
            const auto start = std::chrono::steady_clock::now();
            if (!records.SetJournal(serial, journal)) {
                std::fprintf(stderr, "records_bench: %s\n", records.LastError().c_str());
                return 2;
            }
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        const double median = Percentile(ms, 0.5);
        const double p99 = Percentile(ms, 0.99);
        std::printf("journal step on %s: median %.2f ms, 99th percentile %.2f ms, max %.2f ms over %d steps "
                    "(target: under %.0f ms)\n",
                    engine->Where().c_str(), median, p99, *std::max_element(ms.begin(), ms.end()), Steps,
                    TargetMs);
        // The change log: a PC's lines, and now and then another PC's among them.
        const std::unique_ptr<TChangeStore> log =
            IsPgUri(address) ? OpenPostgresChanges(address)
                             : OpenChangeFile(dir.filePath("changes.jsonl").toStdString());
        TChangeRecord change;
        change.Time = "2026-12-10T09:30:00+01:00";
        change.User = "alice";
        change.Port = "COM12";
        change.Serial = serial;
        change.Operation = "phonebook replace";
        change.Via = "station";
        change.Outcome = "done";
        std::vector<double> appends;
        for (int line = 0; line < LogLines + Steps; ++line) {
            change.Pc = line % 7 == 0 ? "hall-pc" : "desk-pc";
            const auto start = std::chrono::steady_clock::now();
            if (const std::string why = log->Append(change); !why.empty()) {
                std::fprintf(stderr, "records_bench: the change log: %s\n", why.c_str());
                return 2;
            }
            if (line >= LogLines)
                appends.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
        }
        const double appendMedian = Percentile(appends, 0.5);
        std::printf(
            "sealed change-log row on %s after %d others: median %.2f ms, 99th percentile %.2f ms over "
            "%d rows (target: median under %.0f ms)\n",
            log->Where().c_str(), LogLines, appendMedian, Percentile(appends, 0.99), Steps, AppendTargetMs);
        return p99 < TargetMs && appendMedian < AppendTargetMs ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "records_bench: %s\n", e.what());
        return 2;
    }
}
