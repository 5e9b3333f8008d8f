#include "windows/BroadcastGroupsTab.h"

#include "platform/PhoneBookResourceStrings.h"

#include <QLabel>
#include <QVBoxLayout>

TBroadcastGroupsTab::TBroadcastGroupsTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab("tsBroadcastGroups", "BROADCAST_GROUPS", core, ui, parent)
    , lblInfoBroadcastGroups(InfoLabel("lblInfoBroadcastGroups", Texts::InfoBroadcastGroups, this)) {
    SheetLayout()->addWidget(lblInfoBroadcastGroups);
}

TBroadcastGroupsTab::~TBroadcastGroupsTab() = default;

void TBroadcastGroupsTab::AddFileEntries(QMenu& file) {
    AddEntry(file, "miOpenBroadcastGroups", Texts::OpenBroadcastGroups,
             &TBroadcastGroupsTab::miOpenBroadcastGroupsClick);
    AddEntry(file, "miSaveBroadcastGroupsAs", Texts::SaveBroadcastGroupsAs,
             &TBroadcastGroupsTab::miSaveBroadcastGroupsAsClick);
    AddFeatureSeparator(file, "N1");
}

void TBroadcastGroupsTab::miOpenBroadcastGroupsClick() {
    NotBuiltYet();
}

void TBroadcastGroupsTab::miSaveBroadcastGroupsAsClick() {
    NotBuiltYet();
}
