// A provisioning station: a phone book replace of 200 entries through quorvel-cli on one virtual
// handset, and on four at once, each paced at 115200 baud; then the provisioning of a template (phone
// book of 200, speed dial, groups, profile, a row per handset) on one and on four ("station run"). Every
// handset must be the one expected at its port (--expect-serial, and a station file of "port,serial" lines),
// so that the connection step reads and checks each serial number. The four docking stations work side by
// side, so they should take hardly longer than one.
#include "support/HandsetProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
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

// A template whose files differ with the round, so that every provisioning writes: a phone book of
// Entries with the handset's own name last, two speed dial keys, two groups and a profile setting.
QString MakeTemplate(const QString& folder, int round) {
    QDir().mkpath(folder);
    const auto write = [&](const char* name, const QByteArray& text) {
        QFile file(folder + "/" + name);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    QByteArray book;
    for (int i = 1; i < Entries; ++i)
        book += QString("Entry %1,55%2%3\r\n")
                    .arg(i, 3, 10, QChar('0'))
                    .arg(round)
                    .arg(i, 4, 10, QChar('0'))
                    .toUtf8();
    book += "{name},{extension}\r\n";
    QByteArray groups = QString("%1\r\n%2\r\n").arg(3 + round).arg(10 + round).toUtf8();
    for (int i = 2; i < 16; ++i)
        groups += "\r\n";
    QByteArray csv = "serial,name,extension\r\n";
    for (int i = 1; i <= 4; ++i)
        csv += QString("00001 00000%1,Desk %1,2%2%1\r\n").arg(i, 2, 10, QChar('0')).arg(round).toUtf8();
    const bool ok =
        write("phonebook.phb", book) &&
        write("speeddial.sdl", QString("Key_1,{extension}\r\nKey_2,10%1\r\n").arg(round).toUtf8()) &&
        write("groups.BGL", groups) &&
        write("profile.pro", QString("[profile settings]\r\nringer tone=%1\r\n").arg(2 + round).toUtf8()) &&
        write("handsets.csv", csv);
    return ok ? folder : QString();
}

// Milliseconds of one provisioning on the ports, or -1 when it failed.
double Provision(const THandsetProcess& any, const QStringList& ports, const QString& folder, bool station) {
    QElapsedTimer clock;
    clock.start();
    const QStringList command =
        station ? QStringList{"station", "run", folder} : QStringList{"provision", folder};
    const auto run = any.Cli(ports + QStringList{"--yes"} + command, 600000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (run.exitCode != 0) {
        std::fprintf(stderr, "station_bench: the provisioning on %s failed (%d):\n%s%s",
                     ports.join(' ').toUtf8().constData(), run.exitCode, run.out.c_str(), run.err.c_str());
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // A list of its own for every replace: a replace of what the handset holds sends nothing, which
    // would time a read.
    const auto list = [&dir](int k) {
        QFile file(dir.filePath(QString("list-%1.phb").arg(k)));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        for (int i = 1; i <= Entries; ++i)
            file.write(QString("Entry %1,5%2%3\r\n")
                           .arg(i, 3, 10, QChar('0'))
                           .arg(k)
                           .arg(i, 4, 10, QChar('0'))
                           .toUtf8());
        return file.fileName();
    };

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
        single.push_back(Replace(*handsets.front(), one, list(2 * run)));
        station.push_back(Replace(*handsets.front(), four, list(2 * run + 1)));
        if (single.back() < 0 || station.back() < 0)
            return 1;
    }
    const double ratio = Median(station) / Median(single);
    std::printf("phone book replace of %d entries, paced at 115200 baud, median of %d runs\n", Entries, Runs);
    std::printf("one docking station:   %8.0f ms\n", Median(single));
    std::printf("four docking stations: %8.0f ms\n", Median(station));
    std::printf("ratio: %.3f (target <= 1.10)\n", ratio);

    // Provisioning: each round's template differs from the last, so every handset is written each time.
    std::vector<double> singleProvision, stationProvision;
    for (int run = 0; run < Runs; ++run) {
        const QString first = MakeTemplate(dir.filePath(QString("template-%1a").arg(run)), 2 * run);
        const QString second = MakeTemplate(dir.filePath(QString("template-%1b").arg(run)), 2 * run + 1);
        if (first.isEmpty() || second.isEmpty())
            return 1;
        singleProvision.push_back(Provision(*handsets.front(), one, first, false));
        stationProvision.push_back(Provision(*handsets.front(), four, second, true));
        if (singleProvision.back() < 0 || stationProvision.back() < 0)
            return 1;
    }
    const double provisionRatio = Median(stationProvision) / Median(singleProvision);

    // A provisioning that finds every handset holding the template only verifies: one connection step and
    // the reads of the plans, nothing written.
    std::vector<double> singleVerify, stationVerify;
    const QString held = dir.filePath(QString("template-%1b").arg(Runs - 1));
    for (int run = 0; run < Runs; ++run) {
        singleVerify.push_back(Provision(*handsets.front(), one, held, false));
        stationVerify.push_back(Provision(*handsets.front(), four, held, true));
        if (singleVerify.back() < 0 || stationVerify.back() < 0)
            return 1;
    }
    const double verifyRatio = Median(stationVerify) / Median(singleVerify);

    // The plan's estimate against the time the mails after the question took: the whole replace less the
    // same command's dry run (connection step, the read the plan is made from, the plan), which changes
    // nothing, so that both start from the same handset.
    const QString estimated = list(100);
    const auto timedRun = [&](bool dry, double& ms) {
        QStringList args = one + QStringList{"--yes", "--json", "phonebook", "write", estimated, "--replace"};
        if (dry)
            args.prepend("--dry-run");
        QElapsedTimer clock;
        clock.start();
        const auto run = handsets.front()->Cli(args, 300000);
        ms = double(clock.nsecsElapsed()) / 1e6;
        if (run.exitCode != 0)
            std::fprintf(stderr, "station_bench: the timed replace failed (%d):\n%s%s", run.exitCode,
                         run.out.c_str(), run.err.c_str());
        return run.exitCode == 0
                   ? QJsonDocument::fromJson(QByteArray::fromStdString(run.out))["plan"]["estimatedMs"]
                         .toDouble()
                   : -1.0;
    };
    double dryMs = 0;
    double realMs = 0;
    const double estimateMs = timedRun(true, dryMs);
    if (estimateMs <= 0 || timedRun(false, realMs) <= 0)
        return 1;
    const double afterQuestionMs = realMs - dryMs;
    std::printf("provisioning (phone book of %d, speed dial, groups, profile), median of %d runs\n", Entries,
                Runs);
    std::printf("one docking station:   %8.0f ms\n", Median(singleProvision));
    std::printf("four docking stations: %8.0f ms\n", Median(stationProvision));
    std::printf("ratio: %.3f (target <= 1.10)\n", provisionRatio);
    std::printf("provisioning that only verifies, median of %d runs\n", Runs);
    std::printf("one docking station:   %8.0f ms\n", Median(singleVerify));
    std::printf("four docking stations: %8.0f ms\n", Median(stationVerify));
    std::printf("ratio: %.3f (target <= 1.3)\n", verifyRatio);
    const double estimateRatio = afterQuestionMs / estimateMs;
    std::printf(
        "replace of %d entries after its question (writes and the read after them): estimated %.0f ms, "
        "took %.0f ms, ratio %.2f (target 0.8 to 1.2)\n",
        Entries, estimateMs, afterQuestionMs, estimateRatio);
    return ratio <= 1.10 && provisionRatio <= 1.10 && verifyRatio <= 1.3 && estimateRatio >= 0.8 &&
                   estimateRatio <= 1.2
               ? 0
               : 1;
}
