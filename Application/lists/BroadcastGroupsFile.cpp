#include "lists/BroadcastGroupsFile.h"

#include "platform/TextFile.h"
#include "platform/Texts.h"

bool OpenBroadcastGroups(TUserInteraction& ui, TBroadcastGroups& groups) {
    groups.Clear();
    ui.ShowListEntry(TListKind::BroadcastGroups, AllEntries);
    const std::string path = ui.AskFileName(false, Texts::GroupsFilter, Texts::GroupsExtension);
    if (path.empty())
        return false;
    try {
        groups.LoadFromFile(path);
    } catch (const std::exception& e) {
        // The box says what was not done, the status line why.
        ui.ShowStatus(e.what());
        ui.Message(TMessageKind::Error, Texts::CouldNotReadFile, TButtons::Ok);
        return false;
    }
    ui.ShowListEntry(TListKind::BroadcastGroups, AllEntries);
    return true;
}

bool SaveBroadcastGroupsAs(TUserInteraction& ui, const TBroadcastGroups& groups) {
    const std::string path = ui.AskFileName(true, Texts::GroupsFilter, Texts::GroupsExtension);
    if (path.empty())
        return false;
    try {
        groups.SaveToFile(path);
    } catch (const EFileError& e) {
        ui.ShowStatus(e.what());
        ui.Message(TMessageKind::Error, Texts::CouldNotWriteFile, TButtons::Ok);
        return false;
    }
    return true;
}
