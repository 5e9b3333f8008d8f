#include "windows/SimTab.h"

#include "platform/AnsiText.h"
#include "platform/Paths.h"
#include "platform/PhoneBookResourceStrings.h"
#include "platform/Registry.h"
#include "platform/TextFormat.h"
#include "vsim/SimTransfer.h"
#include "vsim/VirtualSimXml.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TSimTab::TSimTab(TMainCore& core, TUserInteraction& ui, QWidget* parent)
    : TMainTab("tsSim", "VIRTUAL_SIM", core, ui, parent) {
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
}

void TSimTab::Transfer(bool toFile) {
    TRegistry store;
    TSimRecords records(store);
    TSimTransfer transfer(Core, Ui, records, ProgramDir() + "sim_list/VSIMLIST.xml");
    if (toFile)
        transfer.SimToFile();
    else
        transfer.FileToSim();
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
