#include "vsim/PostgresRecords.h"

#include "link/NumberConverting.h"
#include "link/StopRequest.h"
#include "platform/TextFormat.h"
#include "vsim/RecordRows.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

constexpr const char* InstalledSchema = "/usr/share/quorvel/quorvel-records.sql";
constexpr const char* SourceSchema = "dist/postgresql/quorvel-records.sql";
constexpr const char* SimRole = "quorvel_sim";

// A server that does not answer within this is reported as away (the address may say otherwise).
constexpr const char* ConnectTimeoutSeconds = "5";
// Each change is one short transaction: a lock on the records held longer than this is a session that
// holds the tables without end, and the person is told instead of the program hanging.
// A statement the server itself takes longer over than this is ended by the server.
constexpr const char* SessionSettings = "SET lock_timeout = '10s'; SET statement_timeout = '20s'";

// How long a call waits for the server's answer before it gives the session up: longer than the server's
// own time-outs, so that a slow server answers with its reason, and a stalled one (a backend stopped, a
// network holding the packets, where keepalives do not help, as over a unix socket) ends the call.
// $QUORVEL_RECORDS_TIMEOUT (seconds) sets another.
std::chrono::seconds CallDeadline() {
    const char* text = std::getenv("QUORVEL_RECORDS_TIMEOUT");
    const int seconds = text ? std::atoi(text) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 30);
}
// Over TCP, a server that went away while a statement waits is noticed after about a minute.
constexpr const char* KeepalivesIdleSeconds = "30";
constexpr const char* KeepalivesIntervalSeconds = "10";
constexpr const char* KeepalivesCount = "3";

// SQLSTATE codes the engine tells the person about in its own words.
constexpr const char* InsufficientPrivilege = "42501";
constexpr const char* UndefinedTable = "42P01";

// Two programs making the tables at once wait for each other here. Claims' keys are never negative.
constexpr int64_t TablesLockKey = -0x71756F7276656C; // "quorvel"

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

// ---- Texts ----
//
// A UTF8 database takes only valid UTF-8 without NUL, yet the records' texts are bytes: a path on Linux
// may hold any, a handset's text is Windows-1252. Such a text, and one that begins with the escape mark,
// is stored as the mark followed by the text with every byte outside printable ASCII, and "%", written
// as %XX. The mark (DLE, 0x10) begins no path or handset text, so every other text is stored as it is
// and reads the same in psql.
constexpr char EscapeMark = '\x10';

bool IsUtf8Text(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = uint8_t(text[i]);
        if (lead == 0)
            return false;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                              : lead >= 0xE0 && lead <= 0xEF ? 3
                              : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                             : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t point = lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = uint8_t(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3Fu);
        }
        // Over-long forms, UTF-16 surrogates and points past U+10FFFF are no UTF-8.
        if ((length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
            (length == 4 && (point < 0x10000 || point > 0x10FFFF)))
            return false;
        i += length;
    }
    return true;
}

std::string ToColumn(const std::string& text) {
    if (IsUtf8Text(text) && (text.empty() || text[0] != EscapeMark))
        return text;
    std::string stored(1, EscapeMark);
    for (const char c : text) {
        const auto byte = uint8_t(c);
        if (byte < 0x20 || byte >= 0x7F || c == '%')
            stored += FormatText("%%%02X", unsigned(byte));
        else
            stored += c;
    }
    return stored;
}

std::string FromColumn(const std::string& stored) {
    if (stored.empty() || stored[0] != EscapeMark)
        return stored;
    std::string text;
    for (size_t i = 1; i < stored.size(); ++i) {
        const int high = stored[i] == '%' && i + 2 < stored.size() ? HexDigitValue(stored[i + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(stored[i + 2]) : -1;
        if (low >= 0) {
            text += char(high * 16 + low);
            i += 2;
        } else {
            text += stored[i];
        }
    }
    return text;
}

// ---- The address as the person is told of it ----

bool IsUri(const std::string& address) {
    return address.rfind("postgresql://", 0) == 0 || address.rfind("postgres://", 0) == 0;
}

std::string KeywordValue(const std::string& value) {
    if (!value.empty() && value.find_first_of(" '\\") == std::string::npos)
        return value;
    std::string quoted = "'";
    for (const char c : value)
        quoted += c == '\'' || c == '\\' ? std::string{'\\', c} : std::string{c};
    return quoted + "'";
}

// The address without a password: neither "user:password@" nor a password parameter.
std::string WithoutPassword(const std::string& address) {
    if (IsUri(address)) {
        std::string shown = address;
        const size_t start = shown.find("://") + 3;
        const size_t end = std::min(shown.find_first_of("/?", start), shown.size());
        const size_t at = end > start ? shown.rfind('@', end - 1) : std::string::npos;
        if (at != std::string::npos && at >= start) {
            const size_t colon = shown.find(':', start);
            if (colon < at)
                shown.erase(colon, at - colon);
        }
        const size_t query = shown.find('?');
        if (query == std::string::npos)
            return shown;
        std::string kept;
        for (size_t from = query + 1; from <= shown.size();) {
            const size_t to = std::min(shown.find('&', from), shown.size());
            const std::string part = shown.substr(from, to - from);
            if (part.rfind("password=", 0) != 0 && part != "password")
                kept += (kept.empty() ? "" : "&") + part;
            from = to + 1;
        }
        return shown.substr(0, query) + (kept.empty() ? "" : "?" + kept);
    }
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(address.c_str(), &error);
    PQfreemem(error);
    if (!options)
        return "a PostgreSQL address that cannot be read";
    std::string shown;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        if (option->val && *option->val && std::string(option->keyword) != "password")
            shown +=
                (shown.empty() ? "" : " ") + std::string(option->keyword) + "=" + KeywordValue(option->val);
    }
    PQconninfoFree(options);
    return shown;
}

// The first line of libpq's or the server's message, as a sentence.
std::string Sentence(const char* message) {
    std::string text = message ? message : "";
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return PrintableText(text.empty() ? std::string("no reason given") : text) + ".";
}

// ---- Statements ----

class TResult {
public:
    explicit TResult(PGresult* result)
        : Handle(result, &PQclear) {}

    int Rows() const { return PQntuples(Handle.get()); }
    bool IsNull(int row, int column) const { return PQgetisnull(Handle.get(), row, column) != 0; }
    // The value as the server sent it, and the record's text it stores.
    std::string Raw(int row, int column) const {
        return {PQgetvalue(Handle.get(), row, column), size_t(PQgetlength(Handle.get(), row, column))};
    }
    std::string Text(int row, int column) const { return FromColumn(Raw(row, column)); }
    bool Flag() const { return Rows() > 0 && Raw(0, 0) == "t"; }
    bool Changed() const { return std::string(PQcmdTuples(Handle.get())) != "0"; }
    const PGresult* Get() const { return Handle.get(); }

private:
    std::unique_ptr<PGresult, decltype(&PQclear)> Handle;
};

// A statement's parameters: texts are stored as ToColumn makes them.
class TParams {
public:
    TParams& Text(const std::string& text) {
        Values.push_back(ToColumn(text));
        return *this;
    }
    TParams& Number(std::optional<int64_t> number) {
        Values.push_back(number ? std::optional(std::to_string(*number)) : std::nullopt);
        return *this;
    }
    TParams& Record(const TSimRecord& r) {
        Text(r.SerialNumber).Text(r.Software).Text(r.Pcs);
        Number(r.Crc ? std::optional<int64_t>(*r.Crc) : std::nullopt);
        Text(r.Sha256).Text(r.Saved);
        Text(r.Journal.State).Text(r.Journal.File).Text(r.Journal.Mark).Text(r.Journal.Text);
        Text(r.Journal.Released);
        Text(r.LastStep.User).Text(r.LastStep.Host).Text(r.LastStep.Time);
        return Text(r.Retired).Text(r.CopyOf);
    }

    int Count() const { return int(Values.size()); }
    std::vector<const char*> Pointers() const {
        std::vector<const char*> pointers;
        for (const std::optional<std::string>& value : Values)
            pointers.push_back(value ? value->c_str() : nullptr);
        return pointers;
    }

private:
    std::vector<std::optional<std::string>> Values;
};

// A statement the server refused, with its SQLSTATE.
class EStatementFailed : public EStoreError {
public:
    EStatementFailed(const std::string& message, std::string state)
        : EStoreError(message)
        , State(std::move(state)) {}
    const std::string State;
};

// The connection went while a statement ran; the message is libpq's reason. The engine's calls turn it
// into their own message before it leaves them.
class EConnectionLost : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr const char* NotSaved = "The change was not saved.";
constexpr const char* MaybeSaved = "Whether the change was saved is not known.";

// The engine's connection and the claims held on it. Claims keep a weak pointer: one that outlives the
// engine finds the session gone, and with it its locks.
struct TSession {
    PGconn* Connection = nullptr;
    std::set<int64_t> Claims;
    // A statement did not answer in time: the session is given up.
    bool Stalled = false;

    TSession() = default;
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;
    ~TSession() {
        if (Connection)
            PQfinish(Connection);
    }

    void Release(int64_t key) {
        Claims.erase(key);
        // A session that went has dropped its locks with it; one given up is not waited for.
        if (PQstatus(Connection) != CONNECTION_OK || Stalled)
            return;
        const std::string text = std::to_string(key);
        const char* values[] = {text.c_str()};
        PQclear(PQexecParams(Connection, "SELECT pg_advisory_unlock($1::bigint)", 1, nullptr, values, nullptr,
                             nullptr, 0));
    }
};

// A claim is a session-level advisory lock, not a row lock (SELECT ... FOR UPDATE): every step of a move
// commits on its own while the move runs, and a row lock ends with its transaction, whereas an advisory
// lock lasts as long as the session, and the server lets go of it when the program dies and its
// connection closes.
class TAdvisoryClaim : public TMoveClaim {
public:
    TAdvisoryClaim(std::weak_ptr<TSession> session, int64_t key)
        : Session(std::move(session))
        , Key(key) {}
    ~TAdvisoryClaim() override {
        if (const std::shared_ptr<TSession> session = Session.lock())
            session->Release(Key);
    }

private:
    std::weak_ptr<TSession> Session;
    int64_t Key;
};

class TPostgresRecords : public TRecordEngine {
public:
    explicit TPostgresRecords(const std::string& address)
        : Shown(WithoutPassword(address))
        , Session(std::make_shared<TSession>()) {}

    void Open(const std::string& address) {
        // Words before dbname are defaults the address may override; those after it are the engine's.
        const char* keywords[] = {
            "connect_timeout",  "application_name", "keepalives_idle", "keepalives_interval",
            "keepalives_count", "dbname",           "client_encoding", nullptr};
        const char* values[] = {ConnectTimeoutSeconds,
                                "quorvel",
                                KeepalivesIdleSeconds,
                                KeepalivesIntervalSeconds,
                                KeepalivesCount,
                                address.c_str(),
                                "UTF8",
                                nullptr};
        Session->Connection = PQconnectdbParams(keywords, values, 1);
        if (!Session->Connection)
            throw EStoreError("The SIM records on " + Shown + " cannot be reached: out of memory.");
        if (PQstatus(Connection()) != CONNECTION_OK)
            throw EStoreError(Unreachable());
        PQsetNoticeProcessor(
            Connection(), [](void*, const char*) {}, nullptr);
        try {
            Prepare();
            MakeTables();
            if (!Execute(MayUseTables, {}, "read").Flag())
                throw EStoreError(RoleNeeded());
            // Advisory locks are the database's: two record stores in schemas of one database keep their
            // claims apart by the schema that holds their records.
            const TResult schema = Execute("SELECT n.nspname FROM pg_class c JOIN pg_namespace n ON "
                                           "n.oid = c.relnamespace WHERE c.oid = 'sim_records'::regclass",
                                           {}, "read");
            Schema = schema.Rows() > 0 ? schema.Raw(0, 0) : std::string();
        } catch (const EConnectionLost& e) {
            throw EStoreError("The SIM records on " + Shown + " cannot be reached: " + e.what());
        }
    }

    std::string Where() const override { return Shown; }

    std::optional<TSimRecord> Find(const std::string& serialNumber) override {
        const std::string sql =
            std::string("SELECT ") + RecordColumns + " FROM sim_records WHERE serial = $1";
        return Reading([&]() -> std::optional<TSimRecord> {
            const TResult rows = Execute(sql.c_str(), TParams().Text(serialNumber), "read");
            if (rows.Rows() == 0)
                return std::nullopt;
            return Row(rows, 0);
        });
    }

    std::vector<TSimRecord> All() override {
        const std::string sql = std::string("SELECT ") + RecordColumns + " FROM sim_records";
        std::vector<TSimRecord> records = Reading([&] {
            const TResult rows = Execute(sql.c_str(), {}, "read");
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
            const TResult rows =
                serialNumber.empty()
                    ? Execute((std::string(columns) + " ORDER BY id").c_str(), {}, "read")
                    : Execute((std::string(columns) + " WHERE serial = $1 ORDER BY id").c_str(),
                              TParams().Text(serialNumber), "read");
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
            Execute((std::string(InsertRecord) + ReplaceAll).c_str(), TParams().Record(written), "changed");
            NoteStep(written.SerialNumber, step, written.Journal, written.LastStep);
        });
    }

    bool SetJournal(const std::string& serialNumber, const TSimJournal& journal,
                    const std::string& step) override {
        const TStepAuthor author = CurrentAuthor();
        bool found = false;
        Changing([&] {
            TParams params;
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
            found =
                Execute("DELETE FROM sim_records WHERE serial = $1", TParams().Text(serialNumber), "changed")
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
                            TParams().Record(record), "changed")
                        .Changed()) {
                    NoteStep(record.SerialNumber, ImportedStep, record.Journal, CurrentAuthor());
                    added.push_back(record.SerialNumber);
                    continue;
                }
                const TResult held = Execute((std::string("SELECT ") + RecordColumns +
                                              " FROM sim_records WHERE serial = $1 FOR UPDATE")
                                                 .c_str(),
                                             TParams().Text(record.SerialNumber), "read");
                if (held.Rows() == 0 || !SameSums(Row(held, 0), record))
                    throw EStoreError(DifferentSums(record.SerialNumber, Shown));
                if (Row(held, 0).Retired.empty() || !record.Retired.empty())
                    continue;
                // Retired here and coming back as one to take: taken again, as it comes.
                Execute((std::string(InsertRecord) + ReplaceAll).c_str(), TParams().Record(record),
                        "changed");
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
                TParams params;
                params.Text(retired).Text(copyOf).Text(author.User).Text(author.Host).Text(author.Time);
                const TResult updated = Execute(
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
            const TResult rows = Execute("SELECT id FROM sim_store LIMIT 1", {}, "read");
            return rows.Rows() > 0 ? rows.Text(0, 0) : std::string();
        });
    }

    std::string MakeId() override {
        std::string id;
        Changing([&] {
            // One id, whichever program comes first.
            Execute("LOCK TABLE sim_store IN SHARE ROW EXCLUSIVE MODE", {}, "changed");
            const TResult rows = Execute("SELECT id FROM sim_store LIMIT 1", {}, "read");
            id = rows.Rows() > 0 ? rows.Text(0, 0) : NewStoreId();
            if (rows.Rows() == 0)
                Execute("INSERT INTO sim_store (id, made) VALUES ($1, $2)",
                        TParams().Text(id).Text(CurrentAuthor().Time), "changed");
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
            return Execute("SELECT pg_try_advisory_lock($1::bigint)", TParams().Number(key), "read").Flag();
        });
        if (!granted)
            return nullptr;
        Session->Claims.insert(key);
        return std::make_unique<TAdvisoryClaim>(Session, key);
    }

private:
    PGconn* Connection() const { return Session->Connection; }

    std::string Unreachable() const {
        return "The SIM records on " + Shown +
               " cannot be reached: " + Sentence(PQerrorMessage(Connection()));
    }

    std::string Login() const {
        const char* user = PQuser(Connection());
        return user && *user ? user : "of this program";
    }

    std::string RoleNeeded() const {
        return "The login \"" + Login() + "\" may not read and change the SIM records on " + Shown +
               ": it needs the role " + SimRole + ". An administrator gives it with: GRANT " + SimRole +
               " TO " + Login() + ";";
    }

    std::string NoTables() const {
        return "The SIM records on " + Shown + " have no tables of this version, and the login \"" + Login() +
               "\" may not make them or bring them up to date. An administrator runs " + InstalledSchema +
               " (" + SourceSchema + " in the sources) and gives each person who moves SIMs the role " +
               SimRole + " (GRANT " + SimRole + " TO " + Login() + ";).";
    }

    // outcome says what became of the change under way, when there was one.
    std::string Lost(const std::string& reason, const char* outcome) const {
        const std::string told = *outcome ? std::string(" ") + outcome : std::string();
        const std::string why = reason.substr(0, reason.find_last_not_of('.') + 1);
        if (!Session->Claims.empty())
            return "The connection to the SIM records on " + Shown + " was lost during the move (" + why +
                   "); the move's claim on the SIM went with it, so the move must not go on." + told +
                   " Run the move again when the server answers; its journal tells where it stopped.";
        return "The connection to the SIM records on " + Shown + " was lost: " + reason + told;
    }

    // One statement; without parameters it may be several. Raises EConnectionLost when the connection
    // went, EStatementFailed when the server refused.
    TResult Execute(const char* sql, const TParams& params, const char* doing) {
        TResult result = Await(sql, params);
        const PGresult* handle = result.Get();
        const ExecStatusType status = PQresultStatus(handle);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            return result;
        if (PQstatus(Connection()) != CONNECTION_OK)
            throw EConnectionLost(Sentence(PQerrorMessage(Connection())));
        const char* code = handle ? PQresultErrorField(handle, PG_DIAG_SQLSTATE) : nullptr;
        const std::string state = code ? code : "";
        if (state == InsufficientPrivilege)
            throw EStatementFailed(RoleNeeded(), state);
        if (state == UndefinedTable)
            throw EStatementFailed(NoTables(), state);
        const char* primary = handle ? PQresultErrorField(handle, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        throw EStatementFailed("The SIM records on " + Shown + " could not be " + doing + ": " +
                                   Sentence(primary ? primary : PQerrorMessage(Connection())),
                               state);
    }

    // Sends the statement and waits for its answer no longer than the deadline: a server that stalls
    // (a backend stopped, a network that holds the packets) ends the call with EConnectionLost, the
    // statement cancelled and the connection given up. The first error of several statements is the
    // result, as PQexec gives it; else the last result.
    TResult Await(const char* sql, const TParams& params) {
        PGconn* connection = Connection();
        if (Session->Stalled)
            throw EConnectionLost("the server did not answer before.");
        const std::vector<const char*> values = params.Pointers();
        const int sent = params.Count() == 0 ? PQsendQuery(connection, sql)
                                             : PQsendQueryParams(connection, sql, params.Count(), nullptr,
                                                                 values.data(), nullptr, nullptr, 0);
        if (!sent)
            throw EConnectionLost(Sentence(PQerrorMessage(connection)));
        const auto deadline = std::chrono::steady_clock::now() + CallDeadline();
        PGresult* kept = nullptr;
        for (;;) {
            while (PQflush(connection) > 0 && Wait(connection, POLLOUT | POLLIN, deadline)) {
            }
            if (!PQconsumeInput(connection)) {
                PQclear(kept);
                throw EConnectionLost(Sentence(PQerrorMessage(connection)));
            }
            while (!PQisBusy(connection)) {
                PGresult* next = PQgetResult(connection);
                if (!next)
                    return TResult(kept);
                if (kept && PQresultStatus(kept) != PGRES_COMMAND_OK &&
                    PQresultStatus(kept) != PGRES_TUPLES_OK) {
                    PQclear(next);
                    continue;
                }
                PQclear(kept);
                kept = next;
            }
            if (!Wait(connection, POLLIN, deadline)) {
                PQclear(kept);
                Abandon();
                throw EConnectionLost(StopRequested()
                                          ? std::string("the wait for the server's answer was stopped.")
                                          : FormatText("the server did not answer within %d seconds.",
                                                       int(CallDeadline().count())));
            }
        }
    }

    // Waits until the connection's socket is ready or the deadline passes; false at the deadline.
    static bool Wait(PGconn* connection, short events, std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd socket{PQsocket(connection), events, 0};
            const int ready = poll(&socket, 1, int(std::min<int64_t>(left.count(), 1000)));
            if (ready > 0 || (ready < 0 && errno != EINTR))
                return true;
            // A stop the person asked for cuts the wait short as well.
            if (StopRequested())
                return false;
        }
    }

    // The statement that did not answer is cancelled (the server gets to it when it can) and the session
    // given up: nothing more is sent on it, and a claim held on it is lost with it.
    void Abandon() {
        if (PGcancel* cancel = PQgetCancel(Connection())) {
            char reason[256];
            PQcancel(cancel, reason, sizeof reason);
            PQfreeCancel(cancel);
        }
        Session->Stalled = true;
    }

    void Prepare() { Execute(SessionSettings, {}, "read"); }

    void MakeTables() {
        if (Execute(HasTables, {}, "read").Flag())
            return;
        try {
            Execute("BEGIN", {}, "changed");
            Execute("SELECT pg_advisory_xact_lock($1::bigint)", TParams().Number(TablesLockKey), "changed");
            Execute(Tables, {}, "changed");
            Execute("COMMIT", {}, "changed");
        } catch (const EStatementFailed& e) {
            Rollback();
            if (e.State == InsufficientPrivilege)
                throw EStoreError(NoTables());
            throw;
        }
    }

    // Before a call: a session the server ended while the program was idle is opened again, unless a
    // claim was held on it.
    void Connected() {
        if (Session->Stalled)
            Reconnect("the server did not answer before.");
        if (PQstatus(Connection()) == CONNECTION_OK)
            PQconsumeInput(Connection());
        if (PQstatus(Connection()) != CONNECTION_OK)
            Reconnect(Sentence(PQerrorMessage(Connection())));
    }

    // Opens the connection again once; never while a claim is held, as its lock went with the session.
    void Reconnect(const std::string& reason) {
        if (!Session->Claims.empty())
            throw EStoreError(Lost(reason, ""));
        PQreset(Connection());
        Session->Stalled = false;
        if (PQstatus(Connection()) != CONNECTION_OK)
            throw EStoreError(Unreachable());
        try {
            Prepare();
        } catch (const EConnectionLost& e) {
            throw EStoreError(Lost(e.what(), ""));
        }
    }

    // A read is repeated once on a new connection when the old one went.
    template <typename Body> auto Reading(Body body) -> decltype(body()) {
        Connected();
        try {
            return body();
        } catch (const EConnectionLost& e) {
            Reconnect(e.what());
        }
        try {
            return body();
        } catch (const EConnectionLost& e) {
            throw EStoreError(Lost(e.what(), ""));
        }
    }

    // One change in one transaction, committed when this returns; none of it is kept when it raises.
    template <typename Body> void Changing(Body body) {
        Connected();
        try {
            // Nothing was sent yet when the connection turns out lost here: begin again on a new one.
            try {
                Execute("BEGIN", {}, "changed");
            } catch (const EConnectionLost& e) {
                Reconnect(e.what());
                Execute("BEGIN", {}, "changed");
            }
            try {
                body();
            } catch (...) {
                Rollback();
                throw;
            }
        } catch (const EConnectionLost& e) {
            throw EStoreError(Lost(e.what(), NotSaved));
        }
        try {
            Execute("COMMIT", {}, "changed");
        } catch (const EConnectionLost& e) {
            throw EStoreError(Lost(e.what(), MaybeSaved));
        }
    }

    void Rollback() {
        if (PQstatus(Connection()) != CONNECTION_OK || Session->Stalled)
            return;
        try {
            Await("ROLLBACK", {});
        } catch (const EConnectionLost&) {
            // The session goes, and its transaction with it.
        }
    }

    void NoteStep(const std::string& serialNumber, const std::string& step, const TSimJournal& journal,
                  const TStepAuthor& author) {
        Execute("INSERT INTO sim_steps (serial, step, state, file, step_user, step_host, step_time) "
                "VALUES ($1, $2, $3, $4, $5, $6, $7)",
                TParams()
                    .Text(serialNumber)
                    .Text(step)
                    .Text(journal.State)
                    .Text(journal.File)
                    .Text(author.User)
                    .Text(author.Host)
                    .Text(author.Time),
                "changed");
    }

    static TSimRecord Row(const TResult& rows, int i) {
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

    const std::string Shown;
    // The schema of the records, which names their claims apart from those of other stores.
    std::string Schema;
    const std::shared_ptr<TSession> Session;
};

} // namespace

std::unique_ptr<TRecordEngine> OpenPostgresRecords(const std::string& address) {
    auto engine = std::make_unique<TPostgresRecords>(address);
    engine->Open(address);
    return engine;
}
