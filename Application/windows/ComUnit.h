#pragma once

#include "link/OfferedPorts.h"

#include <QDialog>
#include <QTimer>

#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TMailControl;

// The connection settings window: the choice of the serial port, kept in the program ini by Close, and
// the communication test.
class TComForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 208;
    static constexpr int HighestOfferedPort = ::HighestOfferedPort;
    static constexpr int TestBaudrate = 115200;

    // selectedPort is the program's record of the chosen port; it follows the selection of the list.
    TComForm(TMailControl& engine, int& selectedPort, QWidget* parent = nullptr);
    ~TComForm() override;

    // False when the PC has no serial port to offer; the program cannot go on then.
    bool HasPorts() const;

    // Probes the handset on the selected port at the test rate: 1..6 the try that answered, 0 no
    // answer, -1 the port could not be opened.
    int Connect();

    // Escape and the window's close, nothing saved. While a test runs, whose result would land in a
    // closed window, the window closes once the test has ended.
    void reject() override;

private:
    void FormCreate();
    void FillPortList();
    void btnCloseClick();
    void cbComportChange();
    void btnComTestReqClick();
    void timerSearchingTimer();
    void SetTesting(bool on);
    void CloseIfAsked();
    void ShowTestResult(const char* text);
    void SetResultColour(const QColor& colour);
    int SelectedPortNumber() const;

    TMailControl& Engine;
    int& SelectedPort;
    bool Testing = false;
    bool CloseAsked = false;

    QPushButton* btnClose;
    QGroupBox* gbComport;
    QComboBox* cbComport;
    QGroupBox* gbComTest;
    QPushButton* btnComTestReq;
    QLabel* lblComTestCfm;
    QTimer* timerSearching;
};
