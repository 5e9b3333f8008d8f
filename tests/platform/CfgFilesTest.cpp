// Key-value files (settings.cfg, speed dial lists) and the start switches.
#include "platform/CfgFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Text with NUL bytes, at its full length.
template <size_t N> QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// Collects the texts of qWarning while it lives.
class TWarningRecorder {
public:
    explicit TWarningRecorder(std::vector<std::string>& texts) {
        Texts = &texts;
        Previous = qInstallMessageHandler(&Record);
    }
    ~TWarningRecorder() {
        qInstallMessageHandler(Previous);
        Texts = nullptr;
    }
    TWarningRecorder(const TWarningRecorder&) = delete;
    TWarningRecorder& operator=(const TWarningRecorder&) = delete;

private:
    static void Record(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg && Texts)
            Texts->push_back(text.toStdString());
    }
    static inline std::vector<std::string>* Texts = nullptr;
    QtMessageHandler Previous;
};

struct CfgFile : testing::Test {
    std::string Write(const QByteArray& content) {
        QFile file(Path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return Path().toStdString();
    }
    QByteArray Content() {
        QFile file(Path());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    QString Path() const { return dir.filePath("settings.cfg"); }

    QTemporaryDir dir;
};

TEST_F(CfgFile, KeyMustBeginTheLine) {
    EXPECT_EQ(TCfgFile(Write("  speed_dial=ON\r\n")).ReadValue("SPEED_DIAL", "OFF"), "OFF");
    EXPECT_EQ(TCfgFile(Write("speed_dial=On\r\n")).ReadValue("SPEED_DIAL", "OFF"), "On");
}

TEST_F(CfgFile, SeparatorMustFollowTheKeyAndValueIsTrimmed) {
    const TCfgFile cfg(Write("PROFILE_OLD=ON\r\nPROFILE ON\r\nPROFILE = on \r\n"));
    EXPECT_EQ(cfg.ReadValue("PROFILE", "OFF"), "on");
}

TEST_F(CfgFile, OtherSeparatorAndEmptyValue) {
    TCfgFile cfg(Write("Key_10,999\r\nKey_1,123\r\nKey_5,\r\n"));
    cfg.SetSeparator(',');
    EXPECT_EQ(cfg.ReadValue("Key_1", "-"), "123");
    EXPECT_EQ(cfg.ReadValue("Key_5", "-"), "");
    EXPECT_EQ(cfg.ReadValue("Key_2", "-"), "-");
}

TEST_F(CfgFile, FirstOfTwoLinesIsReadAndReplaced) {
    {
        TCfgFile cfg(Write("A=1\nB=x\na=2\n"));
        EXPECT_EQ(cfg.ReadValue("A", ""), "1");
        cfg.WriteValue("A", "3");
        cfg.Close();
    }
    EXPECT_EQ(Content(), "A=3\r\nB=x\r\na=2\r\n");
}

TEST_F(CfgFile, WriteKeepsOtherLinesAndAppendsMissingKeys) {
    {
        TCfgFile cfg(Write("; list\nKey_0,123\n\nKey_1 , 5\n"));
        cfg.SetSeparator(',');
        cfg.WriteValue("Key_0", "");
        cfg.WriteValue("Key_2", "789");
        EXPECT_TRUE(cfg.IsModified());
        cfg.Close();
    }
    EXPECT_EQ(Content(), "; list\r\nKey_0,\r\n\r\nKey_1 , 5\r\nKey_2,789\r\n");
}

TEST_F(CfgFile, MissingFileGivesDefaultsAndIsNotCreatedByReading) {
    {
        const TCfgFile cfg(Path().toStdString());
        EXPECT_EQ(cfg.ReadValue("PHONE_BOOK", "OFF"), "OFF");
    }
    EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(CfgFile, BinaryBytesRoundTripUnchanged) {
    const QByteArray junk = Bytes("\x01\xff\x00\xe4 x=\x00\x00\r\nPROFILE=ON\n\x00\x00\x00");
    {
        TCfgFile cfg(Write(junk));
        EXPECT_EQ(cfg.ReadValue("PROFILE", "OFF"), "ON");
        EXPECT_EQ(cfg.ReadValue("VIRTUAL_SIM", "OFF"), "OFF");
        cfg.WriteValue("SPEED_DIAL", "ON");
        cfg.Close();
    }
    EXPECT_EQ(Content(),
              Bytes("\x01\xff\x00\xe4 x=\x00\x00\r\nPROFILE=ON\r\n\x00\x00\x00\r\nSPEED_DIAL=ON\r\n"));
}

TEST_F(CfgFile, EnormousFileGivesDefaults) {
    QByteArray huge(20 << 20, 'A');
    huge.prepend("PROFILE=ON");
    const TCfgFile cfg(Write(huge));
    EXPECT_EQ(cfg.ReadValue("PROFILE", "OFF"), "OFF");
}

// A file read in part would lose the rest: it is never replaced, and says why.
TEST_F(CfgFile, AFileNotReadWholeIsNeverReplaced) {
    QByteArray huge(2 << 20, 'A');
    huge.prepend("Key_0,1\r\n");
    TCfgFile cfg(Write(huge));
    EXPECT_EQ(cfg.ReadProblem(), "it is larger than 1048576 bytes");
    cfg.WriteValue("Key_0", "2");
    try {
        cfg.Save();
        ADD_FAILURE() << "saved over a file it could not read";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("a save would lose what it holds"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(Content(), huge);
    EXPECT_EQ(TCfgFile(Write("\xEF\xBB\xBFPROFILE=ON\r\n")).ReadValue("PROFILE", "OFF"), "ON")
        << "a byte-order mark is skipped";
}

TEST_F(CfgFile, SaveReplacesTheFileWhole) {
    TCfgFile cfg(Write("OLD=1\r\n"));
    QByteArray expected("OLD=1\r\n");
    for (int i = 0; i < 1000; ++i) {
        const std::string line = "Key_" + std::to_string(i) + "=" + std::string(50, 'x');
        cfg.WriteValue("Key_" + std::to_string(i), std::string(50, 'x'));
        expected += QByteArray::fromStdString(line) + "\r\n";
    }
    cfg.Save();
    EXPECT_FALSE(cfg.IsModified());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"settings.cfg"});
    EXPECT_EQ(Content(), expected);
}

TEST_F(CfgFile, FailedSaveThrowsButDestructionDoesNot) {
    EXPECT_NO_THROW({
        TCfgFile cfg(dir.filePath("missing/folder/list.sdl").toStdString());
        cfg.WriteValue("Key_0", "1");
        EXPECT_THROW(cfg.Save(), std::runtime_error);
    });
}

TEST_F(CfgFile, CloseReportsAFailedSaveAndDestructionLogsIt) {
    const std::string path = dir.filePath("missing/folder/list.sdl").toStdString();
    {
        TCfgFile cfg(path);
        cfg.WriteValue("Key_0", "1");
        try {
            cfg.Close();
            ADD_FAILURE() << "a save that cannot be made must reach the caller";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        EXPECT_NO_THROW(cfg.Close());
    }

    // A file released without Close still saves; a failure of that save is logged, not lost.
    std::vector<std::string> warnings;
    {
        const TWarningRecorder recorder(warnings);
        TCfgFile unsaved(path);
        unsaved.WriteValue("Key_0", "1");
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(path), std::string::npos) << warnings[0];
    {
        TCfgFile cfg(Write("A=1\r\n"));
        cfg.WriteValue("A", "2");
    }
    EXPECT_EQ(Content(), "A=2\r\n");

    // Closing a file nothing was written to creates nothing.
    TCfgFile untouched(Path().toStdString() + ".new");
    untouched.Close();
    EXPECT_FALSE(QFile::exists(Path() + ".new"));
}

TEST_F(CfgFile, LinesEndInCrLfLfOrCrAlone) {
    {
        const TCfgFile cfg(Write("PHONE_BOOK=ON\rPROFILE=ON"));
        EXPECT_EQ(cfg.ReadValue("PHONE_BOOK", "OFF"), "ON");
        EXPECT_EQ(cfg.ReadValue("PROFILE", "OFF"), "ON");
    }
    {
        TCfgFile cfg(Write("A=1\rB=2\r\nC=3\n\r\rD=4\r"));
        EXPECT_EQ(cfg.ReadValue("A", ""), "1");
        EXPECT_EQ(cfg.ReadValue("B", ""), "2");
        EXPECT_EQ(cfg.ReadValue("C", ""), "3");
        EXPECT_EQ(cfg.ReadValue("D", ""), "4");
        cfg.WriteValue("E", "5");
        cfg.Close();
    }
    // The empty lines stay where they were; every line now ends in CR LF.
    EXPECT_EQ(Content(), "A=1\r\nB=2\r\nC=3\r\n\r\n\r\nD=4\r\nE=5\r\n");
}

TEST(StartSwitch, DashOrSlashAndWordInAnyCase) {
    const QStringList arguments{"/usr/bin/quorvel", "/DEBUG", "-Outlook", "--verbose", "-?x"};
    EXPECT_TRUE(HasSwitch(arguments, "debug"));
    EXPECT_TRUE(HasSwitch(arguments, "outlook"));
    EXPECT_FALSE(HasSwitch(arguments, "verbose"));
    EXPECT_FALSE(HasSwitch(arguments, "?"));
    EXPECT_FALSE(HasSwitch({"/debug"}, "debug")); // the program's own path is no switch
}

} // namespace
