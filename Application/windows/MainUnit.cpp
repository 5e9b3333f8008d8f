#include "windows/MainUnit.h"

#include "link/ConnectionSettings.h"
#include "link/StopRequest.h"
#include "platform/AnsiText.h"
#include "platform/CfgFiles.h"
#include "platform/Paths.h"
#include "platform/Texts.h"
#include "windows/About.h"
#include "windows/BroadcastGroupsTab.h"
#include "windows/BusyNotice.h"
#include "windows/ComUnit.h"
#include "windows/ElidedLabel.h"
#include "windows/MailControlMonitor.h"
#include "windows/PhoneBookGrid.h"
#include "windows/PhoneBookTab.h"
#include "windows/PlanDialog.h"
#include "windows/PortStatePanel.h"
#include "windows/ProfileTab.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/SimTab.h"
#include "windows/SpeedDialTab.h"
#include "windows/StationView.h"
#include "windows/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
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
    resize(DesignWidth, DesignHeight);
    move(391, 104);

    CreateTabs();
    CreateMenus();
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

void TMainForm::ResetRowColours() {
    tsPhoneBook->Grid()->ResetRowColours();
}

TRowColour TMainForm::RowColour(int row) const {
    return tsPhoneBook->Grid()->RowColour(row);
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

bool TMainForm::OpenStoredPort() {
    return Core().Engine().OpenPort(uint8_t(ConnectionSettings::ReadDeviceNo()),
                                    ConnectionSettings::ReadBaudrate());
}

void TMainForm::ShowPortNumber() {
    WatchPort();
    PortWatch->start();
}

void TMainForm::WatchPort() {
    StatusPanels[0]->setText(QString("COM%1").arg(SerialPort.ComNumber()));
    PortState->Refresh(IsBusy, PortLeftToStation);
}

void TMainForm::FormShow() {
    if (ConnectionSettings::DeviceNoMissing()) {
        if (ComForm)
            ComForm->exec();
        OpenStoredPort();
    } else if (!OpenStoredPort()) {
        if (ComForm)
            ComForm->exec();
        OpenStoredPort();
    }
    // Nothing is shown yet that a quit could lose: the choice is another port or the end.
    if (!AskForPort(false))
        return;
    ShowPortNumber();

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

// ---- the person's side of the operations ----

void TMainForm::ShowStatus(const std::string& text) {
    static_cast<TElidedLabel*>(StatusPanels[1])->SetFullText(FromAnsi(text));
    // The operation may keep the thread busy after this: paint now.
    StatusPanels[1]->repaint();
}

TAnswer TMainForm::ShowMessage(TMessageKind kind, const std::string& text, TButtons buttons) {
    QMessageBox box(this);
    box.setWindowTitle(Texts::ProgramTitle);
    box.setText(MessageText(text));
    switch (kind) {
    case TMessageKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case TMessageKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case TMessageKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case TMessageKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case TButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case TButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case TButtons::AbortIgnore:
        box.setStandardButtons(QMessageBox::Abort | QMessageBox::Ignore);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return TAnswer::Cancel;
    case QMessageBox::Abort:
        return TAnswer::Abort;
    case QMessageBox::Ignore:
        return TAnswer::Ignore;
    default:
        return buttons == TButtons::OkCancel && box.clickedButton() == nullptr ? TAnswer::Cancel
                                                                               : TAnswer::Ok;
    }
}

TWriteMode TMainForm::AskWriteMode(const std::string& addCaption, const std::string& replaceCaption) {
    return SaveQuestion ? SaveQuestion->Ask(addCaption, replaceCaption) : TWriteMode::Cancel;
}

void TMainForm::ProgressStart(int min, int max, int step) {
    if (!Progress)
        return;
    // A write goes through every row of the table; the window counts the rows that hold an entry.
    Progress->SetRowHoldsEntry(
        [this](int row) { return !MainCore.Phonebook.GetNumber(uint16_t(row - 1)).empty(); });
    Progress->SetRange(min, max, step);
    Progress->show();
}

void TMainForm::ProgressStep() {
    if (Progress)
        Progress->StepIt();
}

void TMainForm::ProgressWords(const char* doing, const char* noun) {
    if (Progress)
        Progress->SetWords(doing, noun);
}

void TMainForm::ProgressAnimated() {
    if (!Progress)
        return;
    Progress->show();
    Progress->StartAnimation();
}

void TMainForm::ConnectionStep(bool running) {
    if (running)
        ProgressAnimated();
    else
        ProgressEnd();
}

void TMainForm::ProgressEnd() {
    if (!Progress)
        return;
    Progress->StopAnimation();
    if (Progress->isVisible())
        Progress->close();
}

void TMainForm::SetBusy(bool busy) {
    // A stop asked for (the progress window's Cancel, closing the window) belongs to the operation it
    // stopped: the next one starts without it.
    if (busy && !IsBusy)
        ClearStopRequest();
    if (busy != IsBusy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    IsBusy = busy;
    if (!busy && CloseWhenIdle)
        QTimer::singleShot(0, this, &QWidget::close);
    for (QToolButton* button : ToolBarButtons)
        button->setEnabled(!busy);
    for (TMainTab* tab : Tabs)
        for (QWidget* control : tab->BusyControls())
            control->setEnabled(!busy);
    PageControl->tabBar()->setEnabled(!busy);
    BusyNotice->SetBusy(busy);
    if (StationWindow)
        StationWindow->SetBusy(busy);
}

void TMainForm::SetRowColour(int row, TRowColour colour) {
    tsPhoneBook->Grid()->SetRowColour(row, colour);
    // A write marks the row it is at: the progress window counts it.
    if (Progress && colour == TRowColour::Yellow && Progress->isVisible())
        Progress->MarkRow(row);
}

void TMainForm::HandsetConnected(int phoneBookCapacity, uint8_t level) {
    for (TMainTab* tab : Tabs)
        tab->HandsetConnected(phoneBookCapacity, level);
}

// The status bar keeps naming the handset of the last connection beside the port, whatever the
// operations show in the middle, for as long as the line to it stays.
bool TMainForm::HandsetIdentified(const THandsetIdentity&) {
    PortState->HandsetIdentified();
    return true;
}

bool TMainForm::ConfirmPlan(const TWritePlan& plan) {
    // The write runs in the busy state; the person reads and chooses with the ordinary cursor.
    const bool busy = IsBusy;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    TPlanDialog dialog(plan, this);
    const bool write = dialog.Ask();
    if (busy)
        QApplication::restoreOverrideCursor();
    return write;
}

void TMainForm::ShowListEntry(TListKind list, int entry) {
    for (TMainTab* tab : Tabs)
        if (tab->ListKind() == list)
            tab->ShowListEntry(entry);
}

std::string TMainForm::AskFileName(bool save, const char* filter, const char* extension) {
    // "Caption (*.ext)|*.ext": the caption already names the patterns as the dialog wants them.
    const QString caption = QString::fromUtf8(filter).section('|', 0, 0);
    QFileDialog dialog(this);
    dialog.setNameFilter(caption);
    dialog.setDefaultSuffix(QString::fromUtf8(extension));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front().toStdString();
}

// ---- menu entries ----

void TMainForm::miChangeSerialDeviceClick() {
    if (ComForm)
        ComForm->exec();
    // The grids may hold what the person has not saved: the window may stay without a port.
    if (AskForPort(true))
        ShowPortNumber();
}

bool TMainForm::AskForPort(bool canKeep) {
    while (!SerialPort.IsOpen()) {
        const TPortFailure failure = SerialPort.LastFailure();
        std::string why = failure.kind == TPortFailure::Kind::None
                              ? std::string(Texts::NoPortOpen)
                              : PortFailureText(SerialPort.ComNumber(), failure);
        if (failure.kind == TPortFailure::Kind::Busy)
            if (const std::string holder = PortHolder(failure.device); !holder.empty())
                why += " " + FormatText(Texts::PortHeldBy, holder.c_str());
        QMessageBox box(this);
        box.setWindowTitle(Texts::ProgramTitle);
        box.setIcon(QMessageBox::Warning);
        box.setText(FromAnsi(FormatText(canKeep ? Texts::PortProblemKeepQuestion : Texts::PortProblemQuestion,
                                        why.c_str()))
                        .replace('\r', '\n'));
        QPushButton* choose = box.addButton(Texts::ChooseAnotherPort, QMessageBox::AcceptRole);
        QPushButton* keep = canKeep ? box.addButton(Texts::KeepWindow, QMessageBox::RejectRole) : nullptr;
        QPushButton* quit = box.addButton(Texts::QuitProgram, QMessageBox::DestructiveRole);
        box.setDefaultButton(choose);
        box.setEscapeButton(keep ? keep : quit);
        box.exec();
        if (box.clickedButton() == choose && ComForm) {
            ComForm->exec();
            OpenStoredPort();
            continue;
        }
        if (box.clickedButton() != quit && keep)
            return false;
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return false;
    }
    return true;
}

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
    }
    StationWindow->show();
    StationWindow->raise();
    StationWindow->activateWindow();
}

// The station probes and provisions every idle port, the docking station of this window included: the
// window leaves its port to the station while it runs and takes it again afterwards.
void TMainForm::StationStarted() {
    if (!SerialPort.IsOpen())
        return;
    PortLeftToStation = true;
    Core().Engine().ClosePort();
    WatchPort();
}

void TMainForm::StationEnded() {
    if (CloseWhenStationEnds) {
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (!PortLeftToStation)
        return;
    PortLeftToStation = false;
    OpenStoredPort();
    ShowPortNumber();
}

void TMainForm::miPrgHelpClick() {
    OpenUserGuide(*this);
}

void TMainForm::miAboutClick() {
    ShowProgramAbout(this);
}
