#include "core/ProvisionTemplate.h"
#include "core/TemplateText.h"

#include "core/CsvRecords.h"
#include "lists/BroadcastGroups.h"
#include "lists/PP5Phonebook.h"
#include "lists/PhonebookFile.h"
#include "lists/SpeedDial.h"
#include "lists/SpeedDialFile.h"
#include "platform/AnsiText.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "profile/ProfileFile.h"
#include "profile/ProfileSettings.h"

#include <algorithm>
#include <map>
#include <set>

// Checking a template: its files as the handset would take them, its table of handsets, and each row
// filled into the files.

using namespace TemplateText;

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
                SpeedDialKeyNamed(TrimmedText(lines[i].Text.substr(0, comma))))
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
        for (const std::string& text : PhonebookEntryProblems(book, i))
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
        const std::optional<int> k = SpeedDialKeyNamed(key);
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
        for (const std::string& text : PhonebookEntryProblems(one, 0))
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
        if (!ProfileFileValue(*field, value))
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
