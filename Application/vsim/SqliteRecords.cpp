#include "vsim/SqliteRecords.h"

#include "vsim/RecordRows.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// How long a change waits for another program's change to the same file to end. Each change is one short
// transaction, so a wait this long means a program holding the file without end.
constexpr int BusyTimeoutMs = 10000;

constexpr const char* Schema = R"(
CREATE TABLE IF NOT EXISTS sim_records (
    serial TEXT PRIMARY KEY NOT NULL, software TEXT NOT NULL, pcs TEXT NOT NULL,
    crc INTEGER NOT NULL CHECK (crc BETWEEN 0 AND 4294967295), sha256 TEXT NOT NULL DEFAULT '',
    saved TEXT NOT NULL DEFAULT '', state TEXT NOT NULL DEFAULT '', file TEXT NOT NULL DEFAULT '',
    mark TEXT NOT NULL DEFAULT '', text_area TEXT NOT NULL DEFAULT '', released TEXT NOT NULL DEFAULT '',
    step_user TEXT NOT NULL DEFAULT '', step_host TEXT NOT NULL DEFAULT '',
    step_time TEXT NOT NULL DEFAULT '', retired TEXT NOT NULL DEFAULT '', copy_of TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS sim_store (id TEXT NOT NULL, made TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS sim_steps (
    id INTEGER PRIMARY KEY AUTOINCREMENT, serial TEXT NOT NULL, step TEXT NOT NULL, state TEXT NOT NULL,
    file TEXT NOT NULL, step_user TEXT NOT NULL, step_host TEXT NOT NULL, step_time TEXT NOT NULL);
)";

// Columns later versions added to the records, with their definitions: a file of an earlier version gets
// them when it is opened.
constexpr std::pair<const char*, const char*> AddedColumns[] = {{"retired", "TEXT NOT NULL DEFAULT ''"},
                                                                {"copy_of", "TEXT NOT NULL DEFAULT ''"}};

class TStatement {
public:
    TStatement(sqlite3* db, const char* sql, const std::string& where)
        : Db(db)
        , Where(where) {
        if (sqlite3_prepare_v2(db, sql, -1, &Handle, nullptr) != SQLITE_OK)
            Fail();
    }
    ~TStatement() { sqlite3_finalize(Handle); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(const std::string& text) {
        Check(sqlite3_bind_text(Handle, ++Bound, text.data(), int(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    TStatement& Bind(int64_t number) {
        Check(sqlite3_bind_int64(Handle, ++Bound, number));
        return *this;
    }
    TStatement& Bind(const std::optional<uint32_t>& number) {
        Check(number ? sqlite3_bind_int64(Handle, ++Bound, *number) : sqlite3_bind_null(Handle, ++Bound));
        return *this;
    }

    // True while there is a row.
    bool Step() {
        const int result = sqlite3_step(Handle);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            Fail();
        return false;
    }
    void Run() {
        while (Step()) {
        }
    }

    std::string Text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(Handle, column));
        return bytes ? std::string(bytes, size_t(sqlite3_column_bytes(Handle, column))) : std::string();
    }
    std::optional<int64_t> Integer(int column) const {
        if (sqlite3_column_type(Handle, column) != SQLITE_INTEGER)
            return std::nullopt;
        return sqlite3_column_int64(Handle, column);
    }

private:
    void Check(int result) {
        if (result != SQLITE_OK)
            Fail();
    }
    [[noreturn]] void Fail() const {
        throw EStoreError("The SIM records \"" + Where + "\" cannot be used: " + sqlite3_errmsg(Db) + ".");
    }

    sqlite3* Db;
    const std::string& Where;
    sqlite3_stmt* Handle = nullptr;
    int Bound = 0;
};

// A claim: a write lock on one byte of the claims file, at an offset the serial number gives. The lock
// belongs to this open file description, so it conflicts with every other claim, in this program as in
// another, and goes when the program dies.
class TFileClaim : public TMoveClaim {
public:
    explicit TFileClaim(int fd)
        : Fd(fd) {}
    ~TFileClaim() override { close(Fd); }

private:
    int Fd;
};

class TSqliteRecords : public TRecordEngine {
public:
    explicit TSqliteRecords(std::string path)
        : Path(std::move(path)) {}
    ~TSqliteRecords() override { sqlite3_close(Db); }

    void Open() {
        const std::filesystem::path file(Path);
        std::error_code ec;
        if (file.has_parent_path()) {
            std::filesystem::create_directories(file.parent_path(), ec);
            if (ec && !std::filesystem::is_directory(file.parent_path()))
                throw EStoreError("Cannot create the folder of the SIM records \"" + Path + "\". " +
                                  ec.message() + "." + AccessHint(ec.value(), file.parent_path().string()));
        }
        const bool existed = std::filesystem::exists(file, ec);
        if (sqlite3_open_v2(Path.c_str(), &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
            const int error = sqlite3_system_errno(Db);
            throw EStoreError("The SIM records \"" + Path + "\" cannot be opened: " +
                              (Db ? sqlite3_errmsg(Db) : "out of memory") + "." + AccessHint(error, Path));
        }
        sqlite3_extended_result_codes(Db, 1);
        sqlite3_busy_timeout(Db, BusyTimeoutMs);
        if (!existed)
            ShareLikeFolder(Path);
        try {
            // Reading the file's header first tells a file that is no database from one we may not write.
            TStatement(Db, "PRAGMA schema_version", Path).Run();
            {
                TStatement mode(Db, "PRAGMA journal_mode=WAL", Path);
                if (!mode.Step() || mode.Text(0) != "wal")
                    throw EStoreError("The SIM records \"" + Path + "\" cannot be kept in write-ahead mode.");
            }
            Execute("PRAGMA synchronous=FULL");
            stat(Path.c_str(), &File);
            Transaction([&] {
                Execute(Schema);
                std::set<std::string> columns;
                {
                    TStatement info(Db, "PRAGMA table_info(sim_records)", Path);
                    while (info.Step())
                        columns.insert(info.Text(1));
                }
                for (const auto& [name, definition] : AddedColumns)
                    if (!columns.count(name))
                        Execute(("ALTER TABLE sim_records ADD COLUMN " + std::string(name) + " " + definition)
                                    .c_str());
            });
        } catch (const EStoreError& e) {
            const int error = sqlite3_system_errno(Db);
            throw EStoreError(e.what() + AccessHint(error, Path));
        }
        Watching = true;
    }

    std::string Where() const override { return Path; }

    std::optional<TSimRecord> Find(const std::string& serialNumber) override {
        TStatement select(Db, SelectRecord(" WHERE serial = ?").c_str(), Path);
        select.Bind(serialNumber);
        if (!select.Step())
            return std::nullopt;
        return Row(select);
    }

    std::vector<TSimRecord> All() override {
        TStatement select(Db, SelectRecord(" ORDER BY serial").c_str(), Path);
        std::vector<TSimRecord> records;
        while (select.Step())
            records.push_back(Row(select));
        return records;
    }

    std::vector<TSimStep> Steps(const std::string& serialNumber) override {
        TStatement select(Db,
                          serialNumber.empty() ? "SELECT serial, step, state, file, step_user, step_host, "
                                                 "step_time FROM sim_steps ORDER BY id"
                                               : "SELECT serial, step, state, file, step_user, step_host, "
                                                 "step_time FROM sim_steps WHERE serial = ? ORDER BY id",
                          Path);
        if (!serialNumber.empty())
            select.Bind(serialNumber);
        std::vector<TSimStep> steps;
        while (select.Step())
            steps.push_back({select.Text(0),
                             select.Text(1),
                             select.Text(2),
                             select.Text(3),
                             {select.Text(4), select.Text(5), select.Text(6)}});
        return steps;
    }

    void Put(const TSimRecord& record, const std::string& step) override {
        TSimRecord written = record;
        written.LastStep = CurrentAuthor();
        Transaction([&] {
            TStatement(Db, "DELETE FROM sim_records WHERE serial = ?", Path).Bind(record.SerialNumber).Run();
            Insert(written);
            NoteStep(written.SerialNumber, step, written.Journal, written.LastStep);
        });
    }

    bool SetJournal(const std::string& serialNumber, const TSimJournal& journal,
                    const std::string& step) override {
        const TStepAuthor author = CurrentAuthor();
        bool found = false;
        Transaction([&] {
            TStatement update(Db,
                              "UPDATE sim_records SET state = ?, file = ?, mark = ?, text_area = ?, "
                              "released = ?, step_user = ?, step_host = ?, step_time = ? WHERE serial = ?",
                              Path);
            update.Bind(journal.State).Bind(journal.File).Bind(journal.Mark).Bind(journal.Text);
            update.Bind(journal.Released).Bind(author.User).Bind(author.Host).Bind(author.Time);
            update.Bind(serialNumber).Run();
            found = sqlite3_changes(Db) > 0;
            if (found)
                NoteStep(serialNumber, step, journal, author);
        });
        return found;
    }

    bool Remove(const std::string& serialNumber, const std::string& step) override {
        bool found = false;
        Transaction([&] {
            TStatement(Db, "DELETE FROM sim_records WHERE serial = ?", Path).Bind(serialNumber).Run();
            found = sqlite3_changes(Db) > 0;
            if (found)
                NoteStep(serialNumber, step, {}, CurrentAuthor());
        });
        return found;
    }

    std::vector<std::string> Import(const std::vector<TSimRecord>& records) override {
        std::vector<std::string> added;
        Transaction([&] {
            added.clear();
            for (const TSimRecord& record : records) {
                if (const std::optional<TSimRecord> held = Find(record.SerialNumber)) {
                    if (!SameSums(*held, record))
                        throw EStoreError(DifferentSums(record.SerialNumber, Path));
                    if (held->Retired.empty() || !record.Retired.empty())
                        continue;
                    TStatement(Db, "DELETE FROM sim_records WHERE serial = ?", Path)
                        .Bind(record.SerialNumber)
                        .Run();
                }
                Insert(record);
                NoteStep(record.SerialNumber, ImportedStep, record.Journal, CurrentAuthor());
                added.push_back(record.SerialNumber);
            }
        });
        return added;
    }

    std::vector<std::string> SetRetired(const std::vector<std::string>& serialNumbers,
                                        const std::string& retired, const std::string& copyOf,
                                        const std::string& step) override {
        const TStepAuthor author = CurrentAuthor();
        std::vector<std::string> changed;
        Transaction([&] {
            changed.clear();
            for (const std::string& serial : serialNumbers) {
                TStatement update(Db,
                                  "UPDATE sim_records SET retired = ?, copy_of = ?, step_user = ?, "
                                  "step_host = ?, step_time = ? WHERE serial = ?",
                                  Path);
                update.Bind(retired).Bind(copyOf).Bind(author.User).Bind(author.Host).Bind(author.Time);
                update.Bind(serial).Run();
                if (sqlite3_changes(Db) == 0)
                    continue;
                const std::optional<TSimRecord> record = Find(serial);
                NoteStep(serial, step, record ? record->Journal : TSimJournal{}, author);
                changed.push_back(serial);
            }
        });
        return changed;
    }

    std::string Id() override {
        TStatement select(Db, "SELECT id FROM sim_store LIMIT 1", Path);
        return select.Step() ? select.Text(0) : std::string();
    }

    std::string MakeId() override {
        std::string id;
        Transaction([&] {
            id = Id();
            if (!id.empty())
                return;
            id = NewStoreId();
            TStatement(Db, "INSERT INTO sim_store (id, made) VALUES (?, ?)", Path)
                .Bind(id)
                .Bind(CurrentAuthor().Time)
                .Run();
        });
        return id;
    }

    std::unique_ptr<TMoveClaim> Claim(const std::string& serialNumber) override {
        const std::string path = Path + ".moves";
        const bool existed = access(path.c_str(), F_OK) == 0;
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
        if (fd < 0)
            throw EStoreError("The claims of SIM moves \"" + path +
                              "\" cannot be opened: " + std::strerror(errno) + "." + AccessHint(errno, path));
        if (!existed)
            ShareLikeFolder(path);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = off_t(ClaimOffset(serialNumber));
        lock.l_len = 1;
        if (fcntl(fd, F_OFD_SETLK, &lock) == 0)
            return std::make_unique<TFileClaim>(fd);
        const int error = errno;
        close(fd);
        if (error == EAGAIN || error == EACCES)
            return nullptr;
        throw EStoreError("The claim of SIM \"" + serialNumber + "\" in \"" + path +
                          "\" cannot be taken: " + std::strerror(error) + ".");
    }

private:
    void Execute(const char* sql) {
        char* message = nullptr;
        if (sqlite3_exec(Db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string reason = message ? message : sqlite3_errmsg(Db);
            sqlite3_free(message);
            throw EStoreError("The SIM records \"" + Path + "\" cannot be used: " + reason + ".");
        }
    }

    // One change: all of it is on the disk when this returns, or none of it is in the file.
    template <typename Body> void Transaction(Body body) {
        CheckFiles(true);
        // IMMEDIATE takes the write lock at once, so that what the body reads stays true until commit.
        Execute("BEGIN IMMEDIATE");
        try {
            body();
            Execute("COMMIT");
        } catch (...) {
            sqlite3_exec(Db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        CheckFiles(false);
    }

    // The files this connection writes are the ones at the path: a records file deleted or replaced
    // while in use, or its -wal deleted (the connection would go on writing into a file no other program
    // sees, and lose it), ends the use. What the -wal held is moved into the records file first, so that
    // no step already taken is lost. before: no change is made on such files; after a change, the change
    // is kept and the next one refused.
    void CheckFiles(bool before) {
        if (!Watching)
            return;
        struct stat now {};
        if (stat(Path.c_str(), &now) != 0 || now.st_ino != File.st_ino || now.st_dev != File.st_dev)
            throw EStoreError("The SIM records \"" + Path +
                              "\" were deleted or replaced while this program used them: nothing more is "
                              "written, and the move stops here. Put the file back from a backup or run the "
                              "step again; the records say what is missing.");
        if (access((Path + "-wal").c_str(), F_OK) == 0)
            return;
        sqlite3_wal_checkpoint_v2(Db, nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
        if (!before)
            return;
        throw EStoreError("The journal \"" + Path +
                          "-wal\" of the SIM records was deleted while this program "
                          "used them. What was written before is kept in \"" +
                          Path + "\"; nothing more is written, and the move stops here: run the step again.");
    }

    void Insert(const TSimRecord& r) {
        TStatement insert(Db,
                          "INSERT INTO sim_records (serial, software, pcs, crc, sha256, saved, state, file, "
                          "mark, text_area, released, step_user, step_host, step_time, retired, copy_of) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                          Path);
        insert.Bind(r.SerialNumber).Bind(r.Software).Bind(r.Pcs).Bind(r.Crc).Bind(r.Sha256).Bind(r.Saved);
        insert.Bind(r.Journal.State).Bind(r.Journal.File).Bind(r.Journal.Mark).Bind(r.Journal.Text);
        insert.Bind(r.Journal.Released).Bind(r.LastStep.User).Bind(r.LastStep.Host).Bind(r.LastStep.Time);
        insert.Bind(r.Retired).Bind(r.CopyOf).Run();
    }

    void NoteStep(const std::string& serialNumber, const std::string& step, const TSimJournal& journal,
                  const TStepAuthor& author) {
        TStatement insert(
            Db,
            "INSERT INTO sim_steps (serial, step, state, file, step_user, step_host, step_time) "
            "VALUES (?, ?, ?, ?, ?, ?, ?)",
            Path);
        insert.Bind(serialNumber).Bind(step).Bind(journal.State).Bind(journal.File);
        insert.Bind(author.User).Bind(author.Host).Bind(author.Time).Run();
    }

    static std::string SelectRecord(const char* rest) {
        return std::string("SELECT serial, software, pcs, crc, sha256, saved, state, file, mark, text_area, "
                           "released, step_user, step_host, step_time, retired, copy_of FROM sim_records") +
               rest;
    }

    static TSimRecord Row(const TStatement& row) {
        TSimRecord r;
        r.SerialNumber = row.Text(0);
        r.Software = row.Text(1);
        r.Pcs = row.Text(2);
        r.Sha256 = row.Text(4);
        r.Saved = row.Text(5);
        r.Journal = {row.Text(6), row.Text(7), row.Text(8), row.Text(9), row.Text(10)};
        r.LastStep = {row.Text(11), row.Text(12), row.Text(13)};
        r.Retired = row.Text(14);
        r.CopyOf = row.Text(15);
        CheckRow(r, row.Integer(3));
        return r;
    }

    const std::string Path;
    sqlite3* Db = nullptr;
    // The records file as it was opened, checked before and after each change once opening is over.
    struct stat File {};
    bool Watching = false;
};

} // namespace

std::unique_ptr<TRecordEngine> OpenSqliteRecords(const std::string& path) {
    auto engine = std::make_unique<TSqliteRecords>(path);
    engine->Open();
    return engine;
}
