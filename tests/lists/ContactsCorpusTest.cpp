// Every number of every contact accounted for: contact files of the shapes exporters write, replayed
// into a phone book beside the .phb and the report each must give, and generated vCards whose numbers
// must all be entries or numbers not taken for a reason.
#include "lists/ContactNumbers.h"
#include "lists/ContactsImport.h"
#include "lists/ContactsText.h"
#include "lists/ContactsVcard.h"
#include "lists/PP5Phonebook.h"
#include "lists/PhonebookFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <random>

namespace {

// ---- The corpus --------------------------------------------------------------------------------------

// "name.report", or "name.OPTION.report" with OPTION "all-numbers", "dialable" or "entries-N": the
// import of name.vcf or name.csv as `phonebook import` runs it with that option, expected to give
// "name[.OPTION].phb" and to end with the lines of the report.
struct TCorpusCase {
    QString Expected; // the path without ".report"
    QString Contacts;
    bool AllNumbers = false, Dialable = false;
    int Entries = 200;
};

const QDir Corpus(QStringLiteral(QUORVEL_CONTACTS_CORPUS));

std::vector<TCorpusCase> CorpusCases() {
    std::vector<TCorpusCase> cases;
    for (const QString& report : Corpus.entryList({"*.report"}, QDir::Files, QDir::Name)) {
        TCorpusCase c;
        c.Expected = Corpus.filePath(report.chopped(7));
        QStringList parts = report.chopped(7).split(u'.');
        const QString stem = parts.takeFirst();
        for (const QString& option : parts) {
            c.AllNumbers = c.AllNumbers || option == "all-numbers";
            c.Dialable = c.Dialable || option == "dialable";
            if (option.startsWith("entries-"))
                c.Entries = option.mid(8).toInt();
        }
        for (const char* extension : {".vcf", ".csv"})
            if (Corpus.exists(stem + extension))
                c.Contacts = Corpus.filePath(stem + extension);
        cases.push_back(c);
    }
    return cases;
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

class ContactsCorpus : public testing::TestWithParam<TCorpusCase> {};

TEST_P(ContactsCorpus, GivesItsPhoneBookAndItsReport) {
    const TCorpusCase& c = GetParam();
    ASSERT_FALSE(c.Contacts.isEmpty()) << "no contacts file for " << c.Expected.toStdString();
    TPP5Phonebook book;
    book.SetCount(uint8_t(c.Entries));
    TContactsImport import(book.Count(), c.AllNumbers);
    import.AddFile(c.Contacts.toStdString());
    std::optional<int> madeDialable;
    if (c.Dialable)
        madeDialable = import.MakeNumbersDialable(DefaultInternationalPrefix);
    import.FillPhonebook(book, {});
    std::string report;
    for (const std::string& line :
         import.Report(madeDialable, std::nullopt, TNameBytes::Utf8, TContactsImport::ListedKept))
        report += line + "\n";
    report += import.Summary() + "\n";
    const std::string phb = PhonebookFileText(book);

    // Set to write the expectations of a new case, to be read through before they are kept.
    if (qEnvironmentVariableIsSet("QUORVEL_WRITE_CONTACTS_CORPUS")) {
        QFile out(c.Expected + ".phb");
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(phb.data(), qint64(phb.size()));
        QFile lines(c.Expected + ".report");
        ASSERT_TRUE(lines.open(QIODevice::WriteOnly));
        lines.write(report.data(), qint64(report.size()));
        return;
    }
    EXPECT_EQ(phb, Contents(c.Expected + ".phb").toStdString());
    EXPECT_EQ(report, Contents(c.Expected + ".report").toStdString());
    EXPECT_EQ(import.NumbersFound(), import.Entries() + import.NumbersNotTaken());
    EXPECT_EQ(book.CountNumbers(), import.Entries());
}

INSTANTIATE_TEST_SUITE_P(Files, ContactsCorpus, testing::ValuesIn(CorpusCases()),
                         [](const testing::TestParamInfo<TCorpusCase>& info) {
                             QString name = QFileInfo(info.param.Expected).fileName();
                             name.replace(QRegularExpression("[^A-Za-z0-9]"), "_");
                             return name.toStdString();
                         });

// ---- Any vCard ----------------------------------------------------------------------------------------

// A vCard file made up from the pieces exporters use, and how many numbers and contacts it holds.
struct TGeneratedFile {
    QByteArray Text;
    int Numbers = 0;
    int Contacts = 0;
};

class TVCardMaker {
public:
    explicit TVCardMaker(unsigned seed)
        : Random(seed) {}

    TGeneratedFile File() {
        TGeneratedFile file;
        const int cards = Pick(5);
        for (int k = 0; k < cards; ++k) {
            Card(file, 0, k + 1 == cards && Pick(4) == 0);
            ++file.Contacts;
        }
        if (file.Contacts == 0) { // a file needs a card
            Card(file, 0, false);
            ++file.Contacts;
        }
        return file;
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(Random); }

    QByteArray Group() {
        static const char* const groups[] = {"", "", "item1.", "home.", "A-2."};
        return groups[Pick(5)];
    }

    // A number, often one of a few so that a card repeats some, sometimes a tel: URI with an extension.
    QByteArray Number() {
        static const char* const numbers[] = {"030 555 01", "+49 30 555-02", "(030) 555 03", "0171 55504",
                                              "555-05",     "030 555 01",    "+1 418 555 06"};
        if (Pick(6) == 0)
            return "tel:+1-418-555-" + QByteArray::number(100 + Pick(3)) + (Pick(2) ? ";ext=12" : "");
        return numbers[Pick(7)];
    }

    void Card(TGeneratedFile& file, int depth, bool withoutEnd) {
        static const char* const versions[] = {"2.1", "3.0", "4.0"};
        static const char* const types[] = {
            "",           ";TYPE=work",          ";TYPE=home", ";CELL",       ";VOICE",    ";TYPE=pref",
            ";FAX",       ";TYPE=fax,voice,msg", ";homefax",   ";TYPE=pager", ";TYPE=car", ";TYPE=x-custom",
            ";WORK;CELL", ";TYPE=\"home,pref\"", ";PREF=1",    ";TYPE=main"};
        QByteArray& t = file.Text;
        t += Group() + (Pick(2) ? "BEGIN:VCARD\r\n" : "begin:vcard\r\n");
        t += Group() + "VERSION:" + versions[Pick(3)] + "\r\n";
        t += Group() + "FN:Person " + QByteArray::number(Pick(1000)) + "\r\n";
        const int tels = Pick(9);
        for (int i = 0; i < tels; ++i) {
            if (Pick(10) == 0) { // no number: nothing found
                t += Group() + "TEL;TYPE=home:\r\n";
                continue;
            }
            const QByteArray number = Number();
            const QByteArray value = number.startsWith("tel:") ? ";VALUE=uri:" + number : ":" + number;
            // Sometimes folded in the middle of the number.
            QByteArray line = Group() + "TEL" + types[Pick(16)] + value;
            if (Pick(5) == 0)
                line.insert(line.size() - 2, "\r\n ");
            t += line + "\r\n";
            ++file.Numbers;
            // A nested card: an agent's, or one the card goes on after and ends (in a card without END it
            // would be a card of its own that followed).
            if (depth < 2 && Pick(12) == 0) {
                t += withoutEnd || Pick(2) ? "AGENT:\r\n" : "";
                Card(file, depth + 1, false);
            }
        }
        if (!withoutEnd)
            t += Group() + "END:VCARD\r\n";
    }

    std::mt19937 Random;
};

// The counts of a summary, read back from its text.
struct TSummaryCounts {
    int Contacts = -1, Found = -1, Entries = -1, NotTaken = -1, Reasons = 0;
};

TSummaryCounts ReadSummary(const std::string& summary) {
    static const QRegularExpression pattern(
        QStringLiteral("^Contacts read: (\\d+)\\. Numbers found: (\\d+) = entries: (\\d+) \\+ not taken: "
                       "(\\d+)(?: \\((.*)\\))?\\.$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromStdString(summary));
    TSummaryCounts counts;
    if (!match.hasMatch())
        return counts;
    counts.Contacts = match.captured(1).toInt();
    counts.Found = match.captured(2).toInt();
    counts.Entries = match.captured(3).toInt();
    counts.NotTaken = match.captured(4).toInt();
    for (const QString& reason : match.captured(5).split(u';', Qt::SkipEmptyParts))
        counts.Reasons += reason.section(u':', -1).trimmed().toInt();
    return counts;
}

TEST(ContactsAccounting, EveryNumberOfAnyVCardIsAnEntryOrNotTakenForAReason) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        const TGeneratedFile file = TVCardMaker(seed).File();
        SCOPED_TRACE("seed " + std::to_string(seed) + ":\n" + file.Text.toStdString());
        const bool allNumbers = seed % 2 == 0;
        TContactsImport import(int(seed % 13), allNumbers);
        for (TContact& contact : ParseVCards(file.Text))
            import.Add(contact);

        EXPECT_EQ(import.Contacts(), file.Contacts);
        EXPECT_EQ(import.NumbersFound(), file.Numbers) << "a number of the file is not accounted for";
        const TSummaryCounts said = ReadSummary(import.Summary());
        EXPECT_EQ(said.Contacts, file.Contacts) << import.Summary();
        EXPECT_EQ(said.Found, said.Entries + said.NotTaken) << import.Summary();
        EXPECT_EQ(said.NotTaken, said.Reasons) << import.Summary();
        EXPECT_EQ(said.Entries, import.Entries());
        if (allNumbers) {
            EXPECT_EQ(import.NumbersNotTaken(TNumberLeftOut::Extra), 0) << "--all-numbers takes them";
        }
        TPP5Phonebook book;
        book.SetCount(200);
        import.FillPhonebook(book, {});
        EXPECT_EQ(book.CountNumbers(), import.Entries());
    }
}

// ---- The rules the corpus rests on ---------------------------------------------------------------------

TEST(ContactNumbers, AVoiceNumberFillsOneEntryAndTheRestAreOthersWithTheirReason) {
    auto number = [](const char* n, const char* type, bool work, bool home, bool mobile, bool notVoice) {
        TFoundNumber found;
        found.Number = n;
        found.Type = type;
        found.Work = work;
        found.Home = home;
        found.Mobile = mobile;
        found.NotVoice = notVoice;
        found.Untyped = !work && !home && !mobile;
        return found;
    };
    const std::vector<TFoundNumber> numbers = {
        number("1", "fax", true, false, false, true),     number("2", "mobile", false, false, true, false),
        number("3", "mobile", false, false, true, false), number("2", "work", true, false, false, false),
        number("4", "other", false, false, false, false), number("5", "other", false, false, false, false)};
    TContact once;
    AssignNumbers(once, numbers, true);
    EXPECT_EQ(once.Business, "") << "a fax is no entry; the work number is the mobile one";
    EXPECT_EQ(once.Mobile, "2");
    EXPECT_EQ(once.Primary, "4");
    ASSERT_EQ(once.Others.size(), 4u);
    EXPECT_EQ(once.Others[0].Why, TNumberLeftOut::NotVoice);
    EXPECT_EQ(once.Others[1].Why, TNumberLeftOut::Extra);
    EXPECT_EQ(once.Others[1].Type, "mobile");
    EXPECT_EQ(once.Others[2].Why, TNumberLeftOut::Repeated);
    EXPECT_EQ(once.Others[3].Number, "5");

    // Outlook's columns each give their entry, the same number or not.
    TContact columns;
    AssignNumbers(columns, numbers, false);
    EXPECT_EQ(columns.Business, "2");
    EXPECT_EQ(columns.Mobile, "2");
}

TEST(ContactNumbers, ATelUriKeepsItsExtensionAfterAPause) {
    bool extension = false;
    EXPECT_EQ(TelUriNumber("+1-418-656-9254;ext=102", &extension), "+14186569254P102");
    EXPECT_TRUE(extension);
    EXPECT_EQ(TelUriNumber("+1-418-656-9254;EXT=1-02;isub=5", &extension), "+14186569254P102");
    EXPECT_EQ(TelUriNumber("7042;phone-context=example.com", &extension), "7042");
    EXPECT_FALSE(extension);
    EXPECT_EQ(TelUriNumber("+1 555 0001;ext=", &extension), "+1 555 0001") << "no digits, no pause";
    EXPECT_EQ(TelUriNumber("+1 555 0001;ext=12a", &extension), "+1 555 0001");
    EXPECT_FALSE(extension);
}

TEST(ContactNumbers, AnExtensionWrittenAfterTheNumberIsDialledAfterAPause) {
    bool extension = false;
    for (const auto& [written, dialled] : {std::pair{"+1 418 656 9254 ext. 102", "+1 418 656 9254P102"},
                                           {"555-1234 x12", "555-1234P12"},
                                           {"5551234x12", "5551234P12"},
                                           {"0301234 Extension: 5", "0301234P5"},
                                           {"0301234, EXT 77", "0301234P77"}}) {
        EXPECT_EQ(WrittenExtension(written, &extension), dialled) << written;
        EXPECT_TRUE(extension) << written;
    }
    for (const char* plain :
         {"0301234", "+49 30 1234", "ext. 5", "0301234 ext.", "0301234 box 5", "12 next 5"}) {
        EXPECT_EQ(WrittenExtension(plain, &extension), plain);
        EXPECT_FALSE(extension) << plain;
    }
}

TEST(ContactsEncoding, Utf16WithoutItsMarkIsToldFromOtherDataWithZeroBytes) {
    EXPECT_STREQ(UnmarkedUtf16(QByteArray("N\0a\0m\0e\0,\0", 10)), "UTF-16LE");
    EXPECT_STREQ(UnmarkedUtf16(QByteArray("\0N\0a\0m\0e\0,", 10)), "UTF-16BE");
    EXPECT_EQ(UnmarkedUtf16(QByteArray("\x00\x01\x02garbage", 10)), nullptr);
    EXPECT_EQ(UnmarkedUtf16(QByteArray(64, '\0')), nullptr) << "zeros in both halves";
    EXPECT_EQ(UnmarkedUtf16("Name,Home Phone\r\n"), nullptr);
    EXPECT_EQ(UnmarkedUtf16(QByteArray("\xFF\xFEN\0a\0", 6)), nullptr) << "marked: read by its mark";
}

} // namespace
