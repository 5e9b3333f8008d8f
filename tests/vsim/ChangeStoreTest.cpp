// The contract of the change log's stores, on this PC's log file and on a PostgreSQL server
// ($QUORVEL_TEST_PG): rows come back as they were added, each PC's chain of seals names the row that was
// changed, removed or put in, programs appending at once keep every row and the chain, and handsets are
// noted. Then what only the shared store has: the station's role may add and read and nothing else, the
// PC's old log file moves in once, and rows the server did not take wait on the PC until it answers.
#include "platform/StoreError.h"
#include "support/PgTestDatabase.h"
#include "vsim/FleetStore.h"
#include "vsim/HandsetRegistry.h"
#include "vsim/PostgresChanges.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <ostream>
#include <thread>

using testing::HasSubstr;

namespace {

TChangeRecord Row(const std::string& pc, const std::string& operation,
                  const std::string& serial = "00291 0284280") {
    TChangeRecord r;
    r.Time = "2026-12-11T09:30:00+01:00";
    r.User = "alice";
    r.Pc = pc;
    r.Port = "COM12";
    r.Serial = serial;
    r.Software = "62018400";
    r.Pcs = "06Q";
    r.Operation = operation;
    r.Changed = TChangeCounts{1, 0, 0, 5, 0};
    r.Outcome = "done";
    return r;
}

// A log as the tests reach it: a store on it, and its rows changed behind the store's back.
class TLogUnderTest {
public:
    TLogUnderTest() { qputenv("QUORVEL_STATE_DIR", Machine.path().toLocal8Bit()); }
    virtual ~TLogUnderTest() { qputenv("QUORVEL_STATE_DIR", Saved); }
    virtual std::string Missing() const { return {}; }
    virtual std::unique_ptr<TChangeStore> Open() const = 0;
    // The row at place k (a line of the file, a row's number) changed, removed, or copied to the end.
    virtual void Change(int64_t k) const = 0;
    virtual void Remove(int64_t k) const = 0;
    virtual void CopyToEnd(int64_t k) const = 0;

    QTemporaryDir Machine;
    const QByteArray Saved = qgetenv("QUORVEL_STATE_DIR");
};

class TFileLog : public TLogUnderTest {
public:
    TFileLog() { qunsetenv("QUORVEL_RECORDS"); }
    // The store the programs use on a PC whose records are not shared.
    std::unique_ptr<TChangeStore> Open() const override { return std::make_unique<TBorrowed>(FleetStore()); }
    void Change(int64_t k) const override {
        Edit([&](QList<QByteArray>& lines) { lines[k - 1].replace("\"added\":1", "\"added\":2"); });
    }
    void Remove(int64_t k) const override {
        Edit([&](QList<QByteArray>& lines) { lines.removeAt(k - 1); });
    }
    void CopyToEnd(int64_t k) const override {
        Edit([&](QList<QByteArray>& lines) { lines.insert(lines.size() - 1, lines[k - 1]); });
    }

private:
    class TBorrowed : public TChangeStore {
    public:
        explicit TBorrowed(TChangeStore& store)
            : Store(store) {}
        std::string Where() const override { return Store.Where(); }
        std::string Ready() override { return Store.Ready(); }
        std::string Append(const TChangeRecord& record) override { return Store.Append(record); }
        TChangeLogContents Read(const TChangeFilter& filter, int64_t from) override {
            return Store.Read(filter, from);
        }
        int64_t End() override { return Store.End(); }
        TChainCheck Check(int64_t from) override { return Store.Check(from); }
        std::string NoteSeen(const THandsetRow& row) override { return Store.NoteSeen(row); }
        std::string NoteTemplate(const std::string& serial, const std::string& name, const std::string& hash,
                                 const std::string& verify) override {
            return Store.NoteTemplate(serial, name, hash, verify);
        }
        std::vector<THandsetRow> Handsets() override { return Store.Handsets(); }

    private:
        TChangeStore& Store;
    };

    template <typename Editing> void Edit(Editing edit) const {
        QFile file(QString::fromStdString(ChangeLogPath()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = file.readAll().split('\n');
        file.close();
        edit(lines);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines.join('\n'));
    }
};

class TPostgresLog : public TLogUnderTest {
public:
    std::string Missing() const override { return Db.Why(); }
    std::unique_ptr<TChangeStore> Open() const override { return OpenPostgresChanges(Db.Address()); }
    void Change(int64_t k) const override {
        Unguarded("UPDATE change_log SET line = replace(line, '\"added\":1', '\"added\":2') WHERE n = " +
                  std::to_string(k));
    }
    void Remove(int64_t k) const override {
        Unguarded("DELETE FROM change_log WHERE n = " + std::to_string(k));
    }
    void CopyToEnd(int64_t k) const override {
        Db.Execute(
            "INSERT INTO change_log (time, user_name, pc, port, serial, operation, template, outcome, "
            "op_id, line, seal) SELECT time, user_name, pc, port, serial, operation, template, outcome, "
            "op_id, line, seal FROM change_log WHERE n = " +
            std::to_string(k));
    }

    TPgTestDatabase Db;

private:
    // As the tables' owner could: the trigger that keeps the rows as they are put out of the way.
    void Unguarded(const std::string& sql) const {
        Db.Execute("ALTER TABLE change_log DISABLE TRIGGER change_log_only_added; " + sql +
                   "; ALTER TABLE change_log ENABLE TRIGGER change_log_only_added");
    }
};

enum class TLogKind { File, Postgres };

std::ostream& operator<<(std::ostream& out, TLogKind kind) {
    return out << (kind == TLogKind::File ? "file" : "postgresql");
}

class ChangeStoreContract : public testing::TestWithParam<TLogKind> {
protected:
    void SetUp() override {
        Store.reset();
        Log.reset();
        if (GetParam() == TLogKind::File)
            Log = std::make_unique<TFileLog>();
        else
            Log = std::make_unique<TPostgresLog>();
        if (!Log->Missing().empty())
            GTEST_SKIP() << Log->Missing();
        Store = Log->Open();
    }

    // Rows from two PCs, interleaved; the chain holds.
    void AddFive() {
        for (const auto& [pc, operation] : {std::pair{"desk-pc", "phonebook replace"},
                                            {"lab-pc", "speed-dial write"},
                                            {"desk-pc", "groups write"},
                                            {"lab-pc", "profile write"},
                                            {"desk-pc", "phonebook add"}})
            ASSERT_EQ(Store->Append(Row(pc, operation)), "");
        ASSERT_TRUE(Store->Check().Holds());
    }

    std::unique_ptr<TLogUnderTest> Log;
    std::unique_ptr<TChangeStore> Store;
};

TEST_P(ChangeStoreContract, GivesBackEachRowAsAddedAndThoseAddedSinceAPlace) {
    EXPECT_EQ(Store->Ready(), "");
    EXPECT_TRUE(Store->Read().Changes.empty());
    ASSERT_EQ(Store->Append(Row("desk-pc", "phonebook replace")), "");
    const int64_t end = Store->End();
    TChangeRecord odd = Row("lab-pc", "sim save", "no SIM");
    odd.Message = "a quote \" and a byte \xE9 of the handset";
    odd.Changed.reset();
    ASSERT_EQ(Store->Append(odd), "");

    const std::vector<TChangeRecord> all = Store->Read().Changes;
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].Operation, "phonebook replace");
    EXPECT_EQ(all[0].Changed->Added, 1);
    EXPECT_EQ(all[1].Serial, "no SIM");
    EXPECT_FALSE(all[1].Changed);
    EXPECT_EQ(all[1].Message, "a quote \" and a byte \xC3\xA9 of the handset");

    const std::vector<TChangeRecord> since = Store->Read({}, end).Changes;
    ASSERT_EQ(since.size(), 1u);
    EXPECT_EQ(since[0].Operation, "sim save");
    TChangeFilter lab;
    lab.Host = "lab-pc";
    EXPECT_EQ(Store->Read(lab).Changes.size(), 1u);
}

TEST_P(ChangeStoreContract, NamesTheRowThatWasChangedRemovedOrPutIn) {
    AddFive();
    Log->Change(3);
    TChainCheck check = Store->Check();
    EXPECT_EQ(check.BrokenLine, 3);
    EXPECT_EQ(check.How, "changed since it was written");
    EXPECT_THAT(check.What, HasSubstr("groups write"));

    SetUp();
    AddFive();
    Log->Remove(3);
    check = Store->Check();
    // The next row of the same PC no longer links.
    EXPECT_EQ(check.How, "a line before it was removed or put in");
    EXPECT_THAT(check.What, HasSubstr("phonebook add"));

    SetUp();
    AddFive();
    Log->CopyToEnd(2);
    check = Store->Check();
    EXPECT_EQ(check.How, "a line before it was removed or put in");
    EXPECT_THAT(check.What, HasSubstr("speed-dial write"));
    EXPECT_EQ(check.Sealed, 5);
}

TEST_P(ChangeStoreContract, TwoProgramsAppendingAtOnceKeepEveryRowAndTheChain) {
    constexpr int Each = 25;
    std::vector<std::string> failures;
    std::mutex failed;
    const auto program = [&](const std::string& operation) {
        const std::unique_ptr<TChangeStore> own = Log->Open();
        for (int i = 0; i < Each; ++i)
            if (const std::string why = own->Append(Row("desk-pc", operation)); !why.empty()) {
                const std::lock_guard lock(failed);
                failures.push_back(why);
            }
    };
    std::thread first(program, "phonebook add");
    std::thread second(program, "speed-dial write");
    first.join();
    second.join();
    EXPECT_THAT(failures, testing::IsEmpty());
    EXPECT_EQ(Store->Read().Changes.size(), size_t(2 * Each));
    const TChainCheck check = Store->Check();
    EXPECT_TRUE(check.Holds()) << check.How << " at " << check.BrokenLine.value_or(0);
    EXPECT_EQ(check.Sealed, 2 * Each);
}

TEST_P(ChangeStoreContract, NotesEachHandsetSeenAndTheTemplateItWasGiven) {
    THandsetIdentity handset;
    handset.serial = "00291 0284280";
    handset.software = "62018400";
    handset.pcs = "06Q";
    handset.port = 12;
    ASSERT_EQ(Store->NoteSeen(HandsetSeen(handset, 3, 200)), "");
    handset.serial = std::nullopt;
    ASSERT_EQ(Store->NoteSeen(HandsetSeen(handset, 3, 200)), "");
    ASSERT_EQ(Store->NoteTemplate("00291 0284280", "office", std::string(64, 'a'), "verified"), "");

    const std::vector<THandsetRow> rows = Store->Handsets();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Capacity, 200);
    EXPECT_EQ(rows[0].LastPort, "COM12");
    EXPECT_EQ(rows[0].Template, "office");
    EXPECT_EQ(rows[0].Verify, "verified");
    EXPECT_EQ(rows[0].FirstSeen, rows[0].LastSeen);
}

std::string KindName(const testing::TestParamInfo<TLogKind>& info) {
    return testing::PrintToString(info.param);
}

INSTANTIATE_TEST_SUITE_P(File, ChangeStoreContract, testing::Values(TLogKind::File), KindName);
INSTANTIATE_TEST_SUITE_P(Postgres, ChangeStoreContract, testing::Values(TLogKind::Postgres), KindName);

// ---- What only the shared store has ----

class SharedChangeLog : public testing::Test {
protected:
    void SetUp() override {
        if (!Db.Ready())
            GTEST_SKIP() << Db.Why();
        qputenv("QUORVEL_STATE_DIR", Machine.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("QUORVEL_STATE_DIR", Saved); }

    std::string Failure(const std::string& sql, const std::string& user) {
        try {
            if (user.empty())
                Db.Execute(sql);
            else
                TPgTestDatabase::ExecuteAs(Db.Address({"user=" + user}), sql);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no failure";
    }

    TPgTestDatabase Db;
    QTemporaryDir Machine;
    const QByteArray Saved = qgetenv("QUORVEL_STATE_DIR");
};

TEST_F(SharedChangeLog, TheStationRoleAddsAndReadsAndNobodyChangesOrRemovesARow) {
    std::string station, stranger;
    try {
        station = Db.MakeLogin("station");
        stranger = Db.MakeLogin("carol");
    } catch (const std::runtime_error& e) {
        GTEST_SKIP() << "The test login may not make roles: " << e.what();
    }
    // As the schema public is: open to everyone, and nobody but its owner makes tables in it.
    Db.Execute("GRANT USAGE ON SCHEMA " + Db.SchemaName() + " TO PUBLIC");
    QFile script(QUORVEL_SOURCE_DIR "/dist/postgresql/quorvel-records.sql");
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    Db.Execute(script.readAll().toStdString());
    Db.Execute("GRANT quorvel_station TO " + station);

    const std::unique_ptr<TChangeStore> refused = OpenPostgresChanges(Db.Address({"user=" + stranger}));
    EXPECT_THAT(refused->Ready(), HasSubstr("needs the role quorvel_station"));

    const std::unique_ptr<TChangeStore> log = OpenPostgresChanges(Db.Address({"user=" + station}));
    ASSERT_EQ(log->Ready(), "");
    ASSERT_EQ(log->Append(Row("desk-pc", "phonebook replace")), "");
    EXPECT_EQ(log->Read().Changes.size(), 1u);

    EXPECT_THAT(Failure("UPDATE change_log SET outcome = 'failed'", station), HasSubstr("permission denied"));
    EXPECT_THAT(Failure("DELETE FROM change_log", station), HasSubstr("permission denied"));
    // The owner has every right, yet the trigger keeps the rows as they are.
    EXPECT_THAT(Failure("DELETE FROM change_log", ""), HasSubstr("only added to"));
    EXPECT_THAT(Failure("TRUNCATE change_log", ""), HasSubstr("only added to"));
    EXPECT_EQ(log->Read().Changes.size(), 1u);
}

TEST_F(SharedChangeLog, ThePCsLogFileMovesInOnceWithItsSealsAndItsDamagedLinesKeptAside) {
    // Two lines written by this PC before its records were shared, and one cut short.
    {
        const std::unique_ptr<TChangeStore> file = OpenChangeFile();
        ASSERT_EQ(file->Append(Row("desk-pc", "phonebook replace")), "");
        ASSERT_EQ(file->Append(Row("desk-pc", "groups write")), "");
        QFile log(QString::fromStdString(ChangeLogPath()));
        ASSERT_TRUE(log.open(QIODevice::Append));
        log.write("{\"time\":\"2026-12-11T09:3\n");
    }
    const std::unique_ptr<TChangeStore> shared = OpenPostgresChanges(Db.Address());
    ASSERT_EQ(shared->Append(Row("desk-pc", "profile write")), "");

    const std::vector<TChangeRecord> rows = shared->Read().Changes;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Operation, "phonebook replace");
    EXPECT_EQ(rows[2].Operation, "profile write");
    // The moved lines keep their seals, and the new row links to the last of them.
    const TChainCheck check = shared->Check();
    EXPECT_TRUE(check.Holds()) << check.How;
    EXPECT_EQ(check.Sealed, 3);

    const std::string notice = shared->TakeNotice();
    EXPECT_THAT(notice, HasSubstr("(2 lines)"));
    EXPECT_THAT(notice, HasSubstr("no record of a change (1) are kept in " + ChangeLogPath() + ".damaged"));
    EXPECT_EQ(shared->TakeNotice(), "");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(ChangeLogPath())));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(ChangeLogPath() + ".imported")));
    QFile damaged(QString::fromStdString(ChangeLogPath() + ".damaged"));
    ASSERT_TRUE(damaged.open(QIODevice::ReadOnly));
    EXPECT_EQ(damaged.readAll(), "{\"time\":\"2026-12-11T09:3\n");

    // Once: another program on the PC finds nothing more to move in.
    EXPECT_EQ(OpenPostgresChanges(Db.Address())->Read().Changes.size(), 3u);
    // A move cut short (killed after the file was put aside) is taken up again, its lines going in once.
    const QString imported = QString::fromStdString(ChangeLogPath() + ".imported");
    ASSERT_TRUE(QFile::rename(imported, QString::fromStdString(ChangeLogPath() + ".moving")));
    const std::unique_ptr<TChangeStore> again = OpenPostgresChanges(Db.Address());
    EXPECT_EQ(again->Read().Changes.size(), 3u);
    EXPECT_TRUE(QFile::exists(imported));
    EXPECT_TRUE(again->Check().Holds());
}

TEST_F(SharedChangeLog, ARowTheServerDidNotTakeWaitsOnThePCAndGoesFirstWhenItAnswers) {
    const std::string away = "postgresql:///nothing?host=" + Machine.path().toStdString() + "/no-server";
    const std::unique_ptr<TChangeStore> lost = OpenPostgresChanges(away);
    EXPECT_THAT(lost->Ready(), HasSubstr("cannot be reached"));
    EXPECT_THAT(lost->Ready(), HasSubstr("No change is begun"));
    // The operation that had begun ends while the server is away: its row is kept here.
    ASSERT_EQ(lost->Append(Row("desk-pc", "phonebook replace")), "");
    ASSERT_EQ(lost->Owed().size(), 1u);
    EXPECT_TRUE(lost->Owed()[0].Owed);
    EXPECT_THROW(lost->Read(), EStoreError);

    const std::unique_ptr<TChangeStore> back = OpenPostgresChanges(Db.Address());
    ASSERT_EQ(back->Append(Row("desk-pc", "groups write")), "");
    const std::vector<TChangeRecord> rows = back->Read().Changes;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Operation, "phonebook replace");
    EXPECT_FALSE(rows[0].Owed);
    EXPECT_TRUE(back->Owed().empty());
    EXPECT_TRUE(back->Check().Holds());
}

} // namespace
