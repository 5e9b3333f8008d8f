#include "windows/MainUnit.h"

#include "link/ConnectionSettings.h"
#include "link/TpaProComImpl.h"
#include "lists/ContactsImport.h"
#include "lists/PhonebookFile.h"
#include "lists/PhonebookPp6.h"
#include "platform/AnsiText.h"
#include "platform/CfgFiles.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/TextFile.h"
#include "platform/TextFormat.h"
#include "profile/ProfileTransfer.h"
#include "vsim/VirtualSimXml.h"
#include "windows/ComUnit.h"
#include "windows/PhoneBookGrid.h"
#include "windows/ProgressUnit.h"
#include "windows/SaveQuestion.h"
#include "windows/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int ShutdownGuardMs = 5000;
constexpr int StatusPanelWidths[3] = {50, 300, 50};

// The controls a handset operation disables while it runs, by name; those a tab does not have yet
// are passed over.
constexpr const char* BusyControls[] = {
    "sgPhoneBook",
    "bbtnLoadFromPp",
    "bbtnSaveToPp",
    "bbtnDeleteInPp",
    "bbtnCleanGrid",
    "bbtnBackupSim",
    "bbtnRestoreSim",
    "gbProfile1",
    "bbtnTestRinger",
    "bbtnReadDefaultsFromPp",
    "bbtnWriteDefaultsToPp",
    "bbtnEnableAllSettings",
    "sgSpeedDial",
    "bbtnReadSpeedDial",
    "bbtnWriteSpeedDial",
    "bbtnDeleteSpeedDial",
    "bbtnCleanGridSpeedDial",
    "sgBroadcastGroups",
    "bbtnReadBroadcastGroups",
    "bbtnWriteBroadcastGroups",
    "bbtnDeleteBroadcastGroups",
    "bbtnCleanGridBroadcastGroups",
};

} // namespace

QLabel* TMainForm::InfoLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::yellow);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent) {
    setObjectName("MainForm");
    setWindowTitle(Texts::ProgramTitle);
    resize(DesignWidth, DesignHeight);
    move(391, 104);

    MainCore = std::make_unique<TMainCore>(*this);
    CreateMenus();
    CreateTabs();
    CreateStatusBar();

    ResetRowColours();
    MainCore->HandsetLevel = 0;
    PhonebookTransfer = std::make_unique<TPhonebookTransfer>(*MainCore, *this, MainCore->Phonebook);
    PhonebookTransfer->ShowPhonebookEntry = [this](int i) { sgPhoneBook->ShowPhonebookEntry(i); };
    PhonebookTransfer->InitPhonebookGrid = [this] { sgPhoneBook->InitPhonebookGrid(); };
    MainCore->ResizePhonebook = [this](int n) { sgPhoneBook->ResizePhonebook(n); };
    MainCore->ApplyHandsetLevel = [this](uint8_t level) { ApplyHandsetLevel(level); };
    ProfileTransfer = std::make_unique<TProfileTransfer>(*MainCore, *this);
    ProfileTransfer->ShowProfile = [this](TProfileSettings& settings) { ProfileToControls(settings); };
    ProfileTransfer->TakeProfile = [this](TProfileSettings& settings) { ControlsToProfile(settings); };
    sgPhoneBook->ResizePhonebook(TMainCore::StartPhonebookCount);
    sgPhoneBook->InitPhonebookGrid();
    AskFileName = [this](bool save, const char* filter, const char* extension) {
        return ChooseFile(save, filter, extension);
    };
    ArrangeControls();
    ApplyFeatureSwitches();
    lblXmlDateText->setText(Texts::XmlError);
    lblXmlVersionText->setText(Texts::XmlError);
    lblInfoAdvancedSettings->setText(QString::fromUtf8(Texts::InfoAdvancedSettings));
    lblInfoSpeedDial->setText(QString::fromUtf8(Texts::InfoSpeedDial));
    lblInfoBroadcastGroups->setText(QString::fromUtf8(Texts::InfoBroadcastGroups));
    LoadWindowPlacement(WindowIniPath(), *this, false);
    MainCore->ConfigureEngine();
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
        return menu;
    };

    QMenu* file = addMenu("File", Texts::MenuFile);
    miOpenPhoneBook = AddEntry(file, "miOpenPhoneBook", Texts::OpenPhoneBook);
    miSavePhoneBookAs = AddEntry(file, "miSavePhoneBookAs", Texts::SavePhoneBookAs);
    N3 = AddSeparator(file, "N3");
    miOpenProfile = AddEntry(file, "miOpenProfile", Texts::OpenProfile);
    miSaveProfileAs = AddEntry(file, "miSaveProfileAs", Texts::SaveProfileAs);
    N6 = AddSeparator(file, "N6");
    miOpenSpeedDialList = AddEntry(file, "miOpenSpeedDialList", Texts::OpenSpeedDialList);
    miSaveSpeedDialListAs = AddEntry(file, "miSaveSpeedDialListAs", Texts::SaveSpeedDialListAs);
    N7 = AddSeparator(file, "N7");
    miOpenBroadcastGroups = AddEntry(file, "miOpenBroadcastGroups", Texts::OpenBroadcastGroups);
    miSaveBroadcastGroupsAs = AddEntry(file, "miSaveBroadcastGroupsAs", Texts::SaveBroadcastGroupsAs);
    N1 = AddSeparator(file, "N1");
    QAction* miExit = AddEntry(file, "miExit", Texts::Exit);
    connect(miOpenPhoneBook, &QAction::triggered, this, &TMainForm::miOpenPhoneBookClick);
    connect(miSavePhoneBookAs, &QAction::triggered, this, &TMainForm::miSavePhoneBookAsClick);
    connect(miOpenProfile, &QAction::triggered, this, &TMainForm::miOpenProfileClick);
    connect(miSaveProfileAs, &QAction::triggered, this, &TMainForm::miSaveProfileAsClick);
    for (QAction* later :
         {miOpenSpeedDialList, miSaveSpeedDialListAs, miOpenBroadcastGroups, miSaveBroadcastGroupsAs})
        connect(later, &QAction::triggered, this, &TMainForm::NotBuiltYet);
    connect(miExit, &QAction::triggered, this, &QWidget::close);

    QMenu* options = addMenu("Options", Texts::MenuOptions);
    connect(AddEntry(options, "miChangeSerialDevice", Texts::ConnectionSettings), &QAction::triggered, this,
            &TMainForm::miChangeSerialDeviceClick);
    connect(AddEntry(options, "miTestConnection", Texts::TestConnection), &QAction::triggered, this,
            &TMainForm::miTestConnectionClick);
    miMailMonitor = AddEntry(options, "miMailMonitor", Texts::MailMonitor);
    miMailMonitor->setVisible(false);
    connect(miMailMonitor, &QAction::triggered, this, &TMainForm::miMailMonitorClick);
    AddSeparator(options, "N2");
    miFontDecrease = AddEntry(options, "miFontDecrease", Texts::DecreaseFontSize);
    connect(miFontDecrease, &QAction::triggered, this, &TMainForm::miFontDecreaseClick);
    miFontIncrease = AddEntry(options, "miFontIncrease", Texts::IncreaseFontSize);
    connect(miFontIncrease, &QAction::triggered, this, &TMainForm::miFontIncreaseClick);
    N5 = AddSeparator(options, "N5");
    miOutlookContacts = AddEntry(options, "miOutlookContacts", Texts::GetOutlookContacts);
    connect(miOutlookContacts, &QAction::triggered, this, &TMainForm::miOutlookContactsClick);

    QMenu* help = addMenu("Help", Texts::MenuHelp);
    connect(AddEntry(help, "miPrgHelp", Texts::UserGuide), &QAction::triggered, this,
            &TMainForm::NotBuiltYet);
    AddSeparator(help, "N4");
    connect(AddEntry(help, "miAbout", Texts::About), &QAction::triggered, this, &TMainForm::NotBuiltYet);
}

void TMainForm::CreateTabs() {
    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    setCentralWidget(PageControl);
    const auto addSheet = [this](const char* name, const char* caption) {
        auto* sheet = new QWidget(PageControl);
        sheet->setObjectName(name);
        auto* layout = new QVBoxLayout(sheet);
        layout->setAlignment(Qt::AlignTop);
        PageControl->addTab(sheet, QString::fromUtf8(caption));
        return sheet;
    };
    tsPhoneBook = addSheet("tsPhoneBook", Texts::TabPhoneBook);
    tsSim = addSheet("tsSim", Texts::TabSim);
    tsProfile = addSheet("tsProfile", Texts::TabProfile);
    tsSpeedDial = addSheet("tsSpeedDial", Texts::TabSpeedDial);
    tsBroadcastGroups = addSheet("tsBroadcastGroups", Texts::TabBroadcastGroups);
    CreatePhoneBookSheet();
    CreateProfileSheet();

    auto* simInfo = new QFormLayout;
    lblXmlDateText = new QLabel(tsSim);
    lblXmlDateText->setObjectName("lblXmlDateText");
    lblXmlVersionText = new QLabel(tsSim);
    lblXmlVersionText->setObjectName("lblXmlVersionText");
    simInfo->addRow(Texts::XmlDateCaption, lblXmlDateText);
    simInfo->addRow(Texts::XmlVersionCaption, lblXmlVersionText);
    static_cast<QVBoxLayout*>(tsSim->layout())->addLayout(simInfo);

    lblInfoSpeedDial = InfoLabel("lblInfoSpeedDial", "", tsSpeedDial);
    tsSpeedDial->layout()->addWidget(lblInfoSpeedDial);
    lblInfoBroadcastGroups = InfoLabel("lblInfoBroadcastGroups", "", tsBroadcastGroups);
    tsBroadcastGroups->layout()->addWidget(lblInfoBroadcastGroups);

    // The window is designed with the last tab active.
    PageControl->setCurrentWidget(tsBroadcastGroups);
    CurrentSheet = tsBroadcastGroups;
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::PageChanged);
}

void TMainForm::CreatePhoneBookSheet() {
    sgPhoneBook = new TPhoneBookGrid(
        Core().Phonebook,
        [this](const std::string& text) { Message(TMessageKind::Error, text, TButtons::Ok); }, tsPhoneBook);
    connect(sgPhoneBook, &TPhoneBookGrid::Edited, this, &TMainForm::ApplyGridFont);
    auto* operations = new QGroupBox(QString::fromUtf8(Texts::PhoneBookOperations), tsPhoneBook);
    operations->setObjectName("gbPhoneBookOperations");
    auto* buttons = new QHBoxLayout(operations);
    const auto addButton = [this, operations, buttons](const char* name, const char* caption,
                                                       void (TMainForm::*handler)()) {
        auto* button = new QPushButton(QString::fromUtf8(caption), operations);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, this, handler);
        buttons->addWidget(button);
    };
    addButton("bbtnLoadFromPp", Texts::ReadFromHandset, &TMainForm::bbtnLoadFromPpClick);
    addButton("bbtnSaveToPp", Texts::WriteToHandset, &TMainForm::bbtnSaveToPpClick);
    addButton("bbtnDeleteInPp", Texts::DeleteInHandset, &TMainForm::bbtnDeleteInPpClick);
    addButton("bbtnCleanGrid", Texts::CleanGrid, &TMainForm::bbtnCleanGridClick);
    auto* layout = static_cast<QVBoxLayout*>(tsPhoneBook->layout());
    layout->setAlignment(Qt::Alignment());
    layout->addWidget(sgPhoneBook, 1);
    layout->addWidget(operations);
}

void TMainForm::CreateStatusBar() {
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(this);
        StatusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
        StatusPanels[i]->setMinimumWidth(StatusPanelWidths[i]);
        statusBar()->addWidget(StatusPanels[i], i == 1 ? 1 : 0);
    }
    statusBar()->setObjectName("StatusBar");
}

void TMainForm::ResetRowColours() {
    sgPhoneBook->ResetRowColours();
}

TRowColour TMainForm::RowColour(int row) const {
    return sgPhoneBook->RowColour(row);
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
    struct TFeature {
        const char* key;
        QWidget* sheet;
        std::vector<QAction*> entries;
    };
    const TFeature features[] = {
        {"VIRTUAL_SIM", tsSim, {}},
        {"PHONE_BOOK", tsPhoneBook, {miOpenPhoneBook, miSavePhoneBookAs, N3}},
        {"PROFILE", tsProfile, {miOpenProfile, miSaveProfileAs, N6}},
        {"SPEED_DIAL", tsSpeedDial, {miOpenSpeedDialList, miSaveSpeedDialListAs, N7}},
        {"BROADCAST_GROUPS", tsBroadcastGroups, {miOpenBroadcastGroups, miSaveBroadcastGroupsAs, N1}},
    };
    for (const TFeature& feature : features) {
        if (on(feature.key))
            continue;
        PageControl->setTabVisible(PageControl->indexOf(feature.sheet), false);
        for (QAction* entry : feature.entries)
            entry->setVisible(false);
    }
}

void TMainForm::ApplySwitches(const QStringList& arguments) {
    if (HasSwitch(arguments, "?"))
        Message(TMessageKind::Information, Texts::ExtendedParams, TButtons::Ok);
    if (HasSwitch(arguments, "debug"))
        miMailMonitor->setVisible(true);
    if (!HasSwitch(arguments, "outlook")) {
        miOutlookContacts->setVisible(false);
        N5->setVisible(false);
    }
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

void TMainForm::FormShow() {
    TSendmail& engine = Core().Engine();
    if (ConnectionSettings::DeviceNoMissing()) {
        if (ComForm)
            ComForm->exec();
        OpenStoredPort();
    } else if (!OpenStoredPort()) {
        if (ComForm)
            ComForm->exec();
        OpenStoredPort();
    }
    if (!engine.IsPortOpen()) {
        // A port that exists but may not be used would otherwise end the program without a word.
        const TPortFailure& failure = engine.Com().LastFailure();
        if (failure.kind == TPortFailure::Kind::PermissionDenied)
            Message(TMessageKind::Error, PortFailureText(engine.Com().ComNumber(), failure), TButtons::Ok);
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return;
    }
    StatusPanels[0]->setText(QString("COM%1").arg(engine.Com().ComNumber()));

    FontSize = TIniFile(ProgramIniPath()).ReadInteger("Font", "Size", FontSize);
    ApplyGridFont();
    CheckSimInterpreter();

    if (PageControl->isTabVisible(PageControl->indexOf(tsPhoneBook))) {
        const QSignalBlocker quiet(PageControl);
        PageControl->setCurrentWidget(tsPhoneBook);
    }
    SheetHidden(tsProfile);
    SheetHidden(tsSpeedDial);
    SheetHidden(tsBroadcastGroups);
    SheetShown(tsPhoneBook);
    CurrentSheet = PageControl->currentWidget();
}

void TMainForm::CheckSimInterpreter() {
    const std::string path = ProgramDir() + "sim_list/VSIMLIST.xml";
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        Message(TMessageKind::Error, Texts::SimInterpreterMissing, TButtons::Ok);
        return;
    }
    const int simTab = PageControl->indexOf(tsSim);
    try {
        const TVirtualSimXml list(path);
        lblXmlDateText->setText(FromAnsi(list.Date));
        lblXmlVersionText->setText(FromAnsi(list.Version));
        if (TVirtualSimXml::MajorVersion(list.Version) != "2") {
            PageControl->setTabVisible(simTab, false);
            Message(TMessageKind::Error, FormatText(Texts::SimInterpreterVersion, list.Version.c_str(), "2"),
                    TButtons::Ok);
        }
    } catch (const std::exception& e) {
        // A list the transfers could not read either: say why, and offer no SIM tab.
        PageControl->setTabVisible(simTab, false);
        Message(TMessageKind::Error, FormatText(Texts::SimInterpreterUnreadable, e.what()), TButtons::Ok);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    KillTimer.Enable(ShutdownGuardMs);
    SaveWindowPlacement(WindowIniPath(), *this);
    // The engine stops at once; it is freed with the window, once no wait can still be inside it.
    Core().Engine().BeginClosing();
    event->accept();
}

// ---- tabs ----

void TMainForm::PageChanged(int index) {
    QWidget* sheet = PageControl->widget(index);
    if (IsBusy) {
        const QSignalBlocker quiet(PageControl);
        PageControl->setCurrentWidget(CurrentSheet);
        return;
    }
    if (CurrentSheet && CurrentSheet != sheet)
        SheetHidden(CurrentSheet);
    CurrentSheet = sheet;
    SheetShown(sheet);
}

void TMainForm::SheetShown(QWidget* sheet) {
    ShowStatus("");
    EnableSheetEntries(sheet, true);
}

void TMainForm::SheetHidden(QWidget* sheet) {
    EnableSheetEntries(sheet, false);
}

// The file menu entries follow the active tab.
void TMainForm::EnableSheetEntries(QWidget* sheet, bool enabled) {
    std::vector<QAction*> entries;
    if (sheet == tsPhoneBook)
        entries = {miOpenPhoneBook, miSavePhoneBookAs, miFontDecrease, miFontIncrease, miOutlookContacts};
    else if (sheet == tsProfile)
        entries = {miOpenProfile, miSaveProfileAs};
    else if (sheet == tsSpeedDial)
        entries = {miOpenSpeedDialList, miSaveSpeedDialListAs};
    else if (sheet == tsBroadcastGroups)
        entries = {miOpenBroadcastGroups, miSaveBroadcastGroupsAs};
    for (QAction* entry : entries)
        entry->setEnabled(enabled);
}

// ---- the person's side of the operations ----

void TMainForm::ShowStatus(const std::string& text) {
    StatusPanels[1]->setText(FromAnsi(text));
    // The operation may keep the thread busy after this: paint now.
    StatusPanels[1]->repaint();
}

TAnswer TMainForm::Message(TMessageKind kind, const std::string& text, TButtons buttons) {
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
    Progress->show();
    Progress->SetRange(min, max, step);
}

void TMainForm::ProgressStep() {
    if (Progress)
        Progress->StepIt();
}

void TMainForm::ProgressAnimated() {
    if (!Progress)
        return;
    Progress->show();
    Progress->StartAnimation();
}

void TMainForm::ProgressEnd() {
    if (!Progress)
        return;
    Progress->StopAnimation();
    if (Progress->isVisible())
        Progress->close();
}

void TMainForm::SetBusy(bool busy) {
    if (busy != IsBusy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    IsBusy = busy;
    for (QToolButton* button : ToolBarButtons)
        button->setEnabled(!busy);
    for (const char* name : BusyControls)
        if (auto* control = findChild<QWidget*>(name))
            control->setEnabled(!busy);
    PageControl->tabBar()->setEnabled(!busy);
}

void TMainForm::SetRowColour(int row, TRowColour colour) {
    sgPhoneBook->SetRowColour(row, colour);
}

// ---- menu entries ----

void TMainForm::miChangeSerialDeviceClick() {
    if (ComForm)
        ComForm->exec();
    TSendmail& engine = Core().Engine();
    if (engine.IsPortOpen())
        StatusPanels[0]->setText(QString("COM%1").arg(engine.Com().ComNumber()));
    else
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void TMainForm::miTestConnectionClick() {
    int result = 0;
    if (RunBusy(*this, [this, &result] { result = Core().ConnectHandset(); }))
        Message(TMessageKind::Information, ConnectionResultText(result), TButtons::Ok);
}

void TMainForm::miMailMonitorClick() {
    if (!TMailControl::MonitorFactory) {
        NotBuiltYet();
        return;
    }
    Core().Engine().ShowMonitor();
}

void TMainForm::miFontDecreaseClick() {
    FontSize = TMainCore::FontSizeAfter(FontSize, false);
    ApplyGridFont();
}

void TMainForm::miFontIncreaseClick() {
    FontSize = TMainCore::FontSizeAfter(FontSize, true);
    ApplyGridFont();
}

void TMainForm::ApplyGridFont() {
    sgPhoneBook->ApplyGridFont(FontSize);
    TIniFile(ProgramIniPath()).WriteInteger("Font", "Size", FontSize);
}

// ---- the phone book tab ----

QString TMainForm::ChooseFile(bool save, const char* filter, const char* extension) {
    // "Caption (*.ext)|*.ext": the caption already names the patterns as the dialog wants them.
    const QString caption = QString::fromUtf8(filter).section('|', 0, 0);
    QFileDialog dialog(this);
    dialog.setNameFilter(caption);
    dialog.setDefaultSuffix(QString::fromUtf8(extension));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

void TMainForm::bbtnLoadFromPpClick() {
    PhonebookTransfer->LoadFromHandset();
    ApplyGridFont();
}

void TMainForm::bbtnSaveToPpClick() {
    PhonebookTransfer->SaveToHandset();
}

void TMainForm::bbtnDeleteInPpClick() {
    PhonebookTransfer->DeleteInHandset();
}

void TMainForm::bbtnCleanGridClick() {
    SetBusy(true);
    ShowStatus("");
    ResetRowColours();
    Core().Phonebook.Clear();
    sgPhoneBook->InitPhonebookGrid();
    SetBusy(false);
}

void TMainForm::miSavePhoneBookAsClick() {
    const QString path = AskFileName(true, Texts::PhoneBookFilter, Texts::PhoneBookExtension);
    if (path.isEmpty())
        return;
    const std::string shown = ToAnsi(path);
    ShowStatus(FormatText(Texts::SavingToFile, shown.c_str()));
    try {
        SavePhonebookFile(path.toStdString(), Core().Phonebook);
    } catch (const EFileError& e) {
        ShowStatus("");
        Message(TMessageKind::Error, e.what(), TButtons::Ok);
        return;
    }
    ShowStatus(FormatText(Texts::FinishedSavingToFile, shown.c_str()));
}

void TMainForm::miOpenPhoneBookClick() {
    const QString path = AskFileName(false, Texts::PhoneBookFilter, Texts::PhoneBookExtension);
    if (path.isEmpty())
        return;
    const std::string shown = ToAnsi(path);
    ResetRowColours();
    ShowStatus(FormatText(Texts::ReadingFromFile, shown.c_str()));
    Core().Phonebook.Clear();
    sgPhoneBook->InitPhonebookGrid();
    try {
        LoadPhonebookFile(path.toStdString(), Core().Phonebook);
    } catch (const EFileError& e) {
        ShowStatus("");
        Message(TMessageKind::Error, e.what(), TButtons::Ok);
        return;
    }
    sgPhoneBook->ShowAll();
    ApplyGridFont();
    ShowStatus(FormatText(Texts::FinishedReadingFromFile, shown.c_str()));
}

void TMainForm::miOutlookContactsClick() {
    // Outlook's contacts come as the file it exports them to.
    const QString path = AskFileName(false, Texts::ContactsFilter, "csv");
    if (path.isEmpty())
        return;
    SetBusy(true);
    ShowStatus(Texts::ConnectingToOutlook);
    ResetRowColours();
    TPP5Phonebook& book = Core().Phonebook;
    book.Clear();
    sgPhoneBook->InitPhonebookGrid();
    bool failed = false;
    try {
        const std::vector<TContact> contacts = ReadContactsFile(path.toStdString());
        FillPhonebook(contacts, book, sgPhoneBook->rowCount(),
                      [this](int entry, const std::string& fullName) {
                          sgPhoneBook->ShowImportedEntry(entry, fullName);
                      });
    } catch (const std::exception&) {
        failed = true;
    }
    ApplyGridFont();
    if (failed)
        Message(TMessageKind::Error, Texts::CouldNotConnectToOutlook, TButtons::Ok);
    ShowStatus("");
    SetBusy(false);
}

void TMainForm::NotBuiltYet() {
    Message(TMessageKind::Information, Texts::NotBuiltYet, TButtons::Ok);
}
