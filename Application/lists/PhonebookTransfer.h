#pragma once

#include "link/HandsetChange.h"
#include "link/HandsetConnection.h"
#include "lists/DockingStationPhoneBookConverter.h"
#include "lists/PP5Phonebook.h"
#include "platform/UserInteraction.h"
#include "platform/WritePlan.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The phone book's three handset operations: read the handset's list into the table, write the table
// to the handset (adding to its list or replacing it), and empty the handset's list. They run in the
// busy state and reach the person only through the user interaction, which also shows the entries as
// they change (ShowListEntry).
class TPhonebookTransfer {
public:
    TPhonebookTransfer(THandsetConnection& link, TUserInteraction& ui, TPP5Phonebook& book);

    // "Read from Handset": true when the handset's list is in the table.
    bool LoadFromHandset();
    // "Write to Handset": true when every entry with a number is in the handset.
    bool SaveToHandset();
    // "Delete in Handset": true when the handset's list has been emptied.
    bool DeleteInHandset();

    // Reads the handset's list into book, bounded by the table's count. False after three failed
    // attempts in a row.
    bool ReadPhonebook(TPP5Phonebook& book);
    // Appends one entry to the handset's list: true when both its parts were taken.
    bool WritePhonebookEntry(const std::string& name, const std::string& number);
    // Whether the handset's entry at index holds the number and the name as a write of them leaves it.
    bool EntryHolds(int index, const std::string& name, const std::string& number);

    // Of the last write: the entries written, and those skipped because the handset held their number.
    int Written() const { return WrittenEntries; }
    int Skipped() const { return SkippedEntries; }

    // Whole seconds for the finish texts, rounded up.
    static int64_t ElapsedSeconds(int64_t ms) { return (ms + 999) / 1000; }
    // The first entry whose number holds a character the handset cannot store, or -1. A restore also
    // takes the letters A and E, which a read gives for those values of a packed number: a backup then
    // goes back as it was read.
    static int FirstUnstorableNumber(const TPP5Phonebook& book, bool restore = false);

    // A number answer that never comes with its name: after this many repeats of the same entry each
    // further one counts as a failed attempt.
    static constexpr int NameRepeats = 3;
    static constexpr int FailedAttempts = 3;

    // What the last write or delete did, as the read after it found the handset.
    const THandsetOutcome& LastOutcome() const { return Outcome; }

    // The plan of the last write, once the handset's list was read; nothing before.
    const std::optional<TWritePlan>& LastPlan() const { return Plan; }

    // Where the list the handset held before the last replace or delete is kept; empty when it held
    // none (or nothing was changed).
    const std::string& BackupPath() const { return Backup; }

    // The kind of the copies kept before a replace or delete (see Backups.h), and the kind of those
    // kept before a backup is written back, which a later restore does not take.
    static constexpr const char* BackupKind = "phonebook";
    static constexpr const char* BackupBeforeRestoreKind = "phonebook-before-restore";
    // The file a write comes from and its rows, which may be more than the handset's table holds (the
    // connection cuts the table to the handset's capacity): a replace is refused when an entry is
    // beyond it, an add names each such entry as not written.
    void SetFile(const TPP5Phonebook& file, int rows);
    // Whether the last write was refused for its file: one that does not fit the handset's phone book.
    bool RefusedFile() const { return FileRefused; }
    // Names the copy kept before this transfer's replace or delete.
    void SetBackupKind(const char* kind) { Kind = kind; }

private:
    // The read of "Read from Handset" once connected: the list goes into the table when it is whole.
    bool ReadIntoBook(int64_t start);
    bool ReadLoop(TPP5Phonebook& into, bool show);
    bool ReadQuietly(TPP5Phonebook& into, bool stoppable);
    bool ReadHeld(TPP5Phonebook& held, const char* notRead);
    void ReportRead(bool ok, int64_t startTick);
    bool KeepList(const TPP5Phonebook& held);
    THandsetOutcome PlanAndWrite(THandsetChange& change, bool addMode);
    bool DeleteList();
    std::optional<bool> HandsetListEmpty();
    std::string KeptInText() const;
    THandsetOutcome ReadBack(const TPP5Phonebook& held, const TPP5Phonebook& wanted, bool replace,
                             TPP5Phonebook& now);
    void ReportWriteFailure(int row, const THandsetOutcome& outcome, const TPP5Phonebook& now);
    void NoteUnnamed(int row, const TPP5Phonebook& handset);
    int WriteRows(bool addMode, const TPP5Phonebook& held, int64_t startTick);
    bool RefuseUnstorableNumbers();
    std::string RowsBeyondText() const;
    int EntriesBeyond() const;
    // Whether this write puts a backup back.
    bool Restoring() const;
    bool RefuseFileBeyond();
    void Fail(const std::string& text);
    void ShowException(const std::string& text);
    std::string FinishedText(const char* format, int64_t startTick) const;

    THandsetConnection& Link;
    TUserInteraction& Ui;
    TPP5Phonebook& Book;
    TDSPBC Codec;
    bool MemoryFull = false;
    bool MissingNumber = false;
    const char* Kind = BackupKind;
    // The last failure the person was shown.
    std::string LastFailure;
    THandsetOutcome Outcome;
    int FileRows = 0;
    TPP5Phonebook File;
    bool FileRefused = false;
    // The table as the handset will hold it: what the write sends and the read after it compares with.
    TPP5Phonebook Wanted;
    std::string Backup;
    std::optional<TWritePlan> Plan;
    int BackupEntries = 0;
    int WrittenEntries = 0;
    int SkippedEntries = 0;
    // Rows whose number is in the handset without its name.
    std::vector<int> UnnamedRows;
};
