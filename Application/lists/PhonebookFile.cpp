#include "lists/PhonebookFile.h"

#include "lists/ContactsText.h"
#include "platform/AnsiText.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"

#include <algorithm>
#include <optional>
#include <string_view>

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
        return problem.Kind != TPhonebookLineProblem::TKind::NameCut &&
               problem.Kind != TPhonebookLineProblem::TKind::Transliterated;
    }));
}

bool TPhonebookFileReport::Has(TPhonebookLineProblem::TKind kind) const {
    return std::any_of(Problems.begin(), Problems.end(),
                       [kind](const TPhonebookLineProblem& problem) { return problem.Kind == kind; });
}

std::string PhonebookLineProblemText(const TPhonebookLineProblem& problem) {
    const std::string line = "line " + std::to_string(problem.Line) + ": ";
    switch (problem.Kind) {
    case TPhonebookLineProblem::TKind::NoComma:
        return line + Texts::PhonebookLineNoComma;
    case TPhonebookLineProblem::TKind::ControlCharacters:
        return line + Texts::PhonebookLineControlCharacters;
    case TPhonebookLineProblem::TKind::NumberTooLong:
        return line + Texts::PhonebookLineNumberTooLong;
    case TPhonebookLineProblem::TKind::NameCut:
        return line + Texts::PhonebookLineNameCut;
    case TPhonebookLineProblem::TKind::NotInCodePage:
        return line + "\"" + problem.Name + "\": " + problem.Lacking +
               " is not in the handset's characters, not taken" +
               (problem.Nearest.empty() ? "; it has no letter near it either"
                                        : "; --transliterate writes \"" + problem.Nearest + "\"");
    case TPhonebookLineProblem::TKind::Transliterated:
        return line + "\"" + problem.Name + "\" written as \"" + problem.Nearest + "\"";
    }
    return line;
}

std::string PhonebookProblemsText(const TPhonebookFileReport& report, size_t most) {
    std::string text;
    for (size_t i = 0; i < report.Problems.size() && i < most; ++i)
        text += (i ? "\r" : "") + PhonebookLineProblemText(report.Problems[i]);
    if (report.Problems.size() > most)
        text += "\r" + FormatText(Texts::PhonebookMoreProblems, int(report.Problems.size() - most));
    return text;
}

namespace {

// The lines of a text, ended by CR LF, LF or CR alone; a last line without an end counts too.
std::vector<std::string_view> TextLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r')
            ++pos;
        if (pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return lines;
}

// The first character of text the handset's code page lacks, or nothing.
std::optional<char32_t> FirstLacking(const QString& text) {
    for (const char32_t c : text.toUcs4())
        if (!InCodePage(c))
            return c;
    return std::nullopt;
}

// A line of a UTF-8 file as the single bytes of the handset's code page. A name with a character the
// code page lacks is written with the nearest letters it has when `transliterate` asks for it; else, or
// when it has none near, the line gets the problem and nothing of it is taken (empty).
std::string CodePageLine(std::string_view utf8, int lineNo, bool transliterate,
                         std::vector<TPhonebookLineProblem>& problems) {
    using TKind = TPhonebookLineProblem::TKind;
    const QString line = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    const qsizetype comma = line.lastIndexOf(u',');
    const QString name = comma < 0 ? line : line.first(comma);
    const std::optional<char32_t> lacking = FirstLacking(name.normalized(QString::NormalizationForm_C));
    if (!lacking)
        return AnsiOf(line);
    const QString nearest = Transliterated(name);
    const bool whole = !FirstLacking(nearest);
    TPhonebookLineProblem problem{lineNo, TKind::NotInCodePage, name.toStdString(),
                                  QString::fromUcs4(&*lacking, 1).toStdString(),
                                  whole ? nearest.toStdString() : std::string()};
    if (transliterate && whole) {
        problem.Kind = TKind::Transliterated;
        problems.push_back(std::move(problem));
        return AnsiOf(nearest + line.sliced(comma));
    }
    problems.push_back(std::move(problem));
    return {};
}

} // namespace

int ParsePhonebookText(const std::string& fileText, TPP5Phonebook& book, TPhonebookFileReport* report,
                       TPhonebookReading reading) {
    using TKind = TPhonebookLineProblem::TKind;
    TPhonebookFileReport found;
    const std::string single = reading.AsWritten ? fileText : SingleByteText(fileText, &found.Utf8);
    std::string_view utf8 = fileText;
    if (utf8.starts_with("\xEF\xBB\xBF"))
        utf8.remove_prefix(3);
    const std::vector<std::string_view> lines = TextLines(found.Utf8 ? utf8 : std::string_view(single));
    const auto problem = [&found](int line, TKind kind) { found.Problems.push_back({line, kind}); };
    int taken = 0;
    for (; taken < int(lines.size()) && taken < book.Count(); ++taken) {
        const int lineNo = taken + 1;
        std::string converted;
        if (found.Utf8) {
            const size_t before = found.Problems.size();
            converted = CodePageLine(lines[size_t(taken)], lineNo, reading.Transliterate, found.Problems);
            if (found.Problems.size() > before && found.Problems.back().Kind == TKind::NotInCodePage)
                continue;
        }
        const std::string_view line = found.Utf8 ? std::string_view(converted) : lines[size_t(taken)];
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
    }
    found.Lines = taken;
    for (size_t i = size_t(taken); i < lines.size(); ++i)
        found.LinesBeyond += lines[i].find_first_not_of(" \t") != std::string_view::npos;
    if (report)
        *report = std::move(found);
    return taken;
}

int LoadPhonebookFile(const std::string& path, TPP5Phonebook& book, TPhonebookFileReport* report,
                      TPhonebookReading reading) {
    return ParsePhonebookText(ReadFileBytes(path, PhonebookFileLimit), book, report, reading);
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
        ui.Message(TMessageKind::Warning,
                   AnsiOf(QString::fromUtf8(PhonebookProblemsText(report, MaxProblemsShown))), TButtons::Ok);
    return true;
}

// What the handset cannot take of one phone book entry the reader made of a line, a text for each.
std::vector<std::string> PhonebookEntryProblems(const TPP5Phonebook& book, int index) {
    std::vector<std::string> problems;
    const std::string& number = book.GetNumber(uint16_t(index));
    const auto bad = std::find_if_not(number.begin(), number.end(), StorableInNumber);
    if (bad != number.end())
        problems.push_back("the number " + QuotedText(number) + " holds " + QuotedText(std::string(1, *bad)) +
                           ", which a handset cannot store (digits, *, #, P or - for a pause)");
    if (number.empty() && !book.GetName(uint16_t(index)).empty())
        problems.push_back("a name without a number, which is not written");
    return problems;
}
