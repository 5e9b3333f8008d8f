#include "cli/BackupCommands.h"

#include "cli/Help.h"
#include "cli/JsonOutput.h"
#include "cli/Summary.h"
#include "platform/Backups.h"
#include "platform/TextFile.h"

#include <cstdio>
#include <map>

namespace {

// "00291 0284280" for the tag "00291-0284280"; a person reads the serial number as the handset shows it.
std::string HandsetOfTag(const TBackupCopy& copy) {
    if (copy.handset.empty())
        return "(handset not recorded)";
    std::string text = copy.handset;
    if (text.size() == 13 && text[5] == '-')
        text[5] = ' ';
    else if (text == "noSIM")
        text = std::string(NoSimText) + " at " + copy.port;
    else if (text == "unknown")
        text = "serial number not read, at " + copy.port;
    return text;
}

int List(const TGlobalOptions& options) {
    if (!options.form.Operands().empty())
        options.form.Refuse("backups list takes no file");
    const std::vector<TBackupCopy> copies = BackupCopies();
    QJsonArray list;
    std::string shown;
    for (const TBackupCopy& copy : copies) {
        list.append(QJsonObject{{"file", JsonPath(copy.path)},
                                {"kind", JsonText(copy.kind)},
                                {"handset", JsonText(HandsetOfTag(copy))},
                                {"port", JsonText(copy.port)},
                                {"time", JsonText(copy.time)}});
        if (const std::string handset = HandsetOfTag(copy); handset != shown) {
            PrintResult("Handset " + handset + ":");
            shown = handset;
        }
        PrintResult("  " + copy.kind + std::string(copy.kind.size() < 24 ? 24 - copy.kind.size() : 1, ' ') +
                    copy.time + "  " + copy.path);
    }
    AddJson({{"folder", JsonPath(BackupFolder())}, {"backups", list}});
    PrintMessage(Counted(long(copies.size()), "copy", "copies") + " in " + BackupFolder() + ".");
    return Exit::Done;
}

int Prune(const TGlobalOptions& options) {
    int keep = KeptCopies;
    if (const std::optional<std::string> kept = options.form.Value("--keep"))
        keep = int(ParseNumber(*kept, 1, 100000, "--keep"));
    if (!options.form.Operands().empty())
        options.form.Refuse("backups prune takes no file");
    std::vector<std::string> removed;
    try {
        removed = PruneBackups(keep);
    } catch (const EFileError& e) {
        throw TCommandFailure(std::string("Could not remove a backup: ") + e.what());
    }
    QJsonArray list;
    for (const std::string& path : removed)
        list.append(JsonPath(path));
    AddJson({{"removed", list}, {"keep", keep}});
    PrintResult("Removed: " + Counted(long(removed.size()), "copy", "copies") + "; kept the newest " +
                std::to_string(keep) + " of each handset and kind.");
    return Exit::Done;
}

int Backups(const TGlobalOptions& options) {
    if (!options.args.empty() && options.args[0] == "list")
        return List(options);
    if (!options.args.empty() && options.args[0] == "prune")
        return Prune(options);
    RefuseCall("backups");
}

} // namespace

std::string BackupToRestore(TCliSession& session, const std::string& file, const char* kind,
                            const char* extension, const std::string& what) {
    session.OpenPort();
    session.ConnectHandset();
    const THandsetIdentity handset = session.Core().Handset;
    if (!file.empty()) {
        const std::optional<TBackupCopy> copy = BackupCopyOf(file);
        if (copy && !copy->handset.empty() && !CopyOfHandset(*copy, handset))
            throw TInputError(file + " is a copy of the handset " + HandsetOfTag(*copy) + ", not of " +
                              handset.Describe() + "; nothing was written.");
        return file;
    }
    const std::string path = NewestBackup(kind, extension, handset);
    if (path.empty())
        throw TInputError("there is no " + what + " backup of the handset " + handset.Describe() + " in " +
                          BackupFolder() +
                          "; nothing was written. \"quorvel-cli backups list\" shows the copies kept.");
    return path;
}

std::vector<TCommand> BackupCommands() {
    return {
        {"backups",
         {{"list",
           "",
           "the kept copies of handsets' lists, by handset",
           "Lists the copies kept in the backups folder before operations changed a handset, by the\n"
           "handset's serial number, with their kind and time.\n",
           {},
           "quorvel-cli backups list",
           false,
           false},
          {"prune",
           "[--keep N]",
           "remove all but the newest copies",
           "Removes the older copies of each handset and kind, keeping the newest N (20 unless given,\n"
           "never fewer than 1). Each new copy already keeps the newest 20 of its handset and kind.\n",
           {{"--keep", "N", "how many copies of each handset and kind to keep"}},
           "quorvel-cli backups prune --keep 5",
           false,
           false}},
         Backups},
    };
}
