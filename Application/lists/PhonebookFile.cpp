#include "lists/PhonebookFile.h"

#include "platform/AnsiText.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

std::string PhonebookFileText(const TPP5Phonebook& book) {
    std::string text;
    for (int i = 0; i < book.Count(); ++i) {
        const std::string& number = book.GetNumber(uint16_t(i));
        if (!number.empty())
            text += book.GetName(uint16_t(i)) + "," + number + "\r\n";
    }
    return text;
}

void SavePhonebookFile(const std::string& path, const TPP5Phonebook& book) {
    WriteFileAtomically(path, PhonebookFileText(book));
}

int ParsePhonebookText(const std::string& text, TPP5Phonebook& book) {
    // Lines end in CR LF, LF or CR alone; a last line without an end counts too.
    int taken = 0;
    size_t pos = 0;
    while (pos < text.size() && taken < book.Count()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        const size_t comma = line.rfind(',');
        if (comma != std::string_view::npos) {
            book.SetName(uint16_t(taken), std::string(line.substr(0, comma)));
            book.SetNumber(uint16_t(taken), std::string(line.substr(comma + 1)));
        }
        ++taken;
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return taken;
}

int LoadPhonebookFile(const std::string& path, TPP5Phonebook& book) {
    return ParsePhonebookText(ReadFileBytes(path, PhonebookFileLimit), book);
}

bool SavePhonebookAs(TUserInteraction& ui, const TPP5Phonebook& book) {
    const std::string path = ui.AskFileName(true, Texts::PhoneBookFilter, Texts::PhoneBookExtension);
    if (path.empty())
        return false;
    const std::string shown = ToAnsi(QString::fromStdString(path));
    ui.ShowStatus(FormatText(Texts::SavingToFile, shown.c_str()));
    try {
        SavePhonebookFile(path, book);
    } catch (const EFileError& e) {
        ui.ShowStatus("");
        ui.Message(TMessageKind::Error, e.what(), TButtons::Ok);
        return false;
    }
    ui.ShowStatus(FormatText(Texts::FinishedSavingToFile, shown.c_str()));
    return true;
}

bool OpenPhonebook(TUserInteraction& ui, TPP5Phonebook& book) {
    const std::string path = ui.AskFileName(false, Texts::PhoneBookFilter, Texts::PhoneBookExtension);
    if (path.empty())
        return false;
    const std::string shown = ToAnsi(QString::fromStdString(path));
    ui.ResetRowColours();
    ui.ShowStatus(FormatText(Texts::ReadingFromFile, shown.c_str()));
    book.Clear();
    ui.ShowListEntry(TListKind::PhoneBook, AllEntries);
    try {
        LoadPhonebookFile(path, book);
    } catch (const EFileError& e) {
        ui.ShowStatus("");
        ui.Message(TMessageKind::Error, e.what(), TButtons::Ok);
        return false;
    }
    ui.ShowListEntry(TListKind::PhoneBook, AllEntries);
    ui.ShowStatus(FormatText(Texts::FinishedReadingFromFile, shown.c_str()));
    return true;
}
