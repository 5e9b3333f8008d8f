#include "windows/ComUnit.h"

#include "link/ConnectionSettings.h"
#include "link/PortHandling.h"
#include "link/Sndmail.h"
#include "link/StopRequest.h"
#include "platform/Texts.h"
#include "windows/WindowTitle.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto SearchingDotInterval = 800ms;
constexpr int FormFontPixels = 11;
constexpr int ResultFontPixels = 16;
constexpr int BottomMargin = 10;

const QColor SearchingColour(255, 255, 0);
const QColor FailedColour(255, 0, 0);
const QColor ConnectedColour(0, 128, 0);

} // namespace

TComForm::TComForm(TMailControl& engine, int& selectedPort, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
    , Engine(engine)
    , SelectedPort(selectedPort) {
    setWindowTitle(Texts::ConnectionSettingsCaption);
    QFont formFont = font();
    formFont.setPixelSize(FormFontPixels);
    setFont(formFont);

    btnClose = new QPushButton(Texts::Close, this);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(64, 226, 75, 25);

    gbComport = new QGroupBox(Texts::SerialDeviceBox, this);
    gbComport->setObjectName("gbComport");
    gbComport->setGeometry(5, 8, 197, 89);

    cbComport = new QComboBox(gbComport);
    cbComport->setObjectName("cbComport");
    cbComport->setEditable(false);
    cbComport->setGeometry(21, 37, 153, 21);

    gbComTest = new QGroupBox(Texts::TestBox, this);
    gbComTest->setObjectName("gbComTest");
    gbComTest->setGeometry(5, 104, 197, 115);

    btnComTestReq = new QPushButton(Texts::CommunicationTest, gbComTest);
    btnComTestReq->setObjectName("btnComTestReq");
    btnComTestReq->setGeometry(21, 24, 152, 25);

    lblComTestCfm = new QLabel(Texts::ClickToTest, gbComTest);
    lblComTestCfm->setObjectName("lblComTestCfm");
    QFont resultFont = lblComTestCfm->font();
    resultFont.setPixelSize(ResultFontPixels);
    resultFont.setBold(true);
    lblComTestCfm->setFont(resultFont);
    lblComTestCfm->move(47, 70);
    lblComTestCfm->adjustSize();

    timerSearching = new QTimer(this);
    timerSearching->setObjectName("timerSearching");
    timerSearching->setInterval(SearchingDotInterval);

    // Enter keeps the chosen port, as the Close button does; Escape leaves the stored one.
    btnClose->setDefault(true);
    QWidget::setTabOrder(cbComport, btnComTestReq);
    QWidget::setTabOrder(btnComTestReq, btnClose);

    connect(btnClose, &QPushButton::clicked, this, &TComForm::btnCloseClick);
    connect(cbComport, &QComboBox::currentIndexChanged, this, &TComForm::cbComportChange);
    connect(btnComTestReq, &QPushButton::clicked, this, &TComForm::btnComTestReqClick);
    connect(timerSearching, &QTimer::timeout, this, &TComForm::timerSearchingTimer);

    FormCreate();
}

TComForm::~TComForm() = default;

void TComForm::FormCreate() {
    FillPortList();
    // Wide enough for the frame to show the whole title; the boxes and the button stay in the middle.
    const int width = std::max(int(ClientWidth), TitleWidth(*this));
    gbComport->move((width - gbComport->width()) / 2, gbComport->y());
    gbComTest->move((width - gbComTest->width()) / 2, gbComTest->y());
    btnClose->move(btnClose->x() + (width - ClientWidth) / 2, btnClose->y());
    setFixedSize(width, btnClose->geometry().bottom() + 1 + BottomMargin);
}

bool TComForm::HasPorts() const {
    return cbComport->count() > 0;
}

void TComForm::FillPortList() {
    // Filling the list is no choice of the person's: it must not open a port.
    const QSignalBlocker quiet(cbComport);
    cbComport->clear();
    const TComPortTable ports = ListComPorts();
    for (int n = 1; n <= HighestOfferedPort; ++n)
        if (ports[size_t(n)])
            cbComport->addItem(QString("COM%1").arg(n));
    if (!HasPorts())
        return;
    cbComport->setCurrentIndex(0);
    const uint8_t stored = uint8_t(ConnectionSettings::ReadDeviceNo());
    for (int i = 0; i < cbComport->count(); ++i)
        if (PortNumberOf(cbComport->itemText(i).toStdString()) == stored) {
            cbComport->setCurrentIndex(i);
            break;
        }
    SelectedPort = SelectedPortNumber();
}

int TComForm::SelectedPortNumber() const {
    return PortNumberOf(cbComport->currentText().toStdString());
}

void TComForm::reject() {
    if (!Testing) {
        QDialog::reject();
        return;
    }
    // The test's probes change nothing: they end at once, and the window closes when they have.
    CloseAsked = true;
    RequestStop();
}

void TComForm::CloseIfAsked() {
    if (!CloseAsked)
        return;
    CloseAsked = false;
    QDialog::reject();
}

void TComForm::btnCloseClick() {
    if (HasPorts())
        ConnectionSettings::WriteDeviceNo(SelectedPortNumber());
    accept();
}

void TComForm::cbComportChange() {
    if (!HasPorts())
        return;
    const int n = SelectedPortNumber();
    SelectedPort = n;
    SetTesting(true);
    const bool opened = Engine.OpenPort(uint8_t(n), ConnectionSettings::ReadBaudrate());
    SetTesting(false);
    // A port that is busy or gone shows up in the test; one the person may not use never will.
    const TPortFailure failure = Engine.Link().LastFailure();
    if (!opened && failure.kind == TPortFailure::Kind::PermissionDenied)
        QMessageBox::warning(this, Texts::ProgramTitle, QString::fromLocal8Bit(PortFailureText(n, failure)));
    CloseIfAsked();
}

void TComForm::btnComTestReqClick() {
    SetTesting(true);
    ShowTestResult(Texts::Searching);
    SetResultColour(SearchingColour);
    QCoreApplication::processEvents();
    timerSearching->start();
    const int r = Connect();
    timerSearching->stop();
    // The stop was this window's, to end the test: what runs next starts without it.
    if (CloseAsked)
        ClearStopRequest();
    if (r < 1) {
        SetResultColour(FailedColour);
        // A port another program holds is no empty docking station.
        const bool busy = Engine.Link().LastFailure().kind == TPortFailure::Kind::Busy;
        ShowTestResult(busy ? Texts::PortInUse : Texts::NothingConnected);
    } else {
        ShowTestResult(Texts::ConnectedTest);
        SetResultColour(ConnectedColour);
    }
    SetTesting(false);
    CloseIfAsked();
}

void TComForm::timerSearchingTimer() {
    lblComTestCfm->setText(lblComTestCfm->text() + '.');
    lblComTestCfm->adjustSize();
}

int TComForm::Connect() {
    if (!HasPorts())
        return -1;
    return ConnectionSettings::ConnectAt(Engine, SelectedPortNumber(), TestBaudrate);
}

void TComForm::SetTesting(bool on) {
    if (on == Testing)
        return;
    Testing = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    btnComTestReq->setEnabled(!on);
    btnClose->setEnabled(!on);
    cbComport->setEnabled(!on);
}

void TComForm::ShowTestResult(const char* text) {
    lblComTestCfm->hide();
    lblComTestCfm->setText(text);
    lblComTestCfm->adjustSize();
    lblComTestCfm->move(gbComTest->width() / 2 - lblComTestCfm->width() / 2, lblComTestCfm->y());
    lblComTestCfm->show();
}

void TComForm::SetResultColour(const QColor& colour) {
    QPalette palette = lblComTestCfm->palette();
    palette.setColor(QPalette::WindowText, colour);
    lblComTestCfm->setPalette(palette);
}
