#include "cli/Station.h"

#include "cli/JsonOutput.h"
#include "platform/DeviceMap.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QProcess>

#include <cstdio>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

struct TStationRun {
    int port = 0;
    std::unique_ptr<QProcess> process;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

// The arguments without --port and --record and their values, to be given again for each port.
QStringList ArgumentsWithoutPort(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" || arg == "-p" || arg == "--record") {
            ++i;
            continue;
        }
        if (arg.starts_with("--port=") || arg.starts_with("--record="))
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

// Runs the tool once per port, all at the same time; report is told of each as it ends.
std::vector<TStationRun> RunAll(const std::vector<int>& ports, const QStringList& arguments,
                                const std::function<void(const TStationRun&)>& report,
                                const std::optional<std::string>& record = std::nullopt) {
    std::vector<TStationRun> runs(ports.size());
    QEventLoop loop;
    size_t running = 0;
    for (size_t i = 0; i < ports.size(); ++i) {
        TStationRun& run = runs[i];
        run.port = ports[i];
        run.process = std::make_unique<QProcess>();
        QProcess* process = run.process.get();
        QObject::connect(process, &QProcess::finished, &loop,
                         [&, process](int code, QProcess::ExitStatus how) {
                             run.exitCode = how == QProcess::NormalExit ? code : Exit::Failed;
                             run.out = process->readAllStandardOutput();
                             run.err = process->readAllStandardError();
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
        if (record)
            own << "--record" << FileOfPort(*record, run.port);
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

std::vector<int> NamedPorts(const std::string& text) {
    std::vector<int> ports;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string name = text.substr(start, end - start);
        if (name.empty())
            throw TUsageError("--port: an empty port name in \"" + text + "\"");
        const int port = ResolvePort(name);
        for (const int known : ports)
            if (known == port)
                throw TUsageError("--port: " + PortName(port) + " is named twice");
        ports.push_back(port);
        start = end + 1;
    }
    return ports;
}

// Every port of the device map whose docking station answers a probe.
std::vector<int> AnsweringPorts() {
    std::vector<int> mapped;
    for (const auto& [port, device] : DeviceMap::PresentPorts())
        mapped.push_back(port);
    std::vector<int> answering;
    for (const TStationRun& run : RunAll(mapped, {"probe"}, [](const TStationRun&) {}))
        if (run.exitCode == Exit::Done)
            answering.push_back(run.port);
    if (answering.empty())
        throw TCommandFailure("No docking station answered a probe on the ports of the device map (" +
                              std::to_string(mapped.size()) +
                              " known).\r\"quorvel-cli ports\" lists the ports.");
    return answering;
}

bool ConfirmOnce(const std::string& what, const std::vector<int>& ports) {
    std::string names;
    for (const int port : ports)
        names += (names.empty() ? "" : ", ") + PortName(port);
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
    std::printf("\n%-8s %-7s %-5s %s\n", "port", "result", "exit", "message");
    for (const TStationRun& run : runs)
        std::printf("%-8s %-7s %-5d %s\n", PortName(run.port).c_str(), run.exitCode == 0 ? "done" : "failed",
                    run.exitCode, run.exitCode == 0 ? "" : LastMessage(run).c_str());
}

void PrintJsonResult(const std::vector<TStationRun>& runs, bool ok) {
    QJsonArray results;
    for (const TStationRun& run : runs) {
        QJsonObject result{
            {"port", JsonText(PortName(run.port))}, {"exitCode", run.exitCode}, {"ok", run.exitCode == 0}};
        const QJsonDocument output = QJsonDocument::fromJson(run.out);
        if (output.isObject())
            result["output"] = output.object();
        QJsonArray messages;
        for (const QByteArray& line : run.err.trimmed().split('\n'))
            if (!line.isEmpty())
                messages.append(
                    QString::fromLocal8Bit(line.startsWith("quorvel-cli: ") ? line.mid(13) : line));
        result["messages"] = messages;
        results.append(result);
    }
    PrintJson({{"ok", ok}, {"ports", results}});
}

} // namespace

bool IsStation(const TGlobalOptions& options) {
    return options.port && (*options.port == "all" || options.port->find(',') != std::string::npos);
}

int RunStation(const TGlobalOptions& options, const TForm& form, int argc, char** argv) {
    const std::vector<int> ports = *options.port == "all" ? AnsweringPorts() : NamedPorts(*options.port);
    QStringList arguments = ArgumentsWithoutPort(argc, argv);
    if (form.changesHandset && !options.yes) {
        std::string what = options.command;
        for (const std::string& arg : options.args)
            what += " " + arg;
        if (!ConfirmOnce(what, ports))
            return isatty(STDIN_FILENO) ? Exit::Declined : Exit::NotConfirmed;
        arguments.prepend("--yes");
    }
    const std::vector<TStationRun> runs = RunAll(
        ports, arguments,
        [&options](const TStationRun& run) {
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
            if (run.exitCode == 0)
                std::fprintf(out, "%s: done\n", port.c_str());
            else
                std::fprintf(out, "%s: failed, exit status %d\n", port.c_str(), run.exitCode);
            std::fflush(out);
        },
        options.record);
    bool ok = true;
    int common = -1;
    for (const TStationRun& run : runs) {
        ok = ok && run.exitCode == 0;
        if (run.exitCode != 0)
            common = common == -1 || common == run.exitCode ? run.exitCode : Exit::Failed;
    }
    if (options.json)
        PrintJsonResult(runs, ok);
    else
        PrintTable(runs);
    return ok ? Exit::Done : common;
}
