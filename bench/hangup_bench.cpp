// How soon quorvel-cli reports a line that went away: four operations against the virtual handset paced at
// 115200 baud (a phone book replace of 50 entries, a speed dial write of all eleven keys, a SIM save and a
// SIM restore), each run whole once to count its mails, then cut at every 10th mail (every 30th with
// --quick) in a fresh handset with --hangup-after. A run is timed from the moment the handset hangs up (its
// "hanging up" line, stamped as it arrives through the pipe) to the moment the program exits; only runs
// the cut reached and that ended in failure count. Exit 1 when a report took longer than the target.
#include "support/HandsetProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* Baud = "115200";
constexpr int Entries = 50;
constexpr int Step = 10;
constexpr int QuickStep = 30;
constexpr double TargetSeconds = 2.0;
// A program that has not reported by then is stopped; its run counts with this time.
constexpr auto ReportLimit = 120s;
constexpr auto StartLimit = 5s;
// How long a process is given to end: a handset after it hung up, or after it was asked to.
constexpr auto EndLimit = 3s;

// The per-user folder (device map, backups), the machine's state (SIM records, change log) and the files
// of one run, each new so that no run sees another's or the user's.
struct TFolders {
    QTemporaryDir root;
    QString Config() const { return root.filePath("config"); }
    QString State() const { return root.filePath("state"); }
    QString File(const QString& name) const { return root.filePath(name); }
    bool Make() const { return root.isValid() && QDir().mkpath(Config()) && QDir().mkpath(State()); }
};

struct TOperation {
    const char* name;
    QStringList handsetOptions;
    // The command after "--port COMn", given the run's folders.
    std::function<QStringList(const TFolders&)> command;
    // Puts what the run needs into its folders; empty when it needs nothing.
    std::function<bool(const TFolders&)> prepare;
};

struct TRun {
    bool handsetStarted = false;
    int exitCode = -1; // -1: the program crashed, could not start or was stopped
    bool stopped = false;
    TClock::time_point started; // the program's start
    std::optional<TClock::time_point> cut;
    TClock::time_point reported;
    int frames = 0; // the last frame the handset received
    std::string errors;
};

QProcessEnvironment Environment(const TFolders& folders) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Ports and records named by the caller's environment would lead the runs away from their own.
    env.remove("QUORVEL_PORTS");
    env.remove("QUORVEL_RECORDS");
    env.insert("QUORVEL_CONFIG_DIR", folders.Config());
    env.insert("QUORVEL_STATE_DIR", folders.State());
    return env;
}

// The handset's log on stderr, line by line: the last frame it received, and when it hung up.
class THandsetLog {
public:
    void Take(const QByteArray& bytes, TClock::time_point now) {
        Pending += bytes;
        for (qsizetype end = Pending.indexOf('\n'); end >= 0; end = Pending.indexOf('\n')) {
            Line(Pending.left(end), now);
            Pending.remove(0, end + 1);
        }
    }
    void Line(const QByteArray& line, TClock::time_point now) {
        static const QRegularExpression frame(R"(^quorvel-handset: frame (\d+): )");
        if (const auto match = frame.match(QString::fromUtf8(line)); match.hasMatch())
            Frames = std::max(Frames, match.captured(1).toInt());
        else if (line.contains("hanging up as frame") && !Cut)
            Cut = now;
    }

    QByteArray Pending;
    int Frames = 0;
    std::optional<TClock::time_point> Cut;
};

// One run of the operation in a fresh handset, cut as frame hangupAfter + 1 begins (0: not cut), the
// program's mails recorded into record when it is given.
TRun RunOnce(const TOperation& operation, int hangupAfter, const TFolders& folders,
             const QString& record = {}) {
    TRun run;
    const QProcessEnvironment env = Environment(folders);
    THandsetLog log;
    QProcess handset;
    handset.setProcessEnvironment(env);
    handset.setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(&handset, &QProcess::readyReadStandardError, [&] {
        const TClock::time_point now = TClock::now();
        log.Take(handset.readAllStandardError(), now);
    });
    QStringList options{"--pace", Baud, "--log"};
    if (hangupAfter > 0)
        options << "--hangup-after" << QString::number(hangupAfter);
    handset.start(ProgramFolder() + "/quorvel-handset", options + operation.handsetOptions);
    QByteArray ready;
    const QDeadlineTimer startLimit(StartLimit);
    if (handset.waitForStarted(int(startLimit.remainingTime())))
        while (!ready.contains('\n') && handset.waitForReadyRead(int(startLimit.remainingTime())))
            ready += handset.readAllStandardOutput();
    const auto port = QRegularExpression(R"(\((COM\d+)\))").match(QString::fromLocal8Bit(ready));
    if (!port.hasMatch())
        return run;
    run.handsetStarted = true;

    QProcess cli;
    cli.setProcessEnvironment(env);
    QEventLoop loop;
    QObject::connect(&cli, &QProcess::finished, [&] {
        run.reported = TClock::now();
        loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] {
        run.stopped = true;
        cli.kill();
    });
    QStringList args{"--port", port.captured(1)};
    if (!record.isEmpty())
        args << "--record" << record;
    run.started = TClock::now();
    cli.start(ProgramFolder() + "/quorvel-cli", args + operation.command(folders));
    if (cli.waitForStarted(int(std::chrono::milliseconds(StartLimit).count()))) {
        cli.closeWriteChannel();
        limit.start(ReportLimit);
        loop.exec();
        if (cli.exitStatus() == QProcess::NormalExit && !run.stopped)
            run.exitCode = cli.exitCode();
        run.errors = cli.readAllStandardError().toStdString();
    } else {
        run.reported = TClock::now();
        run.errors = "quorvel-cli did not start: " + cli.errorString().toStdString() + "\n";
    }

    // A handset that hung up ends by itself; one that was not cut is stopped. What it logged last is
    // taken either way.
    const int endMs = int(std::chrono::milliseconds(EndLimit).count());
    if (!handset.waitForFinished(log.Cut ? endMs : 0)) {
        handset.terminate();
        if (!handset.waitForFinished(endMs)) {
            handset.kill();
            handset.waitForFinished(endMs);
        }
    }
    log.Take(handset.readAllStandardError(), TClock::now());
    log.Take("\n", TClock::now());
    run.cut = log.Cut;
    run.frames = log.Frames;
    return run;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        std::fprintf(stderr, "hangup_bench: cannot write %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

int CountLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int lines = 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        lines += !line.trimmed().isEmpty();
    return lines;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(TClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The last line the program wrote on stderr: what it reported.
std::string LastLine(const std::string& text) {
    const QStringList lines = QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? std::string() : lines.back().toStdString();
}

struct TSummary {
    const char* name = "";
    int mails = 0;
    std::vector<double> seconds;
    int stopped = 0;
    int notCut = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int step = Step;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--quick") {
            step = QuickStep;
        } else {
            std::fprintf(stderr,
                         "usage: hangup_bench [--quick]\n  cuts every %dth mail, with --quick every %dth\n",
                         Step, QuickStep);
            return 2;
        }
    }

    QTemporaryDir inputs;
    QByteArray book;
    for (int i = 1; i <= Entries; ++i)
        book += QString("Entry %1,0301%2\r\n").arg(i, 3, 10, QChar('0')).arg(i, 4, 10, QChar('0')).toUtf8();
    QByteArray keys;
    for (int key = 0; key <= 10; ++key)
        keys += QString("%1,030%2\r\n")
                    .arg(key < 10 ? QString("Key_%1").arg(key) : QString("Key_Alarm"))
                    .arg(1234567 + 1111 * key)
                    .toUtf8();
    const QString bookFile = inputs.filePath("book.phb");
    const QString keysFile = inputs.filePath("keys.sdl");
    if (!inputs.isValid() || !WriteFile(bookFile, book) || !WriteFile(keysFile, keys))
        return 2;

    const TOperation save{"SIM save",
                          {},
                          [](const TFolders& f) {
                              return QStringList{"--yes", "sim", "save", f.File("backup.sim")};
                          },
                          {}};

    // A restore takes a file a save made, with the records that save left, into a handset without a SIM
    // (as the end-to-end tests do). Every run gets a copy of both, as a restore cut part-way leaves its
    // steps in the records and a restore that finished takes the file away.
    TFolders saved;
    if (!saved.Make()) {
        std::fprintf(stderr, "hangup_bench: no folder for the saved SIM\n");
        return 2;
    }
    const TRun saving = RunOnce(save, 0, saved);
    const QStringList simFiles = QDir(saved.root.path()).entryList({"*.sim"}, QDir::Files);
    if (saving.exitCode != 0 || simFiles.size() != 1) {
        std::fprintf(stderr, "hangup_bench: the SIM save for the restore failed (%d):\n%s", saving.exitCode,
                     saving.errors.c_str());
        return 2;
    }
    const QString simName = simFiles.front();
    const auto prepareRestore = [&](const TFolders& f) {
        for (const QString& name : QDir(saved.State()).entryList(QDir::Files))
            if (!QFile::copy(QDir(saved.State()).filePath(name), QDir(f.State()).filePath(name))) {
                std::fprintf(stderr, "hangup_bench: cannot copy the SIM records' %s\n", qPrintable(name));
                return false;
            }
        if (!QFile::copy(saved.File(simName), f.File(simName))) {
            std::fprintf(stderr, "hangup_bench: cannot copy %s\n", qPrintable(simName));
            return false;
        }
        return true;
    };

    const std::vector<TOperation> operations{
        {"phone book replace",
         {},
         [&](const TFolders&) {
             return QStringList{"--yes", "phonebook", "write", bookFile, "--replace"};
         },
         {}},
        {"speed dial write",
         {},
         [&](const TFolders&) {
             return QStringList{"--yes", "speed-dial", "write", keysFile};
         },
         {}},
        save,
        {"SIM restore",
         {"--serial", "none"},
         [&](const TFolders& f) {
             return QStringList{"--yes", "sim", "restore", f.File(simName)};
         },
         prepareRestore},
    };

    std::printf(
        "The line cut at every %dth mail against the virtual handset at %s baud; time from the cut to "
        "the program's report (target: at most %.1f s)\n",
        step, Baud, TargetSeconds);
    std::vector<TSummary> summaries;
    for (const TOperation& operation : operations) {
        TSummary summary;
        summary.name = operation.name;
        {
            TFolders whole;
            if (!whole.Make() || (operation.prepare && !operation.prepare(whole)))
                return 2;
            const QString record = whole.File("mails.jsonl");
            const TRun run = RunOnce(operation, 0, whole, record);
            const int recorded = CountLines(record);
            if (!run.handsetStarted || run.exitCode != 0 || run.frames <= 0) {
                std::fprintf(stderr, "hangup_bench: the %s without a cut failed (%d):\n%s", operation.name,
                             run.exitCode, run.errors.c_str());
                return 2;
            }
            if (recorded != run.frames)
                std::printf("note: the program recorded %d mails, the handset received %d frames\n", recorded,
                            run.frames);
            // --hangup-after counts the frames the handset received.
            summary.mails = run.frames;
            std::printf("%s: %d mails without a cut, %.3f s\n", operation.name, summary.mails,
                        Seconds(run.reported - run.started));
        }
        for (int cut = step; cut < summary.mails; cut += step) {
            TFolders folders;
            if (!folders.Make() || (operation.prepare && !operation.prepare(folders)))
                return 2;
            const TRun run = RunOnce(operation, cut, folders);
            if (!run.handsetStarted) {
                std::fprintf(stderr, "hangup_bench: a virtual handset did not start\n");
                return 2;
            }
            if (!run.cut || run.exitCode == 0) {
                ++summary.notCut;
                std::printf("  cut after mail %3d: not counted, %s (exit %d after %d mails): %s\n", cut,
                            run.cut ? "the program succeeded all the same" : "the cut was not reached",
                            run.exitCode, run.frames, LastLine(run.errors).c_str());
                continue;
            }
            // Both are stamped as the event loop wakes; when they come in one wake-up the order of the
            // two stamps is the loop's, not the line's.
            const double seconds = std::max(0.0, Seconds(run.reported - *run.cut));
            summary.seconds.push_back(seconds);
            summary.stopped += run.stopped;
            if (run.stopped)
                std::printf("  cut after mail %3d: no report, stopped %7.3f s after the cut\n", cut, seconds);
            else
                std::printf("  cut after mail %3d: exit %d %7.3f s after the cut: %s\n", cut, run.exitCode,
                            seconds, LastLine(run.errors).c_str());
            std::fflush(stdout);
        }
        summaries.push_back(std::move(summary));
    }

    std::printf("\n%-20s %6s %5s %10s %10s\n", "operation", "mails", "cuts", "median", "max");
    std::vector<double> all;
    int notCut = 0;
    int stopped = 0;
    for (const TSummary& summary : summaries) {
        notCut += summary.notCut;
        stopped += summary.stopped;
        all.insert(all.end(), summary.seconds.begin(), summary.seconds.end());
        if (summary.seconds.empty()) {
            std::printf("%-20s %6d %5d %10s %10s\n", summary.name, summary.mails, 0, "-", "-");
            continue;
        }
        std::printf("%-20s %6d %5zu %8.3f s %8.3f s\n", summary.name, summary.mails, summary.seconds.size(),
                    Median(summary.seconds),
                    *std::max_element(summary.seconds.begin(), summary.seconds.end()));
    }
    if (all.empty()) {
        std::fprintf(stderr, "hangup_bench: no run was cut\n");
        return 2;
    }
    const double max = *std::max_element(all.begin(), all.end());
    std::printf("%-20s %6s %5zu %8.3f s %8.3f s (target: at most %.1f s)\n", "all", "", all.size(),
                Median(all), max, TargetSeconds);
    if (notCut > 0)
        std::printf("%d runs not counted: the cut did not reach them or they succeeded\n", notCut);
    if (stopped > 0)
        std::printf("%d runs gave no report within %lld s and were stopped\n", stopped,
                    static_cast<long long>(ReportLimit.count()));
    return max <= TargetSeconds ? 0 : 1;
}
