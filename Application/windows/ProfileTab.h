#pragma once

#include "profile/ProfileSettings.h"
#include "profile/ProfileTransfer.h"
#include "windows/MainTab.h"

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;

// The "Profile" tab: twenty lists that show the handset's profile settings, the operations on them,
// the .pro files and the ringer test. A list takes part in reading and writing only while it is
// enabled itself, whatever its box is.
class TProfileTab : public TMainTab {
    Q_OBJECT
public:
    TProfileTab(TMainCore& core, TUserInteraction& ui, QWidget* parent = nullptr);
    ~TProfileTab() override;

    QComboBox* ProfileList(TProfileSetting setting) const;
    void ProfileToControls(const TProfileValues& values);
    // The values of the enabled lists that show one.
    TProfileValues ControlsToProfile() const;
    // What "Write to Handset" offers: the enabled lists, and those whose state follows the handset's
    // level, which the operation decides on once it knows the handset.
    TProfileValues ValuesToWrite() const;
    void ApplyHandsetLevel(uint8_t level);

    void AddFileEntries(QMenu& file) override;
    void HandsetConnected(int phoneBookCapacity, uint8_t level) override;

    void bbtnReadDefaultsFromPpClick();
    void bbtnWriteDefaultsToPpClick();
    void miOpenProfileClick();
    void miSaveProfileAsClick();
    void bbtnTestRingerClick();
    void bbtnEnableAllSettingsClick();
    void btnTestButtonClick();

private:
    TProfileTransfer Transfer;
    std::array<QComboBox*, ProfileSettingCount> ProfileCombos{};
    QGroupBox* gbProfile1 = nullptr;
    QGroupBox* gbAdvancedSettings = nullptr;
    QLabel* lblInfoAdvancedSettings = nullptr;
};
