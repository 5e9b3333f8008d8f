// The SIM interpreter list reader on small lists written for each case, and the shipped list.
#include "vsim/VirtualSimXml.h"
#include "link/NumberConverting.h"
#include "vsim/DebugToFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct SimList : testing::Test {
    std::string Write(const std::string& body,
                      const char* info = R"(<document version="2.01" date="1-2-2026"/>)") {
        const QString path = dir.filePath(QString("list%1.xml").arg(++files));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("<?xml version=\"1.0\" ?>\r\n<handset>\r\n<info>" + std::string(info) + "</info>\r\n" +
                    body + "\r\n</handset>\r\n")
                       .c_str());
        return path.toStdString();
    }
    static std::string Chosen(TVirtualSimXml& list) {
        return list.ItemToUse->Parent()->Params().Values("name") + "/" +
               list.ItemToUse->Params().Values("name");
    }

    QTemporaryDir dir;
    int files = 0;
};

const char* PcsEntries = R"(<software name="62018400">
  <pcs name="06"><last_entry address="0002"/></pcs>
  <pcs name="06A"><last_entry address="0001"/></pcs>
  <pcs name="05B"><last_entry address="0003"/></pcs>
</software>)";

} // namespace

TEST_F(SimList, AFullPcsWinsOverItsTwoCharacterEntryWhichServesTheRest) {
    const std::string path = Write(PcsEntries);
    EXPECT_EQ(TVirtualSimXml(path, "62018400", "06A").LastEntry, 1);
    EXPECT_EQ(TVirtualSimXml(path, "62018400", "06C").LastEntry, 2);
    EXPECT_EQ(TVirtualSimXml(path, "62018400", "06").LastEntry, 2);
    EXPECT_EQ(TVirtualSimXml(path, "62018400", "05B").LastEntry, 3);
    for (const char* pcs : {"05A", "6A", "06AB"})
        EXPECT_THROW(TVirtualSimXml(path, "62018400", pcs), ESimSoftware) << pcs;
    try {
        TVirtualSimXml(path, "62018700", "06A");
        FAIL();
    } catch (const ESimSoftware& e) {
        EXPECT_STREQ(e.what(), "SIM Software and PCS not found!");
    }
}

TEST_F(SimList, UseRedirectsAsOftenAsTheListAsksAndALoopEnds) {
    const std::string path = Write(R"(<software name="A">
  <pcs name="01A"><use software="B" pcs="02"/><protect address="0001"/></pcs>
  <pcs name="03A"><use software="A" pcs="04A"/></pcs>
  <pcs name="04A"><use software="A" pcs="03A"/></pcs>
  <pcs name="05A"><USE pcs="06A"/></pcs>
</software>
<software name="B">
  <pcs name="02"><use software="C" pcs="09Z"/></pcs>
</software>
<software name="C">
  <pcs name="09"><last_entry address="00FF"/><protect address="0040-0044"/><delete address="0100"/></pcs>
</software>)");
    TVirtualSimXml list(path, "A", "01A");
    EXPECT_EQ(Chosen(list), "C/09");
    EXPECT_EQ(list.LastEntry, 0xFF);
    EXPECT_TRUE(list.IsProtected(0x42));
    EXPECT_FALSE(list.IsProtected(0x01)) << "the lists of the redirecting entry are not read";
    EXPECT_TRUE(list.IsDeleted(0x100));
    EXPECT_EQ(list.Software, "A");
    EXPECT_EQ(list.Pcs, "01A");

    EXPECT_THROW(TVirtualSimXml(path, "A", "03A"), ESimSoftware);
    // "use" is found whatever its case; an empty software stays empty and finds nothing.
    EXPECT_THROW(TVirtualSimXml(path, "A", "05A"), ESimSoftware);
}

TEST_F(SimList, AddressesAndRangesMarkOnlyInTheirExactForms) {
    TSimValues values;
    EXPECT_TRUE(values.AddProtect("0040-0044"));
    for (uint16_t a = 0x3F; a <= 0x45; ++a)
        EXPECT_EQ(values.IsProtected(a), a >= 0x40 && a <= 0x44) << a;
    EXPECT_TRUE(values.AddProtect("0054-0050"));
    EXPECT_FALSE(values.IsProtected(0x52));
    EXPECT_FALSE(values.AddProtect("40"));
    EXPECT_FALSE(values.AddProtect("0040 0044"));
    EXPECT_FALSE(values.AddDelete("00400"));
    EXPECT_TRUE(values.AddDelete("FFFF"));
    EXPECT_TRUE(values.IsDeleted(0xFFFF));
    EXPECT_FALSE(values.IsProtected(0xFFFF));
    EXPECT_THROW(values.AddDelete("00G0"), ENumberConvertingError);
}

TEST_F(SimList, TheLastLastEntryWinsAndBadHexEndsTheReading) {
    const std::string two = Write(R"(<software name="S"><pcs name="01A">
  <last_entry address="0100"/><protect address="0010"/><last_entry address="1FFFF"/></pcs></software>)");
    EXPECT_EQ(TVirtualSimXml(two, "S", "01A").LastEntry, 0xFFFF);
    const std::string bad =
        Write(R"(<software name="S"><pcs name="01A"><delete address="01X0"/></pcs></software>)");
    EXPECT_THROW(TVirtualSimXml(bad, "S", "01A"), ENumberConvertingError);
    const std::string empty = Write(R"(<software name="S"><pcs name="01A"><last_entry/></pcs></software>)");
    EXPECT_ANY_THROW(TVirtualSimXml(empty, "S", "01A"));
}

TEST_F(SimList, AnEntryThatCannotBeSoIsNotUsed) {
    // A reversed range would protect nothing; without a last entry the SIM would end at 0000.
    const std::string reversed = Write(R"(<software name="S">
  <pcs name="06A"><last_entry address="07FF"/><protect address="001F-0015"/></pcs>
</software>)");
    try {
        TVirtualSimXml list(reversed, "S", "06A");
        ADD_FAILURE() << "a reversed range was taken";
    } catch (const ESimList& e) {
        EXPECT_STREQ(e.what(), "The SIM interpreter list cannot be used for software S, PCS 06A: <protect "
                               "address=\"001F-0015\"> ends before it begins.");
    }
    const std::string none =
        Write(R"(<software name="S"><pcs name="06A"><protect address="0015"/></pcs></software>)");
    EXPECT_THROW(TVirtualSimXml(none, "S", "06A"), ESimList);
}

TEST_F(SimList, ALongChainOfRedirectionsIsFollowedToItsEnd) {
    std::string body;
    constexpr int Steps = 20000;
    for (int i = 0; i < Steps; ++i)
        body += "<software name=\"S" + std::to_string(i) + "\"><pcs name=\"06A\"><use software=\"S" +
                std::to_string(i + 1) + "\" pcs=\"06A\"/></pcs></software>\r\n";
    body += "<software name=\"S" + std::to_string(Steps) +
            "\"><pcs name=\"06A\"><last_entry address=\"0123\"/></pcs></software>";
    const TVirtualSimXml list(Write(body), "S0", "06A");
    EXPECT_EQ(list.LastEntry, 0x0123);
    EXPECT_EQ(list.ItemToUse->Parent()->Params().Values("name"), "S" + std::to_string(Steps));
}

TEST_F(SimList, CompatibleIsAskedOfTheHandsetsOwnEntry) {
    const std::string path = Write(R"(<software name="S">
  <pcs name="06A"><last_entry address="07FF"/><compatible pcs="06A"/><compatible pcs="05"/></pcs>
  <pcs name="06"><use software="S" pcs="06A"/></pcs>
</software>)");
    TVirtualSimXml list(path, "S", "06A");
    EXPECT_TRUE(list.IsCompatible("S", "06A", "06A"));
    EXPECT_TRUE(list.IsCompatible("S", "06A", "05C"));
    EXPECT_TRUE(list.IsCompatible("S", "06A", "05"));
    EXPECT_FALSE(list.IsCompatible("S", "06A", "06B"));
    EXPECT_FALSE(list.IsCompatible("S", "06B", "06A")) << "the redirection is not followed";
    EXPECT_FALSE(list.IsCompatible("T", "06A", "06A"));
}

TEST_F(SimList, VersionsAndDatesAsTheStartupCheckReadsThem) {
    EXPECT_EQ(TVirtualSimXml::MajorVersion("2.01"), "2");
    EXPECT_EQ(TVirtualSimXml::MajorVersion("2.10"), "2");
    EXPECT_EQ(TVirtualSimXml::MajorVersion("10.3"), "10");
    EXPECT_EQ(TVirtualSimXml::MajorVersion("3.0"), "3");
    for (const char* none : {"2", ".5x", "2.", "205", ""})
        EXPECT_EQ(TVirtualSimXml::MajorVersion(none), "") << none;

    const TVirtualSimXml cut(
        Write("", R"(<DOCUMENT version="2.01 and a very long tail" date="Tuesday 8 December 2026"/>)"));
    EXPECT_EQ(cut.Version, "2.01 and a very long");
    EXPECT_EQ(cut.Date, "Tuesday 8 December 2");

    // Without "handset" as the document element the version is lost, but the entries still serve.
    const QString other = dir.filePath("other.xml");
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<list><info><document version=\"2.01\"/></info><software name=\"S\"><pcs name=\"01\">"
               "<last_entry address=\"0010\"/></pcs></software></list>");
    file.close();
    EXPECT_EQ(TVirtualSimXml(other.toStdString()).Version, "");
    EXPECT_EQ(TVirtualSimXml(other.toStdString(), "S", "01A").LastEntry, 0x10);
}

TEST_F(SimList, TheShippedListServesEveryLevelOfTheVirtualHandset) {
    const std::string shipped = std::string(QUORVEL_SOURCE_DIR) + "/dist/sim_list/VSIMLIST.xml";
    const TVirtualSimXml info(shipped);
    EXPECT_EQ(TVirtualSimXml::MajorVersion(info.Version), "2");
    struct TCase {
        const char* software;
        const char* pcs;
        const char* entry;
    };
    for (const TCase& c :
         {TCase{"62018400", "06B", "62018400/06A"}, TCase{"62018400", "05Z", "62018400/05"},
          TCase{"62018700", "06A", "62018400/06A"}, TCase{"62018700", "059", "62018400/05"},
          TCase{"62017100", "06A", "62017100/06"}, TCase{"62017100", "05A", "62017100/05"}}) {
        TVirtualSimXml list(shipped, c.software, c.pcs);
        EXPECT_EQ(Chosen(list), c.entry) << c.software << " " << c.pcs;
        EXPECT_GT(list.LastEntry, 0x1B9) << "the SIM covers the serial number and the text area";
        EXPECT_TRUE(list.IsProtected(29)) << "the model byte stays the receiving handset's";
        EXPECT_FALSE(list.IsDeleted(0x40));
    }
}

TEST(DebugLog, StartsAnewWithItsFirstLineAndCutsLongLines) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("debug.txt").toStdString();
    {
        QFile old(QString::fromStdString(path));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("from the last run\r\n");
    }
    TDebugToFile log;
    ASSERT_TRUE(log.Open(path));
    log.WriteLine("Version: 2.01");
    log.WriteLine(std::string(300, 'x'));
    // A second program finds the log taken and leaves it alone.
    TDebugToFile second;
    EXPECT_FALSE(second.Open(path));
    second.WriteLine("lost");
    log.Close();

    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Debug Version: 02\r");
    EXPECT_TRUE(
        QString(lines[1]).contains(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d:\\d{6}\tVersion: 2.01\r$")))
        << lines[1].toStdString();
    EXPECT_EQ(lines[2].size(), 256); // 255 and the CR
    EXPECT_EQ(lines[3], "");

    EXPECT_FALSE(TDebugToFile().Open(dir.filePath("no/such/debug.txt").toStdString()));
}
