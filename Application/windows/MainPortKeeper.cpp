// The main window's port keeper: opens the port the connection settings name, asks for another while
// none is open, keeps the status bar's port panels up to date, and lends the port to the station while
// it runs.
#include "windows/MainUnit.h"

#include "link/ConnectionSettings.h"
#include "platform/AnsiText.h"
#include "platform/TextFormat.h"
#include "platform/Texts.h"
#include "windows/ComUnit.h"
#include "windows/PortStatePanel.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

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

bool TMainForm::OpenPortAtStart() {
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
        return false;
    ShowPortNumber();
    return true;
}

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
