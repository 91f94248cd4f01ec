#include "serial/PortWatch.h"

#include "serial/SerialDevice.h"

#include <QTimer>

#include <cerrno>

namespace tessek {

bool PortDeviceGone(const TCustomComPort& port)
{
    return !port.Connected() || !PortPresent(port.Port()) || port.DeviceHungUp();
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
