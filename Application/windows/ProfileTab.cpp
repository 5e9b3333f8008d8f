// The main window's profile tab: twenty lists that show the handset's profile settings, and the
// operations on them.

#include "platform/AnsiText.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFormat.h"
#include "profile/ProfileLists.h"
#include "profile/ProfileTransfer.h"
#include "profile/RingerTest.h"
#include "windows/MainUnit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A widget's own enabled state, as it was last set on it, apart from its parents'.
bool EnabledItself(const QWidget* widget) {
    return !widget->testAttribute(Qt::WA_ForceDisabled);
}

QGroupBox* Box(const char* name, const char* caption, QWidget* parent) {
    auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
    box->setObjectName(name);
    return box;
}

} // namespace

void TMainForm::CreateProfileSheet() {
    gbProfile1 = Box("gbProfile1", Texts::ProfileSettingsBox, tsProfile);
    gbAdvancedSettings = Box("gbAdvancedSettings", Texts::AdvancedSettingsBox, tsProfile);
    auto* settingsForm = new QFormLayout(gbProfile1);
    auto* advancedForm = new QFormLayout(gbAdvancedSettings);
    for (const TProfileList& list : ProfileLists()) {
        QGroupBox* box = list.Advanced ? gbAdvancedSettings : gbProfile1;
        auto* combo = new QComboBox(box);
        combo->setObjectName(list.Name);
        for (const std::string& item : list.Items)
            combo->addItem(QString::fromStdString(item));
        combo->setCurrentIndex(list.Start);
        (list.Advanced ? advancedForm : settingsForm)->addRow(QString::fromUtf8(list.Label), combo);
        ProfileCombos[size_t(list.Setting)] = combo;
    }
    auto* lists = new QHBoxLayout;
    lists->addWidget(gbProfile1);
    lists->addWidget(gbAdvancedSettings);

    const auto addButton = [this](QWidget* parent, const char* name, const char* caption,
                                  void (TMainForm::*handler)()) {
        auto* button = new QPushButton(QString::fromUtf8(caption), parent);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, this, handler);
        return button;
    };
    QGroupBox* operations = Box("gbDefaultsPp", Texts::ProfileOperations, tsProfile);
    auto* operationButtons = new QHBoxLayout(operations);
    operationButtons->addWidget(addButton(operations, "bbtnReadDefaultsFromPp", Texts::ReadFromHandset,
                                          &TMainForm::bbtnReadDefaultsFromPpClick));
    operationButtons->addWidget(addButton(operations, "bbtnWriteDefaultsToPp", Texts::WriteToHandset,
                                          &TMainForm::bbtnWriteDefaultsToPpClick));
    QGroupBox* ringer = Box("gbTestRinger", Texts::RingerToneBox, tsProfile);
    auto* ringerButtons = new QHBoxLayout(ringer);
    ringerButtons->addWidget(
        addButton(ringer, "bbtnTestRinger", Texts::TestRinger, &TMainForm::bbtnTestRingerClick));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(operations, 2);
    buttons->addWidget(ringer, 1);
    auto* enableAll = addButton(tsProfile, "bbtnEnableAllSettings", Texts::EnableAllSettings,
                                &TMainForm::bbtnEnableAllSettingsClick);
    auto* testButton = addButton(tsProfile, "btnTestButton", "", &TMainForm::btnTestButtonClick);
    testButton->setVisible(false);

    lblInfoAdvancedSettings = InfoLabel("lblInfoAdvancedSettings", "", tsProfile);
    auto* layout = static_cast<QVBoxLayout*>(tsProfile->layout());
    layout->addLayout(lists);
    layout->addLayout(buttons);
    layout->addWidget(enableAll, 0, Qt::AlignLeft);
    layout->addWidget(lblInfoAdvancedSettings);
}

QComboBox* TMainForm::ProfileList(TProfileSetting setting) const {
    return ProfileCombos[size_t(setting)];
}

void TMainForm::ProfileToControls(TProfileSettings& settings) {
    for (const TProfileList& list : ProfileLists()) {
        QComboBox* combo = ProfileList(list.Setting);
        if (EnabledItself(combo))
            combo->setCurrentIndex(list.IndexFromValue(settings.Get(list.Setting)));
    }
}

void TMainForm::ControlsToProfile(TProfileSettings& settings) {
    for (const TProfileList& list : ProfileLists()) {
        const QComboBox* combo = ProfileList(list.Setting);
        // A list showing nothing (the handset held a value it has no item for) has no value to give;
        // the handset's bits stay.
        if (EnabledItself(combo) && combo->currentIndex() >= 0)
            settings.Set(list.Setting, list.ValueFromIndex(combo->currentIndex()));
    }
}

void TMainForm::ApplyHandsetLevel(uint8_t level) {
    Core().HandsetLevel = level;
    gbAdvancedSettings->setEnabled(LevelEnablesAdvancedSettings(level));
    for (const TProfileList& list : ProfileLists())
        if (const std::optional<bool> enabled = LevelEnablesList(list.Setting, level))
            ProfileList(list.Setting)->setEnabled(*enabled);
}

void TMainForm::bbtnReadDefaultsFromPpClick() {
    ProfileTransfer->ReadFromHandset();
}

void TMainForm::bbtnWriteDefaultsToPpClick() {
    ProfileTransfer->WriteToHandset();
}

void TMainForm::miSaveProfileAsClick() {
    TProfileSettings settings(Core().Engine());
    const QString path = AskFileName(true, Texts::ProfileFilter, Texts::ProfileExtension);
    if (path.isEmpty())
        return;
    ControlsToProfile(settings);
    if (!settings.SaveToFile(path.toStdString()))
        Message(TMessageKind::Error, FormatText(Texts::CouldNotSaveProfile, ToAnsi(path).c_str()),
                TButtons::Ok);
}

void TMainForm::miOpenProfileClick() {
    TProfileSettings settings(Core().Engine());
    const QString path = AskFileName(false, Texts::ProfileFilter, Texts::ProfileExtension);
    if (path.isEmpty())
        return;
    if (!settings.LoadFromFile(path.toStdString())) {
        Message(TMessageKind::Error, FormatText(Texts::CouldNotOpenProfile, ToAnsi(path).c_str()),
                TButtons::Ok);
        return;
    }
    for (const TProfileList& list : ProfileLists())
        ProfileList(list.Setting)
            ->setEnabled((settings.InFile & TProfileSettings::Field(list.Setting).Bit()) != 0);
    ProfileToControls(settings);
}

void TMainForm::bbtnTestRingerClick() {
    TestRinger(Core(), *this, ProfileList(TProfileSetting::RingerTone)->currentIndex() + 1);
}

void TMainForm::bbtnEnableAllSettingsClick() {
    ProfileList(TProfileSetting::Vibrator)->setEnabled(true);
    gbAdvancedSettings->setEnabled(true);
    for (const TProfileList& list : ProfileLists())
        if (list.Advanced)
            ProfileList(list.Setting)->setEnabled(true);
}

void TMainForm::btnTestButtonClick() {}
