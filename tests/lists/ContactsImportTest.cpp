// Contacts files from Outlook (CSV) and vCard files, and how they fill the phone book.
#include "lists/ContactsImport.h"
#include "lists/ContactsText.h"
#include "lists/PP5Phonebook.h"
#include "platform/AnsiText.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Outside the unnamed namespace, so that the comparisons of vectors in std find them.
static bool operator==(const TContact& a, const TContact& b) {
    return a.FullName == b.FullName && a.Business == b.Business && a.Home == b.Home &&
           a.Primary == b.Primary && a.Mobile == b.Mobile;
}

static void PrintTo(const TContact& c, std::ostream* os) {
    *os << "{" << c.FullName << " | B " << c.Business << " | H " << c.Home << " | P " << c.Primary << " | M "
        << c.Mobile << "}";
}

namespace {

using TContacts = std::vector<TContact>;

const QByteArray OutlookHeader =
    "\"Title\",\"First Name\",\"Middle Name\",\"Last Name\",\"Suffix\",\"Company\","
    "\"Business Phone\",\"Business Phone 2\",\"Home Phone\",\"Mobile Phone\","
    "\"Primary Phone\",\"E-mail Address\"\r\n";

std::string ErrorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const EContactsFileError& e) {
        return e.what();
    }
    return "no error";
}

TEST(OutlookCsv, RealisticExportWithQuotesLineBreaksAndShortRecords) {
    const QByteArray csv =
        OutlookHeader +
        "\"Dr.\",\"Anna\",\"\",\"Berg\",\"\",\"Berg, Lund & Co\",\" +45 12 34-56 78 \",\"\",\"\","
        "\"20 30 40 50\",\"\",\"anna@example.com\"\r\n"
        "\r\n"
        ",,,,,,,,,,,\r\n"
        "\"\",\"S\xF8ren\",\"\",\"\"\"Big\"\" Hansen\",\"\",\"Line one\r\nline two\nthree\","
        "\"\",\"\",\"33 44\"\n"
        "\"\",\"Jo\",\"Q\r\nX\",\"Doe\",,,,,,,\"5\"";
    EXPECT_EQ(ParseOutlookCsv(csv), (TContacts{{"Anna Berg", "+45 12 34-56 78", "", "", "20 30 40 50"},
                                               {"S\xF8ren \"Big\" Hansen", "", "33 44", "", ""},
                                               {"Jo Q X Doe", "", "", "5", ""}}));

    // A name column wins when it is filled; headers are matched trimmed and without regard to case.
    EXPECT_EQ(ParseOutlookCsv(" full NAME ,First Name,HOME PHONE\nAl Bo,X,1\n,Cy,2\n"),
              (TContacts{{"Al Bo", "", "1", "", ""}, {"Cy", "", "2", "", ""}}));
    EXPECT_EQ(ParseOutlookCsv("Mobile Phone\n"), TContacts{}) << "a header alone is no error";
}

TEST(OutlookCsv, EncodingIsUtf8WhenValidElseWindows1252) {
    const QByteArray rows = "First Name,Home Phone\nS\xC3\xB8ren \xC5\x81ukasz \xE2\x82\xAC,1\n";
    const TContacts expected{{"S\xF8ren ?ukasz \x80", "", "1", "", ""}};
    EXPECT_EQ(ParseOutlookCsv("\xEF\xBB\xBF" + rows), expected);
    EXPECT_EQ(ParseOutlookCsv(rows), expected);
    // One byte that is not UTF-8 makes the whole file Windows-1252, taken byte for byte.
    EXPECT_EQ(ParseOutlookCsv(rows + "\xF8\x80,2\n").back().FullName, "\xF8\x80");
    EXPECT_EQ(ParseOutlookCsv(rows + "\xF8,2\n").front().FullName, "S\xC3\xB8ren \xC5\x81ukasz \xE2\x82\xAC");
}

TEST(OutlookCsv, SemicolonsSeparateOnlyWhenTheHeaderHasNoComma) {
    EXPECT_EQ(ParseOutlookCsv("Vorname;Name;\"Mobile Phone\"\r\nJens;\"Ko, Li\";0171 1\r\n"),
              (TContacts{{"Ko, Li", "", "", "", "0171 1"}}));
    EXPECT_EQ(ParseOutlookCsv("Name,Home Phone\r\nA;B,1;2\r\n"), (TContacts{{"A;B", "", "1;2", "", ""}}));
}

TEST(OutlookCsv, MalformedFilesAreRefused) {
    EXPECT_EQ(ErrorOf([] { ParseOutlookCsv(""); }), "empty file");
    EXPECT_EQ(ErrorOf([] { ParseOutlookCsv("\xEF\xBB\xBF"); }), "empty file");
    EXPECT_EQ(ErrorOf([] { ParseOutlookCsv("First Name,Company,Phone\nA,B,1\n"); }), "no telephone columns");
    EXPECT_EQ(ErrorOf([] { ParseOutlookCsv(" \r\n\n"); }), "no telephone columns");
    EXPECT_EQ(ErrorOf([] { ParseOutlookCsv(OutlookHeader + "\"Mr\",\"Ann\nBo"); }),
              "unterminated quoted field");
}

TEST(VCard21, QuotedPrintableCharsetsSoftBreaksAndBareTypes) {
    const QByteArray card =
        "BEGIN:VCARD\r\nVERSION:2.1\r\n"
        "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:J=F8rgensen;S=F8ren\r\n"
        "FN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:S=F8ren J=F8rgen=\r\n"
        "sen =3D Boss=\r\n"
        "\r\n"
        "TEL;WORK;VOICE:+45 11\r\nTEL;CELL:22\r\nTEL;HOME;FAX:99\r\nTEL;PREF;WORK:+4511\r\n"
        "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n /9j/4AAQSk:TEL;CELL:66\r\n/9j/TEL\r\n\r\n"
        "AGENT:\r\nBEGIN:VCARD\r\nFN:Assistant\r\nTEL;HOME:77\r\nEND:VCARD\r\n"
        "TEL:33\r\nEND:VCARD\r\n"
        // No VERSION, no END: UTF-8 when valid, Windows-1252 when not.
        "BEGIN:VCARD\r\nN:Berg;\xC3\x85sa\r\nTEL;TYPE=HOME:1\r\n"
        "BEGIN:VCARD\r\nFN:M\xF8ller\r\nTEL;ENCODING=QUOTED-PRINTABLE:4=\r\n";
    EXPECT_EQ(ParseVCards(card), (TContacts{{"S\xF8ren J\xF8rgensen = Boss", "+45 11", "", "33", "22"},
                                            {"\xC5sa Berg", "", "1", "", ""},
                                            {"M\xF8ller", "", "", "4", ""}}));
}

TEST(VCard30, FoldingEscapesTypeListsAndWhichTelGoesWhere) {
    const QByteArray card = "begin:vcard\nVERSION:3.0\n"
                            "item1.FN:Smith\\, Jo\n hn\\nJr\n\t \\\\ Esq\n"
                            "TEL;TYPE=voice:55 1\nTEL;TYPE=home;TYPE=pref:44\n"
                            "TEL;type=WORK,CELL:33\nTEL;TYPE=work:22\nTEL;TYPE=cell:44\n"
                            "TEL;TYPE=fax:11\nEND:VCARD\n"
                            "BEGIN:VCARD\nVERSION:3.0\nFN:\nN:Stevenson;John;Philip,Paul;Dr.;Jr.\n"
                            "TEL;TYPE=pref:1-2\nTEL;TYPE=work:12\nTEL:3\nTEL:4\nEND:VCARD\n"
                            "BEGIN:VCARD\nVERSION:3.0\nFN:\nFN:M\xF8ller\nEND:VCARD\n";
    EXPECT_EQ(ParseVCards(card), (TContacts{{"Smith, John Jr \\ Esq", "33", "44", "55 1", ""},
                                            {"Dr. John Philip Paul Stevenson Jr.", "12", "", "1-2", ""},
                                            {"M?ller", "", "", "", ""}}))
        << "the pref number 44 is Home only, the second cell one is not used twice";
}

TEST(VCard40, TelUrisPrefAndQuotedTypeLists) {
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ana \xC3\xB1\r\n"
                            "TEL;VALUE=uri;TYPE=\"voice,home\":tel:+1-555-1234;ext=5\r\n"
                            "TEL;VALUE=uri;PREF=2:tel:+1 555 0002\r\n"
                            "TEL;VALUE=uri;PREF=1;TYPE=voice:TEL:+1 555 0001\r\n"
                            "TEL;TYPE=\"cell,text\":+1 555 0003\r\nFN:Second\r\nEND:VCARD\r\n";
    EXPECT_EQ(ParseVCards(card), (TContacts{{"Ana \xF1", "", "+15551234P5", "+1 555 0001", "+1 555 0003"}}))
        << "the extension is dialled after a pause";
}

TEST(VCard, FilesWithoutACardAreRefused) {
    EXPECT_EQ(ErrorOf([] { ParseVCards(""); }), "empty file");
    EXPECT_EQ(ErrorOf([] { ParseVCards("FN:Nobody\r\nEND:VCARD\r\n"); }), "no vCard in the file");
}

TEST(HostileInput, BinaryNulsAndHugeLinesAreReadSafelyByBothReaders) {
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) % 251);
    for (const QByteArray& bad : {junk, QByteArray("BEGIN:VCARD\n") + junk, QByteArray("\"a,b\n") + junk}) {
        EXPECT_NO_THROW(ErrorOf([&] { ParseVCards(bad); }));
        EXPECT_NO_THROW(ErrorOf([&] { ParseOutlookCsv(bad); }));
    }
    const char withNul[] = "BEGIN:VCARD\nFN:A\0B\nEND:VCARD\n";
    EXPECT_EQ(ParseVCards(QByteArray(withNul, sizeof withNul - 1)).front().FullName, "A B");

    // Ten megabytes on one line, folded a byte at a time, or all soft breaks: read in linear time.
    const QByteArray big(10 << 20, 'x');
    EXPECT_EQ(ParseVCards("BEGIN:VCARD\nFN:" + big + "\nTEL:1\n").front().FullName.size(),
              size_t(big.size()));
    EXPECT_EQ(ParseVCards("BEGIN:VCARD\nFN;X=" + QByteArray(1 << 20, 'y').replace("y", "\n y") + ":Z\n")
                  .front()
                  .FullName,
              "Z");
    EXPECT_EQ(ParseVCards("BEGIN:VCARD\nFN;QUOTED-PRINTABLE:" + QByteArray(2 << 20, '=').replace("=", "A=\n"))
                  .front()
                  .FullName.size(),
              size_t(2 << 20));
    EXPECT_EQ(ParseOutlookCsv("Home Phone," + QByteArray(10 << 20, ',') + "\n1\n").size(), 1u);
    EXPECT_EQ(ErrorOf([&] { ParseOutlookCsv(QByteArray(MaxContactsFileSize + 1, ' ')); }), "file too large");
}

TEST(ReadContactsFile, ChoosesTheReaderByContentAndReportsFileProblems) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto write = [&dir](const char* name, const QByteArray& data) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
        return dir.filePath(name).toStdString();
    };
    EXPECT_EQ(
        ReadContactsFile(write("a.csv", "\xEF\xBB\xBF \r\n\r\n  Begin:VCard \r\nFN:V\r\nEND:VCARD\r\n")),
        (TContacts{{"V", "", "", "", ""}}));
    EXPECT_EQ(ReadContactsFile(write("b.vcf", "Name,Home Phone\nBEGIN:VCARD,1\n")),
              (TContacts{{"BEGIN:VCARD", "", "1", "", ""}}));

    EXPECT_EQ(ErrorOf([&] { ReadContactsFile(write("empty.csv", "")); }), "empty file");
    EXPECT_EQ(ErrorOf([&] {
                  ReadContactsFile(dir.filePath("missing.csv").toStdString());
              }).rfind("cannot open the file: ", 0),
              0u);
    EXPECT_NE(ErrorOf([&] { ReadContactsFile(dir.path().toStdString()); }), "no error");
    const std::string huge = write("huge.csv", "");
    QFile(QString::fromStdString(huge)).resize(MaxContactsFileSize + 1);
    EXPECT_EQ(ErrorOf([&] { ReadContactsFile(huge); }), "file too large");
}

TEST(FillPhonebook, NumbersInOrderUntilTheGridIsFull) {
    TPP5Phonebook book;
    book.SetCount(200);
    std::vector<std::pair<int, std::string>> rows;
    auto record = [&rows](int entry, const std::string& name) { rows.emplace_back(entry, name); };

    const std::string longName = "Maximilian Alexander von Hohenberg";
    EXPECT_EQ(
        FillPhonebook({{longName, "+45 12 34-56 78", "", "", "20 30 40 50"}, {"No numbers", "", "", "", ""}},
                      book, 201, record),
        2);
    EXPECT_EQ(rows, (std::vector<std::pair<int, std::string>>{{0, longName}, {1, longName}}));
    EXPECT_EQ(book.GetNumber(0), "+451234P5678");
    EXPECT_EQ(book.GetNumber(1), "20304050");
    EXPECT_EQ(book.GetName(1), longName.substr(0, 24));
    EXPECT_EQ(book.GetNumber(2), "");

    // 50 contacts with Business, Home, Primary and Mobile set, 50 more with Mobile only: 250 numbers.
    TContacts many;
    for (int i = 0; i < 100; ++i) {
        const std::string n = std::to_string(i);
        many.push_back(i < 50 ? TContact{n, n + "1", n + "2", n + "3", n + "4"}
                              : TContact{n, "", "", "", n + "4"});
    }
    rows.clear();
    book.Clear();
    EXPECT_EQ(FillPhonebook(many, book, 201, record), 100);
    ASSERT_EQ(rows.size(), 200u);
    EXPECT_EQ(rows.back(), (std::pair<int, std::string>{199, "49"}));
    EXPECT_EQ(book.GetNumber(2), "03");
    EXPECT_EQ(book.GetNumber(3), "04") << "Business, Home, Primary, Mobile";
    EXPECT_EQ(book.GetNumber(199), "494");
    book.Clear();
    EXPECT_EQ(FillPhonebook(many, book, 1, nullptr), 100) << "no room at all";
    EXPECT_EQ(book.CountNumbers(), 0);
}

TEST(ContactsImport, CountsWhatFoundNoRoomAndFillsTheBookOnlyWhenAsked) {
    TContactsImport import(3);
    import.Add({"A", "1", "", "2", ""});
    import.Add({"No numbers", "", "", "", ""});
    import.Add({"B", "3", "4", "", "5"}); // 3 fits, 4 and 5 do not
    import.Add({"C", "", "", "", "6"});
    EXPECT_EQ(import.Contacts(), 4);
    EXPECT_EQ(import.Entries(), 3);
    EXPECT_EQ(import.NumbersLeftOut(), 3);
    EXPECT_EQ(import.ContactsLeftOut(), 2);

    TPP5Phonebook book;
    book.SetCount(200);
    book.SetNumber(3, "99");
    import.FillPhonebook(book, nullptr);
    EXPECT_EQ(book.GetName(2), "B");
    EXPECT_EQ(book.GetNumber(2), "3");
    EXPECT_EQ(book.GetNumber(3), "99") << "entries beyond the import are the caller's";

    // A file found malformed at its end raises after its first contacts were counted; the callers then
    // leave the book as it was.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("cut.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Name,Home Phone\nA,1\nB,2\n\"C,3\n");
    file.close();
    TContactsImport cut(200);
    EXPECT_EQ(ErrorOf([&] { cut.AddFile(file.fileName().toStdString()); }), "unterminated quoted field");
    EXPECT_EQ(cut.Contacts(), 2);
}

} // namespace

namespace {

TEST(MakeDialable, SeparatorsGoAndALeadingPlusBecomesThePrefix) {
    EXPECT_EQ(MakeDialable("(030) 555-1234", "00"), "0305551234") << "not 030555P1234";
    EXPECT_EQ(MakeDialable("030/555 12.34", "00"), "0305551234");
    EXPECT_EQ(MakeDialable("+49 30 555-1234", "00"), "0049305551234");
    EXPECT_EQ(MakeDialable(" +1 (555) 123-4567", "011"), "01115551234567");
    EXPECT_EQ(MakeDialable("+15551234", "00"), "0015551234") << "a vCard tel: URI";
    // The trunk zero is not dialled from abroad; in a national number it is.
    EXPECT_EQ(MakeDialable("+44 (0)20 7946 0958", "00"), "00442079460958");
    EXPECT_EQ(MakeDialable("+44 ( 0 ) 20 7946", "00"), "0044207946");
    EXPECT_EQ(MakeDialable("(0) 20 7946", "00"), "0207946");
    EXPECT_EQ(MakeDialable("+49 (30) 1234", "00"), "0049301234");
}

TEST(MakeDialable, PausesAndCodesStayWhereTheyAre) {
    EXPECT_EQ(MakeDialable("+49 (30) 1234 P 56", "00"), "0049301234P56");
    EXPECT_EQ(MakeDialable("(030) 1234p5", "00"), "0301234p5");
    EXPECT_EQ(MakeDialable("(*31#) 030 1234", "00"), "*31#0301234");
    // Every number alike: a "-" the phone book would keep as a pause goes as a separator, a "P" stays.
    const std::pair<const char*, const char*> stored[] = {{"030 555 P 12", "030555P12"},
                                                          {"555-1234", "5551234"},
                                                          {"*31#0301234", "*31#0301234"},
                                                          {"12 34", "1234"},
                                                          {"", ""}};
    for (const auto& [number, dialable] : stored)
        EXPECT_EQ(MakeDialable(number, "00"), dialable) << number;
}

TEST(MakeDialable, WhatWouldStillNotBeStorableIsLeftAlone) {
    for (const char* kept :
         {"0800 FLOWERS", "+49 30 1234 ext. 5", "030 1234, 5", "++49 1", "12+34", "()", "+", "[030] 1234"})
        EXPECT_EQ(MakeDialable(kept, "00"), kept);
    // 21 digits and "+": dialable in 23 characters; one digit more and the handset would cut it.
    EXPECT_EQ(MakeDialable("+123 456 789 012 345 678 901", "00"), "00123456789012345678901");
    EXPECT_EQ(MakeDialable("+123 456 789 012 345 678 9012", "00"), "+123 456 789 012 345 678 9012");
}

TEST(ContactsImport, OffersToMakeTheRawNumbersDialableAndReports) {
    TContactsImport import(4);
    import.Add({"Ann", "(030) 555-1234", "555-1234", "", "0800 FLOWERS"});
    import.Add({"Bo", "+45 12 34-56 78", "", "", "1"});
    EXPECT_EQ(import.UnstorableEntries(), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(
        import.DialableQuestion("00").rfind("Numbers the handset cannot store as they are: 3, the first "
                                            "in line 1.",
                                            0),
        0u);
    EXPECT_NE(import.DialableQuestion("011").find("A leading \"+\" becomes \"011\""), std::string::npos);
    EXPECT_EQ(import.Report(std::nullopt),
              (std::vector<std::string>{
                  "The phone book's 4 entries are full. Numbers not taken: 1, from contacts: 1."}));

    EXPECT_EQ(import.MakeNumbersDialable("00"), 3) << "555-1234 as well: the book would dial a pause";
    TPP5Phonebook book;
    book.SetCount(200);
    import.FillPhonebook(book, nullptr);
    EXPECT_EQ(book.GetNumber(0), "0305551234");
    EXPECT_EQ(book.GetNumber(1), "5551234");
    EXPECT_EQ(book.GetNumber(2), "0800FLOWERS");
    EXPECT_EQ(book.GetNumber(3), "004512345678");
    EXPECT_EQ(
        import.Report(3),
        (std::vector<std::string>{
            "Numbers made dialable: 3.", "Numbers the handset still cannot store: 1, the first in line 3.",
            "The phone book's 4 entries are full. Numbers not taken: 1, from contacts: 1."}));

    TContactsImport storable(200);
    storable.Add({"Cy", "12 34", "", "", ""});
    EXPECT_EQ(storable.DialableQuestion("00"), "");
    EXPECT_EQ(storable.Report(std::nullopt), std::vector<std::string>{});
}

} // namespace

namespace {

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

// The text in UTF-16 of the byte order, behind its mark, as Outlook's "Unicode" exports write it.
QByteArray Utf16(const QString& text, bool little) {
    QStringEncoder encoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return (little ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF")) + QByteArray(encoder.encode(text));
}

std::string WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& data) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(data), data.size());
    return dir.filePath(name).toStdString();
}

// A German export as Excel saves it (";" between the fields) and a French one in Windows-1252, the code
// page of a French Windows; the same contact each time.
const char* const GermanHeader = "Anrede;Vorname;Weitere Vornamen;Nachname;Firma;Telefon gesch\xC3\xA4"
                                 "ftlich;Telefon privat;"
                                 "Mobiltelefon;Haupttelefon;E-Mail-Adresse\r\n";
const TContact Jurgen{"J\xFCrgen M\xFCller", "030 1234", "030 5678", "0800 1", "0171 9"};

TEST(ContactsEncoding, Utf16WithItsMarkInEitherByteOrder) {
    const QString csv =
        Utf8(GermanHeader) + Utf8(";J\xC3\xBCrgen;;M\xC3\xBCller;;030 1234;030 5678;0171 9;0800 1;\r\n");
    EXPECT_EQ(ParseOutlookCsv(Utf16(csv, true)), TContacts{Jurgen});
    EXPECT_EQ(ParseOutlookCsv(Utf16(csv, false)), TContacts{Jurgen});

    const QString card =
        Utf8("BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=ISO-8859-1:J\xC3\xBCrgen M\xC3\xBCller\r\n"
             "TEL;WORK:030 1234\r\nEND:VCARD\r\n");
    const TContacts expected{{Jurgen.FullName, "030 1234", "", "", ""}};
    EXPECT_EQ(ParseVCards(Utf16(card, true)), expected) << "a marked file's text is not in its CHARSET";
    EXPECT_EQ(ParseVCards(Utf16(card, false)), expected);

    // Read from a file, a UTF-16 vCard is told from a CSV file by its first line as well.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(ReadContactsFile(WriteFile(dir, "c.vcf", Utf16(card, false))), expected);
    EXPECT_EQ(ReadContactsFile(WriteFile(dir, "c.csv", Utf16(csv, true))), TContacts{Jurgen});
    EXPECT_EQ(ErrorOf([&] { ReadContactsFile(WriteFile(dir, "mark.csv", "\xFF\xFE")); }), "empty file");
    // A file longer than the piece converted at a time (a MiB), a letter of two UTF-16 units (a
    // mathematical A) cut between two pieces.
    const QString header = Utf8(GermanHeader) + u';';
    const qsizetype pieceUnits = 1 << 19;
    const QString name = QString(pieceUnits - 1 - header.size(), u'x') + QString::fromUcs4(U"\U0001D400");
    const TContacts read = ParseOutlookCsv(Utf16(header + name + ";;;;1;;;;\r\n;B;;;;2;;;;\r\n", true));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_TRUE(read[0].UnicodeName.endsWith(QString::fromUcs4(U"x\U0001D400"))) << "not two halves";
    EXPECT_EQ(read[1], (TContact{"B", "2", "", "", ""}));
}

TEST(ContactsEncoding, SeparatorIsTheOneTheHeaderHoldsMost) {
    const QByteArray german = QByteArray(GermanHeader) +
                              ";J\xC3\xBCrgen;;M\xC3\xBCller;\"Ko, Li\";030 1234;030 5678;"
                              "0171 9;0800 1;jm@example.com\r\n";
    EXPECT_EQ(ParseOutlookCsv("\xEF\xBB\xBF" + german), TContacts{Jurgen}) << "UTF-8 with its mark";
    EXPECT_EQ(ParseOutlookCsv(german), TContacts{Jurgen}) << "UTF-8 without it";
    QByteArray tabs = german;
    tabs.replace(';', '\t');
    EXPECT_EQ(ParseOutlookCsv(tabs), TContacts{Jurgen}) << "Outlook's tab separated export";
    // A comma in a name does not make the header comma separated; one outside quotes does not either
    // when it holds more semicolons.
    EXPECT_EQ(ParseOutlookCsv("\"Name, full\";\"Home Phone\"\n\"A\";1\n"),
              (TContacts{{"", "", "1", "", ""}}));
    EXPECT_EQ(ParseOutlookCsv("Name;Home Phone;Note, more\nA, B;1;x\n"),
              (TContacts{{"A, B", "", "1", "", ""}}));
    // Blanks before a quoted field are dropped, but a tab separates.
    EXPECT_EQ(ParseOutlookCsv("Name\tMobile Phone\n\t \"5\"\n"), (TContacts{{"", "", "", "", "5"}}));
}

TEST(ContactsEncoding, FrenchHeadersInWindows1252AndUtf8) {
    // "Titre;Pr\xE9nom;Deuxi\xE8me pr\xE9nom;Nom;...": the French names, brackets and all.
    const QByteArray french =
        "Titre;Pr\xE9nom;Deuxi\xE8me pr\xE9nom;Nom;Soci\xE9t\xE9;T\xE9l\xE9phone (bureau);"
        "T\xE9l\xE9phone 2 (bureau);T\xE9l\xE9phone (domicile);T\xE9l. mobile;T\xE9l\xE9phone principal\r\n"
        "M.;Fran\xE7ois;Xavier;L\x9C"
        "uvre;;01 23;09 99;04 56;06 78;08 90\r\n";
    const TContacts expected{{"Fran\xE7ois Xavier L\x9Cuvre", "01 23", "04 56", "08 90", "06 78"}};
    EXPECT_EQ(ParseOutlookCsv(french), expected) << "Windows-1252, taken byte for byte";
    const TContacts inUtf8 = ParseOutlookCsv("\xEF\xBB\xBF" + FromAnsi(french.toStdString()).toUtf8());
    EXPECT_EQ(inUtf8, expected);
    EXPECT_TRUE(inUtf8.front().UnicodeName.isEmpty()) << "\xC3\xA7 and \xC5\x93 are in the code page";
    // The headers' case and spacing do not matter, nor the brackets the brief forms leave out.
    EXPECT_EQ(ParseOutlookCsv("NOM , t\xC3\x89L\xC3\x89PHONE  BUREAU\nDurand,1\n"),
              (TContacts{{"Durand", "1", "", "", ""}}));
}

TEST(ContactsEncoding, AFileWithoutTelephoneColumnsIsNamedAsSuch) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // German column names, but none of a telephone.
    const std::string noPhones =
        WriteFile(dir, "kontakte.csv", "Vorname;Nachname;E-Mail-Adresse\r\nA;B;c@d\r\n");
    for (const std::string& path : {noPhones}) {
        TContactsImport import(200);
        try {
            import.AddFile(path);
            ADD_FAILURE() << path << " was read";
        } catch (const EContactsFileError& e) {
            EXPECT_STREQ(e.what(), NoTelephoneColumns);
            EXPECT_EQ(ContactsFileMessage(path, e),
                      path +
                          " has no telephone columns: none of its column names is Business Phone, Home "
                          "Phone, Primary Phone or Mobile Phone, as Outlook names them in English, German, "
                          "French, Spanish, Dutch or Italian, nor a telephone column of a Thunderbird or "
                          "Google export.");
        }
    }
    // The UTF-16 of a file without its mark is read as such, and said.
    QStringEncoder encoder(QStringConverter::Utf16LE);
    const std::string unmarked =
        WriteFile(dir, "unmarked.csv", encoder.encode(u"Name,Home Phone\r\nA,1\r\n"));
    TContactsImport import(200);
    import.AddFile(unmarked);
    EXPECT_EQ(import.Entries(), 1);
    EXPECT_EQ(import.Report(std::nullopt),
              std::vector<std::string>{"Read as UTF-16LE: the file has no byte order mark."});
    EXPECT_EQ(ContactsFileMessage("cut.csv", EContactsFileError("unterminated quoted field")),
              "cut.csv cannot be imported: unterminated quoted field.");
}

TEST(Transliterated, AccentsTheCodePageLacksGoAndLettersWithoutOneTakeTheirLook) {
    const std::pair<const char*, const char*> cases[] = {
        {"Ren\xC3\xA9 \xC5\x92uvre \xC3\x98ster Stra\xC3\x9F"
         "e",
         "Ren\xC3\xA9 \xC5\x92uvre \xC3\x98ster Stra\xC3\x9F"
         "e"},
        {"\xC5\x81ukasz Wa\xC5\x82\xC4\x99sa", "Lukasz Walesa"}, // L with stroke, e with ogonek
        {"Erd\xC5\x91s P\xC3\xA1l", "Erdos P\xC3\xA1l"},         // o with double acute; a acute stays
        {"\xC4\x90or\xC4\x91"
         "e \xC5\xA0o\xC5\xA1i\xC4\x87",
         "Dorde \xC5\xA0o\xC5\xA1ic"},                              // S caron is in it
        {"\xC5\x9Etefan \xC4\xB1\xC5\x9F\xC4\xB1k", "Stefan isik"}, // S cedilla, dotless i
        {"Nguy\xE1\xBB\x85n Th\xE1\xBB\x8B Ph\xC6\xB0\xC6\xA1ng",
         "Nguy\xC3\xAAn Thi Phuong"},              // keeps the circumflex
        {"Jose\xCC\x81", "Jos\xC3\xA9"},           // a decomposed accent is composed
        {"\xEF\xAC\x81nn \xEF\xBC\xA1", "finn A"}, // ligature fi, full-width A
        {"\xE6\x97\xA5\xE6\x9C\xAC \xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD",
         "\xE6\x97\xA5\xE6\x9C\xAC \xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"},
        {"\xF0\x9D\x90\x80l \xF0\x9F\x98\x80", "Al \xF0\x9F\x98\x80"}, // a mathematical A; an emoji stays
    };
    for (const auto& [name, nearest] : cases)
        EXPECT_EQ(Transliterated(Utf8(name)), Utf8(nearest)) << name;
}

TEST(ContactsImport, NamesTheCodePageLacksAreCountedNamedAndTransliteratedOnRequest) {
    const QByteArray csv = "Name,Business Phone,Home Phone\n"
                           "\xC5\x81ukasz Nowak,1,2\n"       // lines 1 and 2
                           "Ren\xC3\xA9,3,\n"                // in the code page
                           "\xE6\x97\xA5\xE6\x9C\xAC,4,\n"   // no nearer letters
                           "Erd\xC5\x91s \xE6\x97\xA5,5,\n"; // nearer letters for a part
    TContactsImport import(200);
    for (TContact& contact : ParseOutlookCsv(csv))
        import.Add(contact);
    EXPECT_EQ(import.NamesNotInCodePage(), (std::vector<int>{0, 1, 3, 4}));
    EXPECT_EQ(import.NamesInLines(import.NamesNotInCodePage(), TNameBytes::Utf8),
              "\"\xC5\x81ukasz Nowak\" (lines 1 to 2), \"\xE6\x97\xA5\xE6\x9C\xAC\" (line 4), "
              "\"Erd\xC5\x91s \xE6\x97\xA5\" (line 5)");
    EXPECT_EQ(import.NamesInLines(import.NamesNotInCodePage(), TNameBytes::CodePage, 2),
              "\"?ukasz Nowak\" (lines 1 to 2), \"??\" (line 4) and 1 more");
    EXPECT_EQ(
        import.TransliterationQuestion(),
        "Names with characters the handset does not have: 4, the first in line 1. The handset shows \"?\" "
        "for each of those characters.\r\rWrite the names with the nearest letters the handset has? "
        "Line 1 would read \"Lukasz Nowak\".");
    EXPECT_EQ(import.Report(std::nullopt), std::vector<std::string>{}) << "nothing asked, nothing said";

    EXPECT_EQ(import.TransliterateNames(), 2) << "the two entries of Lukasz Nowak are whole now";
    TPP5Phonebook book;
    book.SetCount(200);
    import.FillPhonebook(book, nullptr);
    EXPECT_EQ(book.GetName(0), "Lukasz Nowak");
    EXPECT_EQ(book.GetName(2), "Ren\xE9");
    EXPECT_EQ(book.GetName(3), "??");
    EXPECT_EQ(book.GetName(4), "Erdos ?");
    EXPECT_EQ(import.Report(std::nullopt, 2, TNameBytes::Utf8),
              (std::vector<std::string>{
                  "Names written with the nearest letters the handset has: 2.",
                  "Names with characters the handset has no letter for, shown as \"?\": 2, "
                  "\"\xE6\x97\xA5\xE6\x9C\xAC\" (line 4), \"Erdos \xE6\x97\xA5\" (line 5)."}));
    EXPECT_EQ(import.TransliterationQuestion(), "") << "nothing nearer is left to offer";
    EXPECT_EQ(import.TransliterateNames(), 0);
}

} // namespace
