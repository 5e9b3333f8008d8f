#include "windows/SimTab.h"

#include "platform/AnsiText.h"
#include "platform/Paths.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "vsim/RecordStore.h"
#include "vsim/SimTransfer.h"
#include "vsim/VirtualSimXml.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The columns of the records, and where each record keeps its journal for the selection.
enum TColumn { SerialColumn, SoftwareColumn, PcsColumn, SavedColumn, StateColumn, StepColumn, FileColumn };
constexpr int AdviceRole = Qt::UserRole;
constexpr int UnfinishedRole = Qt::UserRole + 1;

} // namespace

TSimTab::TSimTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab({"tsSim", Texts::TabSim, "VIRTUAL_SIM", std::nullopt}, core, ui, parent) {
    auto* simInfo = new QFormLayout;
    lblXmlDateText = new QLabel(Texts::XmlError, this);
    lblXmlDateText->setObjectName("lblXmlDateText");
    lblXmlVersionText = new QLabel(Texts::XmlError, this);
    lblXmlVersionText->setObjectName("lblXmlVersionText");
    simInfo->addRow(Texts::XmlDateCaption, lblXmlDateText);
    simInfo->addRow(Texts::XmlVersionCaption, lblXmlVersionText);
    SheetLayout()->addLayout(simInfo);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(
        AddButton(this, "bbtnBackupSim", Texts::TransferSimToFile, &TSimTab::bbtnBackupSimClick));
    buttons->addWidget(
        AddButton(this, "bbtnRestoreSim", Texts::TransferSimToHandset, &TSimTab::bbtnRestoreSimClick));
    buttons->addStretch(1);
    SheetLayout()->addLayout(buttons);

    SheetLayout()->addWidget(new QLabel(Texts::SimRecordsCaption, this));
    twSimRecords = new QTreeWidget(this);
    twSimRecords->setObjectName("twSimRecords");
    twSimRecords->setRootIsDecorated(false);
    twSimRecords->setHeaderLabels(QString(Texts::SimRecordsColumns).split('|'));
    twSimRecords->header()->setStretchLastSection(true);
    connect(twSimRecords, &QTreeWidget::itemSelectionChanged, this, &TSimTab::twSimRecordsSelectionChanged);
    SheetLayout()->addWidget(twSimRecords, 1);
    lblSimAdvice = new QLabel(this);
    lblSimAdvice->setObjectName("lblSimAdvice");
    lblSimAdvice->setWordWrap(true);
    SheetLayout()->addWidget(lblSimAdvice);
    auto* release = new QHBoxLayout;
    // Its state follows the selected record; a running operation leaves it alone.
    btnReleaseMove = AddButton(this, "btnReleaseMove", Texts::ReleaseUnfinishedMove,
                               &TSimTab::btnReleaseMoveClick, TWhileBusy::Untouched);
    btnReleaseMove->setEnabled(false);
    release->addWidget(btnReleaseMove);
    release->addStretch(1);
    SheetLayout()->addLayout(release);
}

bool TSimTab::WindowShown() {
    return CheckSimInterpreter();
}

void TSimTab::TabShown() {
    TMainTab::TabShown();
    ShowSimRecords();
}

void TSimTab::ShowSimRecords() {
    twSimRecords->clear();
    lblSimAdvice->clear();
    btnReleaseMove->setEnabled(false);
    std::vector<TSimRecord> list;
    std::string notice;
    try {
        const std::unique_ptr<TRecordEngine> store = OpenRecordStore(&notice);
        list = TSimRecords(*store).Records();
    } catch (const std::exception& e) {
        lblSimAdvice->setText(FromAnsi(FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str())));
        return;
    }
    for (const TSimRecord& r : list) {
        auto* item = new QTreeWidgetItem(twSimRecords);
        item->setText(SerialColumn, FromAnsi(r.SerialNumber));
        if (!r.Problem.empty()) {
            item->setText(StateColumn,
                          FromAnsi(FormatText(Texts::SimRecordUnusable, PrintableText(r.Problem).c_str())));
            continue;
        }
        item->setText(SoftwareColumn, FromAnsi(PrintableText(r.Software)));
        item->setText(PcsColumn, FromAnsi(PrintableText(r.Pcs)));
        item->setText(SavedColumn, FromAnsi(PrintableText(r.Saved)));
        item->setText(StateColumn, SimStateName(r.Journal));
        item->setText(StepColumn, FromAnsi(SimStepAuthorText(r.LastStep)));
        item->setText(FileColumn, FromAnsi(PrintableText(r.Journal.File)));
        const QString advice = FromAnsi(SimRecordAdvice(r));
        item->setData(SerialColumn, AdviceRole, advice);
        item->setData(SerialColumn, UnfinishedRole, !r.Journal.State.empty());
        item->setToolTip(StateColumn, advice);
    }
    for (int column = 0; column < twSimRecords->columnCount() - 1; ++column)
        twSimRecords->resizeColumnToContents(column);
    lblSimAdvice->setText(FromAnsi(PrintableText(notice)));
}

void TSimTab::twSimRecordsSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = twSimRecords->selectedItems();
    const QTreeWidgetItem* item = selected.isEmpty() ? nullptr : selected.front();
    lblSimAdvice->setText(item ? item->data(SerialColumn, AdviceRole).toString() : QString());
    btnReleaseMove->setEnabled(item && item->data(SerialColumn, UnfinishedRole).toBool());
}

void TSimTab::btnReleaseMoveClick() {
    const QList<QTreeWidgetItem*> selected = twSimRecords->selectedItems();
    if (selected.isEmpty())
        return;
    if (const std::unique_ptr<TRecordEngine> store = OpenStore()) {
        TSimRecords records(*store);
        ReleaseUnfinishedMove(Ui, records, ToAnsi(selected.front()->text(SerialColumn)));
    }
    ShowSimRecords();
}

// The SIM records, opened before any handset is touched; nullptr, with the person told why, when they
// cannot be used. Their move out of the old text store is told once.
std::unique_ptr<TRecordEngine> TSimTab::OpenStore() {
    std::string notice;
    std::unique_ptr<TRecordEngine> store;
    try {
        store = OpenRecordStore(&notice);
    } catch (const EStoreError& e) {
        Ui.Message(TMessageKind::Error, FormatText(Texts::SimStoreProblem, PrintableText(e.what()).c_str()),
                   TButtons::Ok);
        return nullptr;
    }
    if (!notice.empty())
        Ui.Message(TMessageKind::Information, PrintableText(notice), TButtons::Ok);
    return store;
}

void TSimTab::Transfer(bool toFile) {
    const std::unique_ptr<TRecordEngine> store = OpenStore();
    if (!store)
        return;
    TSimRecords records(*store);
    TSimTransfer transfer(Core, Ui, records, ProgramDir() + "sim_list/VSIMLIST.xml");
    if (toFile)
        transfer.SimToFile();
    else
        transfer.FileToSim();
    ShowSimRecords();
}

void TSimTab::bbtnBackupSimClick() {
    Transfer(true);
}

void TSimTab::bbtnRestoreSimClick() {
    Transfer(false);
}

TSimTab::~TSimTab() = default;

bool TSimTab::CheckSimInterpreter() {
    const std::string path = ProgramDir() + "sim_list/VSIMLIST.xml";
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        Ui.Message(TMessageKind::Error, Texts::SimInterpreterMissing, TButtons::Ok);
        return true;
    }
    try {
        const TVirtualSimXml list(path);
        lblXmlDateText->setText(FromAnsi(PrintableText(list.Date)));
        lblXmlVersionText->setText(FromAnsi(PrintableText(list.Version)));
        if (TVirtualSimXml::MajorVersion(list.Version) != "2") {
            Ui.Message(TMessageKind::Error,
                       FormatText(Texts::SimInterpreterVersion, PrintableText(list.Version).c_str(), "2"),
                       TButtons::Ok);
            return false;
        }
    } catch (const std::exception& e) {
        // A list the transfers could not read either: say why, and offer no SIM tab.
        Ui.Message(TMessageKind::Error,
                   FormatText(Texts::SimInterpreterUnreadable, PrintableText(e.what()).c_str()),
                   TButtons::Ok);
        return false;
    }
    return true;
}
