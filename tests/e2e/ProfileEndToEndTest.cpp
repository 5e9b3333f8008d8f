// The profile commands against the virtual handset, through a real pseudo-terminal.
#include "support/HandsetProcess.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Ringer, TheHandsetHearsTheToneAsked) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber())};

    auto run = handset.Cli(port + QStringList{"ringer", "3"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Ringer tone 3 played.\n");

    run = handset.Cli(port + QStringList{"ringer", "10"});
    EXPECT_EQ(run.exitCode, 2);

    // The handset keeps what it played in its state once the line has rested.
    QByteArray text;
    WaitFor([&] {
        QFile file(state);
        if (file.open(QIODevice::ReadOnly))
            text = file.readAll();
        return text.contains("ringer 3 1");
    });
    EXPECT_TRUE(text.contains("ringer 3 1\n")) << text.toStdString();
}

namespace {

void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

const QStringList LevelFour{"--software", "62018400", "--pcs", "05Z", "--model", "0x55"};

// How a summary names the virtual handset (of the default serial number) it was written to.
std::string OfHandset(const THandsetProcess& handset) {
    return " (handset 00291 0284280 at COM" + std::to_string(handset.ComNumber()) + ")";
}

} // namespace

TEST(ProfileCommands, ReadShowsWhatTheHandsetsLevelHas) {
    THandsetProcess seven;
    ASSERT_TRUE(seven.Started());
    auto run = seven.Cli({"--port", QString("COM%1").arg(seven.ComNumber()), "profile", "read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "[profile settings]\r\nringer tone=1\r\nringer volume=3\r\nkey click volume=2\r\n"
                       "vibrator=0\r\nb answer=0\r\nstart volume=2\r\nout of range=1\r\nauto key lock=0\r\n"
                       "language=0\r\nback light=1\r\n[advanced profile settings]\r\nauto hook=1\r\n"
                       "any key answer=0\r\nlong key=1\r\nlong key time=5\r\na key delay=2\r\n"
                       "ls on b-answer=0\r\nstandby text=1\r\nheadset alert=3\r\nheadset volume=2\r\n"
                       "off hook msf=0\r\n");

    // A level-4 handset has neither the vibrator nor the advanced settings.
    THandsetProcess four(LevelFour);
    ASSERT_TRUE(four.Started());
    run = four.Cli({"--port", QString("COM%1").arg(four.ComNumber()), "profile", "read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "[profile settings]\r\nringer tone=1\r\nringer volume=3\r\nkey click volume=2\r\n"
                       "b answer=0\r\nstart volume=2\r\nout of range=1\r\nauto key lock=0\r\n"
                       "language=0\r\nback light=1\r\n");
}

TEST(ProfileCommands, WriteChangesOnlyTheSettingsTheFileHoldsAndReadsBack) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber())};
    const QString saved = dir.filePath("read.pro");
    auto run = handset.Cli(port + QStringList{"profile", "read", "-o", saved});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // Change three settings in the saved file; the rest of it matches the handset already.
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace("ringer tone=1", "ringer tone=4").replace("auto hook=1", "auto hook=0");
    text.replace("headset volume=2", "headset volume=4");
    WriteFile(saved, text);
    run = handset.Cli(port + QStringList{"--yes", "profile", "write", saved});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    EXPECT_EQ(StateMemoryByte(state, 27, 0x43), 0x43); // tone 4 above volume 3
    EXPECT_EQ(StateMemoryByte(state, 24, 0x95), 0x95); // auto hook off sets its bit
    EXPECT_EQ(StateMemoryByte(state, 31, 0x23), 0x23); // volume 4 beside alert 3
    EXPECT_EQ(StateMemoryByte(state, 26, 0x12), 0x12); // untouched
    run = handset.Cli(port + QStringList{"profile", "read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, text.toStdString());
}

TEST(ProfileCommands, APartialFileWritesOnlyItsSettingAndLevelRules) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset(LevelFour + QStringList{"--state", state});
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes"};
    const QString partial = dir.filePath("partial.pro");
    WriteFile(partial, "[profile settings]\r\nringer tone=4\r\nvibrator=1\r\n"
                       "[advanced profile settings]\r\nauto hook=0\r\n");
    auto run = handset.Cli(port + QStringList{"profile", "write", partial});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Written settings: ringer tone\nWritten: 1 setting; not written: 2" +
                           OfHandset(handset) + ".\n");
    EXPECT_NE(run.err.find("Not written, the handset does not have: vibrator, auto hook"), std::string::npos)
        << run.err;
    EXPECT_EQ(StateMemoryByte(state, 27, 0x43), 0x43);
    EXPECT_EQ(StateMemoryByte(state, 26, 0x12), 0x12);
    EXPECT_EQ(StateMemoryByte(state, 24, 0x15), 0x15);

    // A file that cannot be read changes nothing, and says so.
    run = handset.Cli(port + QStringList{"profile", "write", dir.filePath("absent.pro")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Could not read"), std::string::npos) << run.err;
}

TEST(ProfileCommands, AWriteTheHandsetDoesNotStoreStopsThere) {
    QTemporaryDir dir;
    const QString state = dir.filePath("handset.txt");
    THandsetProcess handset({"--state", state, "--unconfirmed-writes=10"});
    ASSERT_TRUE(handset.Started());
    const QString pro = dir.filePath("two.pro");
    // Byte 24 is written before byte 27; when it is not stored after every retry, byte 27 is not
    // written at all.
    WriteFile(pro, "[profile settings]\r\nringer tone=4\r\n[advanced profile settings]\r\nauto hook=0\r\n");
    auto run =
        handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "--yes", "profile", "write", pro});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Could not write profile to handset!"), std::string::npos) << run.err;
    run = handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "profile", "read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("ringer tone=1\r\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("auto hook=1\r\n"), std::string::npos) << run.out;
}

TEST(ProfileCommands, AFileWithLoneCarriageReturnsIsReadLikeAnyOther) {
    QTemporaryDir dir;
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber())};
    const QString file = dir.filePath("cr.pro");
    WriteFile(file, "[profile settings]\rringer tone=7\rringer volume=2\r");

    auto run = handset.Cli(port + QStringList{"--yes", "profile", "write", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Written settings: ringer tone, ringer volume\nWritten: 2 settings; not written: 0" +
                           OfHandset(handset) + ".\n");
    run = handset.Cli(port + QStringList{"profile", "read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("ringer tone=7\r\nringer volume=2\r\n"), std::string::npos) << run.out;
}

TEST(ProfileCommands, ASettingTheHandsetHoldsAlreadyIsNotCountedAsWritten) {
    QTemporaryDir dir;
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QString file = dir.filePath("two.pro");
    WriteFile(file, "[profile settings]\r\nringer tone=1\r\nringer volume=5\r\n");
    const auto run =
        handset.Cli({"--port", QString("COM%1").arg(handset.ComNumber()), "--yes", "profile", "write", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Written settings: ringer volume\nAlready held, not written again: ringer tone\n"
                       "Written: 1 setting; not written: 0" +
                           OfHandset(handset) + ".\n");
}

TEST(ProfileCommands, AWriteToAHandsetThatDoesNotTellItsLevelWritesNothing) {
    QTemporaryDir dir;
    const QString file = dir.filePath("all.pro");
    WriteFile(file, "[profile settings]\r\nringer tone=7\r\nvibrator=1\r\n");

    // Frames: the probe, the capacity, then the software question: one lost answer is asked again.
    THandsetProcess lostOnce({"--drop-answer", "3"});
    ASSERT_TRUE(lostOnce.Started());
    auto run = lostOnce.Cli(
        {"--port", QString("COM%1").arg(lostOnce.ComNumber()), "--yes", "profile", "write", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Written settings: ringer tone, vibrator\nWritten: 2 settings; not written: 0" +
                           OfHandset(lostOnce) + ".\n");

    // Never answered: which settings the handset has is not known, and nothing is written.
    THandsetProcess silent({"--drop-answer", "3,4,5"});
    ASSERT_TRUE(silent.Started());
    run = silent.Cli({"--port", QString("COM%1").arg(silent.ComNumber()), "--yes", "profile", "write", file});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("did not tell its software and PCS"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "Written: 0 settings; not written: 2" + OfHandset(silent) + ".\n");
    run = silent.Cli({"--port", QString("COM%1").arg(silent.ComNumber()), "profile", "read"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("ringer tone=1\r\n"), std::string::npos)
        << "the profile is untouched: " << run.out;
}

TEST(ProfileCommands, AValueNoListShowsOrAFileWithoutSectionsWritesNothing) {
    QTemporaryDir dir;
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber())};
    const std::string before = handset.Cli(port + QStringList{"profile", "read"}).out;

    const QString odd = dir.filePath("odd.pro");
    WriteFile(odd, "[profile settings]\r\nringer tone=99\r\nringer volume=2\r\n");
    auto run = handset.Cli(port + QStringList{"--yes", "profile", "write", odd});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("line 2: ringer tone=99 is no value of its list, not taken"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("nothing was written to the handset"), std::string::npos) << run.err;

    const QString junk = dir.filePath("junk.pro");
    WriteFile(junk, "ringer tone=2\r\n");
    run = handset.Cli(port + QStringList{"--yes", "profile", "write", junk});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("holds no profile settings"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");

    EXPECT_EQ(handset.Cli(port + QStringList{"profile", "read"}).out, before) << "the handset is untouched";
}

namespace {

// The path a message names after "kept in ", up to the next "; " or ".\n".
std::string KeptPath(const std::string& text) {
    const size_t start = text.find("kept in ");
    if (start == std::string::npos)
        return {};
    size_t end = text.find("; ", start);
    if (end == std::string::npos)
        end = text.find(".\n", start);
    return text.substr(start + 8, end - start - 8);
}

std::string FileText(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("(no file)");
}

} // namespace

TEST(ProfileCommands, AWriteKeepsTheHandsetsProfileAndTheBackupBringsItBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("tone.pro");
    WriteFile(file, "[profile settings]\r\nringer tone=7\r\nringer volume=2\r\n");

    // The handset takes no write: the person learns what it holds and where its profile is kept.
    THandsetProcess refusing({"--unconfirmed-writes"});
    ASSERT_TRUE(refusing.Started());
    const QStringList refusingPort{"--port", QString("COM%1").arg(refusing.ComNumber())};
    const std::string before = refusing.Cli(refusingPort + QStringList{"profile", "read"}).out;
    auto run = refusing.Cli(refusingPort + QStringList{"--yes", "profile", "write", file});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("0 of the 2 settings to write have their new value in the handset."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(FileText(KeptPath(run.err)), before) << run.err;

    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber())};
    run = handset.Cli(port + QStringList{"--yes", "profile", "write", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string kept = KeptPath(run.err);
    EXPECT_NE(FileText(kept).find("ringer tone=1\r\n"), std::string::npos) << run.err;
    run = handset.Cli(port + QStringList{"--yes", "profile", "restore-backup"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Written back: " + kept), std::string::npos) << run.out;
    run = handset.Cli(port + QStringList{"profile", "read"});
    EXPECT_NE(run.out.find("ringer tone=1\r\nringer volume=3\r\n"), std::string::npos) << run.out;
}

// One rule for every file: a key the kind does not have is named and refused, a file with nothing
// usable for the command is refused, a byte-order mark is skipped.
TEST(ProfileCommands, UnknownKeysAndFilesOfAnotherKindAreRefusedAndAByteOrderMarkIsSkipped) {
    QTemporaryDir dir;
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const QStringList port{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes"};
    const QString typo = dir.filePath("typo.pro");
    WriteFile(typo, "[profile settings]\r\nringer tone=2\r\nringer tones=3\r\n");
    auto run = handset.Cli(port + QStringList{"profile", "write", typo});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("keys that are no profile setting: line 3: [profile settings] \"ringer tones\""),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("kept in"), std::string::npos) << "nothing was read or written: " << run.err;

    const QString marked = dir.filePath("marked.pro");
    WriteFile(marked, "\xEF\xBB\xBF[profile settings]\r\nringer tone=4\r\n");
    run = handset.Cli(port + QStringList{"profile", "write", marked});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Written settings: ringer tone\n"), std::string::npos) << run.out;

    run = handset.Cli(port + QStringList{"phonebook", "write", marked, "--add"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("no line is a phone book entry"), std::string::npos) << run.err;
}
