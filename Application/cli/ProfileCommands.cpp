#include "cli/ProfileCommands.h"

#include "cli/BackupCommands.h"
#include "cli/CliSession.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/PlanReport.h"
#include "cli/Summary.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "profile/ProfileLists.h"
#include "profile/ProfileTransfer.h"
#include "profile/RingerTest.h"

#include <QFile>
#include <QTemporaryDir>

#include <bit>
#include <cstdio>

namespace {

[[noreturn]] void ProfileUsageError() {
    RefuseCall("profile");
}

bool Has(uint32_t settings, const TProfileList& list) {
    return (settings & TProfileSettings::Field(list.Setting).Bit()) != 0;
}

// The settings a plan keeps as the handset holds them.
uint32_t HeldAlready(const TWritePlan& plan) {
    uint32_t held = 0;
    for (const TProfileList& list : ProfileLists())
        for (const TPlanLine& line : plan.Lines)
            if (line.Step == TPlanStep::Keep && line.Item == list.Label)
                held |= TProfileSettings::Field(list.Setting).Bit();
    return held;
}

// The keys of the settings in `settings`, for the person to read.
std::string KeyNames(uint32_t settings) {
    std::string names;
    for (const TProfileList& list : ProfileLists())
        if (Has(settings, list))
            names += (names.empty() ? "" : ", ") + std::string(TProfileSettings::Field(list.Setting).Key);
    return names;
}

// After a read the window shows every setting the handset's level has, except a value no item of its
// list shows; saving then writes exactly those.
void KeepShownSettings(const TProfileValues& values, uint8_t level, TProfileSettings& file) {
    const uint32_t ofLevel = SettingsOfLevel(level);
    for (const TProfileList& list : ProfileLists()) {
        const std::optional<int>& value = values[size_t(list.Setting)];
        if (value && Has(ofLevel, list) && list.IndexFromValue(*value) >= 0)
            file.Set(list.Setting, *value);
    }
}

int Read(TCliSession& session, const std::string& output, bool json) {
    session.OpenPort();
    TProfileTransfer transfer(session.Core(), session.User());
    QTemporaryDir scratch;
    std::string path = output == "-" ? std::string() : output;
    if (path.empty()) {
        if (!scratch.isValid())
            throw TCommandFailure("No folder for a temporary file.");
        path = scratch.filePath("profile.pro").toStdString();
    }
    const std::optional<TProfileValues> values = transfer.ReadFromHandset();
    if (!values)
        return Exit::Failed;
    TProfileSettings file(session.Engine());
    KeepShownSettings(*values, session.Core().HandsetLevel, file);
    try {
        file.SaveToFile(path);
    } catch (const std::exception& e) {
        throw TCommandFailure("Could not write " + path + ": " + e.what());
    }
    if (json) {
        QJsonObject settings;
        const uint32_t ofLevel = SettingsOfLevel(session.Core().HandsetLevel);
        for (const TProfileList& list : ProfileLists()) {
            const std::optional<int>& value = (*values)[size_t(list.Setting)];
            if (value && Has(ofLevel, list) && list.IndexFromValue(*value) >= 0)
                settings[TProfileSettings::Field(list.Setting).Key] = *value;
        }
        AddJson({{"level", session.Core().HandsetLevel}, {"settings", settings}});
    }
    if (output.empty() || output == "-")
        PrintData(ReadFileBytes(path, 1 << 20));
    else
        ReportSaved("Profile saved to " + output, output);
    return Exit::Done;
}

} // namespace

int WriteProfileFile(TCliSession& session, const std::string& file, const char* backupKind) {
    // The file first: one that cannot be read changes nothing in the handset.
    TProfileSettings loaded(session.Engine());
    try {
        // A backup goes back as the handset held it, values outside the lists too.
        loaded.LoadFromFile(file, std::string_view(backupKind) == TProfileTransfer::BackupBeforeRestoreKind);
    } catch (const std::exception& e) {
        throw TInputError("Could not read " + file + " (" + e.what() + ").");
    }
    if (!loaded.SectionsFound)
        throw TInputError(FormatText(Texts::NoProfileSections, file.c_str()) + " Nothing was written.");
    if (!loaded.Refused.empty()) {
        for (const TProfileSettings::TRefusedValue& value : loaded.Refused)
            PrintMessage(TProfileSettings::RefusedText(value));
        throw TInputError(file + ": nothing was written to the handset.");
    }
    if (!loaded.UnknownKeys.empty())
        throw TInputError(file + ": keys that are no profile setting: " + JoinedText(loaded.UnknownKeys) +
                          ". Nothing was written.");
    if (!loaded.DuplicateKeys.empty())
        throw TInputError(file + ": settings given twice: " + JoinedText(loaded.DuplicateKeys) +
                          "; each has one value. Nothing was written.");
    if (loaded.InFile == 0)
        throw TInputError(file + " holds no setting this program knows. Nothing was written.");
    session.OpenPort();
    TProfileTransfer transfer(session.Core(), session.User());
    transfer.SetBackupKind(backupKind);
    TProfileValues wanted;
    for (const TProfileList& list : ProfileLists())
        if (Has(loaded.InFile, list))
            wanted[size_t(list.Setting)] = loaded.Get(list.Setting);
    const std::optional<uint32_t> written = transfer.WriteToHandset(wanted);
    if (session.User().Given.dryRun)
        return DryRunOutcome(session);
    TWriteSummary summary{"setting", "settings", written.has_value()};
    summary.skips = false;
    summary.notWritten = int(std::popcount(loaded.InFile));
    if (!written)
        return ReportWrite(session.User(), transfer.LastOutcome(), summary);
    const uint32_t skipped = loaded.InFile & ~*written;
    // Only the settings the plan changed were sent; the others the handset held already.
    const uint32_t held = transfer.LastPlan() ? *written & HeldAlready(*transfer.LastPlan()) : 0;
    const uint32_t changed = *written & ~held;
    if (changed)
        PrintResult("Written settings: " + KeyNames(changed));
    if (held)
        PrintResult("Already held, not written again: " + KeyNames(held));
    if (skipped)
        PrintMessage("Not written, the handset does not have: " + KeyNames(skipped));
    return ReportWrite(session.User(), transfer.LastOutcome(), summary);
}

namespace {

// Writes a kept copy back: the newest one unless a file is named. The profile it replaces is kept as
// well, under a kind of its own, so that a second restore still takes the same copy.
int RestoreBackup(TCliSession& session, const TGlobalOptions& options, const std::string& file) {
    const std::string path =
        BackupToRestore(session, file, TProfileTransfer::BackupKind, Texts::ProfileExtension, "profile");
    return WriteBack(session, options, path, false, [&] {
        return WriteProfileFile(session, path, TProfileTransfer::BackupBeforeRestoreKind);
    });
}

int Profile(const TGlobalOptions& options) {
    const TFormArgs& form = options.form;
    const std::string what = options.args.empty() ? "" : options.args[0];
    if (what == "read" && form.Operands().empty()) {
        TCliSession session(options);
        return Read(session, form.Value("-o").value_or(""), options.json);
    }
    if (what == "write") {
        const std::string& file = form.Operand("FILE.pro");
        TCliSession session(options);
        return WriteProfileFile(session, file, TProfileTransfer::BackupKind);
    }
    if (what == "restore-backup" && form.Operands().size() <= 1) {
        TCliSession session(options);
        return RestoreBackup(session, options, form.Operands().empty() ? std::string() : form.Operands()[0]);
    }
    ProfileUsageError();
}

int Ringer(const TGlobalOptions& options) {
    if (options.args.size() != 1)
        RefuseCall("ringer");
    const int tone = int(ParseNumber(options.args[0], 1, 9, "TONE"));
    TCliSession session(options);
    session.OpenPort();
    if (!TestRinger(session.Core(), session.User(), tone))
        return Exit::Failed;
    AddJson({{"tone", tone}});
    PrintResult("Ringer tone " + std::to_string(tone) + " played.");
    return Exit::Done;
}

} // namespace

std::vector<TCommand> ProfileCommands() {
    return {
        {"profile",
         {{"read", "[-o FILE.pro]", "read the handset's profile",
           "Reads the handset's profile; the .pro text goes to stdout, or to FILE (\"-\" for stdout). It "
           "holds\n"
           "the settings the handset has (the vibrator and the advanced settings depend on its software).\n"
           "With --json, the settings as a JSON document.\n",
           OutputOptions("FILE.pro"), "quorvel-cli profile read -o office.pro"},
          {"write",
           "FILE.pro",
           "write the settings a .pro file holds",
           "Writes the settings FILE holds, as far as the handset has them, and asks first (or --yes).\n"
           "Settings the file lacks keep the handset's values. Before it writes, every setting the handset\n"
           "has is kept in a dated .pro file in the backups folder of the per-user folder.\n",
           {},
           "quorvel-cli --port all --yes profile write office.pro",
           true,
           true,
           true},
          {"restore-backup",
           "[FILE.pro]",
           "write the newest kept profile back",
           "Writes the newest copy kept before a profile write (or FILE) back (asks, or --yes).\n",
           {},
           "quorvel-cli --yes profile restore-backup",
           true,
           true,
           true}},
         Profile},
        {"ringer",
         {{"",
           "TONE",
           "play ringer tone 1 to 9 on the handset",
           "Connects and lets the handset play ringer tone TONE (1 to 9), as the profile tab's ringer test\n"
           "does; the handset's answer is not looked at.\n",
           {},
           "quorvel-cli ringer 3"}},
         Ringer},
    };
}
