#pragma once

#include "core/MainCore.h"
#include "platform/UserInteraction.h"
#include "profile/ProfileSettings.h"
#include "windows/KillTimer.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QPushButton;
class TPhoneBookGrid;
class TPhonebookTransfer;
class TProfileTransfer;
class QLabel;
class QTabWidget;
class QToolBar;
class QToolButton;
class TComForm;
class TProgressForm;
class TSaveQuestionForm;

// The main window: tool bar menus, the five tabs, the status bar, the busy state. The handset work
// itself is done by the core; the window is the person's side of it.
class TMainForm : public QMainWindow, public TUserInteraction {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 539;
    static constexpr int DesignHeight = 523;
    static constexpr int DesignFontSize = 8;

    explicit TMainForm(const QStringList& arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The three windows created after this one, which it uses.
    void SetWindows(TComForm* com, TSaveQuestionForm* saveQuestion, TProgressForm* progress);

    TMainCore& Core() { return *MainCore; }
    bool Busy() const { return IsBusy; }
    int GridFontSize() const { return FontSize; }
    TRowColour RowColour(int row) const;

    // TUserInteraction
    void ShowStatus(const std::string& text) override;
    TAnswer Message(TMessageKind kind, const std::string& text, TButtons buttons) override;
    TWriteMode AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) override;
    void ProgressStart(int min, int max, int step) override;
    void ProgressStep() override;
    void ProgressAnimated() override;
    void ProgressEnd() override;
    void SetBusy(bool busy) override;
    void SetRowColour(int row, TRowColour colour) override;
    void ResetRowColours() override;

    TKillTimer KillTimer;

    // Asks for a file to save (or to open, which must exist); an empty name when cancelled. Filters are
    // written "Caption (*.ext)|*.ext". Tests put their own answer here.
    std::function<QString(bool save, const char* filter, const char* extension)> AskFileName;

    TPhoneBookGrid* PhoneBookGrid() const { return sgPhoneBook; }

    // The phone book tab's buttons and menu entries.
    void bbtnLoadFromPpClick();
    void bbtnSaveToPpClick();
    void bbtnDeleteInPpClick();
    void bbtnCleanGridClick();
    void miSavePhoneBookAsClick();
    void miOpenPhoneBookClick();
    void miOutlookContactsClick();

    // Shows the SIM interpreter list's version and date on the SIM tab, and hides the tab when the
    // list does not have the version the program reads.
    void CheckSimInterpreter();

    // The profile tab. A list takes part in reading and writing only while it is enabled itself,
    // whatever its box is.
    QComboBox* ProfileList(TProfileSetting setting) const;
    void ProfileToControls(TProfileSettings& settings);
    void ControlsToProfile(TProfileSettings& settings);
    void ApplyHandsetLevel(uint8_t level);
    void bbtnReadDefaultsFromPpClick();
    void bbtnWriteDefaultsToPpClick();
    void miOpenProfileClick();
    void miSaveProfileAsClick();
    void bbtnTestRingerClick();
    void bbtnEnableAllSettingsClick();
    void btnTestButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateTabs();
    void CreatePhoneBookSheet();
    void CreateProfileSheet();
    // A yellow label with a note for the person.
    static QLabel* InfoLabel(const char* name, const char* text, QWidget* parent);
    QString ChooseFile(bool save, const char* filter, const char* extension);
    void CreateStatusBar();
    void ArrangeControls();
    void ApplyFeatureSwitches();
    void ApplySwitches(const QStringList& arguments);
    void FormShow();
    bool OpenStoredPort();

    void ApplyGridFont();
    void SheetShown(QWidget* sheet);
    void SheetHidden(QWidget* sheet);
    void EnableSheetEntries(QWidget* sheet, bool enabled);
    void PageChanged(int index);

    void miChangeSerialDeviceClick();
    void miTestConnectionClick();
    void miMailMonitorClick();
    void miFontDecreaseClick();
    void miFontIncreaseClick();
    void NotBuiltYet();

    QAction* AddEntry(QMenu* menu, const char* name, const char* text);
    QAction* AddSeparator(QMenu* menu, const char* name);

    std::unique_ptr<TMainCore> MainCore;
    std::unique_ptr<TPhonebookTransfer> PhonebookTransfer;
    std::unique_ptr<TProfileTransfer> ProfileTransfer;
    TComForm* ComForm = nullptr;
    TSaveQuestionForm* SaveQuestion = nullptr;
    TProgressForm* Progress = nullptr;

    QToolBar* MainToolBar = nullptr;
    std::vector<QToolButton*> ToolBarButtons;
    QTabWidget* PageControl = nullptr;
    QWidget* tsPhoneBook = nullptr;
    QWidget* tsSim = nullptr;
    QWidget* tsProfile = nullptr;
    QWidget* tsSpeedDial = nullptr;
    QWidget* tsBroadcastGroups = nullptr;
    TPhoneBookGrid* sgPhoneBook = nullptr;
    std::array<QComboBox*, ProfileSettingCount> ProfileCombos{};
    QGroupBox* gbProfile1 = nullptr;
    QGroupBox* gbAdvancedSettings = nullptr;
    QLabel* StatusPanels[3] = {};
    QLabel* lblInfoAdvancedSettings = nullptr;
    QLabel* lblInfoSpeedDial = nullptr;
    QLabel* lblInfoBroadcastGroups = nullptr;
    QLabel* lblXmlDateText = nullptr;
    QLabel* lblXmlVersionText = nullptr;

    QAction* miOpenPhoneBook = nullptr;
    QAction* miSavePhoneBookAs = nullptr;
    QAction* N3 = nullptr;
    QAction* miOpenProfile = nullptr;
    QAction* miSaveProfileAs = nullptr;
    QAction* N6 = nullptr;
    QAction* miOpenSpeedDialList = nullptr;
    QAction* miSaveSpeedDialListAs = nullptr;
    QAction* N7 = nullptr;
    QAction* miOpenBroadcastGroups = nullptr;
    QAction* miSaveBroadcastGroupsAs = nullptr;
    QAction* N1 = nullptr;
    QAction* miMailMonitor = nullptr;
    QAction* miFontDecrease = nullptr;
    QAction* miFontIncrease = nullptr;
    QAction* N5 = nullptr;
    QAction* miOutlookContacts = nullptr;

    int FontSize = DesignFontSize;
    bool IsBusy = false;
    bool FirstShowDone = false;
    QWidget* CurrentSheet = nullptr;
};
