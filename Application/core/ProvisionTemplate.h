#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A provisioning template: a folder with the files every handset of a site gets (any of phonebook.phb,
// speeddial.sdl, groups.BGL and profile.pro) and, optionally, handsets.csv with one row per handset,
// found by the serial number of its SIM (the first column, "serial"). The row's other columns fill the
// placeholders "{column}" in phone book names and numbers and in speed dial numbers; a column named
// as profile.pro names a setting ("ringer volume") overrides that setting for the handset (an empty
// cell keeps profile.pro's value). Nothing here talks to a handset: the template is checked for every
// row first, and each handset's files come out as texts the write commands read.

// A template that cannot be used: the folder is none, a file cannot be read, or a handset's files
// cannot be made; the message names the problems, each with its file and line.
class ETemplateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TTemplateProblem {
    // The file's name in the template folder ("phonebook.phb", "handsets.csv").
    std::string File;
    // Counted from 1; 0: the file as a whole.
    int Line = 0;
    std::string Text;
    // The serial number of the handset whose row of handsets.csv the problem comes with; empty for a
    // problem that concerns every handset.
    std::string Serial;
};

// "handsets.csv:4: serial '00291 0284280' is there twice (first on line 2)"; "profile.pro: ..." for a
// problem of the file as a whole.
std::string TemplateProblemText(const TTemplateProblem& problem);

class TProvisionTemplate {
public:
    static constexpr const char* PhonebookName = "phonebook.phb";
    static constexpr const char* SpeedDialName = "speeddial.sdl";
    static constexpr const char* GroupsName = "groups.BGL";
    static constexpr const char* ProfileName = "profile.pro";
    static constexpr const char* HandsetsName = "handsets.csv";

    // Reads the folder (a file whose name differs only in case is taken too); raises ETemplateError when
    // it is no folder, holds none of the four list files, or a file cannot be read.
    static TProvisionTemplate Load(const std::string& folder);

    // Every problem, before any handset is touched: placeholders no column fills or that stand where
    // nothing is filled, columns that fill nothing, duplicate, empty or malformed serial numbers, rows of
    // the wrong number of fields, values a handset cannot store in the files as they are, and the same
    // for every row as it fills them, each naming the row's line of handsets.csv and the file's line.
    std::vector<TTemplateProblem> Check() const;

    // Whether handsets.csv has a row for the serial number ("00291 0284280"; "00291-0284280" too).
    bool Lists(const std::string& serial) const;
    bool HasPlaceholders() const;
    // The serial numbers of the rows, in the order of handsets.csv, each once; malformed ones left out.
    std::vector<std::string> Serials() const;

    // This handset's files, as texts of the template files' formats: placeholders filled from its row,
    // its profile columns overriding profile.pro. A serial without a row gets the files as they are.
    // Raises ETemplateError, naming the problems, when the serial has no row and the template has
    // placeholders, or when Check finds problems that concern this handset (those of the template as a
    // whole and those of its row).
    struct TFiles {
        std::optional<std::string> Phonebook, SpeedDial, Groups, Profile;
    };
    TFiles For(const std::string& serial) const;

    const std::string& Folder() const { return FolderPath; }
    // The SHA-256 of what the template holds (each file's name and bytes, handsets.csv too): the same
    // for the same content wherever the folder is, another once a file changes.
    std::string ContentHash() const;
    // What the template writes, of "phone book", "speed dial", "broadcast groups" and "profile".
    std::vector<std::string> Kinds() const;
    // The names of the files it holds, as the folder spells them; handsets.csv last.
    std::vector<std::string> FileNames() const;
    bool HasHandsetList() const { return Handsets.has_value(); }

private:
    enum TKind { Phonebook, SpeedDial, Groups, Profile, KindCount };
    struct TFile {
        std::string Name;
        std::string Path;
        std::string Bytes;
    };
    // A record of handsets.csv after its header.
    struct TRow {
        int Line = 0;
        // The first field as written, and the serial number it stands for when it is one.
        std::string SerialText;
        std::optional<std::string> Serial;
        // Every field in the handset's code page; Lost: the file had characters there the code page
        // lacks (shown as "?").
        std::vector<std::string> Values;
        std::vector<bool> Lost;
    };
    // What profile.pro gave when it was read.
    struct TProfileFacts {
        bool SectionsFound = false;
        uint32_t InFile = 0;
        std::vector<std::pair<int, std::string>> Refused;
    };

    TProvisionTemplate() = default;
    void ReadHandsets(const std::string& bytes);

    std::vector<TTemplateProblem> TemplateProblems() const;
    // The lines of the phone book and the speed dial list that a row fills, found once for all rows.
    struct TLayout;
    TLayout Layout() const;
    std::vector<TTemplateProblem> RowProblems(const TRow& row, const TLayout& layout) const;
    void CheckPhonebook(std::vector<TTemplateProblem>& problems) const;
    void CheckSpeedDial(std::vector<TTemplateProblem>& problems) const;
    void CheckGroups(std::vector<TTemplateProblem>& problems) const;
    void CheckProfile(std::vector<TTemplateProblem>& problems) const;
    void CheckPlaceholders(std::vector<TTemplateProblem>& problems) const;
    void CheckHandsets(std::vector<TTemplateProblem>& problems) const;

    std::optional<size_t> ColumnOf(const std::string& name) const;
    // The columns placeholders name, by index.
    std::vector<bool> ColumnsFilled() const;
    const TRow* RowOf(const std::string& serial) const;
    std::string Fill(const std::string& line, const TRow& row) const;
    std::string PhonebookFor(const TRow* row) const;
    std::string SpeedDialFor(const TRow* row) const;
    std::string ProfileFor(const TRow* row) const;

    std::string FolderPath;
    std::array<std::optional<TFile>, KindCount> Files;
    std::optional<TFile> Handsets;
    TProfileFacts ProfileRead;
    // Files that look like a template's but are not read (another name).
    std::vector<std::string> StrayFiles;
    std::vector<std::string> Columns;
    int HeaderLine = 1;
    std::vector<TRow> Rows;
    // How reading handsets.csv went: quotes, the header, field counts, serial numbers.
    std::vector<TTemplateProblem> HandsetsProblems;
};
