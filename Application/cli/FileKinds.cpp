#include "cli/FileKinds.h"

#include "cli/Command.h"
#include "cli/GroupCommands.h"
#include "cli/PhonebookCommands.h"
#include "cli/ProfileCommands.h"
#include "cli/SpeedDialCommands.h"
#include "lists/PhonebookTransfer.h"
#include "profile/ProfileTransfer.h"

#include <QFileInfo>

namespace {

QString Suffix(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).suffix().toLower();
}

} // namespace

bool KnownFileKind(const std::string& path) {
    const QString suffix = Suffix(path);
    return suffix == "phb" || suffix == "sdl" || suffix == "bgl" || suffix == "pro";
}

TFileWrite FileWriteOf(const std::string& path, bool transliterate) {
    const QString suffix = Suffix(path);
    if (suffix == "phb")
        return {path,
                [path, transliterate](TCliSession& s) {
                    return WritePhonebookFile(s, path, TWriteMode::Replace, TPhonebookTransfer::BackupKind,
                                              transliterate);
                },
                true};
    if (suffix == "sdl")
        return {path, [path](TCliSession& s) { return WriteSpeedDialFile(s, path); }};
    if (suffix == "bgl")
        return {path, [path](TCliSession& s) { return WriteGroupsFile(s, path, TWriteMode::Replace); }};
    if (suffix == "pro")
        return {path,
                [path](TCliSession& s) { return WriteProfileFile(s, path, TProfileTransfer::BackupKind); }};
    throw TUsageError(path + ": not a list or profile file (.phb, .sdl, .BGL or .pro)");
}
