// The record store: its text form, its keys, damaged and unwritable stores, and two writers at once.
#include "platform/Registry.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

const std::string SimKey = "SOFTWARE\\Ostrel telecom\\Virtual SIM\\00291 0284280";

struct Store : testing::Test {
    std::string Folder() const { return dir.path().toStdString(); }
    std::string FilePath() const { return Folder() + "/" + TRegistry::FileName; }
    void WriteFile(const std::string& text) const {
        QFile file(QString::fromStdString(FilePath()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
    }
    std::string FileText() const { return ReadFileBytes(FilePath(), 1 << 20); }
    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
    TRegistry store{Folder()};
};

std::string StringOf(const std::optional<TRegistryKey>& key, const std::string& name) {
    const TRegistryValue* value = key ? key->Value(name) : nullptr;
    return value && std::holds_alternative<std::string>(*value) ? std::get<std::string>(*value) : "(none)";
}

TEST_F(Store, AnyKeyAndTextRoundTripsThroughTheFile) {
    const std::string odd = std::string("  \"quoted\" 100% [x] \\ \r\n\t end  ") + '\0' + "\xE4\xFF";
    const std::string oddKey = "A\\ lead and trail \\%41 \"q\" [b]\xE9";
    store.WriteString(SimKey, "Software", "0123ABCD");
    store.WriteInteger(SimKey, "CRC", 0xFFFFFFFF);
    store.WriteInteger(SimKey, "Zero", 0);
    store.WriteString(SimKey, "", "");
    store.WriteString(oddKey, odd, odd);

    const TRegistry again(Folder());
    const std::optional<TRegistryKey> sim = again.OpenKey(SimKey);
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->Path, SimKey);
    EXPECT_EQ(StringOf(sim, "Software"), "0123ABCD");
    EXPECT_EQ(std::get<uint32_t>(*sim->Value("CRC")), 0xFFFFFFFFu);
    EXPECT_EQ(std::get<uint32_t>(*sim->Value("Zero")), 0u);
    EXPECT_EQ(StringOf(sim, ""), "");
    EXPECT_EQ(StringOf(again.OpenKey(oddKey), odd), odd);
    EXPECT_EQ(again.OpenKey(oddKey)->Path, oddKey);

    const std::string text = FileText();
    EXPECT_THAT(text, HasSubstr("[" + SimKey + "]\n\"Software\"=\"0123ABCD\"\n\"CRC\"=dword:ffffffff\n"))
        << "a person can read the file";
    EXPECT_EQ(text.find('\r'), std::string::npos) << "line ends and NUL are escaped";
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(TRegistryTree::Parse(text, "x").Text(), text);
}

TEST_F(Store, KeysAndValuesAreFoundWithoutRegardToCase) {
    store.WriteString(SimKey, "PCS", "06A");
    store.WriteString("software\\ostrel TELECOM\\virtual sim\\00291 0284280", "pcs", "05B");
    const std::optional<TRegistryKey> key = store.OpenKey(SimKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->Values.size(), 1u);
    EXPECT_EQ(StringOf(key, "Pcs"), "05B");
    EXPECT_EQ(key->Values[0].first, "PCS") << "the name keeps its first spelling";
}

TEST_F(Store, DeleteTakesTheKeyAndWhatIsBelowItAndNothingElse) {
    const std::string records = "SOFTWARE\\Ostrel telecom\\Virtual SIM";
    store.WriteString(records + "\\00291 0284280", "PCS", "06A");
    store.WriteString(records + "\\00291 0284280\\below", "x", "y");
    store.WriteString(records + "\\00291 0284280 copy", "PCS", "06A");
    store.WriteString(records + "\\00291", "PCS", "06A");
    EXPECT_THAT(store.SubKeyNames(records), ElementsAre("00291", "00291 0284280", "00291 0284280 copy"));

    EXPECT_TRUE(store.DeleteKey(records + "\\00291 0284280"));
    EXPECT_FALSE(store.KeyExists(records + "\\00291 0284280"));
    EXPECT_FALSE(store.KeyExists(records + "\\00291 0284280\\below"));
    EXPECT_THAT(store.SubKeyNames(records), ElementsAre("00291", "00291 0284280 copy"));
    EXPECT_FALSE(store.DeleteKey(records + "\\00291 0284280"));
    EXPECT_TRUE(store.KeyExists("SOFTWARE\\Ostrel telecom")) << "the keys above stay";
}

TEST_F(Store, MissingFileIsAnEmptyStoreAndIsNotMadeByChangesThatChangeNothing) {
    EXPECT_FALSE(store.KeyExists(SimKey));
    EXPECT_FALSE(store.DeleteKey(SimKey));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(FilePath())));
    EXPECT_THROW(store.KeyExists("a\\\\b"), std::invalid_argument);
    EXPECT_THROW(store.CreateKey("\\a"), std::invalid_argument);
}

TEST_F(Store, DamagedFileIsNamedWithItsLineAndLeftAsItIs) {
    const std::string header = std::string(TRegistryTree::Header) + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "is empty"},
        {"some other file\n", "does not begin with"},
        {header + "\"CRC\"=dword:00000001\n", "line 2 holds a value before the first key"},
        {header + "[a]\n\"CRC\"=dword:0000001\n", "line 3 holds a value that is neither"},
        {header + "[a]\n\"CRC\"=12\n", "line 3 holds a value that is neither"},
        {header + "[a]\n\"x\"=\"a\"b\"\n", "line 3 holds a value that is neither"},
        {header + "[a]\n\"x\"=\"%4\"\n", "line 3 has a '%'"},
        {header + "[a]\n\"x\"=\"1\"\n\"X\"=\"2\"\n", "line 4 repeats the value"},
        {header + "[a]\n\n[A]\n", "line 4 repeats the key of line 2"},
        {header + "[a\\\\b]\n", "line 2 names a key with an empty name"},
        {header + "[a]\nCRC=1\n", "line 3 is neither a key in brackets"},
        {header + "[a]\n\"CRC\"=dword:00000001\n\"Soft", "line 4 is not a value"},
    };
    for (const auto& [text, reason] : cases) {
        WriteFile(text);
        try {
            store.Read();
            ADD_FAILURE() << "taken: " << text;
        } catch (const EStoreDamaged& e) {
            EXPECT_THAT(e.what(), HasSubstr(FilePath()));
            EXPECT_THAT(e.what(), HasSubstr(reason));
        }
        EXPECT_THROW(store.WriteString(SimKey, "CRC", "1"), EStoreDamaged);
        EXPECT_THROW(store.DeleteKey("a"), EStoreDamaged);
        EXPECT_EQ(FileText(), text) << "a damaged store is never overwritten";
    }
    EXPECT_THAT(Files(), testing::UnorderedElementsAre(TRegistry::FileName, TRegistry::LockName))
        << "no temporary file stays";
}

TEST_F(Store, CommentsBlankLinesAndCrLfAreRead) {
    WriteFile(std::string(TRegistryTree::Header) + "\r\n; by hand\r\n\r\n[a\\b]\r\n\"x\"=\"1\"\r\n");
    EXPECT_EQ(StringOf(store.OpenKey("a\\b"), "x"), "1");
    EXPECT_TRUE(store.KeyExists("a"));
}

TEST_F(Store, FolderThatCannotBeMadeFailsEveryChangeWithItsName) {
    const QString blocker = dir.filePath("not-a-folder");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    TRegistry below((blocker + "/state").toStdString());
    EXPECT_FALSE(below.KeyExists(SimKey)) << "reading finds an empty store";
    try {
        below.WriteString(SimKey, "PCS", "06A");
        ADD_FAILURE() << "written below a file";
    } catch (const EStoreError& e) {
        EXPECT_THAT(e.what(), HasSubstr(below.Folder()));
    }
}

TEST_F(Store, FolderThatMayNotBeWrittenFailsAndKeepsTheFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into any folder";
    store.WriteString(SimKey, "PCS", "06A");
    const std::string before = FileText();
    // With the lock file the package made, and without it.
    for (const bool withLockFile : {true, false}) {
        if (!withLockFile) {
            ASSERT_EQ(unlink((Folder() + "/" + TRegistry::LockName).c_str()), 0);
        }
        ASSERT_EQ(chmod(Folder().c_str(), 0555), 0);
        try {
            store.WriteString(SimKey, "PCS", "05B");
            ADD_FAILURE() << "written into a folder that may not be written";
        } catch (const EStoreError& e) {
            EXPECT_THAT(e.what(), HasSubstr(Folder()));
        }
        chmod(Folder().c_str(), 0755);
    }
    EXPECT_EQ(FileText(), before);
}

TEST_F(Store, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int PerWriter = 60;
    const auto writeMany = [this](const std::string& who) {
        TRegistry own(Folder());
        for (int i = 0; i < PerWriter; ++i)
            own.WriteInteger("SOFTWARE\\Ostrel telecom\\Virtual SIM\\" + who + " " + std::to_string(i), "CRC",
                             uint32_t(i));
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            writeMany("child");
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    writeMany("parent");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::vector<std::string> names = store.SubKeyNames("SOFTWARE\\Ostrel telecom\\Virtual SIM");
    EXPECT_EQ(names.size(), size_t(2 * PerWriter));
    for (int i = 0; i < PerWriter; ++i) {
        EXPECT_TRUE(store.KeyExists("SOFTWARE\\Ostrel telecom\\Virtual SIM\\child " + std::to_string(i)));
        EXPECT_TRUE(store.KeyExists("SOFTWARE\\Ostrel telecom\\Virtual SIM\\parent " + std::to_string(i)));
    }
}

TEST_F(Store, TheFileKeepsItsPermissions) {
    store.WriteString(SimKey, "PCS", "06A");
    ASSERT_EQ(chmod(FilePath().c_str(), 0664), 0);
    store.WriteString(SimKey, "PCS", "05B");
    struct stat info {};
    ASSERT_EQ(stat(FilePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u);
}

TEST(StateDir, TheEnvironmentComesFirst) {
    QTemporaryDir dir;
    qputenv("QUORVEL_STATE_DIR", dir.path().toLocal8Bit());
    EXPECT_EQ(StateDir(), dir.path().toStdString());
    EXPECT_EQ(TRegistry().FilePath(), dir.path().toStdString() + "/registry.txt");
    qunsetenv("QUORVEL_STATE_DIR");
    if (!QFileInfo::exists(MachineStateDir)) {
        QTemporaryDir config;
        qputenv("QUORVEL_CONFIG_DIR", config.path().toLocal8Bit());
        EXPECT_EQ(StateDir(), config.path().toStdString()) << "no machine folder: the per-user folder";
        qunsetenv("QUORVEL_CONFIG_DIR");
    }
}

} // namespace
