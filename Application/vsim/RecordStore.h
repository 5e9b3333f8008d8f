#pragma once

#include "vsim/RecordEngine.h"

#include <memory>
#include <string>

// Where the SIM records are kept, as an address: "postgresql://…" (or "postgres://…") for a PostgreSQL
// server shared by several PCs, "sqlite:PATH" or a plain PATH for an SQLite file on this PC.
//  1. $QUORVEL_RECORDS when set;
//  2. else the program ini's [Records] Store=… when set;
//  3. else the SQLite file "records.db" in the machine's state folder (StateDir()).
std::string RecordStoreAddress();

// The SQLite file of the machine's state folder.
std::string DefaultRecordsFile();

// The engine an address names, opened and ready; raises EStoreError with a message that names the store
// and what to do (a server that does not answer, a file that may not be read or written, an address
// that names no engine). Opening an SQLite file in a folder that holds the old text store
// ("registry.txt") moves its records into the file in one transaction first and renames the old file to
// "registry.txt.migrated"; notice then says so, once. A damaged old file raises EStoreDamaged naming it
// and is left as it is.
//
// The programs remember, per user, each store they used (its id and how many SIMs in files it held): a
// store that is gone, emptied or replaced by another raises EStoreError naming the one that was there
// and what it held, and is not made anew, unless opening is TakeAsItIs ("records init").
enum class TStoreOpening { Remembered, TakeAsItIs };
std::unique_ptr<TRecordEngine> OpenRecordStore(const std::string& address, std::string* notice = nullptr,
                                               TStoreOpening opening = TStoreOpening::Remembered);
std::unique_ptr<TRecordEngine> OpenRecordStore(std::string* notice = nullptr);

// A step of a SIM's move that the records could not take when it was taken (the server went away, the
// disk was full): kept in the per-user folder, and taken by the next program of this user that opens the
// same store, if the record still stands as the step left it (State and Mark of Expected); a record that
// changed since drops the step.
struct TPendingStep {
    std::string SerialNumber;
    std::string Step;     // the step's name in the record's history
    TSimJournal Expected; // State and Mark the record must have
    bool Remove = false;  // remove the record, else write Journal
    TSimJournal Journal{};
};

// Keeps the step for the store where; false when it could not be kept either (error says why).
bool KeepPendingStep(const std::string& where, const TPendingStep& step, std::string* error = nullptr);
// The file the steps are kept in.
std::string PendingStepsFile();
