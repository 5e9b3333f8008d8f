#include "cli/StationWatch.h"

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "core/ProvisionTemplate.h"
#include "link/StopRequest.h"
#include "link/TpaProComImpl.h"
#include "platform/DeviceMap.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

constexpr const char* Usage = "usage: quorvel-cli station watch TEMPLATE [--only-listed] [--every SECONDS]";

struct TArgs {
    std::string folder;
    bool onlyListed = false;
    int everyMs = 2000;
};

TArgs ParseArgs(const std::vector<std::string>& args) {
    TArgs parsed;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--only-listed") {
            parsed.onlyListed = true;
        } else if (args[i] == "--every" && i + 1 < args.size()) {
            const std::string& value = args[++i];
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || seconds < 0.2 || seconds > 600)
                throw TUsageError("--every takes the seconds between probes of an idle port, 0.2 to 600");
            parsed.everyMs = int(seconds * 1000);
        } else if (parsed.folder.empty() && !args[i].empty() && args[i][0] != '-') {
            parsed.folder = args[i];
        } else {
            throw TUsageError(Usage);
        }
    }
    if (parsed.folder.empty())
        throw TUsageError(Usage);
    return parsed;
}

// What the watch knows of one port.
struct TPortState {
    // A probe or a provisioning runs on it now.
    std::unique_ptr<QProcess> child;
    bool provisioning = false;
    // The handset found there and dealt with; it is not provisioned again until it leaves the docking
    // station (a probe without answer) or another handset answers.
    std::optional<std::string> handset;
    // The last thing said of the port, so that a port that stays busy or silent is told of once.
    std::string told;
};

// A handset done, for the table at the end.
struct TDone {
    int port;
    std::string serial;
    bool ok;
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
        for (const TDone& done : Done)
            if (!done.ok)
                return Exit::Failed;
        return Exit::Done;
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
        // A docking station unplugged takes its handset with it.
        for (auto& [port, state] : Ports)
            if (!present.count(port) && !state.child && state.handset) {
                Say(port, "left", *state.handset,
                    "the docking station with handset " + *state.handset + " went away.");
                state.handset.reset();
            }
        for (const auto& [port, device] : present) {
            if (!Options.port.has_value() || Watched(port)) {
                TPortState& state = Ports[port];
                if (!state.child && now >= NextProbe[port]) {
                    NextProbe[port] = now + Args.everyMs;
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
        // finish instead of cutting it off.
        process->setChildProcessModifier([] { setpgid(0, 0); });
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
        state.provisioning = true;
        state.child = Start(port, arguments);
        QProcess* child = state.child.get();
        QObject::connect(child, &QProcess::finished, &Loop,
                         [this, port, child, serial](int code, QProcess::ExitStatus how) {
                             TPortState& state = Ports[port];
                             for (const QByteArray& line : child->readAllStandardOutput().split('\n'))
                                 if (!line.isEmpty())
                                     Say(port, "message", serial, line.toStdString());
                             for (const QByteArray& line : child->readAllStandardError().split('\n'))
                                 if (line.startsWith("quorvel-cli: ") && !line.contains("Handset "))
                                     Say(port, "message", serial, line.mid(13).toStdString());
                             const bool ok = how == QProcess::NormalExit && code == Exit::Done;
                             Done.push_back({port, serial, ok});
                             Say(port, ok ? "done" : "failed", serial,
                                 ok ? "done (" + serial + "); the next handset may be docked."
                                    : "failed (" + serial + "), exit status " + std::to_string(code) +
                                          "; take the handset out and dock it again to try again.");
                             child->deleteLater();
                             state.child.release();
                             state.provisioning = false;
                             // Looked at again at once, so that a handset swapped meanwhile is not missed.
                             NextProbe[port] = Clock.elapsed() + Args.everyMs;
                         });
    }

    void PrintTable() const {
        if (JsonLines) {
            Say(0, "summary", {}, Counted(long(Done.size()), "handset", "handsets") + " provisioned.");
            return;
        }
        std::printf("\nport     handset        result\n");
        for (const TDone& done : Done)
            std::printf("%-8s %-14s %s\n", PortName(done.port).c_str(), done.serial.c_str(),
                        done.ok ? "done" : "failed");
        std::printf("%zu handsets provisioned.\n", Done.size());
        std::fflush(stdout);
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
};

} // namespace

int WatchStation(const TGlobalOptions& options, const std::vector<std::string>& args) {
    TArgs parsed = ParseArgs(args);
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
