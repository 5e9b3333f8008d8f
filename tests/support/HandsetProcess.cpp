#include "support/HandsetProcess.h"
#include "support/WaitFor.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

#include <cstdlib>
#include <optional>
#include <regex>

QString ProgramFolder() {
    if (const char* dir = std::getenv("QUORVEL_BUILT_PROGRAMS"); dir && *dir)
        return QString::fromLocal8Bit(dir);
    return QStringLiteral(QUORVEL_BUILT_PROGRAM_DIR);
}

THandsetProcess::THandsetProcess(const QStringList& options) {
    Start(options);
}

THandsetProcess::THandsetProcess(const QStringList& options, const QString& errorFile)
    : ErrorFile(errorFile) {
    Start(options);
}

THandsetProcess::THandsetProcess(const QStringList& options, const THandsetProcess& sharing)
    : SharedConfig(sharing.ConfigDir()) {
    Start(options);
}

void THandsetProcess::Start(const QStringList& options) {
    qputenv("QUORVEL_CONFIG_DIR", ConfigDir().toLocal8Bit());
    Process.setProgram(ProgramFolder() + "/quorvel-handset");
    Process.setArguments(options);
    Process.setProcessChannelMode(QProcess::SeparateChannels);
    if (!ErrorFile.isEmpty())
        Process.setStandardErrorFile(ErrorFile);
    Process.start();
    if (!Process.waitForStarted(5000))
        return;
    const QRegularExpression ready(R"(on (/dev/\S+) \(COM(\d+)\))");
    QByteArray seen;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && !seen.contains('\n')) {
        if (!Process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        seen += Process.readAllStandardOutput();
    }
    const QRegularExpressionMatch match = ready.match(QString::fromLocal8Bit(seen));
    if (match.hasMatch()) {
        Path = match.captured(1).toStdString();
        Com = match.captured(2).toInt();
    }
}

THandsetProcess::~THandsetProcess() {
    if (Process.state() != QProcess::NotRunning) {
        Process.terminate();
        if (!Process.waitForFinished(3000)) {
            Process.kill();
            Process.waitForFinished(3000);
        }
    }
}

void THandsetProcess::Kill() {
    Process.kill();
    Process.waitForFinished(3000);
}

int THandsetProcess::WaitForExit(int ms) {
    if (Process.state() != QProcess::NotRunning && !Process.waitForFinished(ms))
        return -1;
    return Process.exitCode();
}

int THandsetProcess::Stop() {
    if (Process.state() != QProcess::NotRunning) {
        Process.terminate();
        if (!Process.waitForFinished(3000))
            return -1;
    }
    return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
}

std::string THandsetProcess::Errors() {
    if (!ErrorFile.isEmpty()) {
        QFile file(ErrorFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
    ErrorText += Process.readAllStandardError().toStdString();
    return ErrorText;
}

THandsetProcess::TRun THandsetProcess::Cli(const QStringList& args, int timeoutMs) const {
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", ConfigDir());
    cli.setProcessEnvironment(env);
    cli.start(ProgramFolder() + "/quorvel-cli", args);
    TRun run;
    if (!cli.waitForStarted(5000))
        return run;
    cli.closeWriteChannel();
    if (!cli.waitForFinished(timeoutMs)) {
        cli.kill();
        cli.waitForFinished(3000);
        return run;
    }
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = cli.readAllStandardOutput().toStdString();
    run.err = cli.readAllStandardError().toStdString();
    return run;
}

namespace {

// The state file's lines, or nothing while it cannot be read.
std::optional<QList<QByteArray>> StateLines(const QString& state) {
    QFile file(state);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll().split('\n');
}

} // namespace

int StateMemoryByte(const QString& state, int address, int expected) {
    const QByteArray row =
        QByteArray("mem ") + QByteArray::number(address & ~0x1F, 16).rightJustified(4, '0').toUpper() + "=";
    int value = -1;
    WaitFor([&] {
        const auto lines = StateLines(state);
        if (!lines)
            return false;
        value = -1;
        for (const QByteArray& line : *lines)
            if (line.startsWith(row))
                value = line.mid(row.size() + 2 * (address & 0x1F), 2).toInt(nullptr, 16);
        // The handset leaves a row of FF bytes out of the file.
        return value == expected || (value == -1 && expected == 0xFF);
    });
    return value;
}

std::string StateLine(const QString& state, const std::string& key, const std::string& expected) {
    const QByteArray prefix = QByteArray::fromStdString(key + " ");
    std::string found;
    WaitFor([&] {
        const auto lines = StateLines(state);
        if (!lines)
            return false;
        found.clear();
        for (const QByteArray& line : *lines)
            if (line.startsWith(prefix))
                found = line.toStdString();
        return found == expected;
    });
    return found;
}

int ChangingFrames(const std::string& log) {
    static const std::regex frame(
        "received FF FF 4D (02 [0-9A-F]{2} 3B|0D [0-9A-F]{2} (05|06|07|21|22))[ \\n]");
    return int(std::distance(std::sregex_iterator(log.begin(), log.end(), frame), std::sregex_iterator()));
}
