#include "lists/BroadcastGroupsFile.h"

#include "platform/PhoneBookResourceStrings.h"

bool OpenBroadcastGroups(TUserInteraction& ui, TBroadcastGroups& groups) {
    groups.Clear();
    ui.ShowListEntry(TListKind::BroadcastGroups, AllEntries);
    const std::string path = ui.AskFileName(false, Texts::GroupsFilter, Texts::GroupsExtension);
    if (path.empty())
        return false;
    if (!groups.LoadFromFile(path)) {
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
    if (!groups.SaveToFile(path)) {
        ui.Message(TMessageKind::Error, Texts::CouldNotWriteFile, TButtons::Ok);
        return false;
    }
    return true;
}
