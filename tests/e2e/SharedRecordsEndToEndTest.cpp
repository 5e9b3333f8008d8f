// Two programs that share the SIM records (two docking stations on one PC, or two PCs on one server)
// move the same SIM at the same moment: one moves it, the other is refused, and the SIM is in one
// handset only.
#include "support/HandsetProcess.h"
#include "support/RecordsUnderTest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

namespace {

const std::string Serial = "00291 0284280";

struct SharedRecords : testing::TestWithParam<TRecordsKind> {
    SharedRecords() { qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit()); }
    ~SharedRecords() override { qputenv("QUORVEL_STATE_DIR", saved); }

    static THandsetProcess::TRun Sim(const THandsetProcess& handset, const QStringList& args) {
        return handset.Cli(
            QStringList{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes", "sim"} + args, 60000);
    }
    QString State(const char* name) const { return dir.filePath(name); }
    static bool HoldsSim(const QString& state) {
        return StateMemoryByte(state, 64, 0x00) == 0x00 && StateMemoryByte(state, 68, 0x78) == 0x78;
    }
    // A row of FF bytes is left out of the state file.
    static bool HoldsNoSim(const QString& state) {
        const int first = StateMemoryByte(state, 64, 0xFF);
        return first == 0xFF || first == -1;
    }

    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir machine;
    QTemporaryDir dir;
    TRecordsUnderTest records{GetParam(), machine.path().toStdString()};
};

TEST_P(SharedRecords, TwoProgramsRestoringOneSimAtOnceMoveItOnce) {
    if (!records.Available())
        GTEST_SKIP() << records.Why();
    THandsetProcess giver({"--state", State("giver.txt")});
    THandsetProcess left({"--state", State("left.txt"), "--serial", "none"});
    THandsetProcess right({"--state", State("right.txt"), "--serial", "none"});
    ASSERT_TRUE(giver.Started() && left.Started() && right.Started());
    const auto saved = Sim(giver, {"save", dir.filePath("desk.sim")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    // Two copies of the one file, as two PCs would each have their own.
    const QString file = dir.filePath(QString::fromStdString("desk_" + Serial + ".sim"));
    const QString copy = dir.filePath("copy/" + QFileInfo(file).fileName());
    ASSERT_TRUE(QDir().mkpath(dir.filePath("copy")));
    ASSERT_TRUE(QFile::copy(file, copy));

    auto first = std::async(std::launch::async, [&] { return Sim(left, {"restore", file}); });
    auto second = std::async(std::launch::async, [&] { return Sim(right, {"restore", copy}); });
    const THandsetProcess::TRun runs[] = {first.get(), second.get()};

    const int moved = (runs[0].exitCode == 0) + (runs[1].exitCode == 0);
    ASSERT_EQ(moved, 1) << runs[0].err << "\n---\n" << runs[1].err;
    const bool leftWon = runs[0].exitCode == 0;
    const THandsetProcess::TRun& refused = leftWon ? runs[1] : runs[0];
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("is being moved by another program at this moment"), std::string::npos)
        << refused.err;
    EXPECT_TRUE(HoldsSim(State(leftWon ? "left.txt" : "right.txt")));
    EXPECT_TRUE(HoldsNoSim(State(leftWon ? "right.txt" : "left.txt"))) << "in one handset, not two";
    // The file of the refused program is now of a SIM that sits in a handset: it is taken nowhere.
    const auto again = Sim(leftWon ? right : left, {"restore", leftWon ? copy : file});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("The SIM file is not valid!"), std::string::npos) << again.err;
}

INSTANTIATE_TEST_SUITE_P(Sqlite, SharedRecords, testing::Values(TRecordsKind::Sqlite));
INSTANTIATE_TEST_SUITE_P(Postgres, SharedRecords, testing::Values(TRecordsKind::Postgres));

} // namespace
