// A provisioning station: a phone book replace of 200 entries through quorvel-cli on one virtual
// handset, and on four at once, each paced at 115200 baud. Every handset must be the one expected at its
// port (--expect-serial, and a station file of "port,serial" lines), so that the connection step reads
// and checks each serial number. The four docking stations work side by side, so they should take
// hardly longer than one.
#include "support/HandsetProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Entries = 200;
constexpr int Runs = 3;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds of one replace on the ports, or -1 when it failed.
double Replace(const THandsetProcess& any, const QStringList& ports, const QString& list) {
    QElapsedTimer clock;
    clock.start();
    const auto run = any.Cli(ports + QStringList{"--yes", "phonebook", "write", list, "--replace"}, 300000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (run.exitCode != 0) {
        std::fprintf(stderr, "station_bench: the replace on %s failed (%d):\n%s%s",
                     ports.join(' ').toUtf8().constData(), run.exitCode, run.out.c_str(), run.err.c_str());
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QFile file(dir.filePath("list.phb"));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 1; i <= Entries; ++i)
        file.write(
            QString("Entry %1,555%2\r\n").arg(i, 3, 10, QChar('0')).arg(i, 4, 10, QChar('0')).toUtf8());
    file.close();

    const QStringList options{"--pace", "115200", "--phonebook-entries", "200"};
    // Serial numbers "00001 0000001" to "00001 0000004".
    const auto serial = [](int i) { return QString("00001000%1").arg(i, 2, 10, QChar('0')); };
    std::vector<std::unique_ptr<THandsetProcess>> handsets;
    handsets.push_back(std::make_unique<THandsetProcess>(options + QStringList{"--serial", serial(1)}));
    for (int i = 2; i <= 4; ++i)
        handsets.push_back(std::make_unique<THandsetProcess>(options + QStringList{"--serial", serial(i)},
                                                             *handsets.front()));
    QFile stations(dir.filePath("stations.csv"));
    if (!stations.open(QIODevice::WriteOnly))
        return 1;
    for (size_t i = 0; i < handsets.size(); ++i) {
        if (!handsets[i]->Started()) {
            std::fprintf(stderr, "station_bench: a virtual handset did not start\n");
            return 1;
        }
        stations.write(QString("COM%1,00001 00000%2\n")
                           .arg(handsets[i]->ComNumber())
                           .arg(i + 1, 2, 10, QChar('0'))
                           .toUtf8());
    }
    stations.close();
    const QStringList four{"--port", "@" + stations.fileName()};
    const QStringList one{"--port", QString("COM%1").arg(handsets.front()->ComNumber()), "--expect-serial",
                          "00001 0000001"};

    std::vector<double> single, station;
    for (int run = 0; run < Runs; ++run) {
        single.push_back(Replace(*handsets.front(), one, file.fileName()));
        station.push_back(Replace(*handsets.front(), four, file.fileName()));
        if (single.back() < 0 || station.back() < 0)
            return 1;
    }
    const double ratio = Median(station) / Median(single);
    std::printf("phone book replace of %d entries, paced at 115200 baud, median of %d runs\n", Entries, Runs);
    std::printf("one docking station:   %8.0f ms\n", Median(single));
    std::printf("four docking stations: %8.0f ms\n", Median(station));
    std::printf("ratio: %.3f (target <= 1.15)\n", ratio);
    return ratio <= 1.15 ? 0 : 1;
}
