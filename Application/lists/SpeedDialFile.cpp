#include "lists/SpeedDialFile.h"

#include "platform/TextFile.h"
#include "platform/Texts.h"

#include "platform/TextFormat.h"
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

// What the handset cannot take of a speed dial number as a .sdl line gives it.
std::vector<std::string> SpeedDialNumberProblems(const std::string& number) {
    std::vector<std::string> problems;
    if (number.size() > TPP5SpeedDial::MaxNumberLength)
        problems.push_back("the number " + QuotedText(number) + " has more than " +
                           std::to_string(TPP5SpeedDial::MaxNumberLength) +
                           " characters, which a speed dial key cannot hold");
    TPP5SpeedDial one;
    one.Numbers[0] = number;
    if (const auto bad = one.FirstUnsendable())
        problems.push_back("the number " + QuotedText(number) + " holds " +
                           QuotedText(std::string(1, bad->second)) +
                           ", which a handset cannot store (digits, *, #, P or - for a pause)");
    return problems;
}

// The key a .sdl line names ("Key 3"), in any case.
std::optional<int> SpeedDialKeyNamed(const std::string& name) {
    for (int k = 0; k < TPP5SpeedDial::Keys; ++k)
        if (SameText(name, SpeedDialKeyName(k)))
            return k;
    return std::nullopt;
}
