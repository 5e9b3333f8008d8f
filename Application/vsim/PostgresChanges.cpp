#include "vsim/PostgresChanges.h"

#include "platform/ChangeChain.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "vsim/HandsetRegistry.h"
#include "vsim/PgSession.h"
#include "vsim/RecordRows.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* InstalledSchema = "/usr/share/quorvel/quorvel-records.sql";
constexpr const char* SourceSchema = "dist/postgresql/quorvel-records.sql";
constexpr const char* StationRole = "quorvel_station";
// A PC's old log file larger than this is not moved in whole (it stays a file).
constexpr size_t OldLogLimit = size_t(1) << 30;

// The same tables as dist/postgresql/quorvel-records.sql makes.
constexpr const char* Tables = R"(
CREATE TABLE IF NOT EXISTS change_log (
    n BIGSERIAL PRIMARY KEY, time TEXT NOT NULL, user_name TEXT NOT NULL, pc TEXT NOT NULL,
    port TEXT NOT NULL, serial TEXT NOT NULL, operation TEXT NOT NULL, template TEXT NOT NULL,
    outcome TEXT NOT NULL, op_id TEXT NOT NULL, line TEXT NOT NULL, seal TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS change_log_pc ON change_log (pc, n);
CREATE OR REPLACE FUNCTION change_log_only_added() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
    RAISE EXCEPTION 'the change log is only added to: its rows are never changed or removed'
        USING ERRCODE = 'insufficient_privilege';
END
$body$;
CREATE OR REPLACE TRIGGER change_log_only_added BEFORE UPDATE OR DELETE OR TRUNCATE ON change_log
    FOR EACH STATEMENT EXECUTE FUNCTION change_log_only_added();
CREATE TABLE IF NOT EXISTS handsets (
    serial TEXT PRIMARY KEY, software TEXT NOT NULL, pcs TEXT NOT NULL, model INTEGER NOT NULL,
    capacity INTEGER NOT NULL, first_seen TEXT NOT NULL, last_seen TEXT NOT NULL, last_pc TEXT NOT NULL,
    last_port TEXT NOT NULL, template TEXT NOT NULL DEFAULT '', template_hash TEXT NOT NULL DEFAULT '',
    template_time TEXT NOT NULL DEFAULT '', verify TEXT NOT NULL DEFAULT '');
)";

constexpr const char* HasTables =
    "SELECT to_regclass('change_log') IS NOT NULL AND to_regclass('handsets') IS NOT NULL";

constexpr const char* MayUseTables =
    "SELECT has_table_privilege('change_log', 'SELECT') AND has_table_privilege('change_log', 'INSERT') "
    "AND has_table_privilege('handsets', 'SELECT') AND has_table_privilege('handsets', 'INSERT') "
    "AND has_table_privilege('handsets', 'UPDATE') "
    "AND coalesce(has_sequence_privilege(pg_get_serial_sequence('change_log', 'n'), 'USAGE'), true)";

constexpr const char* HandsetColumns =
    "serial, software, pcs, model, capacity, first_seen, last_seen, last_pc, "
    "last_port, template, template_hash, template_time, verify";

constexpr const char* InsertHandset = "INSERT INTO handsets (serial, software, pcs, model, capacity, "
                                      "first_seen, last_seen, last_pc, last_port, "
                                      "template, template_hash, template_time, verify) "
                                      "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13) ";

TPgParams HandsetParams(const THandsetRow& row) {
    TPgParams params;
    params.Text(row.Serial).Text(row.Software).Text(row.Pcs).Number(row.Model).Number(row.Capacity);
    params.Text(row.FirstSeen).Text(row.LastSeen).Text(row.LastPc).Text(row.LastPort);
    return params.Text(row.Template).Text(row.TemplateHash).Text(row.TemplateTime).Text(row.Verify);
}

// Appends of one PC wait for each other here, so that each row is sealed after the one before it. The keys
// are negative, apart from the SIMs' claims.
int64_t ChainLockKey(const std::string& pc) {
    return -int64_t(ClaimOffset("change-log\\" + pc)) - 1;
}

std::string ErrnoText(const char* what, const std::string& path) {
    return FormatText("\"%s\" could not be %s (%s)", path.c_str(), what, std::strerror(errno));
}

// The lines of a log's text that hold anything, in their order.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t from = 0; from < text.size();) {
        const size_t end = std::min(text.find('\n', from), text.size());
        std::string line = text.substr(from, end - from);
        if (line.find_first_not_of(" \r") != std::string::npos)
            lines.push_back(std::move(line));
        from = end + 1;
    }
    return lines;
}

// ---- The rows kept on this PC ----

// The owed file, open and locked; -1 with why when it cannot be.
class TOwedFile {
public:
    TOwedFile(const std::string& path, bool create) {
        Fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0660);
        if (Fd < 0) {
            Why = errno == ENOENT ? std::string() : ErrnoText("opened", path);
            return;
        }
        while (flock(Fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~TOwedFile() {
        if (Fd >= 0)
            close(Fd);
    }
    TOwedFile(const TOwedFile&) = delete;
    TOwedFile& operator=(const TOwedFile&) = delete;

    std::vector<std::string> Lines() const {
        std::string text;
        char buffer[65536];
        for (off_t at = 0;;) {
            const ssize_t got = pread(Fd, buffer, sizeof buffer, at);
            if (got <= 0)
                break;
            text.append(buffer, size_t(got));
            at += got;
        }
        return LinesOf(text);
    }
    // "" when the line is on the disk.
    std::string Add(const std::string& line, const std::string& path) const {
        if (write(Fd, line.data(), line.size()) != ssize_t(line.size()) || fsync(Fd) != 0)
            return ErrnoText("written", path);
        return {};
    }
    void Empty() const {
        if (ftruncate(Fd, 0) == 0)
            fsync(Fd);
    }

    int Fd = -1;
    std::string Why;
};

class TPostgresChanges : public TChangeStore, public TPgStore {
public:
    explicit TPostgresChanges(const std::string& address)
        : TPgStore(address, "The change log")
        , Address(address) {}

    std::string Where() const override { return Shown(); }
    bool Shared() const override { return true; }

    std::string Ready() override {
        try {
            Reached();
            return {};
        } catch (const EStoreError& e) {
            return e.what() + std::string(" No change is begun while the log cannot note it.");
        }
    }

    std::string Append(const TChangeRecord& record) override {
        try {
            Reached();
            Changing([&] { Insert(ChangeLine(record), record.Pc, true); });
            return {};
        } catch (const EPgStatementFailed& e) {
            return e.what();
        } catch (const EStoreError& e) {
            // The server is away: the row waits on this PC and goes first when it answers again.
            const TOwedFile owed(OwedChangesPath(), true);
            if (owed.Fd < 0)
                return std::string(e.what()) + " The row could not be kept on this PC either: " + owed.Why +
                       ".";
            if (const std::string why = owed.Add(ChangeLine(record), OwedChangesPath()); !why.empty())
                return std::string(e.what()) + " The row could not be kept on this PC either: " + why + ".";
            return {};
        }
    }

    TChangeLogContents Read(const TChangeFilter& filter, int64_t from) override {
        Reached();
        TChangeLogContents contents;
        for (const auto& [number, line] : Rows(from).Lines) {
            const std::optional<TChangeRecord> record = ChangeRecordOf(line);
            if (!record)
                ++contents.Damaged;
            else if (filter.Takes(*record))
                contents.Changes.push_back(*record);
        }
        for (const TChangeRecord& record : Owed())
            if (filter.Takes(record))
                contents.Changes.push_back(record);
        return contents;
    }

    int64_t End() override {
        Reached();
        return Reading([&] {
            const TPgResult rows = Execute("SELECT coalesce(max(n), 0) FROM change_log", {}, "read");
            return rows.Rows() > 0 ? std::stoll(rows.Raw(0, 0)) : int64_t(0);
        });
    }

    TChainCheck Check(int64_t from) override {
        Reached();
        const TRows rows = Rows(from);
        TChainCheck check = CheckChain(rows.Lines, from == 0);
        if (rows.Changed && (check.Holds() || *rows.Changed < *check.BrokenLine)) {
            check.BrokenLine = rows.Changed;
            check.How = "changed since it was written";
            check.What = rows.ChangedWhat;
        }
        return check;
    }

    std::string TakeNotice() override { return std::exchange(Notice, std::string()); }

    std::vector<TChangeRecord> Owed() override {
        const TOwedFile owed(OwedChangesPath(), false);
        std::vector<TChangeRecord> records;
        if (owed.Fd < 0)
            return records;
        for (const std::string& line : owed.Lines())
            if (std::optional<TChangeRecord> record = ChangeRecordOf(line)) {
                record->Owed = true;
                records.push_back(*record);
            }
        return records;
    }

    std::string NoteSeen(const THandsetRow& row) override {
        if (row.Serial.empty())
            return {};
        return Noted([&] {
            Execute((std::string(InsertHandset) +
                     "ON CONFLICT (serial) DO UPDATE SET software = $2, pcs = $3, model = $4, capacity = $5, "
                     "last_seen = $7, last_pc = $8, last_port = $9")
                        .c_str(),
                    HandsetParams(row), "changed");
        });
    }

    std::string NoteTemplate(const std::string& serial, const std::string& templateName,
                             const std::string& templateHash, const std::string& verify) override {
        return Noted([&] {
            Execute("UPDATE handsets SET template = $2, template_hash = $3, template_time = $4, verify = $5 "
                    "WHERE serial = $1",
                    TPgParams()
                        .Text(serial)
                        .Text(templateName)
                        .Text(templateHash)
                        .Text(ChangeAuthorNow().Time)
                        .Text(verify),
                    "changed");
        });
    }

    std::vector<THandsetRow> Handsets() override {
        Reached();
        std::vector<THandsetRow> rows = Reading([&] {
            const TPgResult read =
                Execute((std::string("SELECT ") + HandsetColumns + " FROM handsets").c_str(), {}, "read");
            std::vector<THandsetRow> all;
            for (int i = 0; i < read.Rows(); ++i)
                all.push_back({read.Text(i, 0), read.Text(i, 1), read.Text(i, 2),
                               std::atoi(read.Raw(i, 3).c_str()), std::atoi(read.Raw(i, 4).c_str()),
                               read.Text(i, 5), read.Text(i, 6), read.Text(i, 7), read.Text(i, 8),
                               read.Text(i, 9), read.Text(i, 10), read.Text(i, 11), read.Text(i, 12)});
            return all;
        });
        // By the serial number's bytes, as on one PC, whatever the server's collation.
        std::sort(rows.begin(), rows.end(),
                  [](const THandsetRow& a, const THandsetRow& b) { return a.Serial < b.Serial; });
        return rows;
    }

private:
    std::string RoleNeeded() const override {
        return "The login \"" + Login() + "\" may not add to the change log on " + Shown() +
               ": it needs the role " + StationRole + ". An administrator gives it with: GRANT " +
               StationRole + " TO " + Login() + ";";
    }

    std::string NoTables() const override {
        return "The change log on " + Shown() + " has no tables of this version, and the login \"" + Login() +
               "\" may not make them. An administrator runs " + InstalledSchema + " (" + SourceSchema +
               " in the sources) and gives each person who changes handsets the role " + StationRole + ".";
    }

    // The server reached, its tables there and usable, the PC's old log moved in and the rows owed to it
    // sent; raises EStoreError (EPgStatementFailed for what the login may not do) when it cannot be.
    void Reached() {
        try {
            if (!Opened) {
                Connect(Address);
                MakeTables(HasTables, Tables);
                if (!Execute(MayUseTables, {}, "read").Flag())
                    throw EPgStatementFailed(RoleNeeded(), PgInsufficientPrivilege);
                Opened = true;
                MoveInOldLog();
                MoveInOldHandsets();
            } else {
                Connected();
            }
            SendOwed();
        } catch (const EPgConnectionLost& e) {
            throw EStoreError("The change log on " + Shown() + " cannot be reached: " + e.what());
        }
    }

    // A note of a handset is information: while the server has just been found away it is not tried
    // again, so that connecting to one handset after another does not wait for the server each time.
    template <typename Body> std::string Noted(Body body) {
        const auto now = std::chrono::steady_clock::now();
        if (!Away.empty() && now - AwaySince < RetryAfter)
            return Away;
        try {
            Reached();
            Changing(body);
            Away.clear();
            return {};
        } catch (const EPgStatementFailed& e) {
            return e.what();
        } catch (const EStoreError& e) {
            Away = e.what();
            AwaySince = now;
            return Away;
        }
    }

    // Adds the line, sealed after the PC's last row unless it is sealed already (a line moved in from a
    // log file keeps its seal). Within a transaction.
    void Insert(const std::string& line, const std::string& pc, bool seal) {
        std::string kept = line;
        while (!kept.empty() && kept.back() == '\n')
            kept.pop_back();
        if (seal) {
            Execute("SELECT pg_advisory_xact_lock($1::bigint)", TPgParams().Number(ChainLockKey(pc)),
                    "changed");
            const TPgResult last =
                Execute("SELECT seal FROM change_log WHERE pc = $1 ORDER BY n DESC LIMIT 1",
                        TPgParams().Text(pc), "read");
            kept = SealedLine(kept, last.Rows() > 0 ? last.Text(0, 0) : std::string());
            kept.pop_back();
        }
        const std::optional<TChangeRecord> r = ChangeRecordOf(kept);
        if (!r)
            return;
        // A line moved in from a log file goes in once: a move cut short is taken up again from its start.
        const std::string once =
            seal ? "" : " WHERE NOT EXISTS (SELECT 1 FROM change_log WHERE pc = $3 AND line = $10)";
        Execute(("INSERT INTO change_log (time, user_name, pc, port, serial, operation, template, outcome, "
                 "op_id, "
                 "line, seal) SELECT $1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11" +
                 once)
                    .c_str(),
                TPgParams()
                    .Text(r->Time)
                    .Text(r->User)
                    .Text(r->Pc)
                    .Text(r->Port)
                    .Text(r->Serial)
                    .Text(r->Operation)
                    .Text(r->Template)
                    .Text(r->Outcome)
                    .Text(r->Id)
                    .Text(kept)
                    .Text(SealOf(kept)),
                "changed");
    }

    // The rows from `from` on; a row whose columns to find it by do not say what its line says was changed.
    struct TRows {
        std::vector<TNumberedLine> Lines;
        std::optional<int64_t> Changed;
        std::string ChangedWhat;
    };
    TRows Rows(int64_t from) {
        return Reading([&] {
            const TPgResult rows =
                Execute("SELECT n, line, pc, time, serial, operation, outcome FROM change_log WHERE n > $1 "
                        "ORDER BY n",
                        TPgParams().Number(from), "read");
            TRows read;
            for (int i = 0; i < rows.Rows(); ++i) {
                const int64_t number = std::stoll(rows.Raw(i, 0));
                read.Lines.push_back({number, rows.Text(i, 1)});
                const std::optional<TChangeRecord> r = ChangeRecordOf(read.Lines.back().second);
                if (!read.Changed && r &&
                    (r->Pc != rows.Text(i, 2) || r->Time != rows.Text(i, 3) || r->Serial != rows.Text(i, 4) ||
                     r->Operation != rows.Text(i, 5) || r->Outcome != rows.Text(i, 6))) {
                    read.Changed = number;
                    read.ChangedWhat = r->Time + " " + r->Operation;
                }
            }
            return read;
        });
    }

    // The rows kept on this PC while the server was away, in the order they were kept, in one transaction;
    // the file is emptied once they are in.
    void SendOwed() {
        const TOwedFile owed(OwedChangesPath(), false);
        if (owed.Fd < 0)
            return;
        const std::vector<std::string> lines = owed.Lines();
        if (lines.empty())
            return;
        Changing([&] {
            for (const std::string& line : lines)
                if (const std::optional<TChangeRecord> r = ChangeRecordOf(line))
                    Insert(line, r->Pc, true);
        });
        owed.Empty();
    }

    // The PC's log file, once: its lines in their order, keeping their seals.
    void MoveInOldLog() {
        const std::string path = ChangeLogPath();
        // Renamed first, so that no other program moves it in as well, nor appends to it meanwhile; one
        // left so by a program that was killed meanwhile is taken up again (its lines go in once).
        const std::string moving = path + ".moving";
        const auto regular = [](const std::string& file) {
            struct stat info {};
            return lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        };
        if (!regular(moving) && (!regular(path) || std::rename(path.c_str(), moving.c_str()) != 0))
            return;
        std::string text;
        try {
            text = ReadFileBytes(moving, OldLogLimit);
        } catch (const EFileError&) {
            // Left as it is, to be moved in when it can be read.
            return;
        }
        // A move that fails leaves the file as it is, to be taken up again.
        std::string damaged;
        int moved = 0;
        Changing([&] {
            damaged.clear();
            moved = 0;
            for (const std::string& line : LinesOf(text)) {
                if (const std::optional<TChangeRecord> r = ChangeRecordOf(line)) {
                    Insert(line, r->Pc, false);
                    ++moved;
                } else
                    damaged += line + "\n";
            }
        });
        const int kept = int(std::count(damaged.begin(), damaged.end(), '\n'));
        Notice = FormatText("This PC's change log %s moved into the change log on %s (%d lines)",
                            path.c_str(), Shown().c_str(), moved);
        if (!damaged.empty()) {
            FILE* file = std::fopen((path + ".damaged").c_str(), "ab");
            const bool written =
                file && std::fwrite(damaged.data(), 1, damaged.size(), file) == damaged.size();
            if (file)
                std::fclose(file);
            Notice += FormatText(
                written ? "; its lines that are no record of a change (%d) are kept in %s.damaged"
                        : "; its lines that are no record of a change (%d) could not be kept in %s.damaged",
                kept, path.c_str());
        }
        std::rename(moving.c_str(), (path + ".imported").c_str());
        Notice += FormatText(", and the file is kept as %s.imported.", path.c_str());
    }

    // The PC's table of handsets, once: a handset the server knows already keeps its row.
    void MoveInOldHandsets() {
        const std::string path = HandsetRegistryPath();
        if (!std::filesystem::is_regular_file(path))
            return;
        std::vector<THandsetRow> rows;
        try {
            rows = KnownHandsets(path);
        } catch (const std::runtime_error&) {
            // A table that cannot be read is left where it is, for a person to look at.
            return;
        }
        Changing([&] {
            for (const THandsetRow& row : rows)
                Execute((std::string(InsertHandset) + "ON CONFLICT (serial) DO NOTHING").c_str(),
                        HandsetParams(row), "changed");
        });
        std::rename(path.c_str(), (path + ".imported").c_str());
    }

    static constexpr std::chrono::seconds RetryAfter{30};

    const std::string Address;
    bool Opened = false;
    std::string Notice;
    // Why the server was away when a handset was last to be noted, and when.
    std::string Away;
    std::chrono::steady_clock::time_point AwaySince;
};

} // namespace

std::unique_ptr<TChangeStore> OpenPostgresChanges(const std::string& address) {
    return std::make_unique<TPostgresChanges>(address);
}

std::string OwedChangesPath() {
    return ChangesDir() + "/changes-owed.jsonl";
}
