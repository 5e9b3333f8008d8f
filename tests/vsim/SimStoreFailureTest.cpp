// The SIM move when the records stop taking writes part-way (a full disk, a server gone after the SIM
// went into the handset): the command never ends as done while a step is missing, the SIM stays in a
// place, and once the records take writes again the kept step and the step the message names finish
// the move.
#include "vsim/RecordStore.h"
#include "vsim/SimMoveFixture.h"

#include <QFile>

namespace {

// The records as a full disk leaves them: every change from the Nth on fails; reads go on.
class TFillingEngine : public TRecordEngine {
public:
    TFillingEngine(TRecordEngine& engine, int failFrom)
        : Engine(engine)
        , FailFrom(failFrom) {}

    std::string Where() const override { return Engine.Where(); }
    std::optional<TSimRecord> Find(const std::string& serial) override { return Engine.Find(serial); }
    std::vector<TSimRecord> All() override { return Engine.All(); }
    std::vector<TSimStep> Steps(const std::string& serial) override { return Engine.Steps(serial); }
    void Put(const TSimRecord& record, const std::string& step) override {
        Change();
        Engine.Put(record, step);
    }
    bool SetJournal(const std::string& serial, const TSimJournal& journal, const std::string& step) override {
        Change();
        return Engine.SetJournal(serial, journal, step);
    }
    bool Remove(const std::string& serial, const std::string& step) override {
        Change();
        return Engine.Remove(serial, step);
    }
    std::vector<std::string> Import(const std::vector<TSimRecord>& records) override {
        Change();
        return Engine.Import(records);
    }
    std::unique_ptr<TMoveClaim> Claim(const std::string& serial) override { return Engine.Claim(serial); }
    std::vector<std::string> SetRetired(const std::vector<std::string>& serials, const std::string& retired,
                                        const std::string& copyOf, const std::string& step) override {
        Change();
        return Engine.SetRetired(serials, retired, copyOf, step);
    }
    std::string Id() override { return Engine.Id(); }
    std::string MakeId() override { return Engine.MakeId(); }

    bool Failed = false;

private:
    void Change() {
        if (++Changes >= FailFrom) {
            Failed = true;
            throw EStoreError("The SIM records cannot be written: database or disk is full.");
        }
    }

    TRecordEngine& Engine;
    int FailFrom;
    int Changes = 0;
};

struct SimStoreFailure : TSimMoveFixture {
    // The next program of this user that opens the records: it takes the kept steps.
    void NextCommand() const {
        const std::string where = static_cast<const TTestRecordStore&>(Store).Where();
        OpenRecordStore(where.rfind("postgres", 0) == 0 ? where : "sqlite:" + where);
    }
    void Clean() {
        Store.Clear();
        QFile::remove(QString::fromStdString(PendingStepsFile()));
        for (const QString& name : QDir(dir.filePath("files")).entryList(QDir::Files))
            QFile::remove(dir.filePath("files/" + name));
    }
};

TEST_F(SimStoreFailure, ASaveTheRecordsStopTakingAtAnyStepEndsWithANextStepThatWorks) {
    for (int failFrom = 1; failFrom <= 4; ++failFrom) {
        SCOPED_TRACE("the records fail from their change " + std::to_string(failFrom));
        Clean();
        THandsetState first = Handset(true);
        THandsetState second = Handset(false);
        TFillingEngine full(Store, failFrom);
        Engine = &full;
        const std::optional<TSimResult> code = Run(first, true, Chosen());
        Engine = nullptr;
        if (full.Failed) {
            EXPECT_TRUE(code != TSimResult::Done || LastPending) << "never done while a step is missing";
        }
        EXPECT_TRUE(SerialNumberFromImage(first.memory) == Serial ||
                    QFile::exists(QString::fromStdString(SimFile())))
            << "the SIM is somewhere";

        // Space again: the next command takes the kept step, then the person does what the message says.
        NextCommand();
        Run(first, true, Chosen());
        EXPECT_EQ(Run(second, false, SimFile()), TSimResult::Done) << LastDetail;
        EXPECT_FALSE(LastPending) << LastDetail;
        EXPECT_EQ(SerialNumberFromImage(second.memory), Serial);
        EXPECT_EQ(Places(second), 1);
        EXPECT_FALSE(SerialNumberFromImage(first.memory));
        EXPECT_TRUE(Store.Save().empty()) << "no record is left behind";
    }
}

TEST_F(SimStoreFailure, ARestoreTheRecordsStopTakingAtAnyStepIsFinishedByTheNextCommand) {
    for (int failFrom = 1; failFrom <= 3; ++failFrom) {
        SCOPED_TRACE("the records fail from their change " + std::to_string(failFrom));
        Clean();
        THandsetState first = Handset(true);
        THandsetState second = Handset(false);
        ASSERT_EQ(Run(first, true, Chosen()), TSimResult::Done);
        TFillingEngine full(Store, failFrom);
        Engine = &full;
        const std::optional<TSimResult> code = Run(second, false, SimFile());
        Engine = nullptr;
        if (full.Failed) {
            EXPECT_TRUE(code != TSimResult::Done || LastPending) << LastDetail;
        }
        const bool inHandset = SerialNumberFromImage(second.memory) == Serial;
        EXPECT_EQ(Places(second), 1) << "in the handset or in its file, not both";

        NextCommand();
        if (!inHandset) {
            EXPECT_EQ(Run(second, false, SimFile()), TSimResult::Done) << LastDetail;
        }
        EXPECT_EQ(SerialNumberFromImage(second.memory), Serial);
        EXPECT_TRUE(Store.Save().empty()) << "the record went with the step kept for it";
        EXPECT_EQ(Places(second), 1);
    }
}

} // namespace
