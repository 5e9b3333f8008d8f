#include "windows/PhoneBookTab.h"

#include "lists/ContactsImport.h"
#include "lists/PhonebookFile.h"
#include "platform/AnsiText.h"
#include "platform/CfgFiles.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Texts.h"
#include "windows/PhoneBookGrid.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

constexpr const char* FontSection = "Font";
constexpr const char* FontSizeKey = "Size";

} // namespace

TPhoneBookTab::TPhoneBookTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab({"tsPhoneBook", Texts::TabPhoneBook, "PHONE_BOOK", TListKind::PhoneBook}, core, ui, parent)
    , Transfer(core, ui, core.Phonebook) {
    sgPhoneBook = AddBusyControl(new TPhoneBookGrid(
        Core.Phonebook,
        [this](const std::string& text) { Ui.Message(TMessageKind::Error, text, TButtons::Ok); }, this));
    connect(sgPhoneBook, &TPhoneBookGrid::Edited, this, &TPhoneBookTab::ApplyGridFont);
    auto* operations = new QGroupBox(QString::fromUtf8(Texts::PhoneBookOperations), this);
    operations->setObjectName("gbPhoneBookOperations");
    auto* buttons = new QHBoxLayout(operations);
    buttons->addWidget(ReadButton(AddButton(operations, "bbtnLoadFromPp", Texts::ReadFromHandset,
                                            &TPhoneBookTab::bbtnLoadFromPpClick)));
    buttons->addWidget(
        AddButton(operations, "bbtnSaveToPp", Texts::WriteToHandset, &TPhoneBookTab::bbtnSaveToPpClick));
    buttons->addWidget(
        AddButton(operations, "bbtnDeleteInPp", Texts::DeleteInHandset, &TPhoneBookTab::bbtnDeleteInPpClick));
    buttons->addWidget(
        AddButton(operations, "bbtnCleanGrid", Texts::CleanGrid, &TPhoneBookTab::bbtnCleanGridClick));
    SheetLayout()->setAlignment(Qt::Alignment());
    SheetLayout()->addWidget(sgPhoneBook, 1);
    SheetLayout()->addWidget(operations);

    sgPhoneBook->ResetRowColours();
    sgPhoneBook->ResizePhonebook(TMainCore::StartPhonebookCount);
    sgPhoneBook->InitPhonebookGrid();
}

TPhoneBookTab::~TPhoneBookTab() = default;

void TPhoneBookTab::AddFileEntries(QMenu& file) {
    SetFileEntries(
        AddEntry(file, "miOpenPhoneBook", Texts::OpenPhoneBook, &TPhoneBookTab::miOpenPhoneBookClick),
        AddEntry(file, "miSavePhoneBookAs", Texts::SavePhoneBookAs, &TPhoneBookTab::miSavePhoneBookAsClick));
    AddFeatureSeparator(file, "N3");
}

void TPhoneBookTab::AddOptionEntries(QMenu& options) {
    AddEntry(options, "miFontDecrease", Texts::DecreaseFontSize, &TPhoneBookTab::miFontDecreaseClick, false);
    AddEntry(options, "miFontIncrease", Texts::IncreaseFontSize, &TPhoneBookTab::miFontIncreaseClick, false);
    N5 = options.addSeparator();
    N5->setObjectName("N5");
    miOutlookContacts = AddEntry(options, "miOutlookContacts", Texts::GetOutlookContacts,
                                 &TPhoneBookTab::miOutlookContactsClick, false);
}

void TPhoneBookTab::ApplySwitches(const QStringList& arguments) {
    ShowOutlookEntry(HasSwitch(arguments, "outlook"));
}

bool TPhoneBookTab::WindowShown() {
    RestoreGridFont();
    return true;
}

void TPhoneBookTab::ShowOutlookEntry(bool shown) {
    if (N5)
        N5->setVisible(shown);
    if (miOutlookContacts)
        miOutlookContacts->setVisible(shown);
}

void TPhoneBookTab::HandsetConnected(int phoneBookCapacity, uint8_t) {
    sgPhoneBook->ResizePhonebook(phoneBookCapacity);
}

void TPhoneBookTab::ShowListEntry(int entry) {
    if (entry == AllEntries) {
        sgPhoneBook->InitPhonebookGrid();
        sgPhoneBook->ShowAll();
    } else {
        sgPhoneBook->ShowPhonebookEntry(entry);
    }
}

void TPhoneBookTab::RestoreGridFont() {
    FontSize = TIniFile(ProgramIniPath()).ReadInteger(FontSection, FontSizeKey, FontSize);
    ApplyGridFont();
}

void TPhoneBookTab::ApplyGridFont() {
    sgPhoneBook->ApplyGridFont(FontSize);
    TIniFile(ProgramIniPath()).WriteInteger(FontSection, FontSizeKey, FontSize);
}

void TPhoneBookTab::miFontDecreaseClick() {
    FontSize = TPhoneBookGrid::FontSizeAfter(FontSize, false);
    ApplyGridFont();
}

void TPhoneBookTab::miFontIncreaseClick() {
    FontSize = TPhoneBookGrid::FontSizeAfter(FontSize, true);
    ApplyGridFont();
}

void TPhoneBookTab::bbtnLoadFromPpClick() {
    Transfer.LoadFromHandset();
    ApplyGridFont();
}

void TPhoneBookTab::bbtnSaveToPpClick() {
    Transfer.SaveToHandset();
}

void TPhoneBookTab::bbtnDeleteInPpClick() {
    Transfer.DeleteInHandset();
}

void TPhoneBookTab::bbtnCleanGridClick() {
    RunBusy(Ui, [this] {
        Ui.ShowStatus("");
        sgPhoneBook->ResetRowColours();
        Core.Phonebook.Clear();
        sgPhoneBook->InitPhonebookGrid();
    });
}

void TPhoneBookTab::miSavePhoneBookAsClick() {
    SavePhonebookAs(Ui, Core.Phonebook);
}

void TPhoneBookTab::miOpenPhoneBookClick() {
    if (OpenPhonebook(Ui, Core.Phonebook))
        ApplyGridFont();
}

void TPhoneBookTab::miOutlookContactsClick() {
    // Outlook's contacts come as the file it exports them to.
    const std::string path = Ui.AskFileName(false, Texts::ContactsFilter, "csv");
    if (path.empty())
        return;
    RunBusy(Ui, [this, &path] { ImportContacts(path); });
}

void TPhoneBookTab::ImportContacts(const std::string& path) {
    Ui.ShowStatus(Texts::ConnectingToOutlook);
    sgPhoneBook->ResetRowColours();
    TPP5Phonebook& book = Core.Phonebook;
    book.Clear();
    sgPhoneBook->InitPhonebookGrid();
    const auto showRow = [this](int entry, const std::string& fullName) {
        sgPhoneBook->ShowImportedEntry(entry, fullName);
    };
    const std::string shownPath = ToAnsi(QString::fromStdString(path));
    TContactsImport import(sgPhoneBook->rowCount() - 1);
    std::string failure;
    try {
        import.AddFile(path);
        import.FillPhonebook(book, showRow);
    } catch (const EContactsFileError& e) {
        failure = ContactsFileMessage(shownPath, e);
    } catch (const std::exception& e) {
        failure = ContactsFileMessage(shownPath, EContactsFileError(e.what()));
    }
    ApplyGridFont();
    if (!failure.empty()) {
        Ui.Message(TMessageKind::Error, failure, TButtons::Ok);
    } else {
        // The grid shows what the book keeps; the offers work on the numbers and names as the contacts
        // gave them.
        bool changed = false;
        std::optional<int> madeDialable;
        const std::string question = import.DialableQuestion(DefaultInternationalPrefix);
        if (!question.empty() &&
            Ui.Message(TMessageKind::Confirmation, question, TButtons::OkCancel) == TAnswer::Ok) {
            madeDialable = import.MakeNumbersDialable(DefaultInternationalPrefix);
            changed = true;
        }
        std::optional<int> transliterated;
        const std::string names = import.TransliterationQuestion();
        if (!names.empty()) {
            if (Ui.Message(TMessageKind::Confirmation, names, TButtons::OkCancel) == TAnswer::Ok) {
                transliterated = import.TransliterateNames();
                changed = true;
            }
        } else if (!import.NamesNotInCodePage().empty()) {
            // Nothing nearer to offer: the report names them.
            transliterated = 0;
        }
        if (changed) {
            import.FillPhonebook(book, showRow);
            ApplyGridFont();
        }
        // Said whenever there is something to say, and then with the count that adds up.
        std::string report;
        for (const std::string& line : import.Report(madeDialable, transliterated))
            report += (report.empty() ? "" : "\r") + line;
        if (!report.empty() || import.NumbersNotTaken() > 0)
            Ui.Message(TMessageKind::Information, report + (report.empty() ? "" : "\r") + import.Summary(),
                       TButtons::Ok);
    }
    Ui.ShowStatus("");
}
