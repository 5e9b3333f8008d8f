#include "windows/BroadcastGroupsTab.h"

#include "lists/BroadcastGroupsFile.h"
#include "platform/AnsiText.h"
#include "platform/Texts.h"
#include "windows/ListGrid.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr const char* DeleteGroup = "Delete Broadcast Group (only in grid).";

} // namespace

TBroadcastGroupsTab::TBroadcastGroupsTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab(
          {"tsBroadcastGroups", Texts::TabBroadcastGroups, "BROADCAST_GROUPS", TListKind::BroadcastGroups},
          core, ui, parent)
    , Transfer(core, ui, core.BroadcastGroups)
    , sgBroadcastGroups(AddBusyControl(
          ListGrid::Create("sgBroadcastGroups", TBroadcastGroups::Slots, {"Index", "Group"}, this)))
    , lblInfoBroadcastGroups(InfoLabel("lblInfoBroadcastGroups", Texts::InfoBroadcastGroups, this)) {
    sgBroadcastGroups->setColumnWidth(0, QFontMetrics(sgBroadcastGroups->font()).horizontalAdvance("Index") +
                                             10);
    sgBroadcastGroups->setColumnWidth(1, 306);
    ListGrid::StretchLastColumn(*sgBroadcastGroups);
    connect(sgBroadcastGroups, &QTableWidget::itemChanged, this,
            &TBroadcastGroupsTab::sgBroadcastGroupsSetEditText);
    pmBroadcastGroups = new QMenu(this);
    miDeleteBroadcastGroup = pmBroadcastGroups->addAction(QString::fromUtf8(DeleteGroup));
    miDeleteBroadcastGroup->setObjectName("miDeleteBroadcastGroup");
    connect(miDeleteBroadcastGroup, &QAction::triggered, this,
            &TBroadcastGroupsTab::miDeleteBroadcastGroupClick);
    ListGrid::AttachRowMenu(*sgBroadcastGroups, *pmBroadcastGroups, MenuRow);

    auto* operations = new QGroupBox(this);
    operations->setObjectName("gbBroadcastGroupsOperations");
    auto* buttons = new QHBoxLayout(operations);
    buttons->addWidget(ReadButton(AddButton(operations, "bbtnReadBroadcastGroups", Texts::ReadFromHandset,
                                            &TBroadcastGroupsTab::bbtnReadBroadcastGroupsClick)));
    buttons->addWidget(AddButton(operations, "bbtnWriteBroadcastGroups", Texts::WriteToHandset,
                                 &TBroadcastGroupsTab::bbtnWriteBroadcastGroupsClick));
    buttons->addWidget(AddButton(operations, "bbtnDeleteBroadcastGroups", Texts::DeleteInHandset,
                                 &TBroadcastGroupsTab::bbtnDeleteBroadcastGroupsClick));
    buttons->addWidget(AddButton(operations, "bbtnCleanGridBroadcastGroups", Texts::CleanGrid,
                                 &TBroadcastGroupsTab::bbtnCleanGridBroadcastGroupsClick));
    SheetLayout()->setAlignment(Qt::Alignment());
    SheetLayout()->addWidget(sgBroadcastGroups, 1);
    SheetLayout()->addWidget(lblInfoBroadcastGroups);
    SheetLayout()->addWidget(operations);
    InitGroupsGrid();
}

TBroadcastGroupsTab::~TBroadcastGroupsTab() = default;

void TBroadcastGroupsTab::AddFileEntries(QMenu& file) {
    SetFileEntries(AddEntry(file, "miOpenBroadcastGroups", Texts::OpenBroadcastGroups,
                            &TBroadcastGroupsTab::miOpenBroadcastGroupsClick),
                   AddEntry(file, "miSaveBroadcastGroupsAs", Texts::SaveBroadcastGroupsAs,
                            &TBroadcastGroupsTab::miSaveBroadcastGroupsAsClick));
    AddFeatureSeparator(file, "N1");
}

// Headers and slot numbers, and every group cell empty.
void TBroadcastGroupsTab::InitGroupsGrid() {
    QStringList numbers;
    for (int i = 1; i <= TBroadcastGroups::Slots; ++i)
        numbers << QString::number(i);
    ListGrid::Reset(*sgBroadcastGroups, numbers);
}

void TBroadcastGroupsTab::ShowGroups() {
    Filling = true;
    for (int i = 0; i < TBroadcastGroups::Slots; ++i)
        sgBroadcastGroups->item(i, 1)->setText(FromAnsi(Core.BroadcastGroups.GetGroup(i)));
    Filling = false;
}

void TBroadcastGroupsTab::ShowListEntry(int) {
    ShowGroups();
}

// An edit of a slot: empty empties it; otherwise only a number from 0 to 255 of at most three
// characters is taken, and anything else is refused with the cell showing the slot's group again: what
// the grid shows is what is written and saved.
void TBroadcastGroupsTab::sgBroadcastGroupsSetEditText(QTableWidgetItem* item) {
    if (Filling || item->column() != 1)
        return;
    const std::string text = ToAnsi(item->text());
    if (!text.empty() && !IsGroupText(text)) {
        Ui.Message(TMessageKind::Error, Texts::GroupRange, TButtons::Ok);
        Filling = true;
        item->setText(FromAnsi(Core.BroadcastGroups.GetGroup(item->row())));
        Filling = false;
        return;
    }
    Core.BroadcastGroups.SetGroup(item->row(), text);
}

// Empties the slot the menu was opened on and draws the grid again from the slots.
void TBroadcastGroupsTab::miDeleteBroadcastGroupClick() {
    if (MenuRow < 0 || MenuRow >= TBroadcastGroups::Slots)
        return;
    Core.BroadcastGroups.ClearGroup(MenuRow);
    InitGroupsGrid();
    ShowGroups();
}

// The grid keeps what it shows until the read has something to put in its place.
void TBroadcastGroupsTab::bbtnReadBroadcastGroupsClick() {
    Transfer.LoadFromHandset();
}

void TBroadcastGroupsTab::bbtnWriteBroadcastGroupsClick() {
    Transfer.SaveToHandset();
}

void TBroadcastGroupsTab::bbtnDeleteBroadcastGroupsClick() {
    Transfer.DeleteInHandset();
}

void TBroadcastGroupsTab::bbtnCleanGridBroadcastGroupsClick() {
    RunBusy(Ui, [this] {
        Core.BroadcastGroups.Clear();
        InitGroupsGrid();
    });
}

void TBroadcastGroupsTab::miOpenBroadcastGroupsClick() {
    OpenBroadcastGroups(Ui, Core.BroadcastGroups);
}

void TBroadcastGroupsTab::miSaveBroadcastGroupsAsClick() {
    SaveBroadcastGroupsAs(Ui, Core.BroadcastGroups);
}
