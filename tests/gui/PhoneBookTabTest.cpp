// The phone book tab in the main window offscreen: the buttons against the virtual handset, the file
// entries and the contacts import, with the grid and the table kept together.
#include "support/FileChoosingForm.h"
#include "support/HandsetProcess.h"
#include "support/ModalAnswerer.h"
#include "support/ProgramFolderOverride.h"
#include "support/ShownWindow.h"
#include "support/WaitFor.h"

#include "link/ConnectionSettings.h"
#include "windows/MainUnit.h"
#include "windows/PhoneBookGrid.h"
#include "windows/PhoneBookTab.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct PhoneBookTab : TWindowFixture {
    PhoneBookTab()
        : TWindowFixture("PHONE_BOOK=ON\r\n") {}
    static QString Cell(TMainForm& form, int col, int row) {
        const QTableWidgetItem* item = form.PhoneBook().Grid()->item(row, col);
        return item ? item->text() : QString();
    }
    QString Write(const char* name, const QByteArray& text) { return WriteFile(name, text); }
    // The write mode dialog answered with replace.
    static TModalAnswerer::TDialogAnswer Replace() { return WriteModeChoice(1); }
};

} // namespace

TEST_F(PhoneBookTab, ReadShowsTheHandsetListInRowsOfItsCapacity) {
    THandsetProcess handset({"--phonebook-entries", "3", "--capacity", "80"});
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    EXPECT_EQ(form->PhoneBook().Grid()->rowCount(), 201);

    TModalAnswerer answerer;
    Click(*form, "bbtnLoadFromPp");
    EXPECT_TRUE(answerer.Texts.empty()) << answerer.Texts.front().toStdString();
    EXPECT_EQ(form->PhoneBook().Grid()->rowCount(), 81);
    EXPECT_EQ(Cell(*form, 1, 1), "Name 001");
    EXPECT_EQ(Cell(*form, 2, 3), "5550003");
    EXPECT_EQ(Cell(*form, 1, 4), "");
    EXPECT_EQ(Status(*form), "Finished reading from handset! - 1 sec");
    EXPECT_FALSE(form->Busy());
    EXPECT_FALSE(progress.isVisible());
}

TEST_F(PhoneBookTab, AWriteThatStopsLeavesTheFailingRowYellow) {
    // Connection (6 frames), the (empty) list read, delete, the first entry; the handset hangs up as the
    // second begins.
    THandsetProcess handset({"--hangup-after", "10"});
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    TPP5Phonebook& book = form->Core().Phonebook;
    for (int i = 0; i < 3; ++i) {
        book.SetName(uint16_t(i), "N" + std::to_string(i));
        book.SetNumber(uint16_t(i), std::to_string(100 + i));
    }
    form->PhoneBook().Grid()->ShowAll();

    TModalAnswerer answerer(QMessageBox::Ok, Replace());
    Click(*form, "bbtnSaveToPp");
    ASSERT_FALSE(answerer.Texts.empty());
    // The cause first, on a line of its own, then what the write did and what the handset holds.
    const QString cause = QString("The docking station on COM%1 went away (the device was removed or "
                                  "switched off).\nCould not write Phone Book!")
                              .arg(handset.ComNumber());
    EXPECT_TRUE(answerer.Texts.back().startsWith(cause)) << answerer.Texts.back().toStdString();
    EXPECT_TRUE(answerer.Texts.back().endsWith("What the handset holds now could not be read back."))
        << answerer.Texts.back().toStdString();
    EXPECT_EQ(form->RowColour(1), TRowColour::Window);
    EXPECT_EQ(form->RowColour(2), TRowColour::Yellow);
    EXPECT_EQ(form->RowColour(3), TRowColour::Window);
    EXPECT_FALSE(form->Busy());
}

TEST_F(PhoneBookTab, FilesAndTheContactsImportFillGridAndTable) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset, {"quorvel", "-outlook"});
    TPP5Phonebook& book = form->Core().Phonebook;
    QString& answer = form->Chosen;

    answer = Write("in.phb", "Smith, John,01-23\r\n\r\nBob,5\r\n");
    form->findChild<QAction*>("miOpenPhoneBook")->trigger();
    EXPECT_EQ(Cell(*form, 1, 1), "Smith, John");
    EXPECT_EQ(Cell(*form, 2, 1), "01P23");
    EXPECT_EQ(Cell(*form, 1, 3), "Bob");
    EXPECT_EQ(Status(*form), "Finished reading from file: " + answer);

    answer = dir.filePath("out.phb");
    form->findChild<QAction*>("miSavePhoneBookAs")->trigger();
    QFile saved(answer);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "Smith, John,01P23\r\nBob,5\r\n");

    answer = Write("contacts.csv", "First Name,Last Name,Business Phone,Mobile Phone\r\n"
                                   "Alexandra Katharina,Lindqvist-Oberg,+45 12 34-56 78,20 30 40 50\r\n");
    {
        // The offer to make the "+" number dialable, declined: the numbers stay as the import gave them.
        TModalAnswerer decline(QMessageBox::Cancel);
        form->findChild<QAction*>("miOutlookContacts")->trigger();
        ASSERT_EQ(decline.Texts.size(), 1u);
        EXPECT_TRUE(
            decline.Texts[0].startsWith("Numbers the handset cannot store as they are: 1, the first in "
                                        "line 1."));
    }
    EXPECT_EQ(Cell(*form, 1, 1), "Alexandra Katharina Lindqvist-Oberg");
    EXPECT_EQ(book.GetName(0), "Alexandra Katharina Lind");
    EXPECT_EQ(Cell(*form, 2, 1), "+451234P5678");
    EXPECT_EQ(Cell(*form, 2, 2), "20304050");
    EXPECT_EQ(Cell(*form, 1, 3), "");
    EXPECT_EQ(Status(*form), "");

    // A file that is no contacts file: the box, and the grid stays emptied.
    answer = Write("broken.csv", QByteArray("\x00\x01\x02garbage", 10));
    TModalAnswerer answerer;
    form->findChild<QAction*>("miOutlookContacts")->trigger();
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_EQ(answerer.Texts[0], answer +
                                     " has no telephone columns: none of its column names is Business Phone, "
                                     "Home Phone, Primary Phone or Mobile Phone, as Outlook names them in "
                                     "English, German, French, Spanish, Dutch or Italian, nor a telephone "
                                     "column of a Thunderbird or Google export.");
    EXPECT_EQ(Cell(*form, 1, 1), "");
    EXPECT_EQ(book.CountNumbers(), 0);

    book.SetNumber(4, "77");
    form->PhoneBook().Grid()->ShowAll();
    Click(*form, "bbtnCleanGrid");
    EXPECT_EQ(book.CountNumbers(), 0);
    EXPECT_EQ(Cell(*form, 2, 5), "");
    EXPECT_EQ(Cell(*form, 0, 5), "5");
}

TEST_F(PhoneBookTab, LinesAFileCannotGiveAreNamedWhenItIsOpened) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    form->Chosen =
        Write("odd.phb", "J\xC3\xBCrgen,1\r\nno comma\r\nLong," + QByteArray(24, '7') + "\r\nBob,5\r\n");
    TModalAnswerer answerer;
    form->findChild<QAction*>("miOpenPhoneBook")->trigger();
    EXPECT_EQ(Cell(*form, 1, 1), QString::fromUtf8("J\xC3\xBCrgen"));
    EXPECT_EQ(Cell(*form, 1, 3), "");
    EXPECT_EQ(Cell(*form, 2, 3), "") << "a number cut to 23 digits would dial someone else";
    EXPECT_EQ(Cell(*form, 1, 4), "Bob");
    EXPECT_EQ(Status(*form), "Finished reading from file: " + form->Chosen + " - 2 lines not taken");
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_EQ(answerer.Texts[0],
              "line 2: no comma between name and number, not taken\nline 3: the number has more "
              "than 23 digits, which the handset cannot store, not taken");
}

TEST_F(PhoneBookTab, TheImportOffersToMakeNumbersDialableAndSaysWhatDidNotFit) {
    THandsetProcess handset({"--capacity", "3"});
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset, {"quorvel", "-outlook"});
    TPP5Phonebook& book = form->Core().Phonebook;
    {
        TModalAnswerer answerer;
        Click(*form, "bbtnLoadFromPp"); // the grid follows the handset's capacity of 3
    }
    ASSERT_EQ(form->PhoneBook().Grid()->rowCount(), 4);

    form->Chosen = Write("contacts.csv", "First Name,Business Phone,Home Phone,Mobile Phone\r\n"
                                         "Ann,(030) 555-1234,030 555 P 12,\r\n"
                                         "Bo,+49 (30) 1234,2,3\r\n");
    TModalAnswerer answerer(QMessageBox::Ok);
    form->findChild<QAction*>("miOutlookContacts")->trigger();
    ASSERT_EQ(answerer.Texts.size(), 2u);
    EXPECT_TRUE(answerer.Texts[0].contains("A leading \"+\" becomes \"00\""))
        << answerer.Texts[0].toStdString();
    EXPECT_EQ(answerer.Texts[1],
              "Numbers made dialable: 2.\nThe phone book's 3 entries are full. Numbers not "
              "taken: 2, from contacts: 1.\nContacts read: 2. Numbers found: 5 = entries: 3 + not taken: 2 "
              "(no room in the phone book: 2).");
    EXPECT_EQ(book.GetNumber(0), "0305551234");
    EXPECT_EQ(book.GetNumber(1), "030555P12") << "a pause stays";
    EXPECT_EQ(book.GetNumber(2), "0049301234");
    EXPECT_EQ(Cell(*form, 2, 1), "0305551234");
    EXPECT_EQ(Cell(*form, 2, 3), "0049301234");
    EXPECT_EQ(Cell(*form, 1, 3), "Bo");
    EXPECT_EQ(TPhonebookTransfer::FirstUnstorableNumber(book), -1);
    EXPECT_FALSE(form->Busy());
}

// The window closed during a write: asked, the write stops between two entries, says what the handset
// holds, and only then the window closes.
TEST_F(PhoneBookTab, ClosingDuringAWriteStopsItBetweenEntriesFirst) {
    THandsetProcess handset({"--answer-delay", "20"});
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset);
    TPP5Phonebook& book = form->Core().Phonebook;
    for (int i = 0; i < 150; ++i) {
        book.SetName(uint16_t(i), "N" + std::to_string(i));
        book.SetNumber(uint16_t(i), std::to_string(1000 + i));
    }
    form->PhoneBook().Grid()->ShowAll();
    TModalAnswerer answerer(QMessageBox::Ok, Replace());
    QTimer::singleShot(1500, form.get(), [&form] { form->close(); });
    Click(*form, "bbtnSaveToPp");
    WaitFor([&] { return !form->isVisible(); });
    ASSERT_GE(answerer.Texts.size(), 2u);
    EXPECT_TRUE(std::any_of(answerer.Texts.begin(), answerer.Texts.end(), [](const QString& text) {
        return text.startsWith("An operation on the handset is running.");
    }));
    EXPECT_TRUE(answerer.Texts.back().contains("The handset now holds"))
        << answerer.Texts.back().toStdString();
    EXPECT_FALSE(form->isVisible()) << "closed once the write had stopped";
}

// Names with characters the handset lacks: the offer to write the nearest letters, declined and taken, and
// names with no nearer letters named without an offer.
TEST_F(PhoneBookTab, TheImportOffersToTransliterateNamesAndSaysWhichItCouldNot) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset, {"quorvel", "-outlook"});
    TPP5Phonebook& book = form->Core().Phonebook;
    form->Chosen = Write("kontakte.csv", QByteArray("\xEF\xBB\xBF") + "Vorname;Nachname;Mobiltelefon\r\n"
                                                                      "\xC5\x81ukasz;Nowak;1\r\n"
                                                                      "\xE6\x97\xA5\xE6\x9C\xAC;;2\r\n");
    {
        TModalAnswerer decline(QMessageBox::Cancel);
        form->findChild<QAction*>("miOutlookContacts")->trigger();
        ASSERT_EQ(decline.Texts.size(), 1u);
        EXPECT_TRUE(
            decline.Texts[0].startsWith("Names with characters the handset does not have: 2, the first in "
                                        "line 1."))
            << decline.Texts[0].toStdString();
        EXPECT_TRUE(decline.Texts[0].endsWith("Line 1 would read \"Lukasz Nowak\"."))
            << decline.Texts[0].toStdString();
    }
    EXPECT_EQ(book.GetName(0), "?ukasz Nowak");
    EXPECT_EQ(Cell(*form, 1, 1), "?ukasz Nowak");
    {
        TModalAnswerer accept(QMessageBox::Ok);
        form->findChild<QAction*>("miOutlookContacts")->trigger();
        ASSERT_EQ(accept.Texts.size(), 2u);
        EXPECT_EQ(accept.Texts[1],
                  "Names written with the nearest letters the handset has: 1.\nNames with characters "
                  "the handset has no letter for, shown as \"?\": 1, \"??\" (line 2).\nContacts read: 2. "
                  "Numbers found: 2 = entries: 2 + not taken: 0.");
    }
    EXPECT_EQ(book.GetName(0), "Lukasz Nowak");
    EXPECT_EQ(Cell(*form, 1, 1), "Lukasz Nowak");
    EXPECT_EQ(Cell(*form, 1, 2), "??");
    form->Chosen = Write("cn.csv", "\xEF\xBB\xBFName,Home Phone\r\n\xE6\x97\xA5\xE6\x9C\xAC,3\r\n");
    {
        TModalAnswerer answerer;
        form->findChild<QAction*>("miOutlookContacts")->trigger();
        ASSERT_EQ(answerer.Texts.size(), 1u);
        EXPECT_EQ(answerer.Texts[0],
                  "Names with characters the handset has no letter for, shown as \"?\": 1, \"??\" (line 1).\n"
                  "Contacts read: 1. Numbers found: 1 = entries: 1 + not taken: 0.");
    }
    EXPECT_FALSE(form->Busy());
}

// A number not taken is always said, with the count that adds up: a fax, which is named only in the count,
// and the number of a card nested in another, which is named one by one.
TEST_F(PhoneBookTab, TheImportSaysEveryNumberNotTakenAndEndsWithTheCount) {
    THandsetProcess handset;
    ASSERT_TRUE(handset.Started());
    auto form = Window(handset, {"quorvel", "-outlook"});
    form->Chosen = Write("cards.vcf", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Maja\r\nAGENT:\r\nBEGIN:VCARD\r\n"
                                      "FN:Per\r\nTEL;WORK:555 01\r\nEND:VCARD\r\nTEL;WORK;FAX:555 02\r\n"
                                      "TEL;HOME:555 03\r\nEND:VCARD\r\n");
    TModalAnswerer answerer;
    form->findChild<QAction*>("miOutlookContacts")->trigger();
    ASSERT_EQ(answerer.Texts.size(), 1u);
    EXPECT_EQ(
        answerer.Texts[0],
        "Number not taken, of a card nested in the contact's: \"Maja\" (work) 555 01.\nContacts read: 1. "
        "Numbers found: 3 = entries: 1 + not taken: 2 (fax, pager or telex: 1; of a card nested in the "
        "contact's: 1).");
    EXPECT_EQ(Cell(*form, 2, 1), "55503");
    EXPECT_FALSE(form->Busy());
}
