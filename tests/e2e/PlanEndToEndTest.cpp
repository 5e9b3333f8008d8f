// Plans, dry runs and verify against the virtual handset, through a real pseudo-terminal. The handset
// logs every frame it receives, so what a dry run sends is checked on the line itself.
#include "support/HandsetProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <string>
#include <vector>

namespace {

QString WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

QStringList Port(const THandsetProcess& handset) {
    return {"--port", QString("COM%1").arg(handset.ComNumber())};
}

// The frames the handset received, from its log, as "4D cmd len data..." without the sync bytes and
// the sum.
std::vector<std::string> Received(const std::string& log) {
    std::vector<std::string> frames;
    static const std::regex line("received FF FF ([0-9A-F ]+) [0-9A-F]{2}\\n");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
        frames.push_back((*it)[1]);
    return frames;
}

// The frames that change what a handset holds: memory writes, phone book appends and its delete, group
// adds and their delete.
int Changing(const std::vector<std::string>& frames) {
    static const std::regex changing("^4D (02 [0-9A-F]{2} 3B|0D [0-9A-F]{2} (05|06|07|21|22))( |$).*");
    int n = 0;
    for (const std::string& frame : frames)
        n += std::regex_match(frame, changing);
    return n;
}

struct Plans : ::testing::Test {
    // A machine's state folder of the test's own: its change log holds this test's changes only.
    Plans() { qputenv("QUORVEL_STATE_DIR", Machine.path().toLocal8Bit()); }
    ~Plans() override { qputenv("QUORVEL_STATE_DIR", SavedState); }

    const QByteArray SavedState = qgetenv("QUORVEL_STATE_DIR");
    QTemporaryDir Machine;
    QTemporaryDir Dir;
    QString State = Dir.filePath("handset.txt");
    THandsetProcess Handset{{"--state", State, "--log"}, Dir.filePath("handset.log")};

    THandsetProcess::TRun Cli(const QStringList& args) { return Handset.Cli(Port(Handset) + args); }
    // Runs the command and gives the frames the handset received meanwhile.
    std::vector<std::string> FramesOf(const QStringList& args, THandsetProcess::TRun& run) {
        const size_t before = Handset.Errors().size();
        run = Cli(args);
        return Received(Handset.Errors().substr(before));
    }
    // The lines of the change log, each one JSON object: those that end an operation, or with begun, the
    // "begun" lines written before the first mail that changes the handset.
    std::vector<QJsonObject> Changes(bool begun = false) const {
        QFile file(Machine.filePath("changes.jsonl"));
        std::vector<QJsonObject> changes;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty()) {
                    const QJsonObject change = QJsonDocument::fromJson(line).object();
                    if ((change["outcome"].toString() == "begun") == begun)
                        changes.push_back(change);
                }
        return changes;
    }
};

TEST_F(Plans, ADryRunOfEveryWriteReadsAndChangesNothing) {
    ASSERT_TRUE(Handset.Started());
    const QString phb = WriteFile(Dir, "office.phb", "Anna,0301234\r\nBob,0407\r\nCarl,0501\r\n");
    auto run = Cli({"--yes", "phonebook", "write", phb, "--replace"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const QString other = WriteFile(Dir, "other.phb", "Anne,0301234\r\nBob,0408\r\nDora,0601\r\n");
    const QString sdl = WriteFile(Dir, "desk.sdl", "Key_3,555\r\n");
    const QString bgl =
        WriteFile(Dir, "site.BGL", "5\r\n7\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
    const QString pro = WriteFile(Dir, "office.pro", "[profile settings]\r\nringer tone=4\r\n");
    const std::vector<std::pair<QStringList, std::string>> writes{
        {{"phonebook", "write", other, "--replace"}, "~ Bob 0407 -> 0408"},
        {{"phonebook", "write", other, "--add"}, "+ Dora 0601"},
        {{"speed-dial", "write", sdl}, "+ Key_3 555"},
        {{"groups", "write", bgl, "--replace"}, "5"},
        {{"groups", "write", bgl, "--add"}, "7"},
        {{"profile", "write", pro}, "~ Ringer Tone 1 -> 4"},
    };
    for (const auto& [args, shown] : writes) {
        // Without --yes and without a terminal: a dry run asks nothing.
        const std::vector<std::string> frames = FramesOf(QStringList{"--dry-run"} + args, run);
        EXPECT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << "\n" << run.err;
        EXPECT_NE(run.out.find(shown), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("Dry run: nothing was written"), std::string::npos) << run.err;
        EXPECT_FALSE(frames.empty());
        EXPECT_EQ(Changing(frames), 0) << args.join(' ').toStdString();
    }
    run = Cli({"phonebook", "read"});
    EXPECT_EQ(run.out, "Anna,0301234\r\nBob,0407\r\nCarl,0501\r\n");
    // A delete has its plan too: what it would remove.
    const std::vector<std::string> frames = FramesOf({"--dry-run", "phonebook", "delete"}, run);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("- Anna 0301234"), std::string::npos) << run.out;
    EXPECT_EQ(Changing(frames), 0);
    EXPECT_EQ(Cli({"phonebook", "read"}).out, "Anna,0301234\r\nBob,0407\r\nCarl,0501\r\n");
}

TEST_F(Plans, AWriteSendsTheMailsItsPlanCounts) {
    ASSERT_TRUE(Handset.Started());
    const QString first = WriteFile(Dir, "first.phb", "Anna,0301234\r\nBob,0407\r\n");
    auto run = Cli({"--yes", "phonebook", "write", first, "--replace"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QString second = WriteFile(Dir, "second.phb", "Anna,0301234\r\nCarl,0501\r\nDora,0601\r\n");
    for (const char* mode : {"--add", "--replace"}) {
        const auto frames = FramesOf({"--yes", "--json", "phonebook", "write", second, mode}, run);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject plan =
            QJsonDocument::fromJson(QByteArray::fromStdString(run.out))["plan"].toObject();
        // The mails from the first one that changes the handset on: the writes and the read after them.
        const auto first = std::find_if(frames.begin(), frames.end(),
                                        [](const std::string& frame) { return Changing({frame}) > 0; });
        EXPECT_EQ(int(frames.end() - first), plan["mails"].toInt()) << mode << run.out;
        EXPECT_GT(plan["mails"].toInt(), 0);
    }
    // The same list once more: nothing to send.
    const auto frames = FramesOf({"--yes", "phonebook", "write", second, "--replace"}, run);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Changing(frames), 0);
    EXPECT_NE(run.err.find("3 kept; no mail to send"), std::string::npos) << run.err;
}

TEST_F(Plans, VerifyFindsOneChangedByteAnywhereInAList) {
    ASSERT_TRUE(Handset.Started());
    const QByteArray list = "Anna,0301234\r\nBob,0407\r\nCarl,0501\r\nDora,0601\r\n";
    const QString phb = WriteFile(Dir, "office.phb", list);
    const QString sdl = WriteFile(Dir, "desk.sdl", "Key_0,12\r\nKey_3,555\r\nKey_Alarm,#9\r\n");
    const QString pro =
        WriteFile(Dir, "office.pro", "[profile settings]\r\nringer tone=4\r\nringer volume=2\r\n");
    ASSERT_EQ(Cli({"--yes", "phonebook", "write", phb, "--replace"}).exitCode, 0);
    ASSERT_EQ(Cli({"--yes", "speed-dial", "write", sdl}).exitCode, 0);
    ASSERT_EQ(Cli({"--yes", "profile", "write", pro}).exitCode, 0);
    auto run = Cli({"verify", phb, sdl, pro});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("office.phb: the handset holds what the file says"), std::string::npos) << run.out;

    // Every byte of every entry's name and number, changed one at a time: one file each, all in one
    // verify.
    QStringList edits{"--json", "verify"};
    for (int at = 0; at < list.size(); ++at) {
        if (list[at] == ',' || list[at] == '\r' || list[at] == '\n')
            continue;
        QByteArray edited = list;
        edited[at] = list[at] == '9' ? '8' : (std::isdigit(uchar(list[at])) ? '9' : 'x');
        edits << WriteFile(Dir, QString("edited-%1.phb").arg(at).toUtf8().constData(), edited);
    }
    run = Cli(edits);
    EXPECT_EQ(run.exitCode, 1);
    const QJsonArray edited = QJsonDocument::fromJson(QByteArray::fromStdString(run.out))["files"].toArray();
    ASSERT_EQ(edited.size(), edits.size() - 2) << run.out;
    for (const QJsonValue& file : edited)
        EXPECT_FALSE(file.toObject()["matches"].toBool(true))
            << file.toObject()["file"].toString().toStdString();
    run = Cli({"verify", WriteFile(Dir, "key.sdl", "Key_0,12\r\nKey_3,556\r\nKey_Alarm,#9\r\n")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("~ Key_3 555 -> 556"), std::string::npos) << run.out;
    run = Cli({"verify", WriteFile(Dir, "volume.pro", "[profile settings]\r\nringer volume=3\r\n")});
    EXPECT_EQ(run.exitCode, 1) << run.out;

    // Another order: a difference unless the order does not count.
    const QString swapped =
        WriteFile(Dir, "swapped.phb", "Bob,0407\r\nAnna,0301234\r\nCarl,0501\r\nDora,0601\r\n");
    run = Cli({"verify", swapped});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("in another order"), std::string::npos) << run.out;
    EXPECT_EQ(Cli({"verify", swapped, "--ignore-order"}).exitCode, 0);

    run = Cli({"--json", "verify", phb, WriteFile(Dir, "short.phb", "Anna,0301234\r\n")});
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    const QJsonArray files = doc["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(files[0].toObject()["matches"].toBool());
    EXPECT_FALSE(files[1].toObject()["matches"].toBool());
    EXPECT_EQ(files[1].toObject()["plan"].toObject()["remove"].toInt(), 3);
    EXPECT_EQ(Cli({"verify", WriteFile(Dir, "notes.txt", "x")}).exitCode, 2);
}

TEST_F(Plans, ARestoreShowsWhatItChangesAndEndsWithAVerify) {
    ASSERT_TRUE(Handset.Started());
    ASSERT_EQ(
        Cli({"--yes", "phonebook", "write", WriteFile(Dir, "a.phb", "Anna,1\r\nBob,2\r\n"), "--replace"})
            .exitCode,
        0);
    // The replace keeps Anna and Bob; the restore would bring them back.
    ASSERT_EQ(
        Cli({"--yes", "phonebook", "write", WriteFile(Dir, "b.phb", "Carl,3\r\n"), "--replace"}).exitCode, 0);
    // Each replace left its line in the change log; the second names the copy of the list it replaced.
    ASSERT_EQ(Changes().size(), 2u);
    const QJsonObject replace = Changes()[1];
    // Each began with a line of its own before its first write, with the same id and the plan's counts.
    ASSERT_EQ(Changes(true).size(), 2u);
    EXPECT_EQ(Changes(true)[1]["id"].toString(), replace["id"].toString());
    EXPECT_FALSE(replace["id"].toString().isEmpty());
    EXPECT_EQ(Changes(true)[1]["planned"].toObject(),
              (QJsonObject{{"added", 1}, {"removed", 2}, {"changed", 0}, {"kept", 0}, {"notWritten", 0}}));
    EXPECT_EQ(replace["operation"].toString(), "phonebook replace");
    EXPECT_EQ(replace["via"].toString(), "cli");
    EXPECT_EQ(replace["port"].toString(), QString("COM%1").arg(Handset.ComNumber()));
    EXPECT_EQ(replace["changed"].toObject(),
              (QJsonObject{{"added", 1}, {"removed", 2}, {"changed", 0}, {"kept", 0}, {"notWritten", 0}}));
    EXPECT_EQ(replace["outcome"].toString(), "done");
    const std::string backup = replace["backup"].toString().toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(backup))) << backup;
    const QString serial = replace["serial"].toString();
    EXPECT_NE(serial, "not read");

    auto run = Cli({"--dry-run", "phonebook", "restore-backup"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("+ Anna 1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("- Carl 3"), std::string::npos) << run.out;
    EXPECT_EQ(Cli({"phonebook", "read"}).out, "Carl,3\r\n");
    EXPECT_EQ(Changes().size(), 2u) << "a dry run changes nothing and notes nothing";

    run = Cli({"log", "--serial", serial, "--operation", "phonebook"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("  phonebook replace  1 added, 2 removed  done  backup " + backup + "\n"),
              std::string::npos)
        << run.out;
    run = Cli({"--json", "log", "--serial", serial, "--since", "2000-01-01"});
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(run.out))["changes"][1].toObject(), replace)
        << run.out;
    EXPECT_EQ(Cli({"log", "--serial", "99999 9999999"}).out, "");

    run = Cli({"--yes", "phonebook", "restore-backup"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Verified: the handset holds exactly the backup"), std::string::npos) << run.out;
    EXPECT_EQ(Cli({"phonebook", "read"}).out, "Anna,1\r\nBob,2\r\n");
    ASSERT_EQ(Changes().size(), 3u);
    EXPECT_EQ(Changes()[2]["operation"].toString(), "phonebook restore");
}

} // namespace
