#pragma once

#include "core/MainCore.h"
#include "link/TpaProComImpl.h"
#include "platform/UserInteraction.h"
#include "windows/KillTimer.h"

#include <QMainWindow>
#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;
class QTimer;
class QToolButton;
class TBroadcastGroupsTab;
class TBusyNotice;
class TComForm;
class TDesktopNotifier;
class TJobEndNotice;
class TPortStatePanel;
class TMainTab;
class TPhoneBookTab;
class TProfileTab;
class TProgressForm;
class TSaveQuestionForm;
class TSimTab;
class TSpeedDialTab;
class TStationView;

// The main window: the tool bar menus, the five tabs, the status bar and the busy state, and the
// person's side of every operation (the user-interaction interface). The serial port and the core that
// works over it live as long as the window; each tab does its own work. MainUnit.cpp composes the
// window, MainInteraction.cpp is its side of the user-interaction interface and MainPortKeeper.cpp
// keeps its port.
class TMainForm : public QMainWindow, public TUserInteraction {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 539;
    static constexpr int DesignHeight = 523;

    explicit TMainForm(const QStringList& arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The three windows created after this one, which it uses.
    void SetWindows(TComForm* com, TSaveQuestionForm* saveQuestion, TProgressForm* progress);

    TMainCore& Core() { return MainCore; }
    TTpaProComImpl& Port() { return SerialPort; }
    bool Busy() const { return IsBusy; }
    TRowColour RowColour(int row) const;

    TPhoneBookTab& PhoneBook() const { return *tsPhoneBook; }
    TSimTab& Sim() const { return *tsSim; }
    TProfileTab& Profile() const { return *tsProfile; }
    TSpeedDialTab& SpeedDial() const { return *tsSpeedDial; }
    TBroadcastGroupsTab& BroadcastGroups() const { return *tsBroadcastGroups; }

    // TUserInteraction (MainInteraction.cpp)
    void ShowStatus(const std::string& text) override;
    void ConnectionStep(bool running) override;
    TAnswer ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) override;
    TWriteMode AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) override;
    void ProgressStart(int min, int max, int step) override;
    void ProgressStep() override;
    void ProgressWords(const char* doing, const char* noun) override;
    void ProgressAnimated() override;
    void ProgressEnd() override;
    void SetBusy(bool busy) override;
    void SetRowColour(int row, TRowColour colour) override;
    void ResetRowColours() override;
    void HandsetConnected(int phoneBookCapacity, uint8_t level) override;
    bool HandsetIdentified(const THandsetIdentity& handset) override;
    bool ConfirmPlan(const TWritePlan& plan) override;
    void ShowListEntry(TListKind list, int entry) override;
    std::string AskFileName(bool save, const char* filter, const char* extension) override;

    // The SIM tab's check of the SIM interpreter list; the tab goes when the list is of no use.
    void CheckSimInterpreter();

    // Where the end of a long operation or station run is told while the window is not watched (the
    // session bus unless a test gives another), and from how long on a job counts as long.
    void SetDesktopNotifier(std::shared_ptr<TDesktopNotifier> notifier, std::chrono::milliseconds longAfter);
    // The person has this window, or one of its own, as the active window.
    bool Watched() const;

    TKillTimer KillTimer;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateTabs();
    void CreateMenus();
    void CreateTabKeys();
    // To the next visible tab (step 1) or the one before (-1), round the ends.
    void StepTab(int step);
    void CreateStatusBar();
    void ArrangeControls();
    void ApplyFeatureSwitches();
    void ApplySwitches(const QStringList& arguments);
    void FormShow();

    // The port keeper (MainPortKeeper.cpp).
    // Opens the stored port when the window is first shown, asking until one is open. False when the
    // program ends instead.
    bool OpenPortAtStart();
    bool OpenStoredPort();
    // Until a port is open: says why the chosen one is not and asks what to do. False when the person
    // quits (the program ends) or keeps the window without a port.
    bool AskForPort(bool canKeep);
    void ShowPortNumber();
    // The status bar's port panels, brought up to date; every second once the window has a port.
    void WatchPort();
    void miChangeSerialDeviceClick();
    void StationStarted();
    void StationEnded();

    void PageChanged(int index);

    void miTestConnectionClick();
    void miMailMonitorClick();
    void miStationClick();
    void miPrgHelpClick();
    void miAboutClick();

    QAction* AddEntry(QMenu* menu, const char* name, const char* text);
    QAction* AddSeparator(QMenu* menu, const char* name);

    // The port is made before and freed after the core whose engine uses it.
    TTpaProComImpl SerialPort;
    TMainCore MainCore;
    TComForm* ComForm = nullptr;
    TSaveQuestionForm* SaveQuestion = nullptr;
    TProgressForm* Progress = nullptr;
    TBusyNotice* BusyNotice = nullptr;
    TJobEndNotice* OperationNotice = nullptr;
    TJobEndNotice* StationNotice = nullptr;

    QToolBar* MainToolBar = nullptr;
    std::vector<QToolButton*> ToolBarButtons;
    QTabWidget* PageControl = nullptr;
    TPhoneBookTab* tsPhoneBook = nullptr;
    TSimTab* tsSim = nullptr;
    TProfileTab* tsProfile = nullptr;
    TSpeedDialTab* tsSpeedDial = nullptr;
    TBroadcastGroupsTab* tsBroadcastGroups = nullptr;
    // In the order of the pages.
    std::vector<TMainTab*> Tabs;
    QLabel* StatusPanels[3] = {};
    TPortStatePanel* PortState = nullptr;
    QTimer* PortWatch = nullptr;
    QAction* miMailMonitor = nullptr;

    bool IsBusy = false;
    // The person closed the window during an operation and agreed to stop it: the window closes once the
    // operation has stopped and said what the handset holds.
    bool CloseWhenIdle = false;
    // The station view, made when first opened. While the station runs, the window leaves it its port
    // (PortLeftToStation); closing the window stops the station first (CloseWhenStationEnds).
    TStationView* StationWindow = nullptr;
    bool PortLeftToStation = false;
    bool CloseWhenStationEnds = false;
    bool FirstShowDone = false;
    TMainTab* CurrentSheet = nullptr;
};
