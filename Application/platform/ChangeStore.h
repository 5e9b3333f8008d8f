#pragma once

#include "platform/ChangeChain.h"
#include "platform/ChangeLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A handset the program has connected to, as the store keeps it by its SIM's serial number: what it is,
// when and where it was first and last seen, the last template it was given and how its verify ended.
struct THandsetRow {
    std::string Serial;
    std::string Software;
    std::string Pcs;
    int Model = 0;
    int Capacity = 0;
    std::string FirstSeen;
    std::string LastSeen;
    std::string LastPc;
    std::string LastPort;
    // The last template given: its folder's name, the SHA-256 of its content, when, and how the verify
    // after it ended ("verified", "differs"); empty when none was.
    std::string Template;
    std::string TemplateHash;
    std::string TemplateTime;
    std::string Verify;
};

// The row of a handset connected to now, on this PC; its Serial is empty when it has no serial number.
THandsetRow HandsetSeen(const THandsetIdentity& handset, int model, int capacity);

// Where the change log and the table of handsets are kept: on one PC, the log file of ChangesDir() and
// a database beside it; where the SIM records are shared, their server, so that every PC sees every
// change and every handset. Rows are only ever added to the log, each sealed after the row its PC wrote
// before (ChangeChain.h).
class TChangeStore {
public:
    virtual ~TChangeStore() = default;

    // The log as the person is told of it: the file's path, or the server and database.
    virtual std::string Where() const = 0;
    // Whether other PCs keep their log here as well.
    virtual bool Shared() const { return false; }
    // "" when a change may begin: the log can take its rows. A shared store whose server is away says why,
    // and no change is begun then.
    virtual std::string Ready() = 0;
    // Adds the record's row; "" when it was kept, else why not. A row the server could not take is kept
    // on this PC until it answers again (Owed): that is kept too.
    virtual std::string Append(const TChangeRecord& record) = 0;
    // The rows the filter takes from the place `from` on (End() at an earlier time), oldest first, with
    // the rows owed to the server after them. Raises EFileError or EStoreError when the log cannot be read.
    virtual TChangeLogContents Read(const TChangeFilter& filter = {}, int64_t from = 0) = 0;
    // The place where the rows added from now on begin.
    virtual int64_t End() = 0;
    // Walks each PC's chain from `from` on; BrokenLine is the row's place among the rows read.
    virtual TChainCheck Check(int64_t from = 0) = 0;
    // Rows kept on this PC because the server did not take them, oldest first.
    virtual std::vector<TChangeRecord> Owed() { return {}; }
    // What the person is to be told once, since the last call: the PC's old log moved in, say.
    virtual std::string TakeNotice() { return {}; }

    // The handsets: each "" when noted, else why not. A handset without a serial number is not noted.
    virtual std::string NoteSeen(const THandsetRow& row) = 0;
    virtual std::string NoteTemplate(const std::string& serial, const std::string& templateName,
                                     const std::string& templateHash, const std::string& verify) = 0;
    // Every handset noted, by serial number; raises EStoreError when they cannot be read.
    virtual std::vector<THandsetRow> Handsets() = 0;
};

// The log file alone, with no table of handsets: what a program that sets no opener uses. Without a
// path, the file is ChangeLogPath() at each call.
std::unique_ptr<TChangeStore> OpenChangeFile(const std::string& path = {});

// The store this program's notes go to: the opener's (a program that may keep its log on a server sets
// one before its first note; it gives the store of the records' address at each call), else the log
// file.
TChangeStore& ChangeStore();
void SetChangeStoreOpener(std::function<TChangeStore&()> opener);
