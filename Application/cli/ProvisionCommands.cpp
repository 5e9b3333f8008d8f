#include "cli/ProvisionCommands.h"

#include "cli/CliSession.h"
#include "cli/FileKinds.h"
#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/PlanReport.h"
#include "cli/PlanText.h"
#include "cli/StationWatch.h"
#include "cli/Summary.h"
#include "core/ProvisionTemplate.h"
#include "link/HandsetCapabilities.h"
#include "link/StopRequest.h"
#include "lists/PhonebookFile.h"
#include "platform/ChangeLog.h"
#include "platform/ChangeStore.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>

namespace {

struct TArgs {
    std::string folder;
    bool onlyListed = false;
    bool skipMissing = false;
    bool onlyOutdated = false;
};

TArgs ParseArgs(const TFormArgs& form) {
    TArgs parsed;
    parsed.onlyListed = form.Has("--only-listed");
    parsed.skipMissing = form.Has("--skip-missing-lists");
    parsed.onlyOutdated = form.Has("--only-outdated");
    parsed.folder = form.Operand("TEMPLATE");
    return parsed;
}

// One file of the template as this handset gets it: its kind, its name in a folder of the command's own,
// and its text.
struct TPart {
    const char* kind;
    const char* fileName;
    const std::optional<std::string>* text;
};

// The template, checked whole before any handset is asked anything.
TProvisionTemplate LoadChecked(const std::string& folder) {
    try {
        TProvisionTemplate loaded = TProvisionTemplate::Load(folder);
        const std::vector<TTemplateProblem> problems = loaded.Check();
        if (!problems.empty()) {
            for (const TTemplateProblem& problem : problems)
                PrintMessage(TemplateProblemText(problem));
            throw TInputError(folder + ": " + Counted(long(problems.size()), "problem", "problems") +
                              " in the template (quorvel-cli template check " + folder +
                              "); no handset was touched.");
        }
        return loaded;
    } catch (const ETemplateError& e) {
        throw TInputError(e.what());
    }
}

// What the handset cannot take of the template is known before anything is sent: a phone book longer
// than it has room for, a speed dial list on a model without one. The handset is refused with its
// limits named, or with skip, that list is left out and said so.
void SkipOrRefuseMissingLists(TCliSession& session, const THandsetIdentity& handset,
                              TProvisionTemplate::TFiles& files, bool skip) {
    std::vector<std::string> cannot;
    std::vector<std::optional<std::string>*> lists;
    if (files.Phonebook) {
        TPP5Phonebook book;
        book.SetCount(255);
        const int lines = ParsePhonebookText(*files.Phonebook, book);
        const int capacity = session.Core().PhoneBookCapacity;
        int entries = 0;
        int first = 0;
        for (int row = 0; row < lines; ++row) {
            if (book.GetNumber(uint16_t(row)).empty())
                continue;
            ++entries;
            if (row >= capacity && first == 0)
                first = row + 1;
        }
        if (capacity > 0 && first > 0) {
            cannot.push_back("room for " + Counted(capacity, "phone book entry", "phone book entries") +
                             ", and the template's phone book has " + std::to_string(entries) + " (line " +
                             std::to_string(first) + " is beyond them)");
            lists.push_back(&files.Phonebook);
        }
    }
    const std::optional<uint8_t> level = session.Core().HandsetLevelNow();
    if (files.SpeedDial && level && !HandsetCapabilities::HasAdvancedSettings(*level)) {
        cannot.push_back("no speed dial list (a model without advanced settings)");
        lists.push_back(&files.SpeedDial);
    }
    if (cannot.empty())
        return;
    std::string limits;
    for (const std::string& text : cannot)
        limits += (limits.empty() ? "" : "; ") + text;
    if (!skip)
        throw TInputError("The handset " + handset.Describe() + " cannot take the template: it has " +
                          limits + ". Nothing was written to it; --skip-missing-lists writes the rest.");
    PrintMessage("The handset " + handset.Describe() + " has " + limits +
                 ": that part of the template is left "
                 "out (--skip-missing-lists).");
    for (std::optional<std::string>* list : lists)
        list->reset();
}

// The handset was given this very content of the template already and verified: nothing to do for it.
bool GivenAlready(const THandsetIdentity& handset, const TProvisionTemplate& templ) {
    std::optional<THandsetRow> known;
    try {
        for (const THandsetRow& row : ChangeStore().Handsets())
            if (row.Serial == handset.serial)
                known = row;
    } catch (const std::runtime_error& e) {
        PrintMessage(std::string("The table of handsets cannot be read, so the handset is provisioned: ") +
                     e.what());
    }
    if (!known || known->TemplateHash != templ.ContentHash() || known->Verify != "verified")
        return false;
    PrintResult("Not outdated: " + handset.Describe() + " was given this content of " + templ.Folder() +
                " on " + known->TemplateTime + " and verified; --only-outdated leaves it.");
    return true;
}

// One file of the template written to the handset, as the read after the write found it (the write's own
// word is not taken for it): the file's facts for the JSON document, and its outcome in words.
struct TPartOutcome {
    QJsonObject fact;
    bool verified = false;
    std::string outcome;
};

TPartOutcome WritePart(TCliSession& session, const char* kind, const std::string& path,
                       const THandsetIdentity& handset) {
    const TFileWrite file = FileWriteOf(path);
    const TCommandRecord& record = session.User().Record();
    const size_t plansBefore = record.plans.size();
    const size_t outcomesBefore = record.outcomes.size();
    const int wrote = file.write(session);
    TPartOutcome part;
    part.fact = {{"kind", kind}};
    const TWritePlan* plan = record.plans.size() > plansBefore ? &record.plans.back() : nullptr;
    if (plan)
        part.fact["plan"] = PlanJson(*plan);
    if (session.User().Given.dryRun) {
        part.fact["changed"] = plan && plan->ChangesHandset();
        return part;
    }
    const THandsetOutcome* after =
        record.outcomes.size() > outcomesBefore ? &record.outcomes.back() : nullptr;
    const bool changed = after && after->Changed();
    part.verified = wrote == Exit::Done && after && after->Lacking && after->Lacking->Matches(file.ordered);
    part.fact["changed"] = changed;
    part.fact["verified"] = part.verified;
    if (after) {
        const QJsonObject measured = OutcomeJson(*after);
        for (auto it = measured.begin(); it != measured.end(); ++it)
            part.fact[it.key()] = it.value();
    }
    part.outcome = part.verified             ? (changed ? "written and verified" : "already so, verified")
                   : after && after->Lacking ? "differs after the write"
                   : after && after->Result == TChangeResult::NotChanged ? "not changed"
                                                                         : "could not be read back";
    if (!part.verified && after && after->Lacking && after->Changed())
        PrintMessage(
            std::string(kind) + " of " + handset.Describe() +
            " differs from the template (+ only in the template, - only in the handset, ~ changed):\r" +
            DifferencesText(*after->Lacking, file.ordered));
    return part;
}

int Provision(const TGlobalOptions& options, const TArgs& args) {
    const TProvisionTemplate templ = LoadChecked(args.folder);
    TCliSession session(options);
    session.OpenPort();
    session.ConnectHandset();
    const THandsetIdentity handset = session.Core().Identity();
    if (!handset.serial)
        throw TCommandFailure("The serial number of the handset " + handset.Describe() +
                              " could not be read, so it is not known which row of handsets.csv is its own. "
                              "Nothing was written to the handset.");
    const std::string& serial = *handset.serial;
    const bool listed = templ.Lists(serial);
    if (!listed && args.onlyListed)
        throw TCommandFailure("The handset " + handset.Describe() + " is not listed in " + templ.Folder() +
                              "/handsets.csv, and --only-listed takes only those that are. Nothing was "
                              "written to the handset.");
    if (args.onlyOutdated && GivenAlready(handset, templ))
        return Exit::Done;
    TProvisionTemplate::TFiles files;
    try {
        files = templ.For(serial);
    } catch (const ETemplateError& e) {
        throw TCommandFailure(std::string(e.what()) + " Nothing was written to the handset " +
                              handset.Describe() + ".");
    }
    SkipOrRefuseMissingLists(session, handset, files, args.skipMissing);
    // The lines of the change log name the template their operations came from.
    SetChangeTemplate(QDir(QString::fromStdString(templ.Folder())).dirName().toStdString(),
                      templ.ContentHash());
    // Every later write is on this handset: a handset swapped in the docking station meanwhile is refused,
    // and while the line holds, the handset found here is the one each file's step works on.
    session.User().Given.expectedSerial = serial;
    session.Core().KeepConnection = true;

    QTemporaryDir own;
    if (!own.isValid())
        throw TCommandFailure("No folder for the handset's files: " + own.errorString().toStdString());
    const TPart parts[] = {{"phone book", "phonebook.phb", &files.Phonebook},
                           {"speed dial", "speeddial.sdl", &files.SpeedDial},
                           {"groups", "groups.BGL", &files.Groups},
                           {"profile", "profile.pro", &files.Profile}};
    // Each file's plan is shown before its question (or --yes answers it).
    int status = Exit::Done;
    QJsonArray written;
    std::string summary;
    for (const TPart& part : parts) {
        if (!*part.text)
            continue;
        const std::string path = QDir(own.path()).filePath(part.fileName).toStdString();
        WriteFileAtomically(path, **part.text);
        const TPartOutcome wrote = WritePart(session, part.kind, path, handset);
        written.append(wrote.fact);
        if (session.User().Given.dryRun)
            continue;
        if (session.User().ConfirmationRefused())
            return Exit::NotConfirmed;
        if (session.User().ConfirmationDeclined())
            return Exit::Declined;
        if (!wrote.verified)
            status = Exit::Failed;
        summary += std::string(summary.empty() ? "" : "; ") + part.kind + ": " + wrote.outcome;
        // A stop ends the provisioning between two files: what is done stays, the rest is not begun.
        if (StopRequested())
            break;
    }
    AddJson({{"template", JsonPath(templ.Folder())}, {"listed", listed}, {"files", written}});
    if (session.User().Given.dryRun)
        return DryRunOutcome(session);
    // What the handset was given, for "handsets --template" and --only-outdated; information only.
    ChangeStore().NoteTemplate(serial, QDir(QString::fromStdString(templ.Folder())).dirName().toStdString(),
                               templ.ContentHash(), status == Exit::Done ? "verified" : "differs");
    PrintResult((status == Exit::Done ? "Provisioned " : "Not provisioned ") + handset.Describe() +
                (listed ? "" : " (not listed: the template as it is)") + ": " + summary + ".");
    return status;
}

int ProvisionCommand(const TGlobalOptions& options) {
    return Provision(options, ParseArgs(options.form));
}

int StationCommand(const TGlobalOptions& options) {
    if (!options.args.empty() && options.args[0] == "watch")
        return WatchStation(options);
    if (options.args.empty() || options.args[0] != "run")
        RefuseCall("station");
    return Provision(options, ParseArgs(options.form));
}

const std::vector<TOption> ProvisionOptions = {
    {"--only-listed", "", "refuse a handset whose serial number has no row in handsets.csv"},
    {"--skip-missing-lists", "", "leave out a list the handset cannot take, instead of refusing it"},
    {"--only-outdated", "", "leave a handset that was given this content already and verified"}};

} // namespace

std::vector<TCommand> ProvisionCommands() {
    const std::string help =
        "Applies a template folder (phonebook.phb, speeddial.sdl, groups.BGL, profile.pro, and\n"
        "handsets.csv with a row per handset serial number filling {placeholders} and profile settings)\n"
        "to the handset: the template is checked first, then each file is planned, the handset's list kept\n"
        "as a backup, written, and read back to verify it. A handset that already holds the template is\n"
        "only verified. A handset not in handsets.csv gets the template as it is, or is refused with\n"
        "--only-listed (asks once, or --yes). A handset that cannot take a list (a phone book longer than\n"
        "it has room for, a speed dial list on a model without one) is refused before anything is sent,\n"
        "its limits named, or with --skip-missing-lists gets the rest of the template. Each handset's\n"
        "template (its content's SHA-256) and verify go to the PC's table of handsets (quorvel-cli\n"
        "handsets); --only-outdated leaves a handset that was given this content already and verified.\n";
    return {
        {"provision",
         {{"", "TEMPLATE [--only-listed] [--skip-missing-lists] [--only-outdated]",
           "give the handset a template's lists and profile", help, ProvisionOptions,
           "quorvel-cli --yes provision /srv/handsets/office", true, true, true}},
         ProvisionCommand},
        {"station",
         {{"run", "TEMPLATE [--only-listed] [--skip-missing-lists] [--only-outdated]",
           "provision every docking station's handset at once",
           "The provisioning of every docking station that --port names (A,B,C or all) at the same time,\n"
           "each handset with its own row of handsets.csv; one line per handset as it ends and a table at\n"
           "the end.\n" +
               help,
           ProvisionOptions, "quorvel-cli --port all --yes station run /srv/handsets/office", true, true,
           true},
          {"watch",
           "TEMPLATE [--only-listed] [--skip-missing-lists] [--every SECONDS]",
           "provision each handset as it is docked, until Ctrl-C",
           "Keeps running: every few seconds (--every, 2 by default) it probes each idle port of the device\n"
           "map (or of --port A,B), so that it notices a docking station plugged in and a handset put into\n"
           "one; each handset that answers is provisioned once with the template, and said so. The same\n"
           "handset docked again is only verified. A port another program holds is left alone. Ctrl-C\n"
           "ends it between handsets: a provisioning under way finishes first. Asks once, or --yes.\n",
           {{"--only-listed", "", "refuse a handset whose serial number has no row in handsets.csv"},
            {"--skip-missing-lists", "", "leave out a list the handset cannot take, instead of refusing it"},
            {"--every", "SECONDS", "the time between two probes of an idle port"}},
           "quorvel-cli --yes station watch /srv/handsets/office",
           true,
           false,
           false}},
         StationCommand},
    };
}
