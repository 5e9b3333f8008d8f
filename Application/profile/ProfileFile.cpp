#include "profile/ProfileFile.h"

#include "platform/AnsiText.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "profile/ProfileLists.h"
#include "profile/ProfileSettings.h"

bool SaveProfileAs(TUserInteraction& ui, TMailControl& engine, const TProfileValues& values) {
    const std::string path = ui.AskFileName(true, Texts::ProfileFilter, Texts::ProfileExtension);
    if (path.empty())
        return false;
    TProfileSettings settings(engine);
    for (const TProfileList& list : ProfileLists())
        if (const std::optional<int>& value = values[size_t(list.Setting)])
            settings.Set(list.Setting, *value);
    try {
        settings.SaveToFile(path);
        return true;
    } catch (const std::exception& e) {
        ui.Message(TMessageKind::Error,
                   FormatText(Texts::CouldNotSaveProfile, ToAnsi(QString::fromStdString(path)).c_str()) +
                       "\r\r" + e.what(),
                   TButtons::Ok);
        return false;
    }
}

bool OpenProfile(TUserInteraction& ui, TMailControl& engine,
                 const std::function<void(const TProfileValues&)>& show) {
    const std::string path = ui.AskFileName(false, Texts::ProfileFilter, Texts::ProfileExtension);
    if (path.empty())
        return false;
    TProfileSettings settings(engine);
    try {
        settings.LoadFromFile(path);
    } catch (const std::exception& e) {
        // The box says what was not done, the status line why.
        ui.ShowStatus(e.what());
        ui.Message(TMessageKind::Error,
                   FormatText(Texts::CouldNotOpenProfile, ToAnsi(QString::fromStdString(path)).c_str()),
                   TButtons::Ok);
        return false;
    }
    const std::string shown = ToAnsi(QString::fromStdString(path));
    if (!settings.SectionsFound) {
        ui.Message(TMessageKind::Error, FormatText(Texts::NoProfileSections, shown.c_str()), TButtons::Ok);
        return false;
    }
    // A key of no setting is a typing error or a file of another kind, and of a setting given twice the
    // value meant is not known: refused whole, as the command line refuses them.
    const std::pair<const std::vector<std::string>*, const char*> refusals[] = {
        {&settings.UnknownKeys, "Keys that are no profile setting: "},
        {&settings.DuplicateKeys, "Settings given twice: "}};
    for (const auto& [keys, what] : refusals)
        if (!keys->empty()) {
            ui.Message(TMessageKind::Error,
                       FormatText(Texts::CouldNotOpenProfile, shown.c_str()) + "\r\r" + what +
                           JoinedText(*keys) + ".",
                       TButtons::Ok);
            return false;
        }
    TProfileValues values;
    for (const TProfileList& list : ProfileLists())
        if ((settings.InFile & TProfileSettings::Field(list.Setting).Bit()) != 0)
            values[size_t(list.Setting)] = settings.Get(list.Setting);
    show(values);
    if (!settings.Refused.empty()) {
        std::string refused;
        for (const TProfileSettings::TRefusedValue& value : settings.Refused)
            refused += "\r" + TProfileSettings::RefusedText(value);
        ui.Message(TMessageKind::Warning,
                   FormatText(Texts::ProfileValuesRefused, shown.c_str(), refused.c_str() + 1), TButtons::Ok);
    }
    return true;
}
