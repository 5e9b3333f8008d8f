#include "windows/BroadcastGroupsTab.h"

#include "lists/BroadcastGroupsFile.h"
#include "platform/Texts.h"

#include <QFontMetrics>
#include <QTableWidget>

namespace {

const TListTabControls GroupsControls{"sgBroadcastGroups",
                                      {"Index", "Group"},
                                      0,
                                      306,
                                      "lblInfoBroadcastGroups",
                                      Texts::InfoBroadcastGroups,
                                      "miDeleteBroadcastGroup",
                                      "Delete Broadcast Group (only in grid).",
                                      "gbBroadcastGroupsOperations",
                                      "bbtnReadBroadcastGroups",
                                      "bbtnWriteBroadcastGroups",
                                      "bbtnDeleteBroadcastGroups",
                                      "bbtnCleanGridBroadcastGroups",
                                      "miOpenBroadcastGroups",
                                      Texts::OpenBroadcastGroups,
                                      "miSaveBroadcastGroupsAs",
                                      Texts::SaveBroadcastGroupsAs,
                                      "N1"};

} // namespace

TBroadcastGroupsTab::TBroadcastGroupsTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TListTab(
          {"tsBroadcastGroups", Texts::TabBroadcastGroups, "BROADCAST_GROUPS", TListKind::BroadcastGroups},
          GroupsControls, core, ui, parent)
    , Transfer(core, ui, core.BroadcastGroups) {
    // The slot numbers' column as wide as its title.
    Grid()->setColumnWidth(0, QFontMetrics(Grid()->font()).horizontalAdvance("Index") + 10);
    ResetGrid();
}

TBroadcastGroupsTab::~TBroadcastGroupsTab() = default;

QStringList TBroadcastGroupsTab::Places() const {
    QStringList numbers;
    for (int i = 1; i <= TBroadcastGroups::Slots; ++i)
        numbers << QString::number(i);
    return numbers;
}

std::string TBroadcastGroupsTab::Value(int row) const {
    return Core.BroadcastGroups.GetGroup(row);
}

// Empty empties the slot; otherwise only a number from 0 to 255 of at most three characters is taken.
std::optional<std::string> TBroadcastGroupsTab::Refusal(const std::string& text) const {
    if (!text.empty() && !IsGroupText(text))
        return Texts::GroupRange;
    return std::nullopt;
}

void TBroadcastGroupsTab::SetValue(int row, const std::string& text) {
    Core.BroadcastGroups.SetGroup(row, text);
}

void TBroadcastGroupsTab::ClearList() {
    Core.BroadcastGroups.Clear();
}

// The grid keeps what it shows until the read has something to put in its place.
void TBroadcastGroupsTab::ReadList() {
    Transfer.LoadFromHandset();
}

void TBroadcastGroupsTab::WriteList() {
    Transfer.SaveToHandset();
}

void TBroadcastGroupsTab::DeleteList() {
    Transfer.DeleteInHandset();
}

void TBroadcastGroupsTab::OpenFile() {
    OpenBroadcastGroups(Ui, Core.BroadcastGroups);
}

void TBroadcastGroupsTab::SaveFile() {
    SaveBroadcastGroupsAs(Ui, Core.BroadcastGroups);
}
