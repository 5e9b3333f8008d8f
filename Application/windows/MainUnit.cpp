#include "windows/MainUnit.h"

#include "link/StopRequest.h"
#include "platform/CfgFiles.h"
#include "platform/Paths.h"
#include "platform/Texts.h"
#include "windows/About.h"
#include "windows/BroadcastGroupsTab.h"
#include "windows/BusyNotice.h"
#include "windows/DesktopNotifier.h"
#include "windows/ElidedLabel.h"
#include "windows/JobEndNotice.h"
#include "windows/MailControlMonitor.h"
#include "windows/PhoneBookTab.h"
#include "windows/PortStatePanel.h"
#include "windows/ProfileTab.h"
#include "windows/SimTab.h"
#include "windows/SpeedDialTab.h"
#include "windows/StationView.h"
#include "windows/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

constexpr int ShutdownGuardMs = 5000;
constexpr int StatusPanelWidths[3] = {50, 300, 150};
// The port panels look this often at whether the docking station is still there.
constexpr auto PortWatchInterval = std::chrono::seconds(1);

} // namespace

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent)
    , MainCore(*this, SerialPort) {
    setObjectName("MainForm");
    setWindowTitle(Texts::ProgramTitle);
    ClearStopRequest();
    BusyNotice = new TBusyNotice(*this, [this] { ShowStatus(Texts::BusyUntilOperationEnds); });
    const std::shared_ptr<TDesktopNotifier> notifier = MakeSessionBusNotifier();
    OperationNotice = new TJobEndNotice(notifier, this);
    StationNotice = new TJobEndNotice(notifier, this);
    resize(DesignWidth, DesignHeight);
    move(391, 104);

    CreateTabs();
    CreateMenus();
    CreateTabKeys();
    CreateStatusBar();
    MainCore.HandsetLevel = 0;
    ArrangeControls();
    ApplyFeatureSwitches();
    LoadWindowPlacement(WindowIniPath(), *this, false);
    MainCore.ConfigureEngine();
    ApplySwitches(arguments);
}

TMainForm::~TMainForm() {
    if (IsBusy)
        QApplication::restoreOverrideCursor();
}

void TMainForm::SetWindows(TComForm* com, TSaveQuestionForm* saveQuestion, TProgressForm* progress) {
    ComForm = com;
    SaveQuestion = saveQuestion;
    Progress = progress;
}

QAction* TMainForm::AddEntry(QMenu* menu, const char* name, const char* text) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setObjectName(name);
    return action;
}

QAction* TMainForm::AddSeparator(QMenu* menu, const char* name) {
    QAction* separator = menu->addSeparator();
    separator->setObjectName(name);
    return separator;
}

void TMainForm::CreateMenus() {
    MainToolBar = addToolBar(QStringLiteral("MainToolBar"));
    MainToolBar->setObjectName("MainToolBar");
    MainToolBar->setMovable(false);
    MainToolBar->setFloatable(false);
    MainToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto addMenu = [this](const char* name, const char* text) {
        auto* menu = new QMenu(QString::fromUtf8(text), this);
        menu->setObjectName(QString(name) + "Menu");
        auto* button = new QToolButton(MainToolBar);
        button->setObjectName(QString("tbtn") + name);
        button->setText(QString::fromUtf8(text));
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setAutoRaise(true);
        MainToolBar->addWidget(button);
        ToolBarButtons.push_back(button);
        // The entries' keys work while the menu is closed: a menu on a tool button belongs to no widget
        // of the window until it is given to one.
        addAction(menu->menuAction());
        return menu;
    };

    QMenu* file = addMenu("File", Texts::MenuFile);
    for (TMainTab* tab : Tabs)
        tab->AddFileEntries(*file);
    QAction* exit = AddEntry(file, "miExit", Texts::Exit);
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* options = addMenu("Options", Texts::MenuOptions);
    connect(AddEntry(options, "miChangeSerialDevice", Texts::ConnectionSettings), &QAction::triggered, this,
            &TMainForm::miChangeSerialDeviceClick);
    connect(AddEntry(options, "miTestConnection", Texts::TestConnection), &QAction::triggered, this,
            &TMainForm::miTestConnectionClick);
    miMailMonitor = AddEntry(options, "miMailMonitor", Texts::MailMonitor);
    miMailMonitor->setVisible(false);
    connect(miMailMonitor, &QAction::triggered, this, &TMainForm::miMailMonitorClick);
    connect(AddEntry(options, "miStation", Texts::Station), &QAction::triggered, this,
            &TMainForm::miStationClick);
    AddSeparator(options, "N2");
    for (TMainTab* tab : Tabs)
        tab->AddOptionEntries(*options);

    QMenu* help = addMenu("Help", Texts::MenuHelp);
    QAction* guide = AddEntry(help, "miPrgHelp", Texts::UserGuide);
    guide->setShortcut(QKeySequence(Qt::Key_F1));
    connect(guide, &QAction::triggered, this, &TMainForm::miPrgHelpClick);
    AddSeparator(help, "N4");
    connect(AddEntry(help, "miAbout", Texts::About), &QAction::triggered, this, &TMainForm::miAboutClick);
}

void TMainForm::CreateTabs() {
    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    setCentralWidget(PageControl);
    tsPhoneBook = new TPhoneBookTab(MainCore, *this, PageControl);
    tsSim = new TSimTab(MainCore, *this, PageControl);
    tsProfile = new TProfileTab(MainCore, *this, PageControl);
    tsSpeedDial = new TSpeedDialTab(MainCore, *this, PageControl);
    tsBroadcastGroups = new TBroadcastGroupsTab(MainCore, *this, PageControl);
    Tabs = {tsPhoneBook, tsSim, tsProfile, tsSpeedDial, tsBroadcastGroups};
    for (TMainTab* tab : Tabs)
        PageControl->addTab(tab, QString::fromUtf8(tab->Caption()));

    // The window is designed with the last tab active.
    CurrentSheet = Tabs.back();
    PageControl->setCurrentWidget(CurrentSheet);
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::PageChanged);
}

// Ctrl+Tab and Ctrl+Shift+Tab change the tab wherever the focus is in the window: a grid with the focus
// would take them for Tab and Shift+Tab.
void TMainForm::CreateTabKeys() {
    const auto addKeys = [this](const char* name, QList<QKeySequence> keys, int step) {
        auto* action = new QAction(this);
        action->setObjectName(name);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, [this, step] { StepTab(step); });
        addAction(action);
    };
    addKeys("acNextTab", {QKeySequence(Qt::CTRL | Qt::Key_Tab)}, 1);
    addKeys("acPreviousTab",
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)},
            -1);
}

void TMainForm::StepTab(int step) {
    if (IsBusy)
        return;
    const int count = PageControl->count();
    for (int i = 1; i < count; ++i) {
        const int index = ((PageControl->currentIndex() + step * i) % count + count) % count;
        if (PageControl->isTabVisible(index) && PageControl->isTabEnabled(index)) {
            PageControl->setCurrentIndex(index);
            return;
        }
    }
}

void TMainForm::CreateStatusBar() {
    for (int i = 0; i < 3; ++i) {
        if (i == 1)
            StatusPanels[i] = new TElidedLabel(StatusPanelWidths[i], this);
        else if (i == 2)
            StatusPanels[i] = PortState = new TPortStatePanel(SerialPort, MainCore, this);
        else
            StatusPanels[i] = new QLabel(this);
        StatusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
        StatusPanels[i]->setMinimumWidth(StatusPanelWidths[i]);
        statusBar()->addWidget(StatusPanels[i], i == 1 ? 1 : 0);
    }
    statusBar()->setObjectName("StatusBar");
    PortWatch = new QTimer(this);
    PortWatch->setObjectName("PortWatch");
    PortWatch->setInterval(PortWatchInterval);
    connect(PortWatch, &QTimer::timeout, this, &TMainForm::WatchPort);
}

void TMainForm::ArrangeControls() {
    // The tabs lay their contents out themselves; what is left is the least width for the buttons.
    if (const auto* load = findChild<QWidget*>("bbtnLoadFromPp")) {
        const int least = 2 * load->width() + 40;
        if (width() < least)
            resize(least, height());
    }
}

void TMainForm::ApplyFeatureSwitches() {
    TCfgFile settings(ProgramDir() + "settings.cfg");
    const auto on = [&settings](const char* key) {
        std::string value = settings.ReadValue(key, "OFF");
        for (char& c : value)
            c = char(std::toupper(uint8_t(c)));
        return value == "ON";
    };
    for (TMainTab* tab : Tabs) {
        if (on(tab->FeatureKey()))
            continue;
        PageControl->setTabVisible(PageControl->indexOf(tab), false);
        for (QAction* entry : tab->FeatureEntries())
            entry->setVisible(false);
    }
}

void TMainForm::ApplySwitches(const QStringList& arguments) {
    if (HasSwitch(arguments, "?"))
        Message(TMessageKind::Information, Texts::ExtendedParams, TButtons::Ok);
    if (HasSwitch(arguments, "debug"))
        miMailMonitor->setVisible(true);
    for (TMainTab* tab : Tabs)
        tab->ApplySwitches(arguments);
}

// ---- showing and closing ----

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FirstShowDone)
        return;
    FirstShowDone = true;
    // After the window is on the screen, so that the connection settings open above it.
    QTimer::singleShot(0, this, &TMainForm::FormShow);
}

void TMainForm::FormShow() {
    if (!OpenPortAtStart())
        return;

    for (TMainTab* tab : Tabs)
        if (!tab->WindowShown())
            PageControl->setTabVisible(PageControl->indexOf(tab), false);

    // The window opens on the first tab when it is switched on, otherwise on the current one; only the
    // entries of the tab it opens on are enabled.
    if (PageControl->isTabVisible(PageControl->indexOf(Tabs.front()))) {
        const QSignalBlocker quiet(PageControl);
        PageControl->setCurrentWidget(Tabs.front());
    }
    CurrentSheet = static_cast<TMainTab*>(PageControl->currentWidget());
    for (TMainTab* tab : Tabs)
        if (tab != CurrentSheet)
            tab->TabHidden();
    CurrentSheet->TabShown();
}

void TMainForm::CheckSimInterpreter() {
    if (!tsSim->CheckSimInterpreter())
        PageControl->setTabVisible(PageControl->indexOf(tsSim), false);
}

void TMainForm::SetDesktopNotifier(std::shared_ptr<TDesktopNotifier> notifier,
                                   std::chrono::milliseconds longAfter) {
    OperationNotice->SetNotifier(notifier, longAfter);
    StationNotice->SetNotifier(notifier, longAfter);
}

bool TMainForm::Watched() const {
    // The program's other windows are this one's: the dialogs, the progress and the station window.
    for (const QWidget* active = QApplication::activeWindow(); active; active = active->parentWidget())
        if (active == this)
            return true;
    return false;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Cut off in the middle of a write, the handset would hold part of a list and nobody would say which.
    if (IsBusy) {
        event->ignore();
        if (!CloseWhenIdle && Message(TMessageKind::Confirmation, Texts::StopAndCloseQuestion,
                                      TButtons::OkCancel) == TAnswer::Ok) {
            CloseWhenIdle = true;
            RequestStop();
        }
        return;
    }
    // A handset being provisioned is not cut off either: the station stops first, then the window closes.
    if (StationWindow && StationWindow->Running()) {
        event->ignore();
        CloseWhenStationEnds = true;
        StationWindow->Stop();
        return;
    }
    KillTimer.Enable(ShutdownGuardMs);
    SaveWindowPlacement(WindowIniPath(), *this);
    // The engine stops at once; it is freed with the window, once no wait can still be inside it.
    Core().Engine().BeginClosing();
    event->accept();
}

// ---- tabs ----

void TMainForm::PageChanged(int index) {
    auto* sheet = static_cast<TMainTab*>(PageControl->widget(index));
    if (IsBusy) {
        const QSignalBlocker quiet(PageControl);
        PageControl->setCurrentWidget(CurrentSheet);
        return;
    }
    if (CurrentSheet && CurrentSheet != sheet)
        CurrentSheet->TabHidden();
    CurrentSheet = sheet;
    sheet->TabShown();
}

// ---- menu entries ----

void TMainForm::miTestConnectionClick() {
    TConnectResult result = TConnectResult::NoAnswer;
    if (RunBusy(*this, [this, &result] { result = Core().ConnectHandset(); }))
        Message(TMessageKind::Information, ConnectionResultText(result), TButtons::Ok);
}

void TMainForm::miMailMonitorClick() {
    if (!MainCore.Engine().HasMonitor())
        MainCore.Engine().SetMonitor(std::make_unique<TMailControlMonitor>());
    MainCore.Engine().ShowMonitor();
}

void TMainForm::miStationClick() {
    if (!StationWindow) {
        StationWindow = new TStationView(*this, this);
        StationWindow->SetBusy(IsBusy);
        connect(StationWindow, &TStationView::StationStarted, this, &TMainForm::StationStarted);
        connect(StationWindow, &TStationView::StationEnded, this, &TMainForm::StationEnded);
        connect(StationWindow, &TStationView::StationStarted, StationNotice, &TJobEndNotice::Begin);
        connect(StationWindow, &TStationView::StationEnded, StationNotice,
                [this] { StationNotice->End(StationWindow->StatusText(), Watched()); });
    }
    StationWindow->show();
    StationWindow->raise();
    StationWindow->activateWindow();
}

void TMainForm::miPrgHelpClick() {
    OpenUserGuide(*this);
}

void TMainForm::miAboutClick() {
    ShowProgramAbout(this);
}
