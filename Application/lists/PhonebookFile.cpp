#include "lists/PhonebookFile.h"

#include "platform/AnsiText.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <algorithm>

namespace {

// A box shows this many problems of a file and counts the others.
constexpr size_t MaxProblemsShown = 12;

} // namespace

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

int TPhonebookFileReport::NotTaken() const {
    return int(std::count_if(Problems.begin(), Problems.end(), [](const TPhonebookLineProblem& problem) {
        return problem.Kind != TPhonebookLineProblem::TKind::NameCut;
    }));
}

bool TPhonebookFileReport::HasNumberTooLong() const {
    return std::any_of(Problems.begin(), Problems.end(), [](const TPhonebookLineProblem& problem) {
        return problem.Kind == TPhonebookLineProblem::TKind::NumberTooLong;
    });
}

std::string PhonebookLineProblemText(const TPhonebookLineProblem& problem) {
    const char* what = "";
    switch (problem.Kind) {
    case TPhonebookLineProblem::TKind::NoComma:
        what = Texts::PhonebookLineNoComma;
        break;
    case TPhonebookLineProblem::TKind::ControlCharacters:
        what = Texts::PhonebookLineControlCharacters;
        break;
    case TPhonebookLineProblem::TKind::NumberTooLong:
        what = Texts::PhonebookLineNumberTooLong;
        break;
    case TPhonebookLineProblem::TKind::NameCut:
        what = Texts::PhonebookLineNameCut;
        break;
    }
    return "line " + std::to_string(problem.Line) + ": " + what;
}

std::string PhonebookProblemsText(const TPhonebookFileReport& report, size_t most) {
    std::string text;
    for (size_t i = 0; i < report.Problems.size() && i < most; ++i)
        text += (i ? "\r" : "") + PhonebookLineProblemText(report.Problems[i]);
    if (report.Problems.size() > most)
        text += "\r" + FormatText(Texts::PhonebookMoreProblems, int(report.Problems.size() - most));
    return text;
}

int ParsePhonebookText(const std::string& fileText, TPP5Phonebook& book, TPhonebookFileReport* report) {
    using TKind = TPhonebookLineProblem::TKind;
    TPhonebookFileReport found;
    const std::string text = SingleByteText(fileText, &found.Utf8);
    const auto problem = [&found](int line, TKind kind) { found.Problems.push_back({line, kind}); };
    // Lines end in CR LF, LF or CR alone; a last line without an end counts too.
    int taken = 0;
    size_t pos = 0;
    while (pos < text.size() && taken < book.Count()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        const int lineNo = taken + 1;
        const size_t comma = line.rfind(',');
        const bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
        if (std::any_of(line.begin(), line.end(), [](char c) { return uint8_t(c) < ' ' && c != '\t'; })) {
            problem(lineNo, TKind::ControlCharacters);
        } else if (comma == std::string_view::npos) {
            if (!blank)
                problem(lineNo, TKind::NoComma);
        } else {
            const std::string name(line.substr(0, comma));
            const std::string number(line.substr(comma + 1));
            if (RemoveSpaces(number).size() > MaxNumberLength) {
                problem(lineNo, TKind::NumberTooLong);
            } else {
                if (name.size() > MaxNameLength)
                    problem(lineNo, TKind::NameCut);
                book.SetName(uint16_t(taken), name);
                book.SetNumber(uint16_t(taken), number);
            }
        }
        ++taken;
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    found.Lines = taken;
    if (report)
        *report = std::move(found);
    return taken;
}

int LoadPhonebookFile(const std::string& path, TPP5Phonebook& book, TPhonebookFileReport* report) {
    return ParsePhonebookText(ReadFileBytes(path, PhonebookFileLimit), book, report);
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
    TPhonebookFileReport report;
    try {
        LoadPhonebookFile(path, book, &report);
    } catch (const EFileError& e) {
        ui.ShowStatus("");
        ui.Message(TMessageKind::Error, e.what(), TButtons::Ok);
        return false;
    }
    ui.ShowListEntry(TListKind::PhoneBook, AllEntries);
    std::string status = FormatText(Texts::FinishedReadingFromFile, shown.c_str());
    if (report.NotTaken() == 1)
        status += Texts::PhonebookLineNotTaken;
    else if (report.NotTaken() > 1)
        status += FormatText(Texts::PhonebookLinesNotTaken, report.NotTaken());
    ui.ShowStatus(status);
    if (!report.Problems.empty())
        ui.Message(TMessageKind::Warning, PhonebookProblemsText(report, MaxProblemsShown), TButtons::Ok);
    return true;
}
