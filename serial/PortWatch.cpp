#include "serial/PortWatch.h"

#include "serial/SerialDevice.h"

#include <poll.h>
#include <QTimer>

#include <cerrno>

namespace tessek {

bool DeviceGoneErrno(int err)
{
    return err == EIO || err == ENODEV || err == ENXIO;
}

bool PortDeviceGone(const TCustomComPort& port)
{
    const ISerialDevice* device = port.Device();
    if (!device || !PortPresent(port.Port()))
        return true;
    pollfd p{device->WaitFd(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

std::string PortNameWithDevice(const std::string& port)
{
    std::string path = port;
    try {
        path = SerialDevicePath(port);
    } catch (const DeviceError&) {
        return port;  // a registered name has no path of its own
    }
    return path == port ? port : port + " (" + path + ")";
}

PortReturnWatch::PortReturnWatch(int intervalMs, std::function<bool()> reopen)
    : reopen_(std::move(reopen)), timer_(std::make_unique<QTimer>())
{
    timer_->setInterval(intervalMs);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { Look(); });
}

PortReturnWatch::~PortReturnWatch() = default;

void PortReturnWatch::Start(const std::string& port)
{
    port_ = port;
    timer_->start();
}

void PortReturnWatch::Stop()
{
    timer_->stop();
}

bool PortReturnWatch::Active() const
{
    return timer_->isActive();
}

void PortReturnWatch::Look()
{
    if (PortPresent(port_) && reopen_())
        timer_->stop();
}

}  // namespace tessek
