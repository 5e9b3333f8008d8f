#include "cli/StationWatch.h"

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "cli/StationClaim.h"
#include "cli/StationReport.h"
#include "core/ProvisionTemplate.h"
#include "link/StopRequest.h"
#include "link/TpaProComImpl.h"
#include "platform/ChangeLog.h"
#include "platform/ChangeStore.h"
#include "platform/DeviceMap.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace {

struct TArgs {
    std::string folder;
    bool onlyListed = false;
    bool skipMissing = false;
    int everyMs = 2000;
};

TArgs ParseArgs(const TFormArgs& form) {
    TArgs parsed;
    parsed.onlyListed = form.Has("--only-listed");
    parsed.skipMissing = form.Has("--skip-missing-lists");
    if (const std::optional<std::string> every = form.Value("--every")) {
        char* end = nullptr;
        const double seconds = std::strtod(every->c_str(), &end);
        if (every->empty() || *end != '\0' || seconds < 0.2 || seconds > 600)
            throw TUsageError("--every takes the seconds between probes of an idle port, 0.2 to 600");
        parsed.everyMs = int(seconds * 1000);
    }
    parsed.folder = form.Operand("TEMPLATE");
    return parsed;
}

// What the watch knows of one port.
struct TPortState {
    // A probe or a provisioning runs on it now.
    std::unique_ptr<QProcess> child;
    bool provisioning = false;
    // The provisioning under way has written something (not only verified), and what it said last.
    bool provisioned = false;
    std::string lastMessage;
    // The handset found there and dealt with; it is not provisioned again until it leaves the docking
    // station (a probe without answer) or another handset answers.
    std::optional<std::string> handset;
    // The last thing said of the port, so that a port that stays busy or silent is told of once.
    std::string told;
    // This watch's hold on the port's device (claimed): no other station provisions it meanwhile.
    std::optional<TStationClaim> claim;
    std::string claimed;
    // What a provisioning has said so far of a line not yet ended.
    QByteArray partOut;
    QByteArray partErr;
};

// A handset dealt with, for the table and the report at the end: its last outcome.
struct TDone {
    int port;
    std::string serial;
    // "provisioned", "verified" (it held the template already), "refused", "failed", "stopped".
    std::string outcome;
    int exitStatus;
    std::string message;
    std::string time;
};

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

// What the watch tells: a line "COM12: text", or under --json one JSON object per line, {"port",
// "event", "serial", "text"}, for a program that shows the station (the window's station view).
bool JsonLines = false;

void Say(int port, const char* event, const std::string& serial, const std::string& text) {
    if (JsonLines) {
        QJsonObject line{{"event", event}, {"text", JsonText(text)}};
        if (port > 0)
            line["port"] = QString::fromStdString(PortName(port));
        if (!serial.empty())
            line["serial"] = JsonText(serial);
        std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    } else if (port > 0) {
        std::printf("%s: %s\n", PortName(port).c_str(), text.c_str());
    } else {
        std::printf("%s\n", text.c_str());
    }
    std::fflush(stdout);
}

class TWatch {
public:
    TWatch(const TGlobalOptions& options, TArgs args)
        : Options(options)
        , Args(std::move(args)) {}

    int Run() {
        Say(0, "watching", {},
            "Watching the docking stations for handsets to give the template " + Args.folder +
                (JsonLines ? "." : " (Ctrl-C ends)."));
        QTimer tick;
        tick.setInterval(250);
        QObject::connect(&tick, &QTimer::timeout, &Loop, [this] { Tick(); });
        tick.start();
        Tick();
        Loop.exec();
        PrintTable();
        if (Options.report)
            WriteStationReport(*Options.report, Started, Done);
        // Ctrl-C is how a watch ends: its status tells of the handsets, not of the stop.
        ClearStopRequest();
        bool cut = false;
        bool failed = false;
        for (const TDone& done : Done) {
            cut = cut || done.outcome == "stopped";
            failed = failed || done.outcome == "failed" || done.outcome == "refused";
        }
        return cut ? Exit::Stopped : failed ? Exit::Failed : Exit::Done;
    }

private:
    void Tick() {
        if (StopRequested()) {
            if (!Stopping) {
                Stopping = true;
                Say(0, "stopping", {}, "Stopping: the provisioning under way finishes first.");
            }
            // Probes are of no use any more; provisions end on their own.
            for (auto& [port, state] : Ports)
                if (state.child && !state.provisioning)
                    state.child->kill();
            if (Running() == 0)
                Loop.quit();
            return;
        }
        const qint64 now = Clock.elapsed();
        const std::map<int, std::string> present = DeviceMap::PresentPorts();
        // A docking station unplugged takes its handset with it, and lets go of its device: the system
        // may give the device's name to the next one plugged in, under another port.
        for (auto& [port, state] : Ports) {
            const auto seen = present.find(port);
            if (state.child || (seen != present.end() && seen->second == state.claimed))
                continue;
            // Another device under the port's number is another docking station.
            const bool gone = !state.claimed.empty() || seen == present.end();
            state.claim.reset();
            state.claimed.clear();
            if (gone && state.handset) {
                Say(port, "left", *state.handset,
                    "the docking station with handset " + *state.handset + " went away.");
                state.handset.reset();
            }
        }
        for (const auto& [port, device] : present) {
            if (!Options.port.has_value() || Watched(port)) {
                TPortState& state = Ports[port];
                if (!state.child && now >= NextProbe[port]) {
                    NextProbe[port] = now + Args.everyMs;
                    if (!state.claim) {
                        std::string holder;
                        state.claim =
                            TStationClaim::Take(device, "quorvel-cli station watch " + Args.folder, holder);
                        if (state.claim)
                            state.claimed = device;
                        if (!state.claim) {
                            if (state.told != "station")
                                Say(port, "busy", {},
                                    "provisioned by another station (" + holder + "); left alone.");
                            state.told = "station";
                            continue;
                        }
                    }
                    // A port another program holds is not even opened: a probe would disturb it.
                    if (const std::string holder = OtherHolder(device); !holder.empty()) {
                        if (state.told != "busy")
                            Say(port, "busy", {}, "in use by " + holder + "; left alone.");
                        state.told = "busy";
                        continue;
                    }
                    Probe(port);
                }
            }
        }
    }

    // --port A,B limits the watch to those ports.
    bool Watched(int port) const {
        const std::string list = "," + *Options.port + ",";
        return list.find("," + PortName(port) + ",") != std::string::npos ||
               list.find("," + std::to_string(port) + ",") != std::string::npos;
    }

    int Running() const {
        int running = 0;
        for (const auto& [port, state] : Ports)
            running += state.child != nullptr;
        return running;
    }

    std::unique_ptr<QProcess> Start(int port, const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        // A process group of its own: the person's Ctrl-C reaches the watch, which lets a provisioning
        // finish instead of cutting it off. A watch that is killed takes its programs with it.
        EndWithStation(*process, true);
        process->start(QCoreApplication::applicationFilePath(),
                       QStringList{"--port", QString::fromStdString(PortName(port))} + arguments);
        return process;
    }

    void Probe(int port) {
        TPortState& state = Ports[port];
        state.child = Start(port, {"--json", "info"});
        QProcess* child = state.child.get();
        QObject::connect(child, &QProcess::finished, &Loop,
                         [this, port, child](int code, QProcess::ExitStatus) {
                             TPortState& state = Ports[port];
                             const QByteArray out = child->readAllStandardOutput();
                             const QByteArray err = child->readAllStandardError();
                             child->deleteLater();
                             state.child.release();
                             Probed(port, code, out, err);
                         });
    }

    void Probed(int port, int code, const QByteArray& out, const QByteArray& err) {
        // A probe cut off by the stop tells nothing of the handset.
        if (Stopping)
            return;
        TPortState& state = Ports[port];
        if (code != Exit::Done) {
            if (state.handset) {
                // The docking station itself may have gone while the probe ran: the probe lost its line,
                // or the port has left the device map since.
                if (err.contains("went away") || !DeviceMap::PresentPorts().count(port))
                    Say(port, "left", *state.handset,
                        "the docking station with handset " + *state.handset + " went away.");
                else
                    Say(port, "left", *state.handset, "handset " + *state.handset + " was taken out.");
                state.handset.reset();
            }
            // A port another program holds, or a docking station without handset: said once.
            const std::string why = err.contains("busy") || err.contains("in use") ? "busy" : "no handset";
            if (state.told != why && why == "busy")
                Say(port, "busy", {}, "in use by another program; left alone.");
            state.told = why;
            return;
        }
        state.told.clear();
        const QJsonObject facts = QJsonDocument::fromJson(out).object();
        const std::string serial = facts["serial"].toString().toStdString();
        if (state.handset == serial)
            return;
        state.handset = serial;
        Say(port, "docked", serial,
            "handset " + (serial.empty() ? std::string("without SIM") : serial) +
                " docked; provisioning it.");
        QStringList arguments{"--yes", "provision", QString::fromStdString(Args.folder)};
        if (Args.onlyListed)
            arguments << "--only-listed";
        if (Args.skipMissing)
            arguments << "--skip-missing-lists";
        state.provisioning = true;
        state.child = Start(port, arguments);
        QProcess* child = state.child.get();
        QObject::connect(child, &QProcess::readyReadStandardOutput, &Loop, [this, port, child, serial] {
            Tell(port, serial, child->readAllStandardOutput(), false);
        });
        QObject::connect(child, &QProcess::readyReadStandardError, &Loop, [this, port, child, serial] {
            Tell(port, serial, child->readAllStandardError(), true);
        });
        QObject::connect(child, &QProcess::finished, &Loop,
                         [this, port, child, serial](int code, QProcess::ExitStatus how) {
                             TPortState& state = Ports[port];
                             Tell(port, serial, child->readAllStandardOutput() + "\n", false);
                             Tell(port, serial, child->readAllStandardError() + "\n", true);
                             const int status = how == QProcess::NormalExit ? code : Exit::Failed;
                             const std::string outcome = status != Exit::Done ? StationOutcome(status)
                                                         : state.provisioned  ? "provisioned"
                                                                              : "verified";
                             Finished(port, serial, outcome, status, state.lastMessage);
                             child->deleteLater();
                             state.child.release();
                             state.provisioning = false;
                             // Looked at again at once, so that a handset swapped meanwhile is not missed.
                             NextProbe[port] = Clock.elapsed() + Args.everyMs;
                         });
    }

    // The lines a provisioning has said so far, passed on as they come: its result lines (stdout) and its
    // messages (stderr) but the handset line, which the watch has said already.
    void Tell(int port, const std::string& serial, const QByteArray& bytes, bool messages) {
        TPortState& state = Ports[port];
        QByteArray& part = messages ? state.partErr : state.partOut;
        part += bytes;
        qsizetype end = 0;
        while ((end = part.indexOf('\n')) >= 0) {
            QByteArray line = part.first(end);
            part.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            if (messages) {
                if (!line.startsWith("quorvel-cli: ") || line.contains("Handset "))
                    continue;
                line = line.mid(13);
            } else {
                state.provisioned = state.provisioned || line.contains("written and verified");
            }
            state.lastMessage = line.toStdString();
            Say(port, "message", serial, state.lastMessage);
        }
    }

    void Finished(int port, const std::string& serial, const std::string& outcome, int status,
                  const std::string& message) {
        const bool ok = outcome == "provisioned" || outcome == "verified";
        Say(port, ok ? "done" : "failed", serial,
            ok ? (outcome == "provisioned" ? "provisioned (" : "held the template already, verified (") +
                     serial + "); the next handset may be docked."
               : outcome + " (" + serial + "), exit status " + std::to_string(status) +
                     "; take the handset out and dock it again to try again.");
        TPortState& state = Ports[port];
        state.provisioned = false;
        state.lastMessage.clear();
        // One row a handset: its latest outcome, though a handset provisioned stays so when a later
        // docking only verifies it.
        const auto same = std::find_if(Done.begin(), Done.end(), [&](const TDone& done) {
            return !serial.empty() && done.serial == serial;
        });
        TDone done{port, serial, outcome, status, ok ? std::string() : message, ChangeAuthorNow().Time};
        if (same == Done.end())
            Done.push_back(done);
        else if (!(same->outcome == "provisioned" && outcome == "verified"))
            *same = done;
    }

    // The handsets by their outcome: "6 handsets: 4 provisioned, 1 only verified, 1 failed."
    std::string Summary() const {
        std::string text;
        for (const char* outcome : {"provisioned", "verified", "refused", "failed", "stopped"}) {
            const auto n = std::count_if(Done.begin(), Done.end(),
                                         [&](const TDone& done) { return done.outcome == outcome; });
            if (n > 0)
                text += (text.empty() ? ": " : ", ") + std::to_string(n) + " " +
                        (std::string_view(outcome) == "verified" ? "only verified" : outcome);
        }
        return Counted(long(Done.size()), "handset", "handsets") +
               (text.empty() ? " provisioned." : text + ".");
    }

    void PrintTable() const {
        if (JsonLines) {
            Say(0, "summary", {}, Summary());
            return;
        }
        std::printf("\nport     handset        result\n");
        for (const TDone& done : Done)
            std::printf("%-8s %-14s %s\n", PortName(done.port).c_str(), done.serial.c_str(),
                        done.outcome.c_str());
        std::printf("%s\n", Summary().c_str());
        std::fflush(stdout);
    }

    void WriteStationReport(const std::string& path, const TStationStart& since,
                            const std::vector<TDone>& done) const {
        std::vector<TStationReportRow> rows;
        for (const TDone& handset : done)
            rows.push_back({handset.time, PortName(handset.port), handset.serial, handset.outcome,
                            handset.exitStatus, handset.message});
        ::WriteStationReport(path, since, rows);
    }

    const TGlobalOptions& Options;
    const TArgs Args;
    QEventLoop Loop;
    QElapsedTimer Clock = [] {
        QElapsedTimer clock;
        clock.start();
        return clock;
    }();
    std::map<int, TPortState> Ports;
    std::map<int, qint64> NextProbe;
    std::vector<TDone> Done;
    bool Stopping = false;
    const TStationStart Started{ChangeAuthorNow().Time, StationLogEnd()};
};

} // namespace

int WatchStation(const TGlobalOptions& options) {
    TArgs parsed = ParseArgs(options.form);
    if (options.report)
        CheckReportTarget(*options.report);
    // The template is checked whole before the first handset is looked at.
    try {
        const TProvisionTemplate templ = TProvisionTemplate::Load(parsed.folder);
        const std::vector<TTemplateProblem> problems = templ.Check();
        for (const TTemplateProblem& problem : problems)
            PrintMessage(TemplateProblemText(problem));
        if (!problems.empty())
            throw TInputError(parsed.folder + ": " + Counted(long(problems.size()), "problem", "problems") +
                              " in the template (quorvel-cli template check " + parsed.folder +
                              "); no handset was touched.");
    } catch (const ETemplateError& e) {
        throw TInputError(e.what());
    }
    if (!options.yes) {
        // Every handset docked from now on is written without a further question.
        if (!isatty(STDIN_FILENO)) {
            PrintMessage(
                "station watch writes every handset docked while it runs, and there is no terminal to "
                "ask: give --yes. Nothing was done.");
            return Exit::NotConfirmed;
        }
        std::fprintf(stderr, "Every handset docked while this runs gets the template %s. Go on? [y/N] ",
                     parsed.folder.c_str());
        char answer[16] = {};
        if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y'))
            return Exit::Declined;
    }
    JsonLines = options.json;
    TWatch watch(options, std::move(parsed));
    return watch.Run();
}
