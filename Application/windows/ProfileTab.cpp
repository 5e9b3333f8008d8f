#include "windows/ProfileTab.h"

#include "platform/AnsiText.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "profile/ProfileFile.h"
#include "profile/ProfileLists.h"
#include "profile/ProfileTransfer.h"
#include "profile/RingerTest.h"

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

TProfileTab::TProfileTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab({"tsProfile", Texts::TabProfile, "PROFILE", std::nullopt}, core, ui, parent)
    , Transfer(core, ui) {
    gbProfile1 = AddBusyControl(Box("gbProfile1", Texts::ProfileSettingsBox, this));
    gbAdvancedSettings = Box("gbAdvancedSettings", Texts::AdvancedSettingsBox, this);
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

    QGroupBox* operations = Box("gbDefaultsPp", Texts::ProfileOperations, this);
    auto* operationButtons = new QHBoxLayout(operations);
    operationButtons->addWidget(
        ReadButton(AddButton(operations, "bbtnReadDefaultsFromPp", Texts::ReadFromHandset,
                             &TProfileTab::bbtnReadDefaultsFromPpClick)));
    operationButtons->addWidget(AddButton(operations, "bbtnWriteDefaultsToPp", Texts::WriteToHandset,
                                          &TProfileTab::bbtnWriteDefaultsToPpClick));
    QGroupBox* ringer = Box("gbTestRinger", Texts::RingerToneBox, this);
    auto* ringerButtons = new QHBoxLayout(ringer);
    ringerButtons->addWidget(
        AddButton(ringer, "bbtnTestRinger", Texts::TestRinger, &TProfileTab::bbtnTestRingerClick));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(operations, 2);
    buttons->addWidget(ringer, 1);
    auto* enableAll = AddButton(this, "bbtnEnableAllSettings", Texts::EnableAllSettings,
                                &TProfileTab::bbtnEnableAllSettingsClick);
    auto* testButton =
        AddButton(this, "btnTestButton", "", &TProfileTab::btnTestButtonClick, TWhileBusy::Untouched);
    testButton->setVisible(false);

    lblInfoAdvancedSettings = InfoLabel("lblInfoAdvancedSettings", Texts::InfoAdvancedSettings, this);
    QVBoxLayout* layout = SheetLayout();
    layout->addLayout(lists);
    layout->addLayout(buttons);
    layout->addWidget(enableAll, 0, Qt::AlignLeft);
    layout->addWidget(lblInfoAdvancedSettings);
}

QComboBox* TProfileTab::ProfileList(TProfileSetting setting) const {
    return ProfileCombos[size_t(setting)];
}

void TProfileTab::ProfileToControls(const TProfileValues& values) {
    for (const TProfileList& list : ProfileLists()) {
        QComboBox* combo = ProfileList(list.Setting);
        if (const std::optional<int>& value = values[size_t(list.Setting)]; value && EnabledItself(combo))
            combo->setCurrentIndex(list.IndexFromValue(*value));
    }
}

TProfileValues TProfileTab::ControlsToProfile() const {
    TProfileValues values;
    for (const TProfileList& list : ProfileLists()) {
        const QComboBox* combo = ProfileList(list.Setting);
        // A list showing nothing (the handset held a value it has no item for) has no value to give;
        // the handset's bits stay.
        if (EnabledItself(combo) && combo->currentIndex() >= 0)
            values[size_t(list.Setting)] = list.ValueFromIndex(combo->currentIndex());
    }
    return values;
}

TProfileValues TProfileTab::ValuesToWrite() const {
    TProfileValues values = ControlsToProfile();
    // The connection at the start of the write enables or disables these lists anew for the handset
    // found; the operation keeps those the handset has.
    for (const TProfileList& list : ProfileLists()) {
        const QComboBox* combo = ProfileList(list.Setting);
        if (ListFollowsLevel(list.Setting) && combo->currentIndex() >= 0)
            values[size_t(list.Setting)] = list.ValueFromIndex(combo->currentIndex());
    }
    return values;
}

void TProfileTab::ApplyHandsetLevel(uint8_t level) {
    gbAdvancedSettings->setEnabled(LevelEnablesAdvancedSettings(level));
    for (const TProfileList& list : ProfileLists())
        if (const std::optional<bool> enabled = LevelEnablesList(list.Setting, level))
            ProfileList(list.Setting)->setEnabled(*enabled);
}

void TProfileTab::AddFileEntries(QMenu& file) {
    SetFileEntries(
        AddEntry(file, "miOpenProfile", Texts::OpenProfile, &TProfileTab::miOpenProfileClick),
        AddEntry(file, "miSaveProfileAs", Texts::SaveProfileAs, &TProfileTab::miSaveProfileAsClick));
    AddFeatureSeparator(file, "N6");
}

void TProfileTab::HandsetConnected(int, uint8_t level) {
    ApplyHandsetLevel(level);
    ShowConnectedHandset(*lblInfoAdvancedSettings, Texts::InfoAdvancedSettings);
}

void TProfileTab::bbtnReadDefaultsFromPpClick() {
    if (const std::optional<TProfileValues> values = Transfer.ReadFromHandset())
        ProfileToControls(*values);
}

void TProfileTab::bbtnWriteDefaultsToPpClick() {
    Transfer.WriteToHandset(ValuesToWrite());
}

void TProfileTab::miSaveProfileAsClick() {
    SaveProfileAs(Ui, Core.Engine(), ControlsToProfile());
}

// A setting the file does not hold is disabled, so that a write leaves it as the handset has it.
void TProfileTab::miOpenProfileClick() {
    OpenProfile(Ui, Core.Engine(), [this](const TProfileValues& values) {
        for (const TProfileList& list : ProfileLists())
            ProfileList(list.Setting)->setEnabled(values[size_t(list.Setting)].has_value());
        ProfileToControls(values);
    });
}

void TProfileTab::bbtnTestRingerClick() {
    TestRinger(Core, Ui, ProfileList(TProfileSetting::RingerTone)->currentIndex() + 1);
}

void TProfileTab::bbtnEnableAllSettingsClick() {
    ProfileList(TProfileSetting::Vibrator)->setEnabled(true);
    gbAdvancedSettings->setEnabled(true);
    for (const TProfileList& list : ProfileLists())
        if (list.Advanced)
            ProfileList(list.Setting)->setEnabled(true);
}

void TProfileTab::btnTestButtonClick() {}

TProfileTab::~TProfileTab() = default;
