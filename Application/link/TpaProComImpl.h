#pragma once

#include "link/LowLatency.h"
#include "link/VirtualCom.h"

#include <QObject>
#include <QSerialPort>

#include <string>

// The person's sentence for a failure, naming the port as "COMn".
std::string PortFailureText(int comNumber, const TPortFailure& failure);
// The program that has the device open, found through /proc: "ModemManager (process 812)"; empty when
// it cannot be seen (another user's process, or none).
std::string PortHolder(const std::string& device);
// Another program that has the device open now, which opening it as well would disturb: the one Qt's
// lock file names, or any process with it open (but, for a pseudo-terminal, the far end that holds its
// multiplexer too: a virtual handset); empty when none is known.
std::string OtherHolder(const std::string& device);

// The serial link on a Qt serial port: 8N1, no flow control, port numbers mapped to devices by the
// device map, the driver asked for low latency while the port is open (TLowLatency).
class TTpaProComImpl : public QObject, public TVirtualCom {
    Q_OBJECT
public:
    explicit TTpaProComImpl(TSerialDriver& driver = SystemSerialDriver());
    ~TTpaProComImpl() override;

    bool IsOpen() override;
    uint8_t ComNumber() override;
    int32_t Baud() override;
    bool CarrierDetect() override;
    bool ClearToSend() override;
    bool DataSetReady() override;
    bool Open(uint8_t n, int32_t rate) override;
    bool Close() override;
    void SetDTR(bool on) override;
    void SetRTS(bool on) override;
    void FlushInput() override;
    void FlushOutput() override;
    void SetHardwareFlow(bool on) override;
    int32_t Write(const uint8_t* bytes, int32_t count) override;

    TPortFailure LastFailure() const override { return Failure; }

private:
    void PortReadyRead();
    void PortError(QSerialPort::SerialPortError error);
    void Fail(TPortFailure::Kind kind, const std::string& detail);
    bool ModemLine(QSerialPort::PinoutSignal line);

    // Put back before the port closes, while the device is still open.
    void CloseDevice();

    QSerialPort Port;
    TLowLatency LowLatency;
    int Number = 1;
    int32_t Rate = 9600;
    TPortFailure Failure;
};
