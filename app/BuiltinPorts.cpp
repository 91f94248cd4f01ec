#include "app/BuiltinPorts.h"

#include "platform/IniFile.h"
#include "serial/SerialDevice.h"
#include "sim/BuiltinSim.h"

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace tessek {

namespace {

// Opens the pseudo-terminal slave `slavePath` gives.
SerialDeviceFactory SimulatorPort(std::string (*slavePath)())
{
    return [slavePath](const std::string&) {
        std::string path;
        try {
            path = slavePath();
        } catch (const std::exception&) {
            throw DeviceError(ENODEV);  // no pseudo-terminal to be had
        }
        return OpenLinuxSerialDevice(path);
    };
}

}  // namespace

void RegisterBuiltinPorts()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterNamedPort(kSimPortName, "built-in simulated LM", SimulatorPort(sim::BuiltinSimSlavePath));
        RegisterNamedPort(kSimWidebandPortName, "built-in simulated wideband controller",
                          SimulatorPort(sim::BuiltinSimWidebandSlavePath));
    });
}

void ApplySimulatorSettings(const IniFile& ini, const std::string& portName)
{
    if (portName != kSimPortName)
        return;
    const std::string text = ini.ReadString("Simulator", "MissedAnswers", "");
    unsigned address = 0;
    int every = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%2x:%d%c", &address, &every, &end) == 2 && every >= 0)
        sim::SetBuiltinSimMissedAnswers(static_cast<uint8_t>(address), every);
}

}  // namespace tessek
