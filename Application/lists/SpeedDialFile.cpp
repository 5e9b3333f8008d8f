#include "lists/SpeedDialFile.h"

#include "platform/TextFile.h"
#include "platform/Texts.h"

#include <exception>

bool OpenSpeedDialList(TUserInteraction& ui, TPP5SpeedDial& list) {
    const std::string path = ui.AskFileName(false, Texts::SpeedDialFilter, Texts::SpeedDialExtension);
    if (path.empty())
        return false;
    // Loaded beside the list, so that a file that is refused leaves the list as it was.
    TPP5SpeedDial loaded;
    try {
        LoadSpeedDialList(path, loaded);
    } catch (const EUnusableFile& e) {
        ui.Message(TMessageKind::Error, std::string(Texts::CouldNotReadFile) + "\r\r" + e.what(),
                   TButtons::Ok);
        return false;
    }
    list = loaded;
    ui.ShowListEntry(TListKind::SpeedDial, AllEntries);
    return true;
}

bool SaveSpeedDialListAs(TUserInteraction& ui, const TPP5SpeedDial& list) {
    const std::string path = ui.AskFileName(true, Texts::SpeedDialFilter, Texts::SpeedDialExtension);
    if (path.empty())
        return false;
    try {
        SaveSpeedDialList(path, list);
    } catch (const std::exception& e) {
        ui.Message(TMessageKind::Error, std::string(Texts::CouldNotSaveList) + "\r\r" + e.what(),
                   TButtons::Ok);
        return false;
    }
    return true;
}
