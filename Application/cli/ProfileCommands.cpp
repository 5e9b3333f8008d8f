#include "cli/ProfileCommands.h"

#include "cli/CliSession.h"
#include "profile/RingerTest.h"

#include <cstdio>

namespace {

int Ringer(const TGlobalOptions& options) {
    if (options.args.size() != 1)
        throw TUsageError("usage: quorvel-cli ringer TONE");
    const int tone = int(ParseNumber(options.args[0], 1, 9, "TONE"));
    TCliSession session(options);
    session.OpenPort();
    if (!TestRinger(session.Core(), session.User(), tone))
        return 1;
    std::printf("Ringer tone %d played.\n", tone);
    return 0;
}

} // namespace

std::vector<TCommand> ProfileCommands() {
    return {
        {"ringer", "TONE", "play ringer tone 1 to 9 on the handset",
         "Connects and lets the handset play ringer tone TONE (1 to 9), as the profile tab's ringer test\n"
         "does; the handset's answer is not looked at.",
         Ringer},
    };
}
