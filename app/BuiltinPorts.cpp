#include "app/BuiltinPorts.h"

#include "serial/SerialDevice.h"
#include "sim/BuiltinSim.h"

#include <cerrno>
#include <mutex>

namespace tessek {

void RegisterBuiltinPorts()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterNamedPort(kSimPortName, "built-in simulated LM", [](const std::string&) {
            std::string path;
            try {
                path = sim::BuiltinSimSlavePath();
            } catch (const std::exception&) {
                throw DeviceError(ENODEV);  // no pseudo-terminal to be had
            }
            return OpenLinuxSerialDevice(path);
        });
    });
}

}  // namespace tessek
