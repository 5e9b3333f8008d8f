// Provisioning templates: each handset's files as its row of handsets.csv fills them, and every problem
// of a template found, with its file and line, before any handset would be touched.
#include "core/ProvisionTemplate.h"
#include "lists/PhonebookFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class ProvisionTemplate : public testing::Test {
protected:
    void Write(const char* name, const std::string& text) {
        QFile file(Dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), qint64(text.size()));
    }
    std::string Folder() const { return Dir.path().toStdString(); }
    TProvisionTemplate Load() const { return TProvisionTemplate::Load(Folder()); }

    // The problems as "file:line: text" lines, for messages of failed expectations.
    static std::string Shown(const std::vector<TTemplateProblem>& problems) {
        std::string shown;
        for (const TTemplateProblem& problem : problems)
            shown += TemplateProblemText(problem) + "\n";
        return shown;
    }
    // Whether a problem of file:line holds the text.
    static bool Has(const std::vector<TTemplateProblem>& problems, const std::string& file, int line,
                    const std::string& text) {
        return std::any_of(problems.begin(), problems.end(), [&](const TTemplateProblem& p) {
            return p.File == file && p.Line == line && p.Text.find(text) != std::string::npos;
        });
    }

    QTemporaryDir Dir;
};

TEST_F(ProvisionTemplate, EachHandsetGetsItsOwnFiles) {
    // Four handsets, their extensions and names in the phone book and the speed dial, one profile column.
    Write("phonebook.phb", "Reception,100\r\n{name},{extension}\r\nVoice mail,55{extension}\r\n");
    Write("speeddial.sdl", "Key_1,{extension}\r\nKey_2,110\r\n");
    Write("profile.pro", "[profile settings]\r\nringer volume=3\r\nringer tone=2\r\n");
    std::string groups = "5\r\n";
    for (int slot = 1; slot < 16; ++slot)
        groups += "\r\n";
    Write("groups.BGL", groups);
    Write("handsets.csv", "serial,extension,name,ringer volume\r\n"
                          "00291 0284280,201,Anna,5\r\n"
                          "00291-0284281,202,Bo,\r\n"
                          "002910284282,203,Carl,0\r\n"
                          "00291 0284283,204,Dora,1\r\n");
    const TProvisionTemplate provision = Load();
    EXPECT_TRUE(provision.Check().empty()) << Shown(provision.Check());
    EXPECT_TRUE(provision.HasPlaceholders());
    EXPECT_EQ(provision.Serials(),
              (std::vector<std::string>{"00291 0284280", "00291 0284281", "00291 0284282", "00291 0284283"}));
    EXPECT_TRUE(provision.Lists("00291-0284282"));
    EXPECT_FALSE(provision.Lists("00291 0284284"));

    const TProvisionTemplate::TFiles anna = provision.For("00291 0284280");
    EXPECT_EQ(anna.Phonebook, "Reception,100\r\nAnna,201\r\nVoice mail,55201\r\n");
    EXPECT_EQ(anna.SpeedDial, "Key_1,201\r\nKey_2,110\r\n");
    EXPECT_EQ(anna.Profile, "[profile settings]\r\nringer volume=5\r\nringer tone=2\r\n");
    const TProvisionTemplate::TFiles dora = provision.For("002910284283");
    EXPECT_EQ(dora.Phonebook, "Reception,100\r\nDora,204\r\nVoice mail,55204\r\n");
    EXPECT_EQ(dora.SpeedDial, "Key_1,204\r\nKey_2,110\r\n");
    EXPECT_EQ(dora.Profile, "[profile settings]\r\nringer volume=1\r\nringer tone=2\r\n");
    // An empty cell keeps profile.pro's value; the groups are the same for all.
    const TProvisionTemplate::TFiles bo = provision.For("00291 0284281");
    EXPECT_EQ(bo.Profile, "[profile settings]\r\nringer volume=3\r\nringer tone=2\r\n");
    EXPECT_EQ(bo.Groups, anna.Groups);
    EXPECT_EQ(provision.For("00291 0284282").SpeedDial, "Key_1,203\r\nKey_2,110\r\n");
}

TEST_F(ProvisionTemplate, AnUnlistedHandsetGetsTheFilesAsTheyAreOrNone) {
    Write("profile.pro", "[profile settings]\r\nringer volume=3\r\n");
    Write("handsets.csv", "serial,ringer volume\r\n00291 0284280,5\r\n");
    Write("phonebook.phb", "Reception,100\r\n");
    TProvisionTemplate provision = Load();
    EXPECT_FALSE(provision.HasPlaceholders());
    EXPECT_EQ(provision.For("00291 0284289").Profile, "[profile settings]\r\nringer volume=3\r\n");
    EXPECT_EQ(provision.For("00291 0284289").Phonebook, "Reception,100\r\n");

    Write("phonebook.phb", "Reception,100\r\n{extension},1\r\n");
    Write("handsets.csv", "serial,extension,ringer volume\r\n00291 0284280,20,5\r\n");
    provision = Load();
    try {
        provision.For("00291 0284289");
        FAIL() << "a handset without a row got placeholders";
    } catch (const ETemplateError& e) {
        EXPECT_NE(
            std::string(e.what()).find("not listed in handsets.csv, and the template's placeholders need "
                                       "its row"),
            std::string::npos)
            << e.what();
    }
}

TEST_F(ProvisionTemplate, ReadsQuotedFieldsAndLineEndsOfEveryKind) {
    Write("phonebook.phb", "{name},{extension}\n");
    // A byte order mark, quoted commas and quotes, blanks around unquoted fields, CR LF, a last line
    // without its end.
    Write("handsets.csv", "\xEF\xBB\xBFserial,\"extension\",name\r\n"
                          "\"00291 0284280\",201,\"Berg, Bo\"\r\n"
                          "00291 0284281 , 202 ,\"Jo \"\"JJ\"\" Day\"\r\n"
                          "00291 0284282,203,J\xC3\xBCrgen");
    const TProvisionTemplate provision = Load();
    EXPECT_TRUE(provision.Check().empty()) << Shown(provision.Check());
    const std::string berg = *provision.For("00291 0284280").Phonebook;
    EXPECT_EQ(berg, "Berg, Bo,201\n");
    TPP5Phonebook book;
    book.SetCount(10);
    ParsePhonebookText(berg, book);
    EXPECT_EQ(book.GetName(0), "Berg, Bo");
    EXPECT_EQ(book.GetNumber(0), "201");
    EXPECT_EQ(*provision.For("00291 0284281").Phonebook, "Jo \"JJ\" Day,202\n");
    // A UTF-8 CSV's letters reach the handset in its code page, and the reader takes them back as such.
    const std::string jurgen = *provision.For("00291 0284282").Phonebook;
    ParsePhonebookText(jurgen, book);
    EXPECT_EQ(book.GetName(0), "J\xFCrgen");
    // A UTF-8 phone book stays UTF-8, the row's letters with it.
    Write("phonebook.phb", "B\xC3\xBCro,1\n{name},{extension}\n");
    EXPECT_EQ(*Load().For("00291 0284282").Phonebook, "B\xC3\xBCro,1\nJ\xC3\xBCrgen,203\n");
}

TEST_F(ProvisionTemplate, PlaceholdersAndColumnsThatMatchNothing) {
    Write("phonebook.phb", "A,1\r\n{name},{extension}\r\n{nmae},2\r\nB {,3\r\n");
    Write("speeddial.sdl", "Key_{key},1\r\nKey_2,{extension}\r\n");
    Write("groups.BGL", "{group}\r\n" + std::string(15 * 2, '\n'));
    Write("handsets.csv", "serial,extension,name,note,vibrator\r\n00291 0284280,201,Anna,x,1\r\n");
    const std::vector<TTemplateProblem> problems = Load().Check();
    EXPECT_TRUE(Has(problems, "phonebook.phb", 3, "{nmae}: handsets.csv has no column \"nmae\""))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "phonebook.phb", 4, "a brace that makes no placeholder")) << Shown(problems);
    EXPECT_TRUE(Has(problems, "speeddial.sdl", 1, "only in a speed dial key's number")) << Shown(problems);
    EXPECT_TRUE(Has(problems, "groups.BGL", 1, "only in phone book entries and speed dial numbers"))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 1, "the column \"note\" fills nothing")) << Shown(problems);
    EXPECT_TRUE(
        Has(problems, "handsets.csv", 1, "\"vibrator\" is a profile setting, but the template has no"))
        << Shown(problems);
    EXPECT_EQ(problems.size(), 6u) << Shown(problems);

    // Without handsets.csv, a placeholder has nothing to fill it.
    QFile::remove(Dir.filePath("handsets.csv"));
    EXPECT_TRUE(Has(Load().Check(), "phonebook.phb", 2, "{name}: there is no handsets.csv to fill it"));
}

TEST_F(ProvisionTemplate, SerialNumbersAndRecordsOfTheWrongShape) {
    Write("phonebook.phb", "{name},1\r\n");
    Write("handsets.csv", "serial,name\r\n"
                          "00291 0284280,Anna\r\n"
                          "00291 0284281,Bo,extra\r\n"
                          ",Carl\r\n"
                          "291 284280,Dora\r\n"
                          "00291 9999999,Eve\r\n"
                          "00291 0284280,Finn\r\n"
                          "00291 0284282,\"Gus\r\n");
    const std::vector<TTemplateProblem> problems = Load().Check();
    EXPECT_TRUE(Has(problems, "handsets.csv", 3, "3 fields, but the header has 2")) << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 4, "no serial number")) << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 5, "serial \"291 284280\" is no serial number"))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 6, "last seven digits go up to 1048575")) << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 8, "a quote opened here is never closed")) << Shown(problems);
    const auto twice =
        std::find_if(problems.begin(), problems.end(), [](const TTemplateProblem& p) { return p.Line == 7; });
    ASSERT_NE(twice, problems.end()) << Shown(problems);
    EXPECT_EQ(TemplateProblemText(*twice),
              "handsets.csv:7: serial '00291 0284280' is there twice (first on line 2)");
    EXPECT_EQ(problems.size(), 6u) << Shown(problems);
}

TEST_F(ProvisionTemplate, EveryRowIsCheckedAsItFillsTheFiles) {
    Write("phonebook.phb", "Front desk of the north building,100\r\n{name},{extension}\r\n");
    Write("speeddial.sdl", "Key_1,0{extension}\r\nKey_12,1\r\n");
    Write("profile.pro", "[profile settings]\r\nringer volume=3\r\nringer tone=0\r\n");
    Write("handsets.csv", "serial,extension,name,ringer volume\r\n"
                          "00291 0284280,201,Anna,5\r\n"
                          "00291 0284281,123456789012345678901234,Bo,9\r\n"
                          "00291 0284282,+4930,\"Zo\xC3\xAB \xC5\x81uk\",\r\n"
                          "00291 0284283,2,\"Line\nbreak\",2\r\n"
                          "00291 0284284,\"2,3\",Eve,\r\n");
    const TProvisionTemplate provision = Load();
    const std::vector<TTemplateProblem> problems = provision.Check();
    // The template's own lines: once each.
    EXPECT_TRUE(Has(problems, "phonebook.phb", 1, "the name has more than 24 characters")) << Shown(problems);
    EXPECT_TRUE(Has(problems, "speeddial.sdl", 2, "no speed dial key: \"Key_12\"")) << Shown(problems);
    EXPECT_TRUE(Has(problems, "profile.pro", 3, "ringer tone=0 is no value of its list")) << Shown(problems);
    // Each row's: the template's line, with the row's line and serial number.
    EXPECT_TRUE(
        Has(problems, "phonebook.phb", 2, "handsets.csv line 3 (00291 0284281): the number has more than 23"))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "speeddial.sdl", 1,
                    "handsets.csv line 3 (00291 0284281): the number "
                    "\"0123456789012345678901234\" has more than 23"))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 3,
                    "column \"ringer volume\": \"9\" is no value of the setting (0 to 5)"))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "phonebook.phb", 2,
                    "handsets.csv line 4 (00291 0284282): the number \"+4930\" holds \"+\""))
        << Shown(problems);
    EXPECT_TRUE(
        Has(problems, "speeddial.sdl", 1, "handsets.csv line 4 (00291 0284282): the number \"0+4930\""))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 4,
                    "column \"name\": \"Zo\xEB ?uk\" has characters the handset does not have"))
        << Shown(problems);
    EXPECT_TRUE(Has(problems, "handsets.csv", 5, "column \"name\": the value holds a line break"))
        << Shown(problems);
    // The quoted line break moved the next row to line 7.
    EXPECT_TRUE(Has(problems, "phonebook.phb", 2,
                    "handsets.csv line 7 (00291 0284284): column \"extension\" puts "
                    "\"2,3\" into the number; its comma would split the entry"))
        << Shown(problems);
    EXPECT_TRUE(
        Has(problems, "speeddial.sdl", 1, "handsets.csv line 7 (00291 0284284): the number \"02,3\" holds"))
        << Shown(problems);
    EXPECT_EQ(problems.size(), 12u) << Shown(problems);

    // A row's problems are its handset's: the others' files can still be made, when the template's own
    // lines are fine.
    const auto rowOf = [&](const std::string& serial) {
        return std::count_if(problems.begin(), problems.end(),
                             [&](const TTemplateProblem& p) { return p.Serial == serial; });
    };
    EXPECT_EQ(rowOf("00291 0284280"), 0);
    EXPECT_EQ(rowOf("00291 0284281"), 3);
    EXPECT_THROW(provision.For("00291 0284280"), ETemplateError);
    Write("phonebook.phb", "Front desk,100\r\n{name},{extension}\r\n");
    Write("speeddial.sdl", "Key_1,0{extension}\r\n");
    Write("profile.pro", "[profile settings]\r\nringer volume=3\r\n");
    const TProvisionTemplate mended = Load();
    EXPECT_EQ(mended.For("00291 0284280").Phonebook, "Front desk,100\r\nAnna,201\r\n");
    try {
        mended.For("00291 0284281");
        FAIL() << "a row with problems gave its files";
    } catch (const ETemplateError& e) {
        EXPECT_NE(std::string(e.what()).find("phonebook.phb:2: handsets.csv line 3"), std::string::npos)
            << e.what();
    }
}

TEST_F(ProvisionTemplate, AFolderThatIsNoTemplateIsRefused) {
    EXPECT_THROW(TProvisionTemplate::Load(Folder() + "/missing"), ETemplateError);
    Write("handsets.csv", "serial\r\n00291 0284280\r\n");
    EXPECT_THROW(Load(), ETemplateError);
    EXPECT_THROW(TProvisionTemplate::Load(Dir.filePath("handsets.csv").toStdString()), ETemplateError);
    // A name that differs in case is taken; a look-alike under another name is named, not ignored.
    Write("Groups.bgl", "5\r\n" + std::string(15, '\n'));
    Write("speed-dial.sdl", "Key_1,1\r\n");
    const TProvisionTemplate provision = Load();
    EXPECT_EQ(provision.Kinds(), std::vector<std::string>{"broadcast groups"});
    EXPECT_EQ(provision.FileNames(), (std::vector<std::string>{"Groups.bgl", "handsets.csv"}));
    EXPECT_TRUE(Has(provision.Check(), "speed-dial.sdl", 0, "not read")) << Shown(provision.Check());
}

} // namespace
