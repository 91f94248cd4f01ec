#include "app/BuiltinPorts.h"

#include "serial/SerialDevice.h"
#include "sim/BuiltinSim.h"

#include <cerrno>
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

}  // namespace tessek
