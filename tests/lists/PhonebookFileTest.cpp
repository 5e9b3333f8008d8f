#include "lists/PhonebookFile.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TPP5Phonebook Table(int count) {
    TPP5Phonebook book;
    book.SetCount(uint8_t(count));
    return book;
}

std::string FileText(const std::string& path) {
    return ReadFileBytes(path, PhonebookFileLimit);
}

} // namespace

TEST(PhonebookFile, WritesOnlyNumberedEntriesInTableOrder) {
    TPP5Phonebook book = Table(200);
    book.SetName(0, "Smith, John");
    book.SetNumber(0, "01-23 4");
    book.SetName(3, "No number");
    book.SetNumber(5, "999");
    book.SetName(199, std::string(24, 'x'));
    book.SetNumber(199, std::string(23, '9'));
    EXPECT_EQ(PhonebookFileText(book),
              "Smith, John,01P234\r\n,999\r\n" + std::string(24, 'x') + "," + std::string(23, '9') + "\r\n");
}

TEST(PhonebookFile, ReadsLinesIntoTablePositions) {
    TPP5Phonebook book = Table(200);
    const int taken =
        ParsePhonebookText("Smith, John,0123\r\nBob,5\r\nno comma\r\n\r\nBob,\r\n,5\nlast,1 2-3", book);
    EXPECT_EQ(taken, 7);
    EXPECT_EQ(book.GetName(0), "Smith, John");
    EXPECT_EQ(book.GetNumber(0), "0123");
    EXPECT_EQ(book.GetName(1), "Bob");
    EXPECT_EQ(book.GetNumber(1), "5");
    // A line without a comma, the empty line too, keeps its place empty.
    EXPECT_EQ(book.GetName(2), "");
    EXPECT_EQ(book.GetNumber(3), "");
    EXPECT_EQ(book.GetName(4), "Bob");
    EXPECT_EQ(book.GetNumber(4), "");
    EXPECT_EQ(book.GetName(5), "");
    EXPECT_EQ(book.GetNumber(5), "5");
    EXPECT_EQ(book.GetNumber(6), "12P3");
}

TEST(PhonebookFile, AnEntryWithoutANumberMovesTheFollowingOnesUp) {
    TPP5Phonebook book = Table(10);
    book.SetName(0, "A");
    book.SetNumber(0, "1");
    book.SetName(1, "Nameless number");
    book.SetName(2, "C");
    book.SetNumber(2, "3");
    TPP5Phonebook loaded = Table(10);
    ParsePhonebookText(PhonebookFileText(book), loaded);
    EXPECT_EQ(loaded.GetName(1), "C");
    EXPECT_EQ(loaded.GetNumber(1), "3");
}

TEST(PhonebookFile, TakesNoMoreLinesThanTheTableHas) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "N" + std::to_string(i) + "," + std::to_string(i) + "\r\n";
    TPP5Phonebook book = Table(200);
    EXPECT_EQ(ParsePhonebookText(text, book), 200);
    EXPECT_EQ(book.GetNumber(199), "199");
    EXPECT_EQ(book.GetNumber(200), "");
    // The lines without an entry to go to are counted, blank ones not.
    TPhonebookFileReport report;
    ParsePhonebookText(text + "  \r\n", book, &report);
    EXPECT_EQ(report.LinesBeyond, 100);
}

TEST(PhonebookFile, StrangeBytesAreReportedAndNothingUndiallableIsTaken) {
    std::string text(5000, 'n');
    text += "," + std::string(5000, '7') + "\r\n";
    text += std::string("nul\0name,1\0 2", 13) + "\r\n";
    text += std::string(30, 'm') + "," + std::string(23, '5') + "\r\n";
    for (int b = 1; b < 256; ++b)
        text += char(b);
    TPP5Phonebook book = Table(200);
    TPhonebookFileReport report;
    // The control bytes 10 and 13 among them end lines: three more.
    EXPECT_EQ(ParsePhonebookText(text, book, &report), 6);
    // A number cut to 23 digits would dial someone else; control characters are no name.
    EXPECT_EQ(book.GetNumber(0), "");
    EXPECT_EQ(book.GetName(0), "");
    EXPECT_EQ(book.GetNumber(1), "");
    EXPECT_EQ(book.GetName(2), std::string(24, 'm'));
    EXPECT_EQ(book.GetNumber(2), std::string(23, '5'));
    EXPECT_TRUE(report.Has(TPhonebookLineProblem::TKind::NumberTooLong));
    ASSERT_GE(report.Problems.size(), 4u);
    EXPECT_EQ(PhonebookLineProblemText(report.Problems[0]),
              "line 1: the number has more than 23 digits, which the handset cannot store, not taken");
    EXPECT_EQ(PhonebookLineProblemText(report.Problems[1]),
              "line 2: control characters in the line, not taken");
    EXPECT_EQ(PhonebookLineProblemText(report.Problems[2]),
              "line 3: the name has more than 24 characters, cut to 24");
    EXPECT_EQ(report.NotTaken(), int(report.Problems.size()) - 1);
}

TEST(PhonebookFile, Utf8IsReadAsTextAndCutByCharacters) {
    // "Jürgen" and a name of 30 "ä": as Windows-1252 bytes, whole characters cut at 24.
    const std::string umlauts = [] {
        std::string s;
        for (int i = 0; i < 30; ++i)
            s += "\xC3\xA4";
        return s;
    }();
    for (const std::string& mark : {std::string(), std::string("\xEF\xBB\xBF")}) {
        TPP5Phonebook book = Table(10);
        TPhonebookFileReport report;
        ParsePhonebookText(mark + "J\xC3\xBCrgen,123\r\n" + umlauts + ",45\r\nEuro \xE2\x82\xAC,6\r\n", book,
                           &report);
        EXPECT_TRUE(report.Utf8);
        EXPECT_EQ(book.GetName(0), "J\xFCrgen");
        EXPECT_EQ(book.GetName(1), std::string(24, '\xE4'));
        EXPECT_EQ(book.GetName(2), "Euro \x80");
    }
    // Not UTF-8: the bytes as they stand, as the program has always read and written them.
    TPP5Phonebook book = Table(10);
    TPhonebookFileReport report;
    ParsePhonebookText("J\xFCrgen,123\r\n", book, &report);
    EXPECT_FALSE(report.Utf8);
    EXPECT_EQ(book.GetName(0), "J\xFCrgen");
    EXPECT_EQ(PhonebookFileText(book), "J\xFCrgen,123\r\n");
}

TEST(PhonebookFile, NamesTheHandsetCannotShowAreNamedAndTakenOnlyWhenTransliterated) {
    // "Łukasz" has a nearest form; "日本" has none; "Ærø" is all in the code page.
    const std::string text =
        "\xC5\x81ukasz,3002\r\n\xE6\x97\xA5\xE6\x9C\xAC,3003\r\n\xC3\x86r\xC3\xB8,3004\r\n";
    TPP5Phonebook book = Table(10);
    TPhonebookFileReport report;
    EXPECT_EQ(ParsePhonebookText(text, book, &report), 3);
    EXPECT_EQ(book.GetNumber(0), "");
    EXPECT_EQ(book.GetNumber(1), "");
    EXPECT_EQ(book.GetName(2), "\xC6r\xF8");
    ASSERT_EQ(report.Problems.size(), 2u);
    EXPECT_EQ(report.NotTaken(), 2);
    EXPECT_EQ(PhonebookLineProblemText(report.Problems[0]),
              "line 1: \"\xC5\x81ukasz\": \xC5\x81 is not in the handset's characters, not taken; "
              "--transliterate writes \"Lukasz\"");
    EXPECT_EQ(PhonebookLineProblemText(report.Problems[1]),
              "line 2: \"\xE6\x97\xA5\xE6\x9C\xAC\": \xE6\x97\xA5 is not in the handset's characters, not "
              "taken; it has no letter near it either");

    book = Table(10);
    ParsePhonebookText(text, book, &report, {.Transliterate = true});
    EXPECT_EQ(book.GetName(0), "Lukasz");
    EXPECT_EQ(book.GetNumber(0), "3002");
    EXPECT_EQ(book.GetNumber(1), "");
    ASSERT_EQ(report.Problems.size(), 2u);
    EXPECT_EQ(report.Problems[0].Kind, TPhonebookLineProblem::TKind::Transliterated);
    EXPECT_EQ(report.NotTaken(), 1);
}

TEST(PhonebookFile, SavesWholeOrNotAtAll) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("list.phb").toStdString();
    TPP5Phonebook book = Table(5);
    book.SetName(0, "Bob");
    book.SetNumber(0, "1");
    SavePhonebookFile(path, book);
    EXPECT_EQ(FileText(path), "Bob,1\r\n");

    TPP5Phonebook back = Table(5);
    EXPECT_EQ(LoadPhonebookFile(path, back), 1);
    EXPECT_EQ(back.GetName(0), "Bob");

    // A save that cannot be made, even by root: its folder would be inside the regular file saved
    // before. It raises with the path, leaves that file whole and nothing beside it.
    const std::string blocked = path + "/copies/list.phb";
    book.SetNumber(0, "2");
    try {
        SavePhonebookFile(blocked, book);
        ADD_FAILURE() << "the save must fail";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(blocked), std::string::npos) << e.what();
    }
    EXPECT_EQ(FileText(path), "Bob,1\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"list.phb"});
}

TEST(PhonebookFile, AFileThatCannotBeReadRaisesWithItsName) {
    TPP5Phonebook book = Table(5);
    try {
        LoadPhonebookFile("/nonexistent/list.phb", book);
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/list.phb"), std::string::npos);
    }
}
