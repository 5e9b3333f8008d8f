#pragma once

#include <map>
#include <optional>
#include <string>

// Port numbers "COMn" mapped to serial devices. Sources, the first that names a number wins:
//  1. QUORVEL_PORTS ("COM9=/dev/pts/4;COM10=/dev/pts/5"),
//  2. process-local entries (a device path given on a command line),
//  3. running virtual handsets, each registered by a file "virtual-ports/COMn" in the per-user folder
//     holding its device path and process id,
//  4. the map file "serial-ports.cfg" in the per-user folder: explicit "COMn=/dev/path" lines written by
//     the user and the stable numbers given to discovered devices,
//  5. every serial device Qt lists that the file does not name yet gets the lowest free number,
//     recorded in the file (by its /dev/serial/by-id name where it has one) so that it keeps it.
namespace DeviceMap {

constexpr int MaxPortNumber = 254;

// Every number with a device that exists now.
std::map<int, std::string> PresentPorts();

// The device of port n, if it has one.
std::optional<std::string> DeviceOf(int n);

// The number of a device path, giving it a process-local number when the map has none.
int NumberForDevice(const std::string& device);

// Makes port n stand for device for every program from now on, in the map file, unless it does so
// already. False when n stands for another device or the file could not be written.
bool RecordDevice(int n, const std::string& device);

// The per-user map file.
std::string MapFilePath();

} // namespace DeviceMap
