#pragma once

#include "platform/HandsetIdentity.h"
#include "platform/HandsetOutcome.h"
#include "platform/WritePlan.h"

#include <cstdint>
#include <functional>
#include <string>

// How the operations talk to the person: the main window implements it with widgets, the command-line
// tool with the terminal, the tests with a recorder. The operations never show a window themselves.

enum class TMessageKind { Error, Warning, Information, Confirmation };
enum class TButtons { Ok, OkCancel, AbortIgnore };
enum class TAnswer { Ok, Cancel, Abort, Ignore };

// The "Select how to write" choice; the values are those the dialog gives.
enum class TWriteMode : uint8_t { Add = 0, Replace = 1, Cancel = 2 };

// Colours of the phone book rows.
enum class TRowColour { Window, Red, Yellow };

// The lists the operations fill, for those who show them.
enum class TListKind { PhoneBook, SpeedDial, BroadcastGroups };
constexpr int AllEntries = -1;

class TUserInteraction {
public:
    virtual ~TUserInteraction();

    // The status line; an empty text clears it. Shown at once, even while the operation goes on.
    virtual void ShowStatus(const std::string& text) = 0;

    // A modal message; texts may hold CR (13) as line breaks. The first message after a failure that no
    // operation could help (FailureCause) begins with its cause, on a line of its own; a question does not.
    TAnswer Message(TMessageKind kind, const std::string& text, TButtons buttons);
    // The cause of such a failure not yet told ("The docking station on COM10 went away …"), which
    // counts as told once asked for; empty when there is none. Whoever runs the engine sets it; nobody
    // does by default.
    std::function<std::string()> FailureCause;

    virtual TWriteMode AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) = 0;

    // Counted progress: a bar from min to max moved by step.
    virtual void ProgressStart(int min, int max, int step) = 0;
    virtual void ProgressStep() = 0;
    // Progress whose length cannot be counted.
    virtual void ProgressAnimated() = 0;
    virtual void ProgressEnd() = 0;
    // What the counted progress just started goes through, in words ("Deleting", "key": "Deleting key 3
    // of 11"); each step begins the next. A progress without them counts phone book entries.
    virtual void ProgressWords(const char* doing, const char* noun);

    // Disables the operation controls (or refuses new commands) while a handset operation runs.
    virtual void SetBusy(bool busy) = 0;

    // Phone book grid rows, 1 for the first entry.
    virtual void SetRowColour(int row, TRowColour colour) = 0;
    // Every row back to the window colour.
    virtual void ResetRowColours() = 0;

    // What follows is for those who show lists and ask for files; the terminal and most tests do
    // neither, so each does nothing unless implemented.

    // The connection step begins (true) and ends: a window shows its progress, whose Cancel ends the
    // step at once (some seven seconds of probes when nothing answers).
    virtual void ConnectionStep(bool running);
    // The connection step has identified the handset: the phone book follows its capacity, the
    // settings its level.
    virtual void HandsetConnected(int phoneBookCapacity, uint8_t level);
    // The connection step has read which handset it is (its serial number, port, software and PCS).
    // False when it is not the handset the person expects there: the operation stops before it sends
    // anything else (the connection step gives WrongHandset).
    virtual bool HandsetIdentified(const THandsetIdentity& handset);
    // A write has worked out what it will change (WritePlan.h) from what the handset holds, before it
    // sends anything that changes the handset; it goes on only when this gives true. The default goes
    // on without showing the plan.
    virtual bool ConfirmPlan(const TWritePlan& plan);
    // An operation that may change a handset has ended: what the read after it found (HandsetOutcome.h).
    virtual void ChangeEnded(const THandsetOutcome& outcome);
    // An operation has changed entry `entry` of a list (0 for the first), or, with AllEntries, the
    // whole list.
    virtual void ShowListEntry(TListKind list, int entry);
    // A file to save, or to open (which must exist); an empty name when the person cancels. The filter
    // is written "Caption (*.ext)|*.ext"; extension is the one a name without one is given.
    virtual std::string AskFileName(bool save, const char* filter, const char* extension);

protected:
    // Shows the message as Message has made it.
    virtual TAnswer ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) = 0;
};

// Counted progress in words, for everyone who shows it ("Writing entry 42 of 200"): it follows the calls an
// operation makes. A write marks each row of the table yellow before it goes through it (SetRowColour),
// so a mark says the progress is a write and which row it is at; a read marks nothing and steps once per
// entry that came, stopping at the handset's last one somewhere in the range.
class TProgressCount {
public:
    // The range of the bar (a write's counts 1 to the size of the table).
    void Start(int min, int max);
    // The operation marked row: a write is at it.
    void Mark(int row);
    void Step();
    // Counts nouns the operation is doing, from the next step on (ProgressWords).
    void Counting(const char* doing, const char* noun);
    // What the operation is at now: "Writing entry 42 of 200", "Reading entry 12 of at most 200"; empty
    // before a read's first entry or a write's first row.
    const std::string& Text() const { return Current; }

    // Which rows (1 for the first) hold an entry: a write counts those. Without it, a write counts rows.
    std::function<bool(int row)> RowHoldsEntry;

    // "Writing entry 3 of 5"; "Reading entry 12 of at most 200" while the end is found only on the way.
    // Without a total, the number alone ("Reading entry 3").
    static std::string Words(const char* doing, const char* noun, int at, int total, bool atMost);
    // How many of `rows` rows from `first` on hold an entry: what a write counts.
    static int EntriesAmong(const std::function<bool(int row)>& rowHoldsEntry, int first, int rows);

private:
    int FirstRow = 1;
    int Places = 0;
    int Done = 0;
    // The entries among the rows a write goes through, once counted; -1 before.
    int Entries = -1;
    bool Writing = false;
    const char* Doing = nullptr;
    const char* Noun = nullptr;
    std::string Current;
};

// Runs a handset operation in the busy state. The busy state always ends; an exception the operation
// raises is shown in an error box once it has ended, so that the box is not shown over a busy window.
// False when the operation raised one.
bool RunBusy(TUserInteraction& ui, const std::function<void()>& operation);
