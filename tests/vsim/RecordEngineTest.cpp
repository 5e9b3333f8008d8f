// The contract every record engine keeps, run on an SQLite file and on a PostgreSQL server
// ($QUORVEL_TEST_PG), and what only the PostgreSQL engine has: its address, its roles and its lost
// connections.
#include "support/PgTestDatabase.h"
#include "vsim/PostgresRecords.h"
#include "vsim/RecordStore.h"

#include <sqlite3.h>

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testing::HasSubstr;
using testing::Not;

namespace {

// A store as the tests reach it: engines on it, and its tables changed behind the engines' backs as
// another program could.
class TStoreUnderTest {
public:
    virtual ~TStoreUnderTest() = default;
    // Why the store is not there, or empty.
    virtual std::string Missing() const { return {}; }
    virtual std::unique_ptr<TRecordEngine> Open() const = 0;
    virtual void Sql(const std::string& statements) const = 0;
    // Writes a "CRC" beyond 32 bits, past the table's check.
    virtual void WriteHugeCrc(const std::string& serial) const = 0;
};

class TSqliteStore : public TStoreUnderTest {
public:
    std::unique_ptr<TRecordEngine> Open() const override { return OpenRecordStore("sqlite:" + Path()); }

    void Sql(const std::string& statements) const override {
        sqlite3* db = nullptr;
        char* error = nullptr;
        const bool done = sqlite3_open(Path().c_str(), &db) == SQLITE_OK &&
                          sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &error) == SQLITE_OK;
        const std::string reason = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        sqlite3_close(db);
        if (!done)
            throw std::runtime_error(statements + ": " + reason);
    }

    void WriteHugeCrc(const std::string& serial) const override {
        Sql("PRAGMA ignore_check_constraints = ON; UPDATE sim_records SET crc = 5000000000 WHERE serial = '" +
            serial + "'");
    }

private:
    std::string Path() const { return Dir.filePath("records.db").toStdString(); }

    QTemporaryDir Dir;
};

class TPostgresStore : public TStoreUnderTest {
public:
    std::string Missing() const override { return Db.Why(); }
    std::unique_ptr<TRecordEngine> Open() const override { return OpenPostgresRecords(Db.Address()); }
    void Sql(const std::string& statements) const override { Db.Execute(statements); }
    void WriteHugeCrc(const std::string& serial) const override {
        Sql("ALTER TABLE sim_records DROP CONSTRAINT sim_records_crc_check; "
            "UPDATE sim_records SET crc = 5000000000 WHERE serial = '" +
            serial + "'");
    }

private:
    TPgTestDatabase Db;
};

struct TEngineKind {
    const char* Name;
    std::unique_ptr<TStoreUnderTest> (*Make)();
};

[[maybe_unused]] void PrintTo(const TEngineKind& kind, std::ostream* out) {
    *out << kind.Name;
}

const std::string Sha = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
const std::string Serial = "00291 0284280";
const std::string OtherSerial = "00291 0000002";

TSimRecord Sample(const std::string& serial, uint32_t crc) {
    TSimRecord record;
    record.SerialNumber = serial;
    record.Software = "0123ABCD";
    record.Pcs = "06A";
    record.Crc = crc;
    record.Sha256 = Sha;
    record.Saved = "2026-12-09 22:30:00";
    record.Journal.File = "/home/x/backup_" + serial + ".sim";
    return record;
}

void ExpectSame(const TSimRecord& actual, const TSimRecord& expected) {
    EXPECT_EQ(actual.SerialNumber, expected.SerialNumber);
    EXPECT_EQ(actual.Software, expected.Software);
    EXPECT_EQ(actual.Pcs, expected.Pcs);
    EXPECT_EQ(actual.Crc, expected.Crc);
    EXPECT_EQ(actual.Sha256, expected.Sha256);
    EXPECT_EQ(actual.Saved, expected.Saved);
    EXPECT_EQ(actual.Journal, expected.Journal);
    EXPECT_EQ(actual.Problem, "");
}

void ExpectMine(const TStepAuthor& author) {
    const TStepAuthor me = CurrentAuthor();
    EXPECT_EQ(author.User, me.User);
    EXPECT_EQ(author.Host, me.Host);
    EXPECT_FALSE(author.Time.empty());
}

std::vector<std::string> Names(const std::vector<TSimStep>& steps) {
    std::vector<std::string> names;
    for (const TSimStep& step : steps)
        names.push_back(step.SerialNumber + ":" + step.Step);
    return names;
}

class RecordEngineContract : public testing::TestWithParam<TEngineKind> {
protected:
    void SetUp() override {
        Store = GetParam().Make();
        if (const std::string missing = Store->Missing(); !missing.empty())
            GTEST_SKIP() << missing;
        Engine = Store->Open();
    }

    std::unique_ptr<TStoreUnderTest> Store;
    std::unique_ptr<TRecordEngine> Engine;
};

TEST_P(RecordEngineContract, KeepsEveryFieldOfAnyBytes) {
    TSimRecord utf8 = Sample(Serial, 0xFFFFFFFF);
    utf8.Journal = {SimMoveState::MovingOut, "/home/jos\xC3\xA9/SIMs/backup.sim",
                    "\x10Quorvel \x01\x7F%41 \xC3", "0011223344556677", "2026-12-10 released by hand"};
    // A Latin-1 byte in the serial number and the path, and a text that looks escaped.
    TSimRecord latin = Sample("00291 000000\xE9", 0);
    latin.Sha256.clear();
    latin.Pcs = "%E9";
    latin.Journal = {SimMoveState::MovingIn, "/home/ren\xE9/b.sim", "", "", ""};
    Engine->Put(utf8, "moving-out");
    Engine->Put(latin, "moving-in");

    const std::unique_ptr<TRecordEngine> second = Store->Open();
    for (TRecordEngine* engine : {Engine.get(), second.get()}) {
        const std::optional<TSimRecord> found = engine->Find(utf8.SerialNumber);
        ASSERT_TRUE(found);
        ExpectSame(*found, utf8);
        ExpectMine(found->LastStep);
        const std::vector<TSimRecord> all = engine->All();
        ASSERT_EQ(all.size(), 2u);
        ExpectSame(all[0], latin);
        ExpectSame(all[1], utf8);
    }

    TSimRecord replaced = Sample(Serial, 7);
    Engine->Put(replaced, "in-file");
    ExpectSame(*second->Find(Serial), replaced);
    EXPECT_EQ(second->All().size(), 2u);
    EXPECT_FALSE(second->Find("00291 9999999"));
}

TEST_P(RecordEngineContract, ChangesTheJournalOfARecordOnly) {
    const TSimRecord record = Sample(Serial, 42);
    Engine->Put(record, "saved");
    const TSimJournal journal{SimMoveState::MovingIn, "/home/x/other.sim", "QUORVEL MOVE 1", "00FF", ""};
    EXPECT_TRUE(Engine->SetJournal(Serial, journal, "moving-in"));
    TSimRecord expected = record;
    expected.Journal = journal;
    ExpectSame(*Engine->Find(Serial), expected);

    EXPECT_FALSE(Engine->SetJournal(OtherSerial, journal, "moving-in"));
    EXPECT_FALSE(Engine->Find(OtherSerial));
}

TEST_P(RecordEngineContract, RemovesARecordOnce) {
    Engine->Put(Sample(Serial, 1), "saved");
    EXPECT_TRUE(Engine->Remove(Serial, "removed"));
    EXPECT_FALSE(Engine->Find(Serial));
    EXPECT_FALSE(Engine->Remove(Serial, "removed"));
    EXPECT_TRUE(Engine->All().empty());
}

TEST_P(RecordEngineContract, NotesEveryChangeAsAStepWithItsAuthor) {
    TSimRecord record = Sample(Serial, 1);
    record.Journal.State = SimMoveState::MovingOut;
    Engine->Put(record, "moving-out");
    EXPECT_TRUE(Engine->SetJournal(Serial, {"", record.Journal.File}, "in-file"));
    Engine->Put(Sample(OtherSerial, 2), "saved");
    EXPECT_TRUE(Engine->Remove(Serial, "removed"));
    // Nothing changed, nothing noted.
    EXPECT_FALSE(Engine->SetJournal("00291 9999999", {}, "released"));
    EXPECT_FALSE(Engine->Remove("00291 9999999", "removed"));

    const std::vector<TSimStep> steps = Engine->Steps(Serial);
    EXPECT_THAT(Names(steps),
                testing::ElementsAre(Serial + ":moving-out", Serial + ":in-file", Serial + ":removed"));
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].State, SimMoveState::MovingOut);
    EXPECT_EQ(steps[0].File, record.Journal.File);
    EXPECT_EQ(steps[1].State, "");
    EXPECT_EQ(steps[1].File, record.Journal.File);
    for (const TSimStep& step : steps)
        ExpectMine(step.Author);
    EXPECT_THAT(Names(Engine->Steps("")), testing::ElementsAre(Serial + ":moving-out", Serial + ":in-file",
                                                               OtherSerial + ":saved", Serial + ":removed"));
}

TEST_P(RecordEngineContract, ImportsNewRecordsAndRefusesOtherSumsWhole) {
    TSimRecord held = Sample(Serial, 1);
    Engine->Put(held, "saved");
    // The same file as an old record without a SHA-256: left as it is.
    TSimRecord same = Sample(Serial, 1);
    same.Sha256.clear();
    same.Software = "FFFFFFFF";
    TSimRecord fresh = Sample(OtherSerial, 2);
    fresh.LastStep = {"bob", "pc-2", "2026-12-01T08:00:00+01:00"};
    fresh.Journal = {SimMoveState::MovingOut, "/home/bob/b.sim", "MARK", "00", ""};

    EXPECT_THAT(Engine->Import({same, fresh}), testing::ElementsAre(OtherSerial));
    EXPECT_EQ(Engine->Find(Serial)->Software, held.Software);
    const std::optional<TSimRecord> imported = Engine->Find(OtherSerial);
    ASSERT_TRUE(imported);
    ExpectSame(*imported, fresh);
    EXPECT_EQ(imported->LastStep, fresh.LastStep);
    const std::vector<TSimStep> steps = Engine->Steps(OtherSerial);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].Step, "imported");
    ExpectMine(steps[0].Author);

    const TSimRecord added = Sample("00291 0000003", 3);
    const TSimRecord otherFile = Sample(Serial, 99);
    try {
        Engine->Import({added, otherFile});
        FAIL() << "an import of other sums was taken";
    } catch (const EStoreError& e) {
        EXPECT_THAT(e.what(), HasSubstr("SIM '" + Serial + "'"));
        EXPECT_THAT(e.what(), HasSubstr("Nothing was imported"));
    }
    EXPECT_FALSE(Engine->Find(added.SerialNumber));
    EXPECT_TRUE(Engine->Steps(added.SerialNumber).empty());
    EXPECT_EQ(Engine->Find(Serial)->Crc, 1u);
}

TEST_P(RecordEngineContract, ClaimKeepsEveryOtherMoveOffTheSim) {
    const std::unique_ptr<TRecordEngine> other = Store->Open();
    std::unique_ptr<TMoveClaim> claim = Engine->Claim(Serial);
    ASSERT_TRUE(claim);
    EXPECT_FALSE(other->Claim(Serial));
    EXPECT_FALSE(Engine->Claim(Serial)) << "a second move of the SIM in the same program";
    EXPECT_TRUE(other->Claim(OtherSerial));
    claim.reset();
    EXPECT_TRUE(other->Claim(Serial));
}

// Kills the child when the test ends, however it ends.
struct TChild {
    pid_t Pid = -1;
    void Kill() {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
            Pid = -1;
        }
    }
    ~TChild() { Kill(); }
};

TEST_P(RecordEngineContract, ClaimGoesWithTheProgramThatDies) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    TChild child;
    child.Pid = fork();
    ASSERT_GE(child.Pid, 0);
    if (child.Pid == 0) {
        close(ready[0]);
        char answer = '0';
        try {
            const std::unique_ptr<TRecordEngine> engine = Store->Open();
            const std::unique_ptr<TMoveClaim> claim = engine->Claim(Serial);
            answer = claim ? '1' : '0';
            (void)!write(ready[1], &answer, 1);
            while (claim)
                pause();
        } catch (...) {
        }
        (void)!write(ready[1], &answer, 1);
        _exit(1);
    }
    close(ready[1]);
    char answer = 0;
    const bool told = read(ready[0], &answer, 1) == 1;
    close(ready[0]);
    ASSERT_TRUE(told && answer == '1') << "the child could not claim the SIM";
    EXPECT_FALSE(Engine->Claim(Serial));

    child.Kill();
    // A server notices the closed connection on its own time.
    std::unique_ptr<TMoveClaim> claim;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(claim = Engine->Claim(Serial)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(claim);
}

// A program killed in the middle of a journal step leaves the step before or the step after, never part
// of one: every field of a step and its row in the history go together.
TEST_P(RecordEngineContract, AStepCutByAKilledProgramIsWholeOrNotThere) {
    Engine->Put(Sample(Serial, 1), "saved");
    for (int round = 0; round < 8; ++round) {
        TChild child;
        child.Pid = fork();
        ASSERT_GE(child.Pid, 0);
        if (child.Pid == 0) {
            // A connection of its own: one opened before fork must not be used by two processes.
            try {
                const std::unique_ptr<TRecordEngine> own = Store->Open();
                for (int step = 0;; ++step) {
                    const std::string n = std::to_string(step);
                    own->SetJournal(
                        Serial, {step % 2 ? SimMoveState::MovingIn : "", "f" + n, "m" + n, "t" + n}, "step");
                }
            } catch (...) {
            }
            _exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + round * 9));
        child.Kill();
        const TSimJournal journal = Store->Open()->Find(Serial)->Journal;
        const std::string n = journal.File.empty() ? "" : journal.File.substr(1);
        ASSERT_FALSE(n.empty()) << "round " << round << ": no step was taken";
        EXPECT_EQ(journal.Mark, "m" + n) << "round " << round;
        EXPECT_EQ(journal.Text, "t" + n) << "round " << round;
        EXPECT_EQ(journal.State, std::stoi(n) % 2 ? SimMoveState::MovingIn : "") << "round " << round;
        EXPECT_EQ(Engine->Steps(Serial).back().File, journal.File) << "the step's row goes with its record";
    }
}

TEST_P(RecordEngineContract, ShowsWhatIsWrongWithARowAnotherProgramWrote) {
    const std::string badSha = "00291 0000003";
    const std::string badState = "00291 0000004";
    for (const std::string& serial : {Serial, badSha, badState})
        Engine->Put(Sample(serial, 1), "saved");
    Store->WriteHugeCrc(Serial);
    Store->Sql("UPDATE sim_records SET sha256 = 'not a sum' WHERE serial = '" + badSha + "'");
    Store->Sql("UPDATE sim_records SET state = 'flying' WHERE serial = '" + badState + "'");

    const std::optional<TSimRecord> hugeCrc = Engine->Find(Serial);
    ASSERT_TRUE(hugeCrc);
    EXPECT_THAT(hugeCrc->Problem, HasSubstr("not a 32-bit number"));
    EXPECT_FALSE(hugeCrc->Crc);
    EXPECT_THAT(Engine->Find(badSha)->Problem, HasSubstr("SHA256"));
    EXPECT_THAT(Engine->Find(badState)->Problem, HasSubstr("flying"));
    const std::vector<TSimRecord> all = Engine->All();
    ASSERT_EQ(all.size(), 3u);
    for (const TSimRecord& record : all)
        EXPECT_FALSE(record.Problem.empty()) << record.SerialNumber;
}

INSTANTIATE_TEST_SUITE_P(Sqlite, RecordEngineContract,
                         testing::Values(TEngineKind{"Sqlite", [] {
                                                         return std::unique_ptr<TStoreUnderTest>(
                                                             std::make_unique<TSqliteStore>());
                                                     }}));
INSTANTIATE_TEST_SUITE_P(Postgres, RecordEngineContract,
                         testing::Values(TEngineKind{"Postgres", [] {
                                                         return std::unique_ptr<TStoreUnderTest>(
                                                             std::make_unique<TPostgresStore>());
                                                     }}));

// ---- PostgreSQL alone ----

std::string Failure(const std::function<void()>& call) {
    try {
        call();
    } catch (const EStoreError& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(PostgresAddress, NamesAServerThatIsAwayWithoutItsPassword) {
    const std::string uri = Failure([] {
        OpenPostgresRecords("postgresql://alice:s3cret@/records?host=/nonexistent/quorvel&password=s3cret");
    });
    EXPECT_THAT(
        uri, testing::StartsWith("The SIM records on postgresql://alice@/records?host=/nonexistent/quorvel "
                                 "cannot be reached: "));
    EXPECT_THAT(uri, HasSubstr("/nonexistent/quorvel/.s.PGSQL"));
    const std::string words =
        Failure([] { OpenPostgresRecords("host=/nonexistent/quorvel dbname=records password='s3 cret'"); });
    EXPECT_THAT(words, HasSubstr("host=/nonexistent/quorvel"));
    EXPECT_THAT(words, HasSubstr("cannot be reached"));
    for (const std::string& message : {uri, words})
        EXPECT_THAT(message, Not(HasSubstr("s3"))) << message;
}

class PostgresRecords : public testing::Test {
protected:
    void SetUp() override {
        if (!Db.Ready())
            GTEST_SKIP() << Db.Why();
    }

    // Ends the engine's session from the server's side, as a restart or an administrator would.
    void EndSession(const std::string& application) {
        ASSERT_EQ(Db.Execute("SELECT count(*) FILTER (WHERE pg_terminate_backend(pid, 5000)) "
                             "FROM pg_stat_activity WHERE application_name = '" +
                             application + "'"),
                  "1");
    }

    // An engine on a session the test can find by its application name, with a SIM recorded and claimed.
    std::unique_ptr<TRecordEngine> ClaimingEngine(std::unique_ptr<TMoveClaim>& claim) {
        std::unique_ptr<TRecordEngine> engine =
            OpenPostgresRecords(Db.Address({"application_name=" + Db.SchemaName()}));
        engine->Put(Sample(Serial, 1), "saved");
        claim = engine->Claim(Serial);
        return engine;
    }

    TPgTestDatabase Db;
};

TEST_F(PostgresRecords, TablesAndTheRightToUseThemComeFromTheAdministratorsScript) {
    std::string member, stranger;
    try {
        member = Db.MakeLogin("alice");
        stranger = Db.MakeLogin("bob");
    } catch (const std::runtime_error& e) {
        GTEST_SKIP() << "The test login may not make roles: " << e.what();
    }
    // As the schema public is: open to everyone, and nobody but its owner makes tables in it.
    Db.Execute("GRANT USAGE ON SCHEMA " + Db.SchemaName() + " TO PUBLIC");

    const std::string noTables = Failure([&] { OpenPostgresRecords(Db.Address({"user=" + member})); });
    EXPECT_THAT(noTables, HasSubstr("/usr/share/quorvel/quorvel-records.sql"));
    EXPECT_THAT(noTables, HasSubstr("GRANT quorvel_sim TO " + member + ";"));

    QFile script(QUORVEL_SOURCE_DIR "/dist/postgresql/quorvel-records.sql");
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    Db.Execute(script.readAll().toStdString());

    const std::string noRole = Failure([&] { OpenPostgresRecords(Db.Address({"user=" + stranger})); });
    EXPECT_THAT(noRole, HasSubstr("needs the role quorvel_sim"));
    EXPECT_THAT(noRole, HasSubstr("GRANT quorvel_sim TO " + stranger + ";"));
    EXPECT_THAT(noRole, Not(HasSubstr("quorvel-records.sql")));

    Db.Execute("GRANT quorvel_sim TO " + member);
    const std::unique_ptr<TRecordEngine> engine = OpenPostgresRecords(Db.Address({"user=" + member}));
    engine->Put(Sample(Serial, 1), "saved");
    EXPECT_TRUE(engine->SetJournal(Serial, {SimMoveState::MovingIn, "/x.sim"}, "moving-in"));
    EXPECT_TRUE(engine->Claim(Serial));
    EXPECT_TRUE(engine->Remove(Serial, "removed"));
    EXPECT_EQ(engine->Steps(Serial).size(), 3u);
}

TEST_F(PostgresRecords, OpensALostConnectionAgainBetweenCalls) {
    const std::string application = Db.SchemaName();
    const std::unique_ptr<TRecordEngine> engine =
        OpenPostgresRecords(Db.Address({"application_name=" + application}));
    engine->Put(Sample(Serial, 1), "saved");
    EndSession(application);
    EXPECT_TRUE(engine->Find(Serial));
    EndSession(application);
    engine->Put(Sample(OtherSerial, 2), "saved");
    EXPECT_EQ(engine->Steps("").size(), 2u);
}

TEST_F(PostgresRecords, ALostConnectionEndsTheMoveThatHeldAClaim) {
    std::unique_ptr<TMoveClaim> claim;
    const std::unique_ptr<TRecordEngine> engine = ClaimingEngine(claim);
    ASSERT_TRUE(claim);
    EndSession(Db.SchemaName());

    // The SIM is free for another program now: the move must not take another step as if it held it.
    const std::unique_ptr<TRecordEngine> other = OpenPostgresRecords(Db.Address());
    EXPECT_TRUE(other->Claim(Serial));
    EXPECT_THAT(Failure([&] {
                    engine->SetJournal(Serial, {SimMoveState::MovingOut, "/x.sim"}, "moving-out");
                }),
                HasSubstr("was lost during the move"));
    EXPECT_EQ(other->Find(Serial)->Journal.State, "");

    claim.reset();
    EXPECT_TRUE(engine->SetJournal(Serial, {SimMoveState::MovingOut, "/x.sim"}, "moving-out"));
}

// A backend that stops answering (SIGSTOP) ends the call within the deadline with what became of it: a
// move holding a claim on that session must not go on; a read goes on on a new session.
TEST_F(PostgresRecords, AStalledServerEndsTheCallWithinTheDeadline) {
    setenv("QUORVEL_RECORDS_TIMEOUT", "2", 1);
    std::unique_ptr<TMoveClaim> claim;
    const std::unique_ptr<TRecordEngine> engine = ClaimingEngine(claim);
    ASSERT_TRUE(claim);
    const pid_t backend = pid_t(std::stol(
        Db.Execute("SELECT pid FROM pg_stat_activity WHERE application_name = '" + Db.SchemaName() + "'")));
    if (kill(backend, SIGSTOP) != 0)
        GTEST_SKIP() << "The server's backend cannot be stopped by this login: " << std::strerror(errno);
    const auto start = std::chrono::steady_clock::now();
    const std::string message = Failure([&] {
        engine->SetJournal(Serial, {SimMoveState::MovingOut, "/x.sim"}, "moving-out");
    });
    const auto waited = std::chrono::steady_clock::now() - start;
    kill(backend, SIGCONT);
    unsetenv("QUORVEL_RECORDS_TIMEOUT");
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_THAT(message, HasSubstr("did not answer within 2 seconds"));
    EXPECT_THAT(message, HasSubstr("the move must not go on"));
    claim.reset();
    // Without the claim, the next call opens a new session.
    EXPECT_EQ(engine->Find(Serial)->Journal.State, "");
}

} // namespace
