#include "core/ProvisionTemplate.h"

#include "core/CsvRecords.h"

#include "link/Sndmail.h"
#include "lists/BroadcastGroups.h"
#include "lists/ContactsText.h"
#include "lists/PP5Phonebook.h"
#include "lists/PhonebookFile.h"
#include "lists/SpeedDial.h"
#include "platform/AnsiText.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "profile/ProfileLists.h"
#include "profile/ProfileSettings.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

namespace {

// No template file comes near this; the phone book's own bound serves for all of them.
constexpr size_t TemplateFileLimit = PhonebookFileLimit;
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// The last seven digits of a serial number are five hex digits of the SIM, written in decimal.
constexpr unsigned long MostSerialSecondPart = 0xFFFFF;
// A phone book write takes this many lines at most: a handset counts its entries in one byte.
constexpr int MostPhonebookLines = 255;
// An error message lists this many problems and counts the others.
constexpr size_t ProblemsInMessage = 20;

constexpr const char* KindNames[] = {"phone book", "speed dial", "broadcast groups", "profile"};

std::string WithoutMark(const std::string& bytes) {
    return bytes.starts_with(ByteOrderMark) ? bytes.substr(ByteOrderMark.size()) : bytes;
}

bool HasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < ' ' || c == 0x7F; });
}

bool IsAsciiText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x80; });
}

// A line and what ended it, so that a filled file keeps the template's line ends. Lines end as the list
// readers have them: CR LF, LF or CR alone; a last line without an end counts when it is not empty.
struct TLine {
    std::string Text;
    std::string End;
};

std::vector<TLine> SplitLines(const std::string& text) {
    std::vector<TLine> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back({text.substr(pos), ""});
            break;
        }
        const size_t after =
            end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
        lines.push_back({text.substr(pos, end - pos), text.substr(end, after - end)});
        pos = after;
    }
    return lines;
}

// "{name}" in a line: a name of neither braces nor commas (a comma would move a phone book entry's
// split between name and number). A brace that opens or closes no such placeholder is stray.
struct TPlaceholder {
    size_t Begin;
    size_t End;
    std::string Name;
};

struct TLineMarks {
    std::vector<TPlaceholder> Placeholders;
    bool StrayBrace = false;
};

TLineMarks Marks(const std::string& line) {
    TLineMarks marks;
    size_t pos = 0;
    while ((pos = line.find_first_of("{}", pos)) != std::string::npos) {
        if (line[pos] == '}') {
            marks.StrayBrace = true;
            ++pos;
            continue;
        }
        const size_t close = line.find_first_of("{},", pos + 1);
        const std::string name =
            close == std::string::npos ? std::string() : TrimmedText(line.substr(pos + 1, close - pos - 1));
        if (close == std::string::npos || line[close] != '}' || name.empty()) {
            marks.StrayBrace = true;
            ++pos;
            continue;
        }
        marks.Placeholders.push_back({pos, close + 1, name});
        pos = close + 1;
    }
    return marks;
}

// "00291 0284280", "00291-0284280" or "002910284280" as the handset shows it; the reason otherwise.
std::optional<std::string> SerialNumber(const std::string& text, std::string* why = nullptr) {
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c != ' ' && c != '-') {
            digits.clear();
            break;
        }
    }
    if (digits.size() != 12) {
        if (why)
            *why = "five and seven digits, as \"00291 0284280\"";
        return std::nullopt;
    }
    if (std::stoul(digits.substr(5)) > MostSerialSecondPart) {
        if (why)
            *why = "its last seven digits go up to " + std::to_string(MostSerialSecondPart) + " on a handset";
        return std::nullopt;
    }
    return digits.substr(0, 5) + " " + digits.substr(5);
}

// The phone book reader's text for a problem of a line, without its "line 3: ".
std::string WithoutLinePrefix(const std::string& text, int line) {
    const std::string prefix = "line " + std::to_string(line) + ": ";
    return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

// A reader's message without the path it starts with: the problem names the file already.
std::string WithoutPath(const std::string& text, const std::string& path) {
    return text.starts_with(path + ": ") ? text.substr(path.size() + 2) : text;
}

// A single-byte line as the phone book reader takes it back unchanged: as it is when plain ASCII, else
// in UTF-8 behind its byte order mark, which the reader converts back to these bytes.
std::string ForPhonebookReader(const std::string& text) {
    if (IsAsciiText(text))
        return text;
    return std::string(ByteOrderMark) + FromAnsi(text).toUtf8().toStdString();
}

// What the handset cannot take of one phone book entry the reader made of a line.
std::vector<std::string> EntryProblems(const TPP5Phonebook& book, int index) {
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

// What the handset cannot take of a speed dial number as a .sdl line gives it.
std::vector<std::string> SpeedDialNumberProblems(const std::string& number) {
    std::vector<std::string> problems;
    if (number.size() > TPP5SpeedDial::MaxNumberLength)
        problems.push_back("the number " + QuotedText(number) + " has more than " +
                           std::to_string(TPP5SpeedDial::MaxNumberLength) +
                           " characters, which a speed dial key cannot hold");
    TPP5SpeedDial one;
    one.Numbers[0] = number;
    if (const auto bad = one.FirstUnsendable())
        problems.push_back("the number " + QuotedText(number) + " holds " +
                           QuotedText(std::string(1, bad->second)) +
                           ", which a handset cannot store (digits, *, #, P or - for a pause)");
    return problems;
}

std::optional<int> SpeedDialKey(const std::string& name) {
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        if (SameText(name, SpeedDialKeyName(k)))
            return k;
    return std::nullopt;
}

const TProfileField* ProfileFieldNamed(const std::string& name) {
    for (const TProfileField& field : TProfileSettings::Fields())
        if (SameText(name, field.Key))
            return &field;
    return nullptr;
}

// A value a profile setting takes, as the profile file's reader accepts it: a whole decimal number that
// an item of the setting's list shows.
std::optional<int> ProfileValue(const TProfileField& field, const std::string& text) {
    int value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last ||
        ProfileLists()[size_t(field.Setting)].IndexFromValue(value) < 0)
        return std::nullopt;
    return value;
}

// "0 to 5", or "0, 1" for values that are not one run.
std::string ProfileValuesText(const TProfileField& field) {
    const TProfileList& list = ProfileLists()[size_t(field.Setting)];
    std::set<int> values;
    for (int i = 0; i < int(list.Items.size()); ++i)
        if (list.IndexFromValue(list.ValueFromIndex(i)) >= 0)
            values.insert(list.ValueFromIndex(i));
    if (values.empty())
        return "none";
    if (values.size() > 2 && *values.rbegin() - *values.begin() == int(values.size()) - 1)
        return std::to_string(*values.begin()) + " to " + std::to_string(*values.rbegin());
    std::vector<std::string> texts;
    for (const int value : values)
        texts.push_back(std::to_string(value));
    return JoinedText(texts, texts.size());
}

void Add(std::vector<TTemplateProblem>& problems, const std::string& file, int line, const std::string& text,
         const std::string& serial = {}) {
    problems.push_back({file, line, text, serial});
}

} // namespace

std::string TemplateProblemText(const TTemplateProblem& problem) {
    return problem.File + (problem.Line > 0 ? ":" + std::to_string(problem.Line) : std::string()) + ": " +
           problem.Text;
}

// ---- reading the folder ----

std::string TProvisionTemplate::ContentHash() const {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto add = [&hash](const std::optional<TFile>& file) {
        const std::string part =
            file ? file->Name + '\0' + std::to_string(file->Bytes.size()) + '\0' + file->Bytes
                 : std::string(1, '\0');
        hash.addData(QByteArrayView(part.data(), qsizetype(part.size())));
    };
    for (const std::optional<TFile>& file : Files)
        add(file);
    add(Handsets);
    return hash.result().toHex().toStdString();
}

TProvisionTemplate TProvisionTemplate::Load(const std::string& folder) {
    const QFileInfo info(QString::fromStdString(folder));
    if (!info.exists())
        throw ETemplateError(folder + ": no such folder.");
    if (!info.isDir())
        throw ETemplateError(folder + ": a file, not a template's folder.");
    TProvisionTemplate loaded;
    loaded.FolderPath = folder;
    const QDir dir(info.filePath());
    // Every entry, folders, pipes and devices too: one named as a template's file is refused for what it
    // is, never taken for a file that is not there.
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    // The exact name first, else one that differs only in case: "Groups.bgl" is meant as groups.BGL.
    const auto find = [&](const char* wanted) -> std::optional<TFile> {
        const QString exact = QString::fromUtf8(wanted);
        QString found = names.contains(exact) ? exact : QString();
        for (const QString& name : names)
            if (found.isEmpty() && name.compare(exact, Qt::CaseInsensitive) == 0)
                found = name;
        if (found.isEmpty())
            return std::nullopt;
        TFile file{found.toStdString(), dir.filePath(found).toStdString(), {}};
        const QFileInfo entry(dir.filePath(found));
        if (entry.isDir())
            throw ETemplateError(file.Path + ": a folder, not a file; the template's " + wanted +
                                 " is a file.");
        if (!entry.isFile())
            throw ETemplateError(file.Path +
                                 ": not a regular file (a device, a pipe, a socket or a link to "
                                 "nothing); the template's " +
                                 wanted + " is a file.");
        try {
            file.Bytes = ReadFileBytes(file.Path, TemplateFileLimit);
        } catch (const EFileError& e) {
            throw ETemplateError(std::string("Could not read the template's file: ") + e.what());
        }
        return file;
    };
    const char* const fileNames[KindCount] = {PhonebookName, SpeedDialName, GroupsName, ProfileName};
    for (int kind = 0; kind < KindCount; ++kind)
        loaded.Files[size_t(kind)] = find(fileNames[kind]);
    if (std::none_of(loaded.Files.begin(), loaded.Files.end(), [](const auto& f) { return f.has_value(); }))
        throw ETemplateError(folder + ": no template; a template is a folder holding any of " +
                             PhonebookName + ", " + SpeedDialName + ", " + GroupsName + " and " +
                             ProfileName + ", and " + HandsetsName + " for what differs between handsets.");
    loaded.Handsets = find(HandsetsName);

    // A file of a template's kinds under another name is not read: most likely a misspelt one.
    for (const QString& name : names) {
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (!QStringList{"phb", "sdl", "bgl", "pro", "csv"}.contains(suffix) ||
            !QFileInfo(dir.filePath(name)).isFile())
            continue;
        const std::string taken = name.toStdString();
        const bool read = std::any_of(loaded.Files.begin(), loaded.Files.end(),
                                      [&](const auto& f) { return f && f->Name == taken; }) ||
                          (loaded.Handsets && loaded.Handsets->Name == taken);
        if (!read)
            loaded.StrayFiles.push_back(taken);
    }

    if (const auto& profile = loaded.Files[Profile]) {
        // The reader of profile files wants an engine; a file is read without one being used.
        TSendmail unused;
        TProfileSettings settings(unused);
        try {
            settings.LoadFromFile(profile->Path);
        } catch (const EFileError& e) {
            throw ETemplateError(std::string("Could not read the template's file: ") + e.what());
        }
        loaded.ProfileRead.SectionsFound = settings.SectionsFound;
        loaded.ProfileRead.InFile = settings.InFile;
        for (const TProfileSettings::TRefusedValue& refused : settings.Refused)
            loaded.ProfileRead.Refused.push_back(
                {refused.Line, WithoutLinePrefix(TProfileSettings::RefusedText(refused), refused.Line)});
    }
    if (loaded.Handsets)
        loaded.ReadHandsets(loaded.Handsets->Bytes);
    return loaded;
}

void TProvisionTemplate::ReadHandsets(const std::string& bytes) {
    const std::string& file = Handsets->Name;
    const std::string text = WithoutMark(bytes);
    const bool utf8 = bytes.starts_with(ByteOrderMark) ||
                      (!IsAsciiText(text) && IsUtf8(QByteArrayView(text.data(), qsizetype(text.size()))));
    std::vector<std::pair<int, std::string>> misread;
    std::vector<TCsvRecord> records = ReadCsvRecords(text, misread);
    for (const auto& [line, problem] : misread)
        Add(HandsetsProblems, file, line, problem);
    const auto single = [utf8](const std::string& field, bool* lost) {
        *lost = false;
        return utf8 ? AnsiOf(QString::fromUtf8(field.data(), qsizetype(field.size())), lost) : field;
    };
    if (records.empty()) {
        Add(HandsetsProblems, file, 0,
            "holds no header; its first line names the columns, the first being \"serial\"");
        return;
    }
    const TCsvRecord& header = records.front();
    HeaderLine = header.Line;
    for (const std::string& field : header.Fields) {
        bool lost = false;
        Columns.push_back(TrimmedText(single(field, &lost)));
    }
    if (!SameText(Columns.front(), "serial"))
        Add(HandsetsProblems, file, header.Line,
            "the first column is " + QuotedText(Columns.front()) + "; it must be \"serial\"");
    for (size_t c = 0; c < Columns.size(); ++c) {
        if (Columns[c].empty())
            Add(HandsetsProblems, file, header.Line, "column " + std::to_string(c + 1) + " has no name");
        for (size_t d = 0; d < c; ++d)
            if (!Columns[c].empty() && SameText(Columns[c], Columns[d]))
                Add(HandsetsProblems, file, header.Line,
                    "the column " + QuotedText(Columns[c]) + " is there twice");
    }
    if (records.size() == 1)
        Add(HandsetsProblems, file, header.Line, "lists no handset, only the header");

    std::map<std::string, int> seen;
    for (size_t r = 1; r < records.size(); ++r) {
        TCsvRecord& record = records[r];
        TRow row;
        row.Line = record.Line;
        for (const std::string& field : record.Fields) {
            bool lost = false;
            row.Values.push_back(single(field, &lost));
            row.Lost.push_back(lost);
        }
        row.SerialText = TrimmedText(row.Values.front());
        std::string why;
        row.Serial = SerialNumber(row.SerialText, &why);
        if (row.SerialText.empty())
            Add(HandsetsProblems, file, row.Line, "no serial number in the first field");
        else if (!row.Serial)
            Add(HandsetsProblems, file, row.Line,
                "serial " + QuotedText(row.SerialText) + " is no serial number: " + why);
        if (row.Serial) {
            const auto [first, added] = seen.emplace(*row.Serial, row.Line);
            if (!added)
                Add(HandsetsProblems, file, row.Line,
                    "serial '" + *row.Serial + "' is there twice (first on line " +
                        std::to_string(first->second) + ")");
        }
        if (row.Values.size() != Columns.size())
            Add(HandsetsProblems, file, row.Line,
                std::to_string(row.Values.size()) + (row.Values.size() == 1 ? " field" : " fields") +
                    ", but the header has " + std::to_string(Columns.size()),
                row.Serial.value_or(""));
        Rows.push_back(std::move(row));
    }
}

// ---- what the template holds ----

bool TProvisionTemplate::Lists(const std::string& serial) const {
    return RowOf(serial) != nullptr;
}

const TProvisionTemplate::TRow* TProvisionTemplate::RowOf(const std::string& serial) const {
    const std::optional<std::string> wanted = SerialNumber(serial);
    if (!wanted)
        return nullptr;
    for (const TRow& row : Rows)
        if (row.Serial == wanted)
            return &row;
    return nullptr;
}

std::vector<std::string> TProvisionTemplate::Serials() const {
    std::vector<std::string> serials;
    for (const TRow& row : Rows)
        if (row.Serial && std::find(serials.begin(), serials.end(), *row.Serial) == serials.end())
            serials.push_back(*row.Serial);
    return serials;
}

bool TProvisionTemplate::HasPlaceholders() const {
    for (const auto& file : Files)
        if (file)
            for (const TLine& line : SplitLines(file->Bytes))
                if (!Marks(line.Text).Placeholders.empty())
                    return true;
    return false;
}

std::vector<std::string> TProvisionTemplate::Kinds() const {
    std::vector<std::string> kinds;
    for (int kind = 0; kind < KindCount; ++kind)
        if (Files[size_t(kind)])
            kinds.push_back(KindNames[kind]);
    return kinds;
}

std::vector<std::string> TProvisionTemplate::FileNames() const {
    std::vector<std::string> names;
    for (const auto& file : Files)
        if (file)
            names.push_back(file->Name);
    if (Handsets)
        names.push_back(Handsets->Name);
    return names;
}

std::optional<size_t> TProvisionTemplate::ColumnOf(const std::string& name) const {
    for (size_t c = 0; c < Columns.size(); ++c)
        if (!Columns[c].empty() && SameText(Columns[c], name))
            return c;
    return std::nullopt;
}

std::vector<bool> TProvisionTemplate::ColumnsFilled() const {
    std::vector<bool> filled(Columns.size(), false);
    for (const int kind : {Phonebook, SpeedDial})
        if (const auto& file = Files[size_t(kind)])
            for (const TLine& line : SplitLines(file->Bytes))
                for (const TPlaceholder& placeholder : Marks(line.Text).Placeholders)
                    if (const auto c = ColumnOf(placeholder.Name))
                        filled[*c] = true;
    return filled;
}

std::string TProvisionTemplate::Fill(const std::string& line, const TRow& row) const {
    std::string filled;
    size_t pos = 0;
    for (const TPlaceholder& placeholder : Marks(line).Placeholders) {
        const std::optional<size_t> c = ColumnOf(placeholder.Name);
        if (!c)
            continue;
        filled += line.substr(pos, placeholder.Begin - pos);
        filled += *c < row.Values.size() ? row.Values[*c] : std::string();
        pos = placeholder.End;
    }
    return filled + line.substr(pos);
}

// ---- checking ----

struct TProvisionTemplate::TLayout {
    struct TFilledLine {
        int Line;
        std::string Text;
        TLineMarks Marks;
    };
    std::vector<TFilledLine> Phonebook;
    std::vector<TFilledLine> SpeedDial;
    std::vector<bool> Filled;
};

TProvisionTemplate::TLayout TProvisionTemplate::Layout() const {
    TLayout layout;
    layout.Filled = ColumnsFilled();
    if (const auto& file = Files[Phonebook]) {
        const std::vector<TLine> lines = SplitLines(SingleByteText(file->Bytes));
        for (size_t i = 0; i < lines.size() && i < size_t(MostPhonebookLines); ++i)
            if (TLineMarks marks = Marks(lines[i].Text); !marks.Placeholders.empty())
                layout.Phonebook.push_back({int(i) + 1, lines[i].Text, std::move(marks)});
    }
    // Only numbers take placeholders, and only those of speed dial keys count.
    if (const auto& file = Files[SpeedDial]) {
        const std::vector<TLine> lines = SplitLines(WithoutMark(file->Bytes));
        for (size_t i = 0; i < lines.size(); ++i) {
            TLineMarks marks = Marks(lines[i].Text);
            const size_t comma = lines[i].Text.find(',');
            if (!marks.Placeholders.empty() && comma != std::string::npos &&
                marks.Placeholders.front().Begin > comma &&
                SpeedDialKey(TrimmedText(lines[i].Text.substr(0, comma))))
                layout.SpeedDial.push_back({int(i) + 1, lines[i].Text, std::move(marks)});
        }
    }
    return layout;
}

std::vector<TTemplateProblem> TProvisionTemplate::Check() const {
    std::vector<TTemplateProblem> problems = TemplateProblems();
    const TLayout layout = Layout();
    for (const TRow& row : Rows)
        for (TTemplateProblem& problem : RowProblems(row, layout))
            problems.push_back(std::move(problem));
    return problems;
}

std::vector<TTemplateProblem> TProvisionTemplate::TemplateProblems() const {
    std::vector<TTemplateProblem> problems;
    for (const std::string& name : StrayFiles)
        Add(problems, name, 0,
            std::string("not read: a template's files are ") + PhonebookName + ", " + SpeedDialName + ", " +
                GroupsName + ", " + ProfileName + " and " + HandsetsName);
    CheckPlaceholders(problems);
    if (Files[Phonebook])
        CheckPhonebook(problems);
    if (Files[SpeedDial])
        CheckSpeedDial(problems);
    if (Files[Groups])
        CheckGroups(problems);
    if (Files[Profile])
        CheckProfile(problems);
    if (Handsets)
        CheckHandsets(problems);
    // In the order of the files, strays first, and of the lines in each.
    const std::vector<std::string> names = FileNames();
    const auto rank = [&](const TTemplateProblem& p) {
        return std::pair(std::find(names.begin(), names.end(), p.File) - names.begin(), p.Line);
    };
    std::stable_sort(problems.begin(), problems.end(),
                     [&](const TTemplateProblem& a, const TTemplateProblem& b) {
                         const bool strayA = std::find(names.begin(), names.end(), a.File) == names.end();
                         const bool strayB = std::find(names.begin(), names.end(), b.File) == names.end();
                         if (strayA != strayB)
                             return strayA;
                         return !strayA && rank(a) < rank(b);
                     });
    return problems;
}

// Placeholders only where a row fills them, each naming a column; braces that make no placeholder.
void TProvisionTemplate::CheckPlaceholders(std::vector<TTemplateProblem>& problems) const {
    for (int kind = 0; kind < KindCount; ++kind) {
        const auto& file = Files[size_t(kind)];
        if (!file)
            continue;
        const std::vector<TLine> lines = SplitLines(WithoutMark(file->Bytes));
        for (size_t i = 0; i < lines.size(); ++i) {
            const int lineNo = int(i) + 1;
            const TLineMarks marks = Marks(lines[i].Text);
            if (marks.StrayBrace)
                Add(problems, file->Name, lineNo,
                    "a brace that makes no placeholder; a placeholder is a column's name in braces, as "
                    "\"{extension}\"");
            if (marks.Placeholders.empty())
                continue;
            const size_t comma = lines[i].Text.find(',');
            if (kind == Groups || kind == Profile) {
                Add(problems, file->Name, lineNo,
                    std::string("placeholders are filled only in phone book entries and speed dial numbers") +
                        (kind == Profile ? "; a column named as a profile setting sets it for its handset"
                                         : ""));
                continue;
            }
            if (kind == SpeedDial &&
                (comma == std::string::npos || marks.Placeholders.front().Begin < comma)) {
                Add(problems, file->Name, lineNo,
                    "placeholders are filled only in a speed dial key's number");
                continue;
            }
            for (const TPlaceholder& placeholder : marks.Placeholders) {
                if (ColumnOf(placeholder.Name))
                    continue;
                const std::string name = "{" + PrintableText(placeholder.Name) + "}";
                Add(problems, file->Name, lineNo,
                    Handsets ? name + ": " + Handsets->Name + " has no column " + QuotedText(placeholder.Name)
                             : name + ": there is no " + HandsetsName + " to fill it");
            }
        }
    }
}

void TProvisionTemplate::CheckPhonebook(std::vector<TTemplateProblem>& problems) const {
    const TFile& file = *Files[Phonebook];
    const std::vector<TLine> lines = SplitLines(SingleByteText(file.Bytes));
    TPP5Phonebook book;
    book.SetCount(uint8_t(MostPhonebookLines));
    TPhonebookFileReport report;
    ParsePhonebookText(file.Bytes, book, &report);
    // Lines with placeholders are checked as each row fills them.
    const auto filled = [&](int lineNo) {
        return lineNo >= 1 && lineNo <= int(lines.size()) &&
               !Marks(lines[size_t(lineNo - 1)].Text).Placeholders.empty();
    };
    for (const TPhonebookLineProblem& problem : report.Problems)
        if (!filled(problem.Line))
            Add(problems, file.Name, problem.Line,
                WithoutLinePrefix(PhonebookLineProblemText(problem), problem.Line));
    for (int i = 0; i < int(lines.size()) && i < MostPhonebookLines; ++i) {
        if (filled(i + 1))
            continue;
        for (const std::string& text : EntryProblems(book, i))
            Add(problems, file.Name, i + 1, text);
    }
    if (lines.size() > size_t(MostPhonebookLines))
        Add(problems, file.Name, MostPhonebookLines + 1,
            "a handset's phone book holds at most " + std::to_string(MostPhonebookLines) +
                " entries; from here on "
                "nothing is written");
}

void TProvisionTemplate::CheckSpeedDial(std::vector<TTemplateProblem>& problems) const {
    const TFile& file = *Files[SpeedDial];
    const std::vector<TLine> lines = SplitLines(WithoutMark(file.Bytes));
    std::vector<int> firstLine(TPP5SpeedDial::Keys, 0);
    bool keyProblem = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int lineNo = int(i) + 1;
        const std::string& text = lines[i].Text;
        const size_t comma = text.find(',');
        // Lines without the separator are comments to the reader.
        if (comma == std::string::npos)
            continue;
        const std::string key = TrimmedText(text.substr(0, comma));
        // A placeholder in the key is named already; the reader would refuse the key as well.
        if (!Marks(key).Placeholders.empty()) {
            keyProblem = true;
            continue;
        }
        const std::optional<int> k = SpeedDialKey(key);
        if (!k) {
            keyProblem = true;
            Add(problems, file.Name, lineNo,
                "no speed dial key: " + QuotedText(key) +
                    "; a speed dial list has the keys Key_0 to Key_9 and Key_Alarm");
            continue;
        }
        if (firstLine[size_t(*k)] > 0) {
            Add(problems, file.Name, lineNo,
                std::string(SpeedDialKeyName(*k)) + " is there twice (first on line " +
                    std::to_string(firstLine[size_t(*k)]) + "); the list takes the first");
            continue;
        }
        firstLine[size_t(*k)] = lineNo;
        const std::string number = TrimmedText(text.substr(comma + 1));
        if (Marks(number).Placeholders.empty())
            for (const std::string& problem : SpeedDialNumberProblems(number))
                Add(problems, file.Name, lineNo, problem);
    }
    // The reader's own verdict on the file as a whole (no key at all, a file it cannot read).
    if (!keyProblem) {
        TPP5SpeedDial list;
        try {
            LoadSpeedDialList(file.Path, list);
        } catch (const EUnusableFile& e) {
            Add(problems, file.Name, 0, WithoutPath(e.what(), file.Path));
        }
    }
}

void TProvisionTemplate::CheckGroups(std::vector<TTemplateProblem>& problems) const {
    const TFile& file = *Files[Groups];
    TBroadcastGroups groups;
    try {
        groups.LoadFromFile(file.Path);
    } catch (const std::exception& e) {
        Add(problems, file.Name, 0, WithoutPath(e.what(), file.Path));
        return;
    }
    for (int i = 0; i < TBroadcastGroups::Slots; ++i) {
        const std::string& group = groups.GetGroup(i);
        if (!group.empty() && !GroupNumber(group) && Marks(group).Placeholders.empty())
            Add(problems, file.Name, i + 1,
                QuotedText(group) + " is no group number; a group is a number from 0 to " +
                    std::to_string(TBroadcastGroups::MaxGroup) + ", or an empty line for none");
    }
}

void TProvisionTemplate::CheckProfile(std::vector<TTemplateProblem>& problems) const {
    const TFile& file = *Files[Profile];
    for (const auto& [line, text] : ProfileRead.Refused)
        Add(problems, file.Name, line, text);
    for (const TIniFile::TKeyLine& key : TIniFile(file.Path).KeyLines()) {
        const TProfileField* field = ProfileFieldNamed(key.key);
        if (!field || !SameText(key.section, field->Section))
            Add(problems, file.Name, key.line,
                "[" + PrintableText(key.section) + "] " + QuotedText(key.key) + " is no profile setting");
    }
    // Columns of settings give every handset its profile; without them the file must hold one.
    const bool columns = std::any_of(Columns.begin(), Columns.end(),
                                     [](const std::string& c) { return ProfileFieldNamed(c) != nullptr; });
    if (ProfileRead.InFile == 0 && ProfileRead.Refused.empty() && !columns)
        Add(problems, file.Name, 0,
            ProfileRead.SectionsFound
                ? "holds no profile setting"
                : "holds no profile settings: no section [profile settings] or [advanced profile settings]");
}

void TProvisionTemplate::CheckHandsets(std::vector<TTemplateProblem>& problems) const {
    problems.insert(problems.end(), HandsetsProblems.begin(), HandsetsProblems.end());
    const std::vector<bool> filled = ColumnsFilled();
    for (size_t c = 1; c < Columns.size(); ++c) {
        if (Columns[c].empty() || filled[c])
            continue;
        if (ProfileFieldNamed(Columns[c])) {
            if (!Files[Profile])
                Add(problems, Handsets->Name, HeaderLine,
                    "the column " + QuotedText(Columns[c]) +
                        " is a profile setting, but the template has no " + ProfileName);
            continue;
        }
        Add(problems, Handsets->Name, HeaderLine,
            "the column " + QuotedText(Columns[c]) +
                " fills nothing: no placeholder names it and it is no profile setting");
    }
}

std::vector<TTemplateProblem> TProvisionTemplate::RowProblems(const TRow& row, const TLayout& layout) const {
    std::vector<TTemplateProblem> problems;
    if (row.Values.size() != Columns.size())
        return problems;
    const std::string serial = row.Serial.value_or(row.SerialText);
    const std::string& csv = Handsets->Name;
    const std::string of = csv + " line " + std::to_string(row.Line) + " (" + PrintableText(serial) + "): ";
    const auto add = [&](const std::string& file, int line, const std::string& text) {
        Add(problems, file, line, text, row.Serial.value_or(""));
    };

    // A value with a line break cannot go into a line at all; the lines it fills are not checked further.
    std::vector<bool> unusable(Columns.size(), false);
    for (size_t c = 1; c < Columns.size(); ++c) {
        if (!layout.Filled[c])
            continue;
        const std::string column = "column " + QuotedText(Columns[c]) + ": ";
        if (HasControl(row.Values[c])) {
            unusable[c] = true;
            add(csv, row.Line, column + "the value holds a line break or another control character");
        } else if (row.Lost[c]) {
            add(csv, row.Line,
                column + QuotedText(row.Values[c]) +
                    " has characters the handset does not have, shown as \"?\"");
        }
    }
    const auto usesUnusable = [&](const TLineMarks& marks) {
        return std::any_of(marks.Placeholders.begin(), marks.Placeholders.end(), [&](const TPlaceholder& p) {
            const auto c = ColumnOf(p.Name);
            return c && unusable[*c];
        });
    };

    for (const TLayout::TFilledLine& filled : layout.Phonebook) {
        if (usesUnusable(filled.Marks))
            continue;
        const std::string& name = Files[Phonebook]->Name;
        // The reader splits at the last comma: a comma filled into the number moves the split.
        const size_t comma = filled.Text.rfind(',');
        bool split = false;
        for (const TPlaceholder& p : filled.Marks.Placeholders) {
            const auto c = ColumnOf(p.Name);
            if (c && comma != std::string::npos && p.Begin > comma &&
                row.Values[*c].find(',') != std::string::npos) {
                split = true;
                add(name, filled.Line,
                    of + "column " + QuotedText(Columns[*c]) + " puts " + QuotedText(row.Values[*c]) +
                        " into the number; its comma would split the entry there");
            }
        }
        if (split)
            continue;
        const std::string line = Fill(filled.Text, row);
        TPP5Phonebook one;
        one.SetCount(1);
        TPhonebookFileReport report;
        ParsePhonebookText(ForPhonebookReader(line), one, &report);
        const std::string shown = " (" + QuotedText(line, 60) + ")";
        for (const TPhonebookLineProblem& problem : report.Problems)
            add(name, filled.Line, of + WithoutLinePrefix(PhonebookLineProblemText(problem), 1) + shown);
        for (const std::string& text : EntryProblems(one, 0))
            add(name, filled.Line, of + text);
    }

    for (const TLayout::TFilledLine& filled : layout.SpeedDial) {
        if (usesUnusable(filled.Marks))
            continue;
        const std::string line = Fill(filled.Text, row);
        for (const std::string& text : SpeedDialNumberProblems(TrimmedText(line.substr(line.find(',') + 1))))
            add(Files[SpeedDial]->Name, filled.Line, of + text);
    }

    bool overrides = false;
    for (size_t c = 1; c < Columns.size(); ++c) {
        const TProfileField* field = ProfileFieldNamed(Columns[c]);
        const std::string value = TrimmedText(row.Values[c]);
        if (!field || value.empty() || !Files[Profile])
            continue;
        overrides = true;
        if (!ProfileValue(*field, value))
            add(csv, row.Line,
                "column " + QuotedText(Columns[c]) + ": " + QuotedText(value) +
                    " is no value of the setting (" + ProfileValuesText(*field) + ")");
    }
    if (Files[Profile] && ProfileRead.InFile == 0 && ProfileRead.Refused.empty() && !overrides &&
        std::any_of(Columns.begin(), Columns.end(),
                    [](const std::string& c) { return ProfileFieldNamed(c); }))
        add(csv, row.Line,
            std::string("the profile of this handset holds no setting: ") + ProfileName +
                " has none and the row's setting columns are empty");
    return problems;
}

// ---- a handset's files ----

TProvisionTemplate::TFiles TProvisionTemplate::For(const std::string& serial) const {
    const TRow* row = RowOf(serial);
    if (!row && HasPlaceholders())
        throw ETemplateError("Handset " + PrintableText(serial) + " is not listed in " +
                             (Handsets ? Handsets->Name : std::string(HandsetsName)) +
                             ", and the template's placeholders need its row (template " + FolderPath + ").");
    std::vector<TTemplateProblem> problems = TemplateProblems();
    if (row)
        for (TTemplateProblem& problem : RowProblems(*row, Layout()))
            problems.push_back(std::move(problem));
    std::erase_if(problems, [&](const TTemplateProblem& p) {
        return !p.Serial.empty() && (!row || p.Serial != row->Serial);
    });
    if (!problems.empty()) {
        std::string text =
            "The template " + FolderPath + " cannot be written to handset " + PrintableText(serial) + ":";
        for (size_t i = 0; i < problems.size() && i < ProblemsInMessage; ++i)
            text += "\n" + TemplateProblemText(problems[i]);
        if (problems.size() > ProblemsInMessage)
            text += "\nand " + std::to_string(problems.size() - ProblemsInMessage) + " more";
        throw ETemplateError(text);
    }
    TFiles files;
    if (Files[Phonebook])
        files.Phonebook = PhonebookFor(row);
    if (Files[SpeedDial])
        files.SpeedDial = SpeedDialFor(row);
    if (Files[Groups])
        files.Groups = Files[Groups]->Bytes;
    if (Files[Profile])
        files.Profile = ProfileFor(row);
    return files;
}

std::string TProvisionTemplate::PhonebookFor(const TRow* row) const {
    const std::string& bytes = Files[Phonebook]->Bytes;
    if (!row)
        return bytes;
    bool utf8 = false;
    std::string text;
    for (const TLine& line : SplitLines(SingleByteText(bytes, &utf8)))
        text += Fill(line.Text, *row) + line.End;
    // Written as the template is: UTF-8 stays UTF-8; code page text stays so unless the reader would take
    // the filled bytes for UTF-8, which the byte order mark rules out.
    if (utf8)
        return (bytes.starts_with(ByteOrderMark) ? std::string(ByteOrderMark) : std::string()) +
               FromAnsi(text).toUtf8().toStdString();
    return SingleByteText(text) == text ? text : ForPhonebookReader(text);
}

std::string TProvisionTemplate::SpeedDialFor(const TRow* row) const {
    const std::string& bytes = Files[SpeedDial]->Bytes;
    if (!row)
        return bytes;
    std::string text = bytes.starts_with(ByteOrderMark) ? std::string(ByteOrderMark) : std::string();
    for (const TLine& line : SplitLines(WithoutMark(bytes)))
        text += Fill(line.Text, *row) + line.End;
    return text;
}

std::string TProvisionTemplate::ProfileFor(const TRow* row) const {
    const std::string& bytes = Files[Profile]->Bytes;
    std::vector<std::pair<const TProfileField*, int>> overrides;
    for (size_t c = 1; row && c < Columns.size() && c < row->Values.size(); ++c)
        if (const TProfileField* field = ProfileFieldNamed(Columns[c]))
            if (const std::optional<int> value = ProfileValue(*field, TrimmedText(row->Values[c])))
                overrides.emplace_back(field, *value);
    if (overrides.empty())
        return bytes;
    // The settings go in as a profile write of the window would put them: the file's other lines kept.
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        throw ETemplateError("No folder for a temporary file: " + scratch.errorString().toStdString());
    const std::string path = scratch.filePath(ProfileName).toStdString();
    try {
        WriteFileAtomically(path, bytes);
        TIniFile ini(path);
        ini.BeginBatch();
        for (const auto& [field, value] : overrides)
            ini.WriteInteger(field->Section, field->Key, value);
        if (!ini.EndBatch())
            throw EFileError(ini.LastError());
        return ReadFileBytes(path, TemplateFileLimit);
    } catch (const EFileError& e) {
        throw ETemplateError(std::string("Could not make the handset's profile: ") + e.what());
    }
}
