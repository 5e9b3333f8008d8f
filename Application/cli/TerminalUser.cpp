#include "cli/TerminalUser.h"

#include "cli/CliSession.h"
#include "cli/Command.h"
#include "platform/PhoneBookResourceStrings.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

TTerminalUser::TTerminalUser(bool yes)
    : Yes(yes)
    , Interactive(isatty(STDERR_FILENO) != 0) {}

void TTerminalUser::ShowStatus(const std::string& text) {
    if (!Interactive || text.empty())
        return;
    std::fprintf(stderr, "%s\n", TerminalText(text).c_str());
}

bool TTerminalUser::Refused = false;
bool TTerminalUser::Declined = false;

bool TTerminalUser::Confirm(const std::string& question) {
    if (Yes)
        return true;
    if (!isatty(STDIN_FILENO)) {
        PrintMessage(question + "\rRefused: no terminal to confirm at; give --yes to go ahead.");
        Refused = true;
        return false;
    }
    std::fprintf(stderr, "%s [y/N] ", TerminalText(question).c_str());
    std::string reply;
    std::getline(std::cin, reply);
    const bool yes = !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y');
    Declined = Declined || !yes;
    return yes;
}

// --yes goes on past what can be passed over; a terminal is asked; a script without --yes stops.
TAnswer TTerminalUser::AbortOrIgnore(const std::string& text) {
    if (Yes) {
        PrintMessage(text + " Ignored (--yes).");
        return TAnswer::Ignore;
    }
    if (!isatty(STDIN_FILENO)) {
        PrintMessage(text + "\rStopped: no terminal to ask at; give --yes to pass over it and go on.");
        return TAnswer::Abort;
    }
    std::fprintf(stderr, "%s [a]bort or [i]gnore? ", TerminalText(text).c_str());
    std::string reply;
    std::getline(std::cin, reply);
    return !reply.empty() && (reply[0] == 'i' || reply[0] == 'I') ? TAnswer::Ignore : TAnswer::Abort;
}

TAnswer TTerminalUser::Message(TMessageKind kind, const std::string& text, TButtons buttons) {
    if (buttons == TButtons::OkCancel)
        return Confirm(text) ? TAnswer::Ok : TAnswer::Cancel;
    if (buttons == TButtons::AbortIgnore)
        return AbortOrIgnore(text);
    if (kind == TMessageKind::Information) {
        std::printf("%s\n", TerminalText(text).c_str());
        return TAnswer::Ok;
    }
    // A handset that did not answer: say where to look.
    const bool silent = text.starts_with(Texts::CouldNotConnect);
    PrintMessage(silent ? text + "\r" + NoAnswerHint : text);
    return TAnswer::Ok;
}

// The mode was chosen with --add or --replace. Adding changes the handset as much as any write: it is
// confirmed as every other change is (a replace asks its own question).
TWriteMode TTerminalUser::AskWriteMode(const std::string& addCaption, const std::string&) {
    if (PresetWriteMode == TWriteMode::Add && !Confirm(addCaption + "?"))
        return TWriteMode::Cancel;
    return PresetWriteMode;
}

void TTerminalUser::ProgressStart(int min, int max, int) {
    ProgressPosition = min;
    ProgressMax = max;
    ProgressShown = Interactive;
}

void TTerminalUser::ProgressStep() {
    if (!ProgressShown)
        return;
    ++ProgressPosition;
    std::fprintf(stderr, "\r%d of %d", ProgressPosition, ProgressMax);
    std::fflush(stderr);
}

void TTerminalUser::ProgressAnimated() {
    ProgressShown = Interactive;
    if (ProgressShown)
        std::fprintf(stderr, "working ...");
}

void TTerminalUser::ProgressEnd() {
    if (ProgressShown)
        std::fprintf(stderr, "\n");
    ProgressShown = false;
}

void TTerminalUser::SetBusy(bool) {}

void TTerminalUser::SetRowColour(int row, TRowColour colour) {
    if (colour == TRowColour::Window)
        Colours.erase(row);
    else
        Colours[row] = colour;
}
