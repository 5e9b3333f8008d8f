#include "support/WatchProcess.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>

#include <csignal>

TWatchProcess::TWatchProcess(const THandsetProcess& sharing, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", sharing.ConfigDir());
    Process.setProcessEnvironment(env);
    Process.start(ProgramFolder() + "/quorvel-cli", arguments);
}

TWatchProcess::~TWatchProcess() {
    Process.kill();
    Process.waitForFinished(3000);
}

qint64 TWatchProcess::WaitFor(const std::string& text, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (Output.find(text) == std::string::npos) {
        if (clock.elapsed() > ms)
            return -1;
        Process.waitForReadyRead(100);
        Output += Process.readAllStandardOutput().toStdString();
    }
    return clock.elapsed();
}

int TWatchProcess::Interrupt() {
    kill(pid_t(Process.processId()), SIGINT);
    if (!Process.waitForFinished(30000))
        return -1;
    Output += Process.readAllStandardOutput().toStdString();
    return Process.exitCode();
}

void TWatchProcess::Kill() {
    kill(pid_t(Process.processId()), SIGKILL);
    Process.waitForFinished(3000);
}
