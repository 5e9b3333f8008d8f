#include "windows/SpeedDialTab.h"

#include "platform/PhoneBookResourceStrings.h"

#include <QLabel>
#include <QVBoxLayout>

TSpeedDialTab::TSpeedDialTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab("tsSpeedDial", "SPEED_DIAL", core, ui, parent)
    , lblInfoSpeedDial(InfoLabel("lblInfoSpeedDial", Texts::InfoSpeedDial, this)) {
    SheetLayout()->addWidget(lblInfoSpeedDial);
}

TSpeedDialTab::~TSpeedDialTab() = default;

void TSpeedDialTab::AddFileEntries(QMenu& file) {
    AddEntry(file, "miOpenSpeedDialList", Texts::OpenSpeedDialList, &TSpeedDialTab::miOpenSpeedDialListClick);
    AddEntry(file, "miSaveSpeedDialListAs", Texts::SaveSpeedDialListAs,
             &TSpeedDialTab::miSaveSpeedDialListAsClick);
    AddFeatureSeparator(file, "N7");
}

void TSpeedDialTab::miOpenSpeedDialListClick() {
    NotBuiltYet();
}

void TSpeedDialTab::miSaveSpeedDialListAsClick() {
    NotBuiltYet();
}
