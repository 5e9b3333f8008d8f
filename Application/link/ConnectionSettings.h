#pragma once

#include "link/Sndmail.h"

#include <cstdint>

// The serial port settings of the program ini ("Serial Port") and the connection test that the
// connection window and every handset operation run.
namespace ConnectionSettings {

constexpr int DefaultDeviceNo = 1;
constexpr int DefaultBaudrate = 115200;

int ReadDeviceNo();
void WriteDeviceNo(int n);
int ReadBaudrate();
void WriteBaudrate(int rate);
bool DeviceNoMissing();

// Opens port at rate and probes the handset with the connection test's settings (which stay):
// 1..6 the try that answered, 0 no answer, -1 the port is not open. A handset found stores the rate.
int ConnectAt(TMailControl& engine, int port, int32_t rate);

} // namespace ConnectionSettings
