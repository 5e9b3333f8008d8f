// Random files of every list kind against the virtual handset: what is written is what verify finds,
// and a second write sends nothing that changes the handset (it converges). Random handset memory: a
// backup the program takes goes back byte for byte.
#include "support/HandsetProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Hex(uint8_t byte) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    return {Digits[byte >> 4], Digits[byte & 0x0F]};
}

std::string StateText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::vector<std::string> LinesStarting(const std::string& text, const std::string& key) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        if (line.starts_with(key))
            lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

constexpr int MemoryBytes = 0x10000;
constexpr int RowBytes = 32;
constexpr int SpeedDialBlock = 0x2C0C;
constexpr int SpeedDialBytes = 132;

// The handset's memory as its state file's rows hold it; rows the file leaves out are FF.
std::vector<uint8_t> Memory(const std::string& state) {
    std::vector<uint8_t> memory(MemoryBytes, 0xFF);
    for (const std::string& row : LinesStarting(state, "mem ")) {
        const int at = std::stoi(row.substr(4, 4), nullptr, 16);
        for (int b = 0; b < RowBytes && at + b < MemoryBytes; ++b)
            memory[size_t(at + b)] = uint8_t(std::stoi(row.substr(9 + 2 * size_t(b), 2), nullptr, 16));
    }
    return memory;
}

std::string MemoryRows(const std::vector<uint8_t>& memory) {
    std::string rows;
    for (int row = 0; row < MemoryBytes; row += RowBytes) {
        std::string bytes;
        for (int b = 0; b < RowBytes; ++b)
            bytes += Hex(memory[size_t(row + b)]);
        if (bytes != std::string(2 * RowBytes, 'F'))
            rows += "mem " + Hex(uint8_t(row >> 8)) + Hex(uint8_t(row)) + "=" + bytes + "\n";
    }
    return rows;
}

struct HeldForm : ::testing::Test {
    HeldForm() { qputenv("QUORVEL_STATE_DIR", Machine.path().toLocal8Bit()); }
    ~HeldForm() override { qputenv("QUORVEL_STATE_DIR", SavedState); }

    const QByteArray SavedState = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir Machine;
    QTemporaryDir Dir;
    // The same files on every run; QUORVEL_TEST_SEED draws others.
    std::mt19937 Random{qEnvironmentVariableIsSet("QUORVEL_TEST_SEED")
                            ? unsigned(qEnvironmentVariableIntValue("QUORVEL_TEST_SEED"))
                            : 20261210u};

    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(Random); }
    char OneOf(const std::string& chars) { return chars[size_t(Between(0, int(chars.size()) - 1))]; }

    QString Write(const QString& name, const std::string& text) {
        QFile file(Dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
        return file.fileName();
    }

    static THandsetProcess::TRun Cli(const THandsetProcess& handset, const QStringList& args) {
        return handset.Cli(QStringList{"--port", QString("COM%1").arg(handset.ComNumber()), "--yes"} + args);
    }

    // Writes the file, verifies it, then writes it again: that second write must send nothing that
    // changes the handset.
    void Converges(THandsetProcess& handset, const QStringList& write, const QString& file,
                   const std::string& text) {
        auto run = Cli(handset, write);
        ASSERT_EQ(run.exitCode, 0) << text << run.err;
        run = Cli(handset, {"verify", file});
        EXPECT_EQ(run.exitCode, 0) << text << run.out << run.err;
        const size_t before = handset.Errors().size();
        run = Cli(handset, write);
        EXPECT_EQ(run.exitCode, 0) << text << run.err;
        EXPECT_EQ(ChangingFrames(handset.Errors().substr(before)), 0) << text << run.out << run.err;
    }

    // A dial string as a person writes it: the pause as "P", "p" or "-", blanks between digits where the
    // list takes them (a phone book does, a speed dial key not).
    std::string Number(int most, bool blanks = true) {
        std::string number;
        const int length = Between(1, most);
        for (int i = 0; i < length; ++i) {
            if (blanks && !number.empty() && Between(0, 6) == 0)
                number += ' ';
            number += OneOf("0123456789*#Pp-");
        }
        return number;
    }

    // A name as a .phb file in Windows-1252 writes it: letters with accents, commas, blanks anywhere,
    // longer than the handset keeps now and then.
    std::string Name() {
        std::string name;
        const int length = Between(0, 30);
        for (int i = 0; i < length; ++i)
            name += OneOf("abcdeXYZ  ,.'-\xE9\xFC");
        return name;
    }
};

TEST_F(HeldForm, PhoneBookFilesConvergeAndAFileOneEntryTooLongIsRefused) {
    for (int round = 0; round < 3; ++round) {
        const int capacity = Between(3, 8);
        THandsetProcess handset({"--capacity", QString::number(capacity), "--log"}, Dir.filePath("pb.log"));
        ASSERT_TRUE(handset.Started());
        std::string text;
        const int entries = Between(1, capacity);
        for (int i = 0; i < entries; ++i)
            text += Name() + "," + Number(23) + "\r\n";
        const QString file = Write("list.phb", text);
        Converges(handset, {"phonebook", "write", file, "--replace"}, file, text);
        const size_t before = handset.Errors().size();
        auto run = Cli(handset, {"phonebook", "write", file, "--add"});
        EXPECT_EQ(run.exitCode, 0) << text << run.err;
        EXPECT_EQ(ChangingFrames(handset.Errors().substr(before)), 0) << text << run.err;

        // One entry more than the handset has room for: refused by the write and by verify alike.
        std::string longer;
        for (int i = 0; i <= capacity; ++i)
            longer += "N" + std::to_string(i) + "," + std::to_string(100 + i) + "\r\n";
        const QString tooLong = Write("long.phb", longer);
        const size_t then = handset.Errors().size();
        run = Cli(handset, {"phonebook", "write", tooLong, "--replace"});
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("line " + std::to_string(capacity + 1)), std::string::npos) << run.err;
        run = Cli(handset, {"verify", tooLong});
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_EQ(ChangingFrames(handset.Errors().substr(then)), 0);
        run = Cli(handset, {"verify", file});
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    }
}

TEST_F(HeldForm, SpeedDialGroupsAndProfileFilesConverge) {
    THandsetProcess handset({"--log"}, Dir.filePath("lists.log"));
    ASSERT_TRUE(handset.Started());
    for (int round = 0; round < 3; ++round) {
        std::string sdl;
        for (int k = 0; k < 11; ++k)
            if (Between(0, 2) > 0)
                sdl += (k < 10 ? "Key_" + std::to_string(k) : std::string("Key_Alarm")) + "," +
                       (Between(0, 4) == 0 ? std::string() : Number(23, false)) + "\r\n";
        if (sdl.empty())
            sdl = "Key_1,1\r\n";
        const QString speedDial = Write("keys.sdl", sdl);
        Converges(handset, {"speed-dial", "write", speedDial}, speedDial, sdl);

        std::vector<int> groups(256);
        for (int g = 0; g < 256; ++g)
            groups[size_t(g)] = g;
        std::shuffle(groups.begin(), groups.end(), Random);
        std::string bgl;
        const int count = Between(1, 16);
        for (int slot = 0, given = 0; slot < 16; ++slot)
            bgl +=
                (given < count && Between(0, 3) > 0 ? std::to_string(groups[size_t(given++)]) : "") + "\r\n";
        const QString site = Write("site.BGL", bgl);
        Converges(handset, {"groups", "write", site, "--replace"}, site, bgl);

        // Values of the settings' lists, each as the file writes it.
        const std::vector<std::pair<const char*, std::pair<int, int>>> settings{
            {"ringer tone", {1, 9}},   {"ringer volume", {0, 5}}, {"key click volume", {0, 5}},
            {"start volume", {0, 4}},  {"language", {0, 15}},     {"out of range", {0, 1}},
            {"auto key lock", {0, 1}}, {"back light", {0, 1}},    {"b answer", {0, 1}}};
        std::string pro = "[profile settings]\r\n";
        for (const auto& [key, range] : settings)
            if (Between(0, 1) == 1 && std::string(key) != "ringer tone")
                pro += std::string(key) + "=" + std::to_string(Between(range.first, range.second)) + "\r\n";
        const QString profile =
            Write("desk.pro", pro + "ringer tone=" + std::to_string(Between(1, 9)) + "\r\n");
        Converges(handset, {"profile", "write", profile}, profile, pro);
    }
}

// A template of what a person writes (a lower-case pause, a "-" one, blanks in a number and after a name)
// provisions once; the second run sends nothing that changes the handset, keeps no new backup, and says
// the handset was already so.
TEST_F(HeldForm, AProvisioningConvergesOnTheHandsetsOwnTerms) {
    THandsetProcess handset({"--log"}, Dir.filePath("provision.log"));
    ASSERT_TRUE(handset.Started());
    QDir().mkpath(Dir.filePath("office"));
    Write("office/phonebook.phb", "Eve,12p3\r\nAlice  ,030-77 12\r\n");
    Write("office/speeddial.sdl", "Key_1,1p2\r\nKey_2,5-6\r\n");
    Write("office/profile.pro", "[profile settings]\r\nringer tone=4\r\n");
    auto run = Cli(handset, {"provision", Dir.filePath("office")});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto backups = [&] { return QDir(handset.ConfigDir() + "/backups").entryList(QDir::Files).size(); };
    const qsizetype kept = backups();
    const size_t before = handset.Errors().size();
    run = Cli(handset, {"provision", Dir.filePath("office")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(ChangingFrames(handset.Errors().substr(before)), 0) << run.out << run.err;
    EXPECT_EQ(backups(), kept);
    EXPECT_NE(run.out.find("phone book: already so, verified"), std::string::npos) << run.out;
}

TEST_F(HeldForm, AFileTheHandsetCannotHoldIsRefusedByWriteAndVerifyAlike) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    const std::vector<std::pair<QString, std::string>> files{
        {Write("plus.sdl", "Key_1,1\r\nKey_4,+4930\r\n"), "\"+\""},
        {Write("twice.sdl", "Key_1,1\r\nKey_4,2\r\nkey_4,3\r\n"), "Key_4 in lines 2 and 3"},
        {Write("big.BGL", "300" + std::string(16, '\n')), "300"},
        {Write("twice.pro", "[profile settings]\r\nlanguage=1\r\nringer tone=2\r\nLanguage=3\r\n"),
         "\"Language\" in lines 2 and 4"},
        {Write("bob.phb", "Ann,1\r\nBob,\r\n"), "line 2: \"Bob\" has no number"},
        {Write("empty.phb", ""), "no line is a phone book entry with a number"},
    };
    for (const auto& [file, named] : files) {
        for (const char* command : {"write", "verify"}) {
            QStringList args{command, file};
            if (args[0] == "write") {
                const QString suffix = QFileInfo(file).suffix().toLower();
                args = QStringList{suffix == "phb"   ? "phonebook"
                                   : suffix == "sdl" ? "speed-dial"
                                   : suffix == "bgl" ? "groups"
                                                     : "profile",
                                   "write", file};
                if (suffix == "phb" || suffix == "bgl")
                    args << "--replace";
            }
            const auto run = Cli(handset, args);
            EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString() << "\n" << run.out << run.err;
            EXPECT_NE(run.err.find(named), std::string::npos) << args.join(' ').toStdString() << "\n"
                                                              << run.err;
        }
    }
}

TEST_F(HeldForm, ABackupOfAnyHandsetListRestoresByteForByte) {
    const QString state = Dir.filePath("handset.txt");
    {
        THandsetProcess first({"--state", state, "--phonebook-entries", "0"});
        ASSERT_TRUE(first.Started());
        ASSERT_EQ(Cli(first, {"phonebook", "read"}).exitCode, 0);
        first.Stop();
    }
    // Entries as the handset may hold them, whoever wrote them: any nibble but the filler F (the letters
    // A and E among them, which no dial string gives), any name byte from the blank on.
    std::string text = StateText(state);
    ASSERT_FALSE(text.empty());
    std::vector<std::string> entries;
    for (int i = Between(3, 12); i > 0; --i) {
        std::string number;
        const int nibbles = Between(1, 23);
        for (int n = 0; n < nibbles; n += 2)
            number +=
                std::string(1, "0123456789ABCDE"[Between(0, 14)]) +
                (n + 1 < nibbles ? std::string(1, "0123456789ABCDE"[Between(0, 14)]) : std::string("F"));
        if (nibbles % 2 == 0)
            number += "FF";
        std::string name;
        for (int c = Between(0, 24); c > 0; --c)
            name += Hex(uint8_t(Between(0x20, 0xFF)));
        entries.push_back("pb " + number + " " + (name.empty() ? "-" : name));
    }
    // The profile's bytes, any value: settings outside their lists and bits of no setting too; and the
    // speed dial block, numbers with anything after them.
    const std::vector<int> profile{21, 24, 26, 27, 28, 30, 31, 563};
    std::vector<uint8_t> memory = Memory(text);
    for (const int address : profile)
        memory[size_t(address)] = uint8_t(Between(0, 255));
    for (int address = SpeedDialBlock; address < SpeedDialBlock + SpeedDialBytes; ++address)
        memory[size_t(address)] = uint8_t(Between(0, 255));
    std::string rewritten;
    for (const std::string& line : LinesStarting(text, ""))
        if (!line.starts_with("mem ") && !line.starts_with("pb "))
            rewritten += line + "\n";
    for (const std::string& entry : entries)
        rewritten += entry + "\n";
    rewritten += MemoryRows(memory);
    {
        QFile file(state);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(rewritten.data(), qint64(rewritten.size()));
    }

    THandsetProcess handset({"--state", state});
    ASSERT_TRUE(handset.Started());
    // A write that changes each, so that each keeps a backup first; then the backups go back.
    auto run = Cli(handset, {"phonebook", "write", Write("one.phb", "Other,123\r\n"), "--replace"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const int volume = memory[27] & 0x07;
    run = Cli(handset, {"profile", "write",
                        Write("other.pro", "[profile settings]\r\nringer volume=" +
                                               std::to_string(volume == 0 ? 1 : 0) + "\r\n")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = Cli(handset, {"speed-dial", "write", Write("one.sdl", "Key_1,1\r\nKey_2,\r\n")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = Cli(handset, {"phonebook", "restore-backup"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    run = Cli(handset, {"profile", "restore-backup"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const QFileInfoList kept =
        QDir(handset.ConfigDir() + "/backups").entryInfoList({"speeddial-*.sdl"}, QDir::Files, QDir::Time);
    ASSERT_EQ(kept.size(), 1);
    run = Cli(handset, {"speed-dial", "write", kept.front().filePath()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    handset.Stop();

    text = StateText(state);
    EXPECT_EQ(LinesStarting(text, "pb "), entries);
    const std::vector<uint8_t> after = Memory(text);
    for (const int address : profile)
        EXPECT_EQ(int(after[size_t(address)]), int(memory[size_t(address)])) << "address " << address;
    for (int address = SpeedDialBlock; address < SpeedDialBlock + SpeedDialBytes; ++address)
        EXPECT_EQ(int(after[size_t(address)]), int(memory[size_t(address)])) << "address " << address;
}

} // namespace
