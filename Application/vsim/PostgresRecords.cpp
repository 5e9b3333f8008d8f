#include "vsim/PostgresRecords.h"

#include "vsim/PgSession.h"
#include "vsim/RecordRows.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

namespace {

constexpr const char* InstalledSchema = "/usr/share/quorvel/quorvel-records.sql";
constexpr const char* SourceSchema = "dist/postgresql/quorvel-records.sql";
constexpr const char* SimRole = "quorvel_sim";

// The same columns as the SQLite engine's, and the same as dist/postgresql/quorvel-records.sql.
constexpr const char* Tables = R"(
CREATE TABLE IF NOT EXISTS sim_records (
    serial TEXT PRIMARY KEY, software TEXT NOT NULL, pcs TEXT NOT NULL,
    crc BIGINT NOT NULL CHECK (crc BETWEEN 0 AND 4294967295), sha256 TEXT NOT NULL DEFAULT '',
    saved TEXT NOT NULL DEFAULT '', state TEXT NOT NULL DEFAULT '', file TEXT NOT NULL DEFAULT '',
    mark TEXT NOT NULL DEFAULT '', text_area TEXT NOT NULL DEFAULT '', released TEXT NOT NULL DEFAULT '',
    step_user TEXT NOT NULL DEFAULT '', step_host TEXT NOT NULL DEFAULT '',
    step_time TEXT NOT NULL DEFAULT '');
ALTER TABLE sim_records ADD COLUMN IF NOT EXISTS retired TEXT NOT NULL DEFAULT '';
ALTER TABLE sim_records ADD COLUMN IF NOT EXISTS copy_of TEXT NOT NULL DEFAULT '';
CREATE TABLE IF NOT EXISTS sim_store (id TEXT NOT NULL, made TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS sim_steps (
    id BIGSERIAL PRIMARY KEY, serial TEXT NOT NULL, step TEXT NOT NULL, state TEXT NOT NULL,
    file TEXT NOT NULL, step_user TEXT NOT NULL, step_host TEXT NOT NULL, step_time TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS sim_steps_serial ON sim_steps (serial);
)";

// Whether the tables are there as this version uses them (tables of an earlier version lack the columns
// and the store's id table that came later).
constexpr const char* HasTables =
    "SELECT to_regclass('sim_records') IS NOT NULL AND to_regclass('sim_steps') IS NOT NULL "
    "AND to_regclass('sim_store') IS NOT NULL AND (SELECT count(*) = 2 FROM pg_attribute "
    "WHERE attrelid = to_regclass('sim_records') AND attname IN ('retired', 'copy_of') AND NOT attisdropped)";

constexpr const char* MayUseTables =
    "SELECT has_table_privilege('sim_records', 'SELECT') AND has_table_privilege('sim_records', 'INSERT') "
    "AND has_table_privilege('sim_records', 'UPDATE') AND has_table_privilege('sim_records', 'DELETE') "
    "AND has_table_privilege('sim_steps', 'SELECT') AND has_table_privilege('sim_steps', 'INSERT') "
    "AND has_table_privilege('sim_store', 'SELECT') AND has_table_privilege('sim_store', 'INSERT') "
    "AND coalesce(has_sequence_privilege(pg_get_serial_sequence('sim_steps', 'id'), 'USAGE'), true)";

constexpr const char* RecordColumns =
    "serial, software, pcs, crc, sha256, saved, state, file, mark, text_area, "
    "released, step_user, step_host, step_time, retired, copy_of";

constexpr const char* InsertRecord =
    "INSERT INTO sim_records (serial, software, pcs, crc, sha256, saved, state, file, mark, text_area, "
    "released, step_user, step_host, step_time, retired, copy_of) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16) ";

constexpr const char* ReplaceAll =
    "ON CONFLICT (serial) DO UPDATE SET software = EXCLUDED.software, pcs = EXCLUDED.pcs, "
    "crc = EXCLUDED.crc, sha256 = EXCLUDED.sha256, saved = EXCLUDED.saved, state = EXCLUDED.state, "
    "file = EXCLUDED.file, mark = EXCLUDED.mark, text_area = EXCLUDED.text_area, "
    "released = EXCLUDED.released, step_user = EXCLUDED.step_user, step_host = EXCLUDED.step_host, "
    "step_time = EXCLUDED.step_time, retired = EXCLUDED.retired, copy_of = EXCLUDED.copy_of";

// A record's columns as parameters, in the order of InsertRecord.
TPgParams& AddRecord(TPgParams& params, const TSimRecord& r) {
    params.Text(r.SerialNumber).Text(r.Software).Text(r.Pcs);
    params.Number(r.Crc ? std::optional<int64_t>(*r.Crc) : std::nullopt);
    params.Text(r.Sha256).Text(r.Saved);
    params.Text(r.Journal.State).Text(r.Journal.File).Text(r.Journal.Mark).Text(r.Journal.Text);
    params.Text(r.Journal.Released);
    params.Text(r.LastStep.User).Text(r.LastStep.Host).Text(r.LastStep.Time);
    return params.Text(r.Retired).Text(r.CopyOf);
}

TPgParams RecordParams(const TSimRecord& r) {
    TPgParams params;
    AddRecord(params, r);
    return params;
}

// A claim is a session-level advisory lock, not a row lock (SELECT ... FOR UPDATE): every step of a move
// commits on its own while the move runs, and a row lock ends with its transaction, whereas an advisory
// lock lasts as long as the session, and the server lets go of it when the program dies and its
// connection closes.
class TAdvisoryClaim : public TMoveClaim {
public:
    TAdvisoryClaim(std::weak_ptr<TPgSession> session, int64_t key)
        : Session(std::move(session))
        , Key(key) {}
    ~TAdvisoryClaim() override {
        if (const std::shared_ptr<TPgSession> session = Session.lock())
            session->Release(Key);
    }

private:
    std::weak_ptr<TPgSession> Session;
    int64_t Key;
};

class TPostgresRecords : public TRecordEngine, public TPgStore {
public:
    explicit TPostgresRecords(const std::string& address)
        : TPgStore(address, "The SIM records") {}

    void Open(const std::string& address) {
        try {
            Connect(address);
            MakeTables(HasTables, Tables);
            if (!Execute(MayUseTables, {}, "read").Flag())
                throw EStoreError(RoleNeeded());
            // Advisory locks are the database's: two record stores in schemas of one database keep their
            // claims apart by the schema that holds their records.
            const TPgResult schema = Execute("SELECT n.nspname FROM pg_class c JOIN pg_namespace n ON "
                                             "n.oid = c.relnamespace WHERE c.oid = 'sim_records'::regclass",
                                             {}, "read");
            Schema = schema.Rows() > 0 ? schema.Raw(0, 0) : std::string();
        } catch (const EPgConnectionLost& e) {
            throw EStoreError("The SIM records on " + Shown() + " cannot be reached: " + e.what());
        }
    }

    std::string Where() const override { return Shown(); }

    std::optional<TSimRecord> Find(const std::string& serialNumber) override {
        const std::string sql =
            std::string("SELECT ") + RecordColumns + " FROM sim_records WHERE serial = $1";
        return Reading([&]() -> std::optional<TSimRecord> {
            const TPgResult rows = Execute(sql.c_str(), TPgParams().Text(serialNumber), "read");
            if (rows.Rows() == 0)
                return std::nullopt;
            return Row(rows, 0);
        });
    }

    std::vector<TSimRecord> All() override {
        const std::string sql = std::string("SELECT ") + RecordColumns + " FROM sim_records";
        std::vector<TSimRecord> records = Reading([&] {
            const TPgResult rows = Execute(sql.c_str(), {}, "read");
            std::vector<TSimRecord> read;
            for (int i = 0; i < rows.Rows(); ++i)
                read.push_back(Row(rows, i));
            return read;
        });
        // By the serial number's bytes, as the SQLite engine orders them, whatever the server's collation.
        std::sort(records.begin(), records.end(),
                  [](const TSimRecord& a, const TSimRecord& b) { return a.SerialNumber < b.SerialNumber; });
        return records;
    }

    std::vector<TSimStep> Steps(const std::string& serialNumber) override {
        const char* columns =
            "SELECT serial, step, state, file, step_user, step_host, step_time FROM sim_steps";
        return Reading([&] {
            const TPgResult rows =
                serialNumber.empty()
                    ? Execute((std::string(columns) + " ORDER BY id").c_str(), {}, "read")
                    : Execute((std::string(columns) + " WHERE serial = $1 ORDER BY id").c_str(),
                              TPgParams().Text(serialNumber), "read");
            std::vector<TSimStep> steps;
            for (int i = 0; i < rows.Rows(); ++i)
                steps.push_back({rows.Text(i, 0),
                                 rows.Text(i, 1),
                                 rows.Text(i, 2),
                                 rows.Text(i, 3),
                                 {rows.Text(i, 4), rows.Text(i, 5), rows.Text(i, 6)}});
            return steps;
        });
    }

    void Put(const TSimRecord& record, const std::string& step) override {
        TSimRecord written = record;
        written.LastStep = CurrentAuthor();
        Changing([&] {
            Execute((std::string(InsertRecord) + ReplaceAll).c_str(), RecordParams(written), "changed");
            NoteStep(written.SerialNumber, step, written.Journal, written.LastStep);
        });
    }

    bool SetJournal(const std::string& serialNumber, const TSimJournal& journal,
                    const std::string& step) override {
        const TStepAuthor author = CurrentAuthor();
        bool found = false;
        Changing([&] {
            TPgParams params;
            params.Text(journal.State).Text(journal.File).Text(journal.Mark).Text(journal.Text);
            params.Text(journal.Released).Text(author.User).Text(author.Host).Text(author.Time);
            found = Execute("UPDATE sim_records SET state = $1, file = $2, mark = $3, text_area = $4, "
                            "released = $5, step_user = $6, step_host = $7, step_time = $8 WHERE serial = $9",
                            params.Text(serialNumber), "changed")
                        .Changed();
            if (found)
                NoteStep(serialNumber, step, journal, author);
        });
        return found;
    }

    bool Remove(const std::string& serialNumber, const std::string& step) override {
        bool found = false;
        Changing([&] {
            found = Execute("DELETE FROM sim_records WHERE serial = $1", TPgParams().Text(serialNumber),
                            "changed")
                        .Changed();
            if (found)
                NoteStep(serialNumber, step, {}, CurrentAuthor());
        });
        return found;
    }

    std::vector<std::string> Import(const std::vector<TSimRecord>& records) override {
        std::vector<std::string> added;
        Changing([&] {
            added.clear();
            for (const TSimRecord& record : records) {
                // Inserting first, rather than looking first, leaves no gap for another PC's import.
                if (Execute((std::string(InsertRecord) + "ON CONFLICT (serial) DO NOTHING").c_str(),
                            RecordParams(record), "changed")
                        .Changed()) {
                    NoteStep(record.SerialNumber, ImportedStep, record.Journal, CurrentAuthor());
                    added.push_back(record.SerialNumber);
                    continue;
                }
                const TPgResult held = Execute((std::string("SELECT ") + RecordColumns +
                                                " FROM sim_records WHERE serial = $1 FOR UPDATE")
                                                   .c_str(),
                                               TPgParams().Text(record.SerialNumber), "read");
                if (held.Rows() == 0 || !SameSums(Row(held, 0), record))
                    throw EStoreError(DifferentSums(record.SerialNumber, Shown()));
                if (Row(held, 0).Retired.empty() || !record.Retired.empty())
                    continue;
                // Retired here and coming back as one to take: taken again, as it comes.
                Execute((std::string(InsertRecord) + ReplaceAll).c_str(), RecordParams(record), "changed");
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
        Changing([&] {
            changed.clear();
            for (const std::string& serial : serialNumbers) {
                TPgParams params;
                params.Text(retired).Text(copyOf).Text(author.User).Text(author.Host).Text(author.Time);
                const TPgResult updated = Execute(
                    "UPDATE sim_records SET retired = $1, copy_of = $2, step_user = $3, step_host = $4, "
                    "step_time = $5 WHERE serial = $6 RETURNING state, file",
                    params.Text(serial), "changed");
                if (updated.Rows() == 0)
                    continue;
                TSimJournal journal;
                journal.State = updated.Text(0, 0);
                journal.File = updated.Text(0, 1);
                NoteStep(serial, step, journal, author);
                changed.push_back(serial);
            }
        });
        return changed;
    }

    std::string Id() override {
        return Reading([&] {
            const TPgResult rows = Execute("SELECT id FROM sim_store LIMIT 1", {}, "read");
            return rows.Rows() > 0 ? rows.Text(0, 0) : std::string();
        });
    }

    std::string MakeId() override {
        std::string id;
        Changing([&] {
            // One id, whichever program comes first.
            Execute("LOCK TABLE sim_store IN SHARE ROW EXCLUSIVE MODE", {}, "changed");
            const TPgResult rows = Execute("SELECT id FROM sim_store LIMIT 1", {}, "read");
            id = rows.Rows() > 0 ? rows.Text(0, 0) : NewStoreId();
            if (rows.Rows() == 0)
                Execute("INSERT INTO sim_store (id, made) VALUES ($1, $2)",
                        TPgParams().Text(id).Text(CurrentAuthor().Time), "changed");
        });
        return id;
    }

    std::unique_ptr<TMoveClaim> Claim(const std::string& serialNumber) override {
        const auto key =
            int64_t(ClaimOffset(Schema == "public" ? serialNumber : Schema + "\\" + serialNumber));
        // The server grants a session's own lock again; a second move of the SIM in this program is refused
        // here.
        if (Session->Claims.count(key))
            return nullptr;
        const bool granted = Reading([&] {
            return Execute("SELECT pg_try_advisory_lock($1::bigint)", TPgParams().Number(key), "read").Flag();
        });
        if (!granted)
            return nullptr;
        Session->Claims.insert(key);
        return std::make_unique<TAdvisoryClaim>(Session, key);
    }

private:
    std::string RoleNeeded() const override {
        return "The login \"" + Login() + "\" may not read and change the SIM records on " + Shown() +
               ": it needs the role " + SimRole + ". An administrator gives it with: GRANT " + SimRole +
               " TO " + Login() + ";";
    }

    std::string NoTables() const override {
        return "The SIM records on " + Shown() + " have no tables of this version, and the login \"" +
               Login() + "\" may not make them or bring them up to date. An administrator runs " +
               InstalledSchema + " (" + SourceSchema +
               " in the sources) and gives each person who moves SIMs the role " + SimRole + " (GRANT " +
               SimRole + " TO " + Login() + ";).";
    }

    void NoteStep(const std::string& serialNumber, const std::string& step, const TSimJournal& journal,
                  const TStepAuthor& author) {
        Execute("INSERT INTO sim_steps (serial, step, state, file, step_user, step_host, step_time) "
                "VALUES ($1, $2, $3, $4, $5, $6, $7)",
                TPgParams()
                    .Text(serialNumber)
                    .Text(step)
                    .Text(journal.State)
                    .Text(journal.File)
                    .Text(author.User)
                    .Text(author.Host)
                    .Text(author.Time),
                "changed");
    }

    static TSimRecord Row(const TPgResult& rows, int i) {
        TSimRecord r;
        r.SerialNumber = rows.Text(i, 0);
        r.Software = rows.Text(i, 1);
        r.Pcs = rows.Text(i, 2);
        r.Sha256 = rows.Text(i, 4);
        r.Saved = rows.Text(i, 5);
        r.Journal = {rows.Text(i, 6), rows.Text(i, 7), rows.Text(i, 8), rows.Text(i, 9), rows.Text(i, 10)};
        r.LastStep = {rows.Text(i, 11), rows.Text(i, 12), rows.Text(i, 13)};
        r.Retired = rows.Text(i, 14);
        r.CopyOf = rows.Text(i, 15);
        // A column changed by hand to another type may hold anything: only a whole number is a "CRC".
        std::optional<int64_t> crc;
        if (!rows.IsNull(i, 3)) {
            const std::string raw = rows.Raw(i, 3);
            int64_t number = 0;
            const auto [end, error] = std::from_chars(raw.data(), raw.data() + raw.size(), number);
            if (error == std::errc() && end == raw.data() + raw.size())
                crc = number;
        }
        CheckRow(r, crc);
        return r;
    }

    // The schema of the records, which names their claims apart from those of other stores.
    std::string Schema;
};

} // namespace

std::unique_ptr<TRecordEngine> OpenPostgresRecords(const std::string& address) {
    auto engine = std::make_unique<TPostgresRecords>(address);
    engine->Open(address);
    return engine;
}
