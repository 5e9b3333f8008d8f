// The phone book commands against the virtual handset, through a real pseudo-terminal.
#include "support/HandsetProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <tuple>
#include <utility>

namespace {

struct Phonebook : testing::Test {
    QString Path(const char* name) const { return dir.filePath(name); }
    std::string Write(const char* name, const std::string& text) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
        return Path(name).toStdString();
    }
    std::string Read(const QString& path) const {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll().toStdString();
    }
    QStringList Args(const THandsetProcess& handset, QStringList args) const {
        return QStringList{"--port", QString("COM%1").arg(handset.ComNumber()), "phonebook"} + args;
    }
    THandsetProcess::TRun Run(const THandsetProcess& handset, const QStringList& args) const {
        return handset.Cli(Args(handset, args));
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(Phonebook, ReadPrintsThePhbTextOrSavesIt) {
    THandsetProcess handset({"--phonebook-entries", "3"});
    ASSERT_TRUE(handset.Started());
    const auto run = Run(handset, {"read"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Name 001,5550001\r\nName 002,5550002\r\nName 003,5550003\r\n");

    const auto saved = Run(handset, {"read", "-o", Path("out.phb")});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(Read(Path("out.phb")), run.out);
    EXPECT_NE(saved.out.find("Finished saving to file:"), std::string::npos);
}

TEST_F(Phonebook, ReplaceAddAndDeleteChangeTheHandsetList) {
    THandsetProcess handset({"--phonebook-entries", "2"});
    ASSERT_TRUE(handset.Started());
    // A name alone is no handset entry: the file is refused before anything is asked or sent.
    const std::string unnumbered = Write("unnumbered.phb", "Smith, John,01-23\r\nNo number,\r\n");
    for (const char* mode : {"--add", "--replace"}) {
        const auto refused = Run(handset, {"write", QString::fromStdString(unnumbered), mode, "--yes"});
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_NE(refused.err.find("line 2: \"No number\" has no number"), std::string::npos) << refused.err;
    }
    const std::string list = Write("list.phb", "Smith, John,01-23\r\nName 001,555 0001\r\n");

    // Adding changes the handset too: without a terminal it needs --yes.
    auto run = Run(handset, {"write", QString::fromStdString(list), "--add"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("Add list to existing phone book in handset?"), std::string::npos) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "Name 001,5550001\r\nName 002,5550002\r\n");
    run = Run(handset, {"write", QString::fromStdString(list), "--add", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "Name 001,5550001\r\nName 002,5550002\r\nSmith, John,01P23\r\n");

    // Replacing deletes the handset's list first: without a terminal it needs --yes, as delete does.
    run = Run(handset, {"write", QString::fromStdString(list), "--replace"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("afterwards it holds the 2 entries of this list"), std::string::npos) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "Name 001,5550001\r\nName 002,5550002\r\nSmith, John,01P23\r\n");
    run = Run(handset, {"write", QString::fromStdString(list), "--replace", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "Smith, John,01P23\r\nName 001,5550001\r\n");

    // Without a terminal and without --yes nothing is deleted.
    run = Run(handset, {"delete"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("Delete the phone book in the connected handset?"), std::string::npos);
    EXPECT_EQ(Run(handset, {"read"}).out, "Smith, John,01P23\r\nName 001,5550001\r\n");

    run = handset.Cli(Args(handset, {"delete"}) << "--yes");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "");
}

TEST_F(Phonebook, AFullHandsetAndAnUnstorableNumberAreReported) {
    THandsetProcess handset({"--capacity", "3"});
    ASSERT_TRUE(handset.Started());
    const std::string bad = Write("bad.phb", "A,1\r\nIntl,+45 1234\r\n");
    auto run = Run(handset, {"write", QString::fromStdString(bad), "--replace", "--yes"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("The number in line 2 holds \"+\""), std::string::npos) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "");

    // A replace that would leave entries out is refused before the list is deleted; an add writes
    // what fits and names the rest.
    const std::string many = Write("many.phb", "A,1\r\nB,2\r\nC,3\r\nD,4\r\nE,5\r\n");
    run = Run(handset, {"write", QString::fromStdString(many), "--replace", "--yes"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("The file does not fit: the handset's phone book has 3 entries, and line 4 "
                           "(\"D,4\") is beyond them"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "");
    run = Run(handset, {"write", QString::fromStdString(many), "--add", "--yes"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("more lines than the handset's 3 phone book entries: 2 entries from line 4"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "A,1\r\nB,2\r\nC,3\r\n");

    // The handset already holds 3: in add mode the new rows do not fit.
    const std::string more = Write("more.phb", "X,9\r\nA,1\r\n");
    run = Run(handset, {"write", QString::fromStdString(more), "--add", "--yes"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Phone book memory full!"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 1: not written, the handset's phone book is full"), std::string::npos);
}

TEST_F(Phonebook, ANumberTooLongToStoreStopsTheWriteAndUtf8FilesAreText) {
    THandsetProcess handset({"--phonebook-entries", "2"});
    ASSERT_TRUE(handset.Started());
    const std::string before = Run(handset, {"read"}).out;
    const std::string longer = Write("long.phb", "A,1\r\nno comma here\r\nB," + std::string(24, '5') +
                                                     "\r\n" + std::string(30, 'n') + ",2\r\n");
    auto run = Run(handset, {"write", QString::fromStdString(longer), "--replace", "--yes"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("line 2: no comma between name and number, not taken"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("line 3: the number has more than 23 digits"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 4: the name has more than 24 characters, cut to 24"), std::string::npos);
    EXPECT_NE(run.err.find("nothing was written to the handset"), std::string::npos) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, before) << "the handset's list is untouched";

    // An editor's UTF-8, byte order mark and all, reaches the handset as its own single-byte text.
    const std::string utf8 = Write("utf8.phb", "\xEF\xBB\xBFJ\xC3\xBCrgen,123\r\n");
    run = Run(handset, {"write", QString::fromStdString(utf8), "--replace", "--yes"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Run(handset, {"read"}).out, "J\xFCrgen,123\r\n");
}

TEST_F(Phonebook, AHandsetThatHangsUpMidWriteStopsAtTheRowBeingWritten) {
    // Probe, capacity, software, model byte, mail length, serial number; the held entry read (three
    // requests), delete, then two entries of two mails each.
    THandsetProcess handset({"--phonebook-entries", "1", "--hangup-after", "14"});
    ASSERT_TRUE(handset.Started());
    const std::string list = Write("list.phb", "A,1\r\nB,2\r\nC,3\r\nD,4\r\n");
    const auto run = Run(handset, {"write", QString::fromStdString(list), "--replace", "--yes"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Could not write Phone Book!"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("What the handset holds now could not be read back."), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("The 1 entries it held before are kept in "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 3: the write stopped here"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("line 4"), std::string::npos) << run.err;
}

// The path a message names after "kept in ", up to the "; ".
std::string KeptPath(const std::string& text) {
    const size_t start = text.find("kept in ");
    if (start == std::string::npos)
        return {};
    const size_t end = text.find("; ", start);
    return text.substr(start + 8, end - start - 8);
}

TEST_F(Phonebook, AFailedReplaceSaysWhatTheHandsetHoldsAndTheBackupBringsTheOldListBack) {
    // The third number is lost on its way into the handset.
    THandsetProcess handset({"--phonebook-entries", "3", "--ignore-mail", "0D06:3"});
    ASSERT_TRUE(handset.Started());
    const std::string before = Run(handset, {"read"}).out;
    const std::string list = Write("list.phb", "A,1\r\nB,2\r\nC,3\r\nD,4\r\n");
    auto run = Run(handset, {"write", QString::fromStdString(list), "--replace", "--yes"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(
        run.err.find("The handset now holds 2 entries. The write stopped at line 3; 2 of the entries up "
                     "to it are in the handset."),
        std::string::npos)
        << run.err;
    const std::string kept = KeptPath(run.err);
    ASSERT_FALSE(kept.empty()) << run.err;
    EXPECT_EQ(Read(QString::fromStdString(kept)), before);
    EXPECT_EQ(Run(handset, {"read"}).out, "A,1\r\nB,2\r\n");

    // Without a terminal the restore asks for --yes, as a replace does.
    run = Run(handset, {"restore-backup"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(Run(handset, {"read"}).out, "A,1\r\nB,2\r\n");
    run = Run(handset, {"restore-backup", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(kept), std::string::npos) << run.out;
    EXPECT_EQ(Run(handset, {"read"}).out, before);
    // The list replaced by the restore is kept too, and a second restore still takes the first copy.
    run = Run(handset, {"restore-backup", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(kept), std::string::npos) << run.out;
    EXPECT_EQ(Run(handset, {"read"}).out, before);
}

TEST_F(Phonebook, ImportTurnsContactsIntoAPhbFile) {
    const std::string csv =
        Write("contacts.csv", "\"First Name\",\"Last Name\",\"Business Phone\",\"Home Phone\","
                              "\"Mobile Phone\"\r\n"
                              "\"Ann\",\"Lee\",\"+45 12 34-56 78\",\"\",\"20 30 40 50\"\r\n");
    THandsetProcess::TRun run = THandsetProcess().Cli(
        {"phonebook", "import", QString::fromStdString(csv), "-o", Path("contacts.phb")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(Path("contacts.phb")), "Ann Lee,+451234P5678\r\nAnn Lee,20304050\r\n");

    const std::string broken = Write("broken.csv", "no,phone,columns\r\n1,2,3\r\n");
    run = THandsetProcess().Cli({"phonebook", "import", QString::fromStdString(broken), "-o", Path("x.phb")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find(broken + " has no telephone columns: none of its column names is Business Phone, "
                                    "Home Phone, Primary Phone or Mobile Phone, as Outlook names them in "
                                    "English, German, French, Spanish, Dutch or Italian, nor a telephone "
                                    "column of a Thunderbird or Google export."),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("Could not connect to Outlook."), std::string::npos) << "no Outlook was asked";
    EXPECT_FALSE(QFile::exists(Path("x.phb")));
}

// A German export in UTF-16 with ";" between its fields, and names the handset's code page cannot hold:
// the file is written all the same and the names are said, whole; --transliterate writes the nearest
// letters the handset has.
TEST_F(Phonebook, ImportReadsAGermanUtf16ExportAndTransliteratesOnlyWhenAsked) {
    QStringEncoder utf16(QStringConverter::Utf16LE);
    const QByteArray text =
        "\xFF\xFE" + QByteArray(utf16.encode(QString::fromUtf8("Vorname;Nachname;Telefon gesch\xC3\xA4"
                                                               "ftlich;Mobiltelefon\r\n"
                                                               "\xC5\x81ukasz;Nowak;030 1234;\r\n"
                                                               "\xE6\x97\xA5\xE6\x9C\xAC;;;0171 5\r\n")));
    const QString in = QString::fromStdString(Write("kontakte.csv", text.toStdString()));
    THandsetProcess::TRun run = THandsetProcess().Cli({"phonebook", "import", in, "-o", Path("plain.phb")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(Path("plain.phb")), "?ukasz Nowak,0301234\r\n??,01715\r\n");
    EXPECT_NE(run.err.find("Names with characters the handset does not have, which it shows as \"?\": 2, "
                           "\"\xC5\x81ukasz Nowak\" (line 1), \"\xE6\x97\xA5\xE6\x9C\xAC\" (line 2). "
                           "--transliterate writes them"),
              std::string::npos)
        << run.err;

    run = THandsetProcess().Cli({"phonebook", "import", in, "-o", Path("nearest.phb"), "--transliterate"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(Path("nearest.phb")), "Lukasz Nowak,0301234\r\n??,01715\r\n");
    EXPECT_NE(
        run.out.find("Names written with the nearest letters the handset has: 1.\nNames with characters "
                     "the handset has no letter for, shown as \"?\": 1, \"\xE6\x97\xA5\xE6\x9C\xAC\" "
                     "(line 2)."),
        std::string::npos)
        << run.out;
    EXPECT_EQ(run.err, "");
}

TEST_F(Phonebook, ImportMakesNumbersDialableOnlyWhenAskedAndSaysWhatDidNotFit) {
    const std::string csv = Write("contacts.csv", "First Name,Business Phone,Home Phone,Mobile Phone\r\n"
                                                  "Ann,(030) 555-1234,+44 (0)20 7946 0958,030 555 P 12\r\n"
                                                  "Bo,0800 FLOWERS,,\r\n"
                                                  "Cy,1,2,3\r\n"
                                                  "Di,,,4\r\n");
    const QString in = QString::fromStdString(csv);
    THandsetProcess::TRun run =
        THandsetProcess().Cli({"phonebook", "import", in, "-o", Path("plain.phb"), "--entries", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(Path("plain.phb")), "Ann,(030)555P1234\r\nAnn,+44(0)2079460958\r\nAnn,030555P12\r\n"
                                       "Bo,0800FLOWERS\r\nCy,1\r\n");
    EXPECT_NE(run.out.find("The phone book's 5 entries are full. Numbers not taken: 3, from contacts: 2."),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("cannot store as they are: 3, the first in line 1. --dialable"), std::string::npos)
        << run.err;

    run = THandsetProcess().Cli({"phonebook", "import", in, "-o", Path("dialable.phb"), "--entries", "5",
                                 "--dialable", "--international-prefix", "011"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(Path("dialable.phb")), "Ann,0305551234\r\nAnn,011442079460958\r\nAnn,030555P12\r\n"
                                          "Bo,0800FLOWERS\r\nCy,1\r\n");
    EXPECT_NE(run.out.find("Numbers made dialable: 2.\nNumbers the handset still cannot store: 1, the first "
                           "in line 4."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.err, "");

    // A prefix that is no dial string, or one without --dialable, is a wrong call and writes nothing.
    for (const QStringList& wrong : {QStringList{"--dialable", "--international-prefix", "+"},
                                     QStringList{"--international-prefix", "00"}}) {
        run = THandsetProcess().Cli(QStringList{"phonebook", "import", in, "-o", Path("wrong.phb")} + wrong);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_FALSE(QFile::exists(Path("wrong.phb")));
    }
}

// Every number of the file is accounted for on stdout, the numbers beyond a contact's four entries one by
// one; --all-numbers makes each an entry named by its type, and is refused where it means nothing.
TEST_F(Phonebook, ImportAccountsForEveryNumberAndTakesThemAllWhenAsked) {
    const QString in = QString::fromStdString(
        Write("cards.vcf", "work.BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nTEL;TYPE=cell:0171 1\r\n"
                           "TEL;TYPE=cell:0171 2\r\nTEL;TYPE=fax:030 9\r\n"
                           "TEL;VALUE=uri;TYPE=work:tel:+1-418-656-9254;ext=102\r\nwork.END:VCARD\r\n"));
    THandsetProcess::TRun run =
        THandsetProcess().Cli({"--json", "phonebook", "import", in, "-o", Path("four.phb")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(Path("four.phb")), "Ann Lee,+14186569254P102\r\nAnn Lee,01711\r\n");
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    EXPECT_EQ(json["numbers"].toInt(), 4) << run.out;
    EXPECT_EQ(json["not_taken"].toInt(), 2) << run.out;
    const QJsonArray report = json["report"].toArray();
    ASSERT_FALSE(report.isEmpty()) << run.out;
    EXPECT_EQ(report.last().toString(),
              "Contacts read: 1. Numbers found: 4 = entries: 2 + not taken: 2 (beyond "
              "the contact's four entries: 1; fax, pager or telex: 1).");
    EXPECT_TRUE(report.contains("Number not taken, beyond the contact's four entries: \"Ann Lee\" (mobile) "
                                "0171 2."))
        << run.out;
    EXPECT_NE(run.err.find("--all-numbers makes each number"), std::string::npos) << run.err;

    run = THandsetProcess().Cli({"phonebook", "import", in, "-o", Path("all.phb"), "--all-numbers"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Read(Path("all.phb")),
              "Ann Lee (work),+14186569254P102\r\nAnn Lee (mobile),01711\r\nAnn Lee (mobile),01712\r\n");
    EXPECT_NE(run.out.find("Numbers found: 4 = entries: 3 + not taken: 1 (fax, pager or telex: 1)."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.err.find("--all-numbers"), std::string::npos) << "nothing left to take: " << run.err;

    run = THandsetProcess().Cli({"phonebook", "write", Path("all.phb"), "--add", "--all-numbers"});
    EXPECT_EQ(run.exitCode, 2) << run.err;
}

// A disk that takes no more bytes (a file size limit of 1 KiB stands in for a full one): the file keeps
// what it held, the output is not called written, and both fail with the reason.
TEST_F(Phonebook, AFileOrOutputCutShortIsAFailureAndTheOldFileStays) {
    THandsetProcess handset({"--phonebook-entries", "80"});
    ASSERT_TRUE(handset.Started());
    const std::string kept = Write("keep.phb", "twenty bytes of text");
    const auto limited = [&](const QString& command) {
        QProcess shell;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEL_CONFIG_DIR", handset.ConfigDir());
        shell.setProcessEnvironment(env);
        shell.start("bash", {"-c", "trap '' XFSZ; ulimit -f 1; " + command});
        EXPECT_TRUE(shell.waitForFinished(30000));
        return std::make_pair(shell.exitCode(), shell.readAllStandardError().toStdString());
    };
    const QString cli =
        "'" + ProgramFolder() + "/quorvel-cli' --port COM" + QString::number(handset.ComNumber());
    auto [code, err] = limited(cli + " phonebook read -o '" + QString::fromStdString(kept) + "'");
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("File too large"), std::string::npos) << err;
    EXPECT_EQ(Read(QString::fromStdString(kept)), "twenty bytes of text");
    std::tie(code, err) = limited(cli + " phonebook read > '" + Path("out.phb") + "'");
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("Could not write the output: File too large"), std::string::npos) << err;
}

// Ctrl-C during a write: it stops between two entries, says what the handset holds and where its earlier
// list is kept, and exits with a status of its own.
TEST_F(Phonebook, AStopAskedForEndsTheWriteBetweenEntriesAndSaysWhatTheHandsetHolds) {
    THandsetProcess handset({"--phonebook-entries", "3", "--answer-delay", "20"});
    ASSERT_TRUE(handset.Started());
    std::string lines;
    for (int i = 1; i <= 150; ++i)
        lines += "Name " + std::to_string(i) + "," + std::to_string(5550000 + i) + "\r\n";
    const std::string list = Write("many.phb", lines);
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_CONFIG_DIR", handset.ConfigDir());
    cli.setProcessEnvironment(env);
    cli.start(ProgramFolder() + "/quorvel-cli",
              Args(handset, {"write", QString::fromStdString(list), "--replace", "--yes"}));
    ASSERT_TRUE(cli.waitForStarted(5000));
    EXPECT_FALSE(cli.waitForFinished(2000)) << "the write takes longer than this";
    ::kill(pid_t(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(30000));
    const std::string err = cli.readAllStandardError().toStdString();
    EXPECT_EQ(cli.exitCode(), 5) << err;
    EXPECT_NE(err.find("Stopped as asked"), std::string::npos) << err;
    EXPECT_NE(err.find("The handset now holds"), std::string::npos) << err;
    EXPECT_NE(err.find("are kept in"), std::string::npos) << err;
    const auto read = Run(handset, {"read"});
    // How far it came depends on the machine's pace; it did not come to the end.
    EXPECT_LT(std::count(read.out.begin(), read.out.end(), '\n'), 150);
}
