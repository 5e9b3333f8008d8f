#include "link/ConnectionSettings.h"

#include "link/EngineSettings.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace ConnectionSettings {
namespace {

constexpr const char* Section = "Serial Port";
constexpr const char* DeviceNoKey = "Device No";
constexpr const char* BaudrateKey = "Baudrate";
using namespace std::chrono_literals;
constexpr auto ProbePause = 1000ms;

} // namespace

int ReadDeviceNo() {
    return TIniFile(ProgramIniPath()).ReadInteger(Section, DeviceNoKey, DefaultDeviceNo);
}

// Errors while writing are ignored: the settings are a convenience, never a reason to stop.
void WriteDeviceNo(int n) {
    TIniFile(ProgramIniPath()).WriteInteger(Section, DeviceNoKey, n);
}

int ReadBaudrate() {
    return TIniFile(ProgramIniPath()).ReadInteger(Section, BaudrateKey, DefaultBaudrate);
}

void WriteBaudrate(int rate) {
    TIniFile(ProgramIniPath()).WriteInteger(Section, BaudrateKey, rate);
}

bool DeviceNoMissing() {
    return !TIniFile(ProgramIniPath()).ValueExists(Section, DeviceNoKey);
}

int ConnectAt(TMailControl& engine, int port, int32_t rate) {
    engine.OpenPort(uint8_t(port), rate);
    engine.Apply(EngineProfileFor(TEngineUse::Probe));
    // The probes change nothing: a stop ends them at once, waits and pauses included.
    const TStoppableStretch stoppable(engine);
    const int result = int8_t(engine.ProbeHandset(ProbePause));
    if (result > 0)
        WriteBaudrate(rate);
    return result;
}

} // namespace ConnectionSettings
