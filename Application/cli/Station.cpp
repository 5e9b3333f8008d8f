#include "cli/Station.h"

#include "cli/HandsetReport.h"
#include "cli/JsonOutput.h"
#include "cli/StationClaim.h"
#include "cli/StationReport.h"
#include "platform/ChangeLog.h"
#include "platform/ChangeStore.h"
#include "platform/DeviceMap.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "platform/TextFile.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace {

// A port of the station, and the serial number its handset must have (empty for any).
struct TStationPort {
    int port = 0;
    std::string serial;
};

struct TStationRun {
    int port = 0;
    // The serial number the port's handset must have (--port @FILE); empty for any.
    std::string expected;
    // The serial number text the run named its handset by; empty when it named none.
    std::string serial;
    std::unique_ptr<QProcess> process;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

// The arguments without --port, --record and --report and their values, to be given again for each
// port.
QStringList ArgumentsWithoutPort(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" || arg == "-p" || arg == "--record" || arg == "--report") {
            ++i;
            continue;
        }
        if (arg.starts_with("--port=") || arg.starts_with("--record=") || arg.starts_with("--report="))
            continue;
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

// "calls.jsonl" for COM10: "calls-COM10.jsonl", so that every docking station has a file of its own (a
// recording, an output).
QString FileOfPort(const std::string& path, int port) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t at =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size() : dot;
    return QString::fromStdString(path.substr(0, at) + "-" + PortName(port) + path.substr(at));
}

// The arguments for one port: an output file ("-o x.phb") becomes that port's own ("x-COM12.phb"), so
// that no docking station's list is written over by another's.
QStringList ArgumentsOfPort(const QStringList& arguments, int port) {
    QStringList own;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if ((arg == "-o" || arg == "--output") && i + 1 < arguments.size() && arguments[i + 1] != "-") {
            own << arg << FileOfPort(arguments[++i].toStdString(), port);
        } else {
            own << arg;
        }
    }
    return own;
}

// The serial number the run's handset line gave, from its messages.
std::string NamedSerial(const QByteArray& err) {
    for (const QByteArray& line : err.split('\n')) {
        const std::string message = line.startsWith("quorvel-cli: ") ? line.mid(13).toStdString() : "";
        if (const std::optional<std::string> serial = SerialOfHandsetLine(message))
            return *serial;
    }
    return {};
}

// Runs the tool once per port, all at the same time; report is told of each as it ends.
std::vector<TStationRun> RunAll(const std::vector<TStationPort>& ports, const QStringList& arguments,
                                const std::function<void(const TStationRun&)>& report,
                                const std::optional<std::string>& record = std::nullopt) {
    std::vector<TStationRun> runs(ports.size());
    QEventLoop loop;
    size_t running = 0;
    for (size_t i = 0; i < ports.size(); ++i) {
        TStationRun& run = runs[i];
        run.port = ports[i].port;
        run.expected = ports[i].serial;
        run.process = std::make_unique<QProcess>();
        QProcess* process = run.process.get();
        QObject::connect(process, &QProcess::finished, &loop,
                         [&, process](int code, QProcess::ExitStatus how) {
                             run.exitCode = how == QProcess::NormalExit ? code : Exit::Failed;
                             run.out = process->readAllStandardOutput();
                             run.err = process->readAllStandardError();
                             run.serial = NamedSerial(run.err);
                             report(run);
                             if (--running == 0)
                                 loop.quit();
                         });
        QObject::connect(
            process, &QProcess::errorOccurred, &loop, [&, process](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                run.exitCode = Exit::Failed;
                run.err = "quorvel-cli: could not start " + process->program().toLocal8Bit() + "\n";
                report(run);
                if (--running == 0)
                    loop.quit();
            });
        ++running;
        QStringList own{"--port", QString::fromStdString(PortName(run.port))};
        if (!run.expected.empty())
            own << "--expect-serial" << QString::fromStdString(run.expected);
        if (record)
            own << "--record" << FileOfPort(*record, run.port);
        EndWithStation(*process, false);
        process->start(QCoreApplication::applicationFilePath(), own + ArgumentsOfPort(arguments, run.port));
    }
    if (running > 0)
        loop.exec();
    return runs;
}

// The last message a run gave, without the tool's name.
std::string LastMessage(const TStationRun& run) {
    const QList<QByteArray> lines = run.err.trimmed().split('\n');
    QByteArray last = lines.isEmpty() ? QByteArray() : lines.back();
    if (last.startsWith("quorvel-cli: "))
        last = last.mid(13);
    return last.toStdString();
}

std::vector<TStationPort> NamedPorts(const std::string& text) {
    std::vector<TStationPort> ports;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string name = text.substr(start, end - start);
        if (name.empty())
            throw TUsageError("--port: an empty port name in \"" + text + "\"");
        const int port = ResolvePort(name);
        for (const TStationPort& known : ports)
            if (known.port == port)
                throw TUsageError("--port: " + PortName(port) + " is named twice");
        ports.push_back({port, {}});
        start = end + 1;
    }
    return ports;
}

// Every port of the device map whose docking station answers a probe.
std::vector<TStationPort> AnsweringPorts() {
    std::vector<TStationPort> mapped;
    for (const auto& [port, device] : DeviceMap::PresentPorts())
        mapped.push_back({port, {}});
    std::vector<TStationPort> answering;
    for (const TStationRun& run : RunAll(mapped, {"probe"}, [](const TStationRun&) {}))
        if (run.exitCode == Exit::Done)
            answering.push_back({run.port, {}});
    if (answering.empty())
        throw TCommandFailure("No docking station answered a probe on the ports of the device map (" +
                              std::to_string(mapped.size()) +
                              " known).\r\"quorvel-cli ports\" lists the ports.");
    return answering;
}

// "--port @stations.csv": a line "port,serial" for each docking station ("COM10,00291 0284280"); blank
// lines and lines from "#" are passed over. Each handset must have the serial number of its line.
std::vector<TStationPort> PortsOfFile(const std::string& path) {
    std::string text;
    try {
        text = ReadFileBytes(path, 1 << 20);
    } catch (const EFileError& e) {
        throw TUsageError(std::string("--port @FILE: ") + e.what());
    }
    std::vector<TStationPort> ports;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        line.erase(0, line.find_first_not_of(' '));
        if (line.empty() || line[0] == '#')
            continue;
        const std::string where = path + " line " + std::to_string(number) + ": ";
        const size_t comma = line.find(',');
        if (comma == std::string::npos)
            throw TUsageError(where + "\"" + line + "\" is not \"port,serial number\"");
        std::string name = line.substr(0, comma);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        const std::optional<std::string> serial = SerialNumberArgument(line.substr(comma + 1));
        if (!serial)
            throw TUsageError(where + "\"" + line.substr(comma + 1) +
                              "\" is no serial number (five and seven digits, as \"00291 0284280\")");
        int port = 0;
        try {
            port = ResolvePort(name);
        } catch (const TUsageError& e) {
            throw TUsageError(where + e.what());
        }
        for (const TStationPort& known : ports)
            if (known.port == port)
                throw TUsageError(where + PortName(port) + " is named twice");
        ports.push_back({port, *serial});
    }
    if (ports.empty())
        throw TUsageError("--port @FILE: " + path + " names no port");
    return ports;
}

// A list read on a station goes to a file of each docking station's own, or into the JSON document:
// the lists of several handsets on one stdout, between the result lines, would be of no use.
void RefuseListTextOnStdout(const TGlobalOptions& options, const TForm& form) {
    if (options.json)
        return;
    bool reads = false;
    for (const TOption& option : form.options)
        reads = reads || option.name == "-o";
    if (!reads)
        return;
    for (size_t i = 0; i + 1 < options.args.size(); ++i)
        if ((options.args[i] == "-o" || options.args[i] == "--output") && options.args[i + 1] != "-")
            return;
    throw TUsageError("on a station every handset's list goes to a file of its own: give -o FILE (one file "
                      "a port, FILE with \"-COMn\" before its extension), or --json for one document");
}

bool ConfirmOnce(const std::string& what, const std::vector<TStationPort>& ports) {
    std::string names;
    for (const TStationPort& port : ports)
        names += (names.empty() ? "" : ", ") + PortName(port.port);
    const std::string question =
        "Run \"" + what + "\" on the handsets at " + names + "? It changes what they hold.";
    if (!isatty(STDIN_FILENO)) {
        PrintMessage(question + "\rRefused: no terminal to confirm at; give --yes to go ahead.");
        return false;
    }
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::string reply;
    std::getline(std::cin, reply);
    return !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y');
}

void PrintTable(const std::vector<TStationRun>& runs) {
    std::printf("\n%-8s %-14s %-7s %-5s %s\n", "port", "handset", "result", "exit", "message");
    for (const TStationRun& run : runs)
        std::printf("%-8s %-14s %-7s %-5d %s\n", PortName(run.port).c_str(),
                    run.serial.empty() ? "-" : run.serial.c_str(), run.exitCode == 0 ? "done" : "failed",
                    run.exitCode, run.exitCode == 0 ? "" : LastMessage(run).c_str());
}

void PrintJsonResult(const std::vector<TStationRun>& runs) {
    QJsonArray results;
    for (const TStationRun& run : runs) {
        QJsonObject result{{"port", JsonText(PortName(run.port))},
                           {"serial", run.serial.empty() ? QJsonValue() : QJsonValue(JsonText(run.serial))},
                           {"exitCode", run.exitCode},
                           {"ok", run.exitCode == 0}};
        const QJsonDocument output = QJsonDocument::fromJson(run.out);
        if (output.isObject())
            result["output"] = output.object();
        QJsonArray messages;
        for (const QByteArray& line : run.err.trimmed().split('\n'))
            if (!line.isEmpty())
                messages.append(
                    JsonPath((line.startsWith("quorvel-cli: ") ? line.mid(13) : line).toStdString()));
        result["messages"] = messages;
        results.append(result);
    }
    AddJson({{"ports", results}});
}

// Takes each port for this station; a port another station holds is said so and left out.
std::vector<TStationClaim> ClaimPorts(std::vector<TStationPort>& ports, const std::string& what,
                                      std::vector<TStationReportRow>& refused) {
    std::vector<TStationClaim> claims;
    std::vector<TStationPort> free;
    for (const TStationPort& port : ports) {
        const std::optional<std::string> device = DeviceMap::DeviceOf(port.port);
        std::string holder;
        std::optional<TStationClaim> claim =
            device ? TStationClaim::Take(*device, what, holder) : std::optional<TStationClaim>();
        if (!device) {
            free.push_back(port);
            continue;
        }
        if (!claim) {
            const std::string text = "provisioned by another station (" + holder + "); left alone.";
            std::printf("%s: %s\n", PortName(port.port).c_str(), text.c_str());
            refused.push_back(
                {ChangeAuthorNow().Time, PortName(port.port), port.serial, "refused", Exit::WrongCall, text});
            continue;
        }
        claims.push_back(std::move(*claim));
        free.push_back(port);
    }
    ports = free;
    std::fflush(stdout);
    return claims;
}

} // namespace

bool IsStation(const TGlobalOptions& options) {
    return options.port && (*options.port == "all" || options.port->find(',') != std::string::npos ||
                            options.port->starts_with('@'));
}

int RunStation(const TGlobalOptions& options, const TForm& form, int argc, char** argv) {
    std::vector<TStationPort> ports = *options.port == "all"           ? AnsweringPorts()
                                      : options.port->starts_with('@') ? PortsOfFile(options.port->substr(1))
                                                                       : NamedPorts(*options.port);
    RefuseListTextOnStdout(options, form);
    if (options.report)
        CheckReportTarget(*options.report);
    QStringList arguments = ArgumentsWithoutPort(argc, argv);
    std::string what = options.command;
    for (const std::string& arg : options.args)
        what += " " + arg;
    if (form.changesHandset && !options.yes && !options.dryRun) {
        if (!ConfirmOnce(what, ports))
            return isatty(STDIN_FILENO) ? Exit::Declined : Exit::NotConfirmed;
        arguments.prepend("--yes");
    }
    std::vector<TStationReportRow> rows;
    const std::vector<TStationClaim> claims = ClaimPorts(ports, "quorvel-cli " + what, rows);
    const TStationStart started{ChangeAuthorNow().Time, StationLogEnd()};
    const std::vector<TStationRun> runs = RunAll(
        ports, arguments,
        [&options, &rows](const TStationRun& run) {
            const std::string port = PortName(run.port);
            // Under --json, stdout carries only the one document at the end.
            FILE* out = options.json ? stderr : stdout;
            if (!options.json)
                for (const QByteArray& line : run.out.split('\n'))
                    if (!line.isEmpty())
                        std::fprintf(out, "%s: %s\n", port.c_str(), line.constData());
            for (const QByteArray& line : run.err.split('\n'))
                if (!line.isEmpty())
                    std::fprintf(stderr, "%s: %s\n", port.c_str(),
                                 (line.startsWith("quorvel-cli: ") ? line.mid(13) : line).constData());
            const std::string handset = run.serial.empty() ? "" : " (" + run.serial + ")";
            if (run.exitCode == 0)
                std::fprintf(out, "%s: done%s\n", port.c_str(), handset.c_str());
            else
                std::fprintf(out, "%s: failed, exit status %d%s\n", port.c_str(), run.exitCode,
                             handset.c_str());
            std::fflush(out);
            rows.push_back({ChangeAuthorNow().Time, port, run.serial, StationOutcome(run.exitCode),
                            run.exitCode, run.exitCode == 0 ? std::string() : LastMessage(run)});
        },
        options.record);
    bool ok = true;
    int common = -1;
    for (const TStationReportRow& row : rows) {
        ok = ok && row.ExitStatus == 0;
        if (row.ExitStatus != 0)
            common = common == -1 || common == row.ExitStatus ? row.ExitStatus : Exit::Failed;
    }
    if (options.json)
        PrintJsonResult(runs);
    else
        PrintTable(runs);
    if (options.report)
        WriteStationReport(*options.report, started, rows);
    return ok ? Exit::Done : common;
}
