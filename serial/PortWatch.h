#pragma once
// Noticing that a port's device has gone, and seeing it come back: what every connection
// that owns a port needs (a USB adapter unplugged or reset, a by-id link that vanishes and
// returns pointing at another node). Window thread.
#include "serial/ComPort.h"

#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace tessek {

// Whether the port's device has hung up or its name no longer leads to a device; a port
// without an open device counts as gone. Only looks.
bool PortDeviceGone(const TCustomComPort& port);

// The port's name with the device it stands for in brackets when that is another name
// ("COM2 (/dev/ttyS1)"); a path or a registered name as it is.
std::string PortNameWithDevice(const std::string& port);

// Looks for a port name every `intervalMs` while started, without opening anything, and
// calls `reopen` each time the name leads to a device; stops when `reopen` says it has
// opened the port. A reopen refused while the device settles (udev still setting its
// group) is simply tried again at the next look.
class PortReturnWatch {
public:
    PortReturnWatch(int intervalMs, std::function<bool()> reopen);
    ~PortReturnWatch();
    PortReturnWatch(const PortReturnWatch&) = delete;
    PortReturnWatch& operator=(const PortReturnWatch&) = delete;

    void Start(const std::string& port);
    void Stop();
    bool Active() const;

private:
    void Look();

    std::function<bool()> reopen_;
    std::string port_;
    std::unique_ptr<QTimer> timer_;
};

}  // namespace tessek
