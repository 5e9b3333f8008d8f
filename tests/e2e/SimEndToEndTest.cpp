// The SIM move between two virtual handsets, through real pseudo-terminals, with the records of SIMs in
// files in a folder of the test's own.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const std::string Serial = "00291 0284280";

struct SimMove : testing::Test {
    SimMove() { qputenv("QUORVEL_STATE_DIR", machine.path().toLocal8Bit()); }
    ~SimMove() override { qputenv("QUORVEL_STATE_DIR", saved); }

    static THandsetProcess::TRun Sim(const THandsetProcess& handset, const QStringList& args) {
        return handset.Cli(
            QStringList{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes", "sim"} + args, 60000);
    }
    QString State(const char* name) const { return dir.filePath(name); }
    QString Chosen() const { return dir.filePath("backup.sim"); }
    QString SimFile() const { return dir.filePath(QString::fromStdString("backup_" + Serial + ".sim")); }
    // The serial number bytes of a handset as its state file holds them.
    // A row of FF bytes is left out of the file.
    static bool HoldsSerial(const QString& state, bool present) {
        if (!present) {
            const int first = StateMemoryByte(state, 64, 0xFF);
            return first == 0xFF || first == -1;
        }
        return StateMemoryByte(state, 64, 0x00) == 0x00 && StateMemoryByte(state, 68, 0x78) == 0x78;
    }

    const QByteArray saved = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir machine;
    QTemporaryDir dir;
};

} // namespace

TEST_F(SimMove, FromOneHandsetIntoAFileAndIntoAnother) {
    THandsetProcess first({"--state", State("first.txt")});
    THandsetProcess second({"--state", State("second.txt"), "--serial", "none"});
    ASSERT_TRUE(first.Started() && second.Started());

    auto run = Sim(first, {"save", Chosen()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Written: " + SimFile().toStdString() + "\nSerial number: " + Serial + "\n");
    EXPECT_FALSE(QFile::exists(Chosen()));
    EXPECT_EQ(QFile(SimFile()).size(), 0x800);
    // The handset it came from has no serial number and says so.
    EXPECT_TRUE(HoldsSerial(State("first.txt"), false));
    EXPECT_EQ(StateMemoryByte(State("first.txt"), 409, 'N'), 'N');
    run = Sim(first, {"records"});
    EXPECT_NE(run.out.find(Serial + "  software 62018400  pcs 06B  crc "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("in its file"), std::string::npos) << run.out;
    EXPECT_EQ(Sim(first, {"check", SimFile()}).exitCode, 0);
    // Moved out twice: there is no SIM left to move.
    run = Sim(first, {"save", Chosen()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Error #3"), std::string::npos) << run.err;

    const QString copy = dir.filePath("copy.sim");
    ASSERT_TRUE(QFile::copy(SimFile(), copy));
    run = Sim(second, {"restore", SimFile()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("change the serial number on the label in the handset to \"" + Serial + "\""),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(HoldsSerial(State("second.txt"), true));
    EXPECT_FALSE(QFile::exists(SimFile()));
    EXPECT_EQ(Sim(second, {"records"}).out, "");
    // The copy is of a SIM that is in a handset now: it is taken nowhere.
    run = Sim(first, {"restore", copy});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("The SIM file is not valid!"), std::string::npos) << run.err;
    EXPECT_TRUE(HoldsSerial(State("first.txt"), false));
}

TEST_F(SimMove, AHandsetWithASimOfItsOwnAndBadFilesAreRefused) {
    THandsetProcess first;
    THandsetProcess other({"--serial", "0000000001"});
    ASSERT_TRUE(first.Started() && other.Started());
    ASSERT_EQ(Sim(first, {"save", Chosen()}).exitCode, 0);
    auto run = Sim(other, {"restore", SimFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("This handset holds the SIM 00000 0000001."), std::string::npos) << run.err;
    EXPECT_TRUE(QFile::exists(SimFile()));
    EXPECT_EQ(Sim(first, {"check", SimFile()}).exitCode, 0);

    // Edited, empty, junk, or cut: the file is refused and nothing reaches the handset.
    QFile file(SimFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    const auto Try = [&](const char* name, const QByteArray& content) {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        return Sim(first, {"restore", dir.filePath(name)});
    };
    QByteArray swapped = bytes;
    std::swap(swapped[21], swapped[26]); // the sum is kept, the bytes are not
    EXPECT_NE(Try("swapped.sim", swapped).err.find("The SIM file is not valid!"), std::string::npos);
    EXPECT_NE(Try("empty.sim", "").err.find("could not find data in file"), std::string::npos);
    EXPECT_NE(Try("junk.sim", QByteArray(5000, '\x12')).err.find("The SIM file is not valid!"),
              std::string::npos);
    run = Try("cut.sim", bytes.left(0x400));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("The SIM file is not valid!"), std::string::npos) << run.err;
    EXPECT_EQ(Sim(first, {"check", SimFile()}).exitCode, 0) << "the real file is still taken";
}

TEST_F(SimMove, AnEraseWhoseOutcomeIsNotKnownIsFinishedByTheNextSave) {
    // No read of the serial number after its erase is answered: the erase happened, but the program
    // cannot know it.
    {
        THandsetProcess lost({"--state", State("first.txt"), "--ignore-mail", "023C0800054000:1+"});
        ASSERT_TRUE(lost.Started());
        const auto run = Sim(lost, {"save", Chosen()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("Error #5"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("could not be found out"), std::string::npos) << run.err;
        // Not yet a SIM in a file: nothing takes it.
        EXPECT_EQ(Sim(lost, {"check", SimFile()}).exitCode, 2);
        THandsetProcess empty({"--serial", "none"});
        ASSERT_TRUE(empty.Started());
        const auto refused = Sim(empty, {"restore", SimFile()});
        EXPECT_NE(refused.err.find("did not finish"), std::string::npos) << refused.err;
    }
    THandsetProcess again({"--state", State("first.txt")});
    ASSERT_TRUE(again.Started());
    const auto run = Sim(again, {"save", Chosen()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("is finished: the SIM is in the file"), std::string::npos) << run.err;
    EXPECT_EQ(Sim(again, {"check", SimFile()}).exitCode, 0);
}

TEST_F(SimMove, AMoveInLeftUnfinishedIsTakenOnlyByItsHandsetUntilReleased) {
    {
        THandsetProcess first;
        ASSERT_TRUE(first.Started());
        ASSERT_EQ(Sim(first, {"save", Chosen()}).exitCode, 0);
    }
    // No read of the serial number after the connection step's and the move's first is answered: the
    // serial number goes in, and its erase after the failed read-back too, but the program cannot know
    // either.
    {
        THandsetProcess lost(
            {"--state", State("marked.txt"), "--serial", "none", "--ignore-mail", "023C0800054000:3+"});
        ASSERT_TRUE(lost.Started());
        const auto run = Sim(lost, {"restore", SimFile()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("could not be found out"), std::string::npos) << run.err;
    }
    THandsetProcess marked({"--state", State("marked.txt")});
    THandsetProcess other({"--state", State("other.txt"), "--serial", "none"});
    ASSERT_TRUE(marked.Started() && other.Started());
    auto run = Sim(other, {"check", SimFile()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("into a handset did not finish"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("it shows \"MOVING IN " + Serial + " "), std::string::npos) << run.err;
    run = Sim(other, {"restore", SimFile()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("it shows \"MOVING IN "), std::string::npos) << run.err;
    EXPECT_TRUE(HoldsSerial(State("other.txt"), false));

    // The person knows the marked handset is lost: the file is released, and taken.
    run = Sim(other, {"release", SimFile()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE((run.out + run.err).find("is released"), std::string::npos) << run.out << run.err;
    run = Sim(other, {"records"});
    EXPECT_NE(run.out.find("in its file"), std::string::npos) << run.out;
    run = Sim(other, {"restore", SimFile()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(HoldsSerial(State("other.txt"), true));
    // The marked handset turns up after all: its mark is of a move that is over.
    run = Sim(marked, {"save", Chosen()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("the mark of a move that is over; the mark is cleared"), std::string::npos)
        << run.err;
    EXPECT_EQ(Sim(marked, {"release", SimFile()}).exitCode, 2) << "no file, nothing to release";
}
