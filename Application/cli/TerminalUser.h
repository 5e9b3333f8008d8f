#pragma once

#include "platform/UserInteraction.h"

#include <map>

// The person at a terminal: messages on stderr (information on stdout), status and progress on stderr
// only when it is a terminal, confirmations answered by --yes or asked at the terminal; without either,
// a confirmation is refused so that a script never deletes by accident.
class TTerminalUser : public TUserInteraction {
public:
    explicit TTerminalUser(bool yes);

    void ShowStatus(const std::string& text) override;
    TAnswer Message(TMessageKind kind, const std::string& text, TButtons buttons) override;
    TWriteMode AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) override;
    void ProgressStart(int min, int max, int step) override;
    void ProgressStep() override;
    void ProgressAnimated() override;
    void ProgressEnd() override;
    void SetBusy(bool busy) override;
    void SetRowColour(int row, TRowColour colour) override;
    void ResetRowColours() override { Colours.clear(); }
    std::string AskFileName(bool, const char*, const char*) override { return PresetFileName; }

    // A confirmation was refused because there was neither a terminal nor --yes.
    static bool ConfirmationRefused() { return Refused; }
    // The person answered no at the terminal.
    static bool ConfirmationDeclined() { return Declined; }

    // The mode a command chose with --add or --replace; asked for when writing.
    TWriteMode PresetWriteMode = TWriteMode::Cancel;
    // The file a command was given, for an operation that asks for one.
    std::string PresetFileName;
    // The phone book rows an operation marked, by row, for the command to name them afterwards.
    std::map<int, TRowColour> Colours;

private:
    bool Confirm(const std::string& question);
    static bool Refused;
    static bool Declined;
    TAnswer AbortOrIgnore(const std::string& text);

    bool Yes;
    bool Interactive;
    int ProgressPosition = 0;
    int ProgressMax = 0;
    bool ProgressShown = false;
};
