#include "profile/ProfileFile.h"

#include "platform/AnsiText.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "profile/ProfileLists.h"
#include "profile/ProfileSettings.h"
#include <charconv>
#include <set>
#include <vector>

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

// The setting a profile file's key names, in any case; nullptr for none.
const TProfileField* ProfileFieldNamed(const std::string& name) {
    for (const TProfileField& field : TProfileSettings::Fields())
        if (SameText(name, field.Key))
            return &field;
    return nullptr;
}

// A value a profile setting takes, as the profile file's reader accepts it: a whole decimal number that
// an item of the setting's list shows.
std::optional<int> ProfileFileValue(const TProfileField& field, const std::string& text) {
    int value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last ||
        ProfileLists()[size_t(field.Setting)].IndexFromValue(value) < 0)
        return std::nullopt;
    return value;
}

// "0 to 5", or "0, 1" for values that are not one run.
std::string ProfileValuesText(const TProfileField& field) {
    const TProfileList& list = ProfileLists()[size_t(field.Setting)];
    std::set<int> values;
    for (int i = 0; i < int(list.Items.size()); ++i)
        if (list.IndexFromValue(list.ValueFromIndex(i)) >= 0)
            values.insert(list.ValueFromIndex(i));
    if (values.empty())
        return "none";
    if (values.size() > 2 && *values.rbegin() - *values.begin() == int(values.size()) - 1)
        return std::to_string(*values.begin()) + " to " + std::to_string(*values.rbegin());
    std::vector<std::string> texts;
    for (const int value : values)
        texts.push_back(std::to_string(value));
    return JoinedText(texts, texts.size());
}
