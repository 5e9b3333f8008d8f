#include "core/ProvisionTemplate.h"
#include "core/TemplateText.h"

#include "core/CsvRecords.h"

#include "link/Sndmail.h"
#include "lists/BroadcastGroups.h"
#include "lists/ContactsText.h"
#include "lists/PP5Phonebook.h"
#include "lists/PhonebookFile.h"
#include "lists/SpeedDial.h"
#include "lists/SpeedDialFile.h"
#include "platform/AnsiText.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "profile/ProfileFile.h"
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

using namespace TemplateText;

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
            if (const std::optional<int> value = ProfileFileValue(*field, TrimmedText(row->Values[c])))
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
