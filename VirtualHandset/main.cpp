#include "Handset.h"
#include "HandsetLine.h"
#include "HandsetOptions.h"
#include "HandsetState.h"
#include "PortRegistration.h"
#include "PseudoTerminal.h"
#include "Replay.h"
#include "link/OfferedPorts.h"

#include <csignal>
#include <iostream>
#include <signal.h>

// The program's version, as the build made it (cmake/VersionRecord.cpp.in).
const char* VersionLine();

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

// The stop signals stay blocked except while the line is awaited, so none slips in between.
sigset_t CatchStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
        sigaddset(&stopSignals, signal);
    }
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigdelset(&waitMask, signal);
    return waitMask;
}

// A number above the connection settings' list works only where each call names it: said at once, not
// first when the person tries to choose it.
void WarnIfNotOffered(int number) {
    if (number > HighestOfferedPort)
        std::cerr << "quorvel-handset: warning: COM" << number
                  << " cannot be chosen in the connection settings, which offer COM1 to COM"
                  << HighestOfferedPort << "; quorvel-cli reaches it with --port COM" << number
                  << ", or give --com " << HighestOfferedPort << " or lower" << std::endl;
}

THandsetState InitialState(const THandsetOptions& options) {
    THandsetState state = DefaultHandsetState();
    if (options.statePath)
        if (auto loaded = LoadStateFile(*options.statePath))
            state = std::move(*loaded);
    ApplySettings(options, state);
    return state;
}

// The handset of a recording. A replay that went otherwise than recorded ends with status 1.
int Replay(const THandsetOptions& options) {
    TReplayHandset handset(LoadRecording(*options.replay), *options.replay,
                           [](const std::string& line) { std::cerr << "quorvel-handset: " << line << '\n'; });
    if (options.log)
        handset.SetLog([](const std::string& line) { std::cerr << "quorvel-handset: " << line << '\n'; });
    const sigset_t waitMask = CatchStopSignals();

    TPseudoTerminal line;
    TPortRegistration registration(line.SlavePath(), options.com, options.registerPort);
    std::cout << "Virtual handset on " << line.SlavePath() << " (COM" << registration.Number() << ")"
              << std::endl;
    WarnIfNotOffered(registration.Number());
    const TLineSettings settings{options.paceBaud, options.answerDelay, options.log, options.adapterLatency};
    const TServeEnd end = ServeLine(line, handset, settings, stopRequested, waitMask);
    if (end == TServeEnd::HungUp)
        line.Close();
    registration.Remove();
    std::cerr << "quorvel-handset: replayed " << handset.Replayed() << " of " << handset.Recorded()
              << " recorded mails" << std::endl;
    return handset.Difference().empty() ? 0 : kExitFailure;
}

int Run(const THandsetOptions& options) {
    if (options.replay)
        return Replay(options);
    const sigset_t waitMask = CatchStopSignals();
    THandset handset(InitialState(options), options.readiness, options.faults);
    if (options.log)
        handset.SetLog([](const std::string& line) { std::cerr << "quorvel-handset: " << line << '\n'; });

    TPseudoTerminal line;
    TPortRegistration registration(line.SlavePath(), options.com, options.registerPort);
    std::cout << "Virtual handset on " << line.SlavePath() << " (COM" << registration.Number() << ")"
              << std::endl;
    WarnIfNotOffered(registration.Number());

    const auto save = [&] {
        if (!options.statePath)
            return;
        try {
            SaveStateFile(*options.statePath, handset.State());
        } catch (const EStateFileError& e) {
            std::cerr << "quorvel-handset: " << e.what() << '\n';
        }
    };
    const TLineSettings settings{options.paceBaud, options.answerDelay, options.log, options.adapterLatency};
    const TServeEnd end = ServeLine(line, handset, settings, stopRequested, waitMask, save);
    if (end == TServeEnd::HungUp)
        line.Close();
    registration.Remove();
    save();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    THandsetOptions options;
    try {
        options = ParseHandsetOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EOptionError& e) {
        std::cerr << "quorvel-handset: " << e.what() << '\n';
        return kExitUsage;
    }
    if (options.help) {
        std::cout << HandsetHelpText();
        return 0;
    }
    if (options.version) {
        std::cout << VersionLine() << '\n';
        return 0;
    }
    try {
        return Run(options);
    } catch (const EStateFileError& e) {
        std::cerr << "quorvel-handset: " << e.what() << '\n';
        return kExitUsage;
    } catch (const EReplayError& e) {
        std::cerr << "quorvel-handset: " << e.what() << '\n';
        return kExitUsage;
    } catch (const ERegistrationError& e) {
        std::cerr << "quorvel-handset: " << e.what() << '\n';
        return kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "quorvel-handset: " << e.what() << '\n';
        return kExitFailure;
    }
}
