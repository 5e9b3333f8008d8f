#pragma once

#include "support/HandsetProcess.h"

#include <QProcess>
#include <QStringList>

#include <string>

// A "station watch" running beside the test, with the device map of a handset's per-user folder; what it
// prints is gathered as it comes.
class TWatchProcess {
public:
    TWatchProcess(const THandsetProcess& sharing, const QStringList& arguments);
    ~TWatchProcess();

    // Waits until the output holds text; the milliseconds it took, or -1 at the deadline.
    qint64 WaitFor(const std::string& text, int ms = 30000);
    // Ends it as Ctrl-C does; its exit code, or -1.
    int Interrupt();
    // Ends it at once, as a kill does; nothing of it is left to end its programs.
    void Kill();

    QProcess Process;
    std::string Output;
};
