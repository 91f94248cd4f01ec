#include "lm/LmConnection.h"

#include "serial/SerialDevice.h"

#include <QTimer>

#include <cerrno>
#include <cstring>

namespace tessek {

LmConnection::LmConnection(std::function<bool()> busy, TickSource clock, std::shared_ptr<EventPump> pump)
    : busy_(busy),
      port_("ComPort"),
      link_(LinkThroughConnection(), std::move(busy), std::move(clock), std::move(pump), &port_),
      watch_(std::make_unique<QTimer>()),
      probe_(std::make_unique<QTimer>())
{
    port_.OnRxChar = [this](TCustomComPort* sender, int32_t count) { link_.ComPortRxChar(sender, count); };
    port_.OnTxEmpty = [this](TCustomComPort* sender) { link_.ComPortTxEmpty(sender); };
    port_.OnError = [this](TCustomComPort* sender, TComErrors errors) {
        if (OnPortError)
            OnPortError(sender, errors);
        // An I/O error on a device that is still there is only reported (the line stays
        // usable); one that has hung up or vanished is a lost connection.
        if ((errors & ComError(ceIO)) && port_.Connected() && DeviceGone())
            MarkLost(EIO);
    };

    watch_->setInterval(kReturnCheckMs);
    QObject::connect(watch_.get(), &QTimer::timeout, [this] { LookForDevice(); });
    probe_->setSingleShot(true);
    QObject::connect(probe_.get(), &QTimer::timeout, [this] { EndProbe(); });
}

// Writes go through the connection, so that a device that has gone away is noticed by the
// command that finds it gone as well as by the event thread.
LinkIo LmConnection::LinkThroughConnection()
{
    LinkIo io = PortLinkIo(port_);
    io.Write = [this](const std::string& bytes) {
        if (lost_)
            throw ConnectionLost(ENODEV);
        try {
            port_.WriteBytes(bytes);
        } catch (const EComPort& e) {
            if (e.Code() != kErrWrite || !DeviceGoneErrno(e.WinCode()))
                throw;
            MarkLost(e.WinCode());
            throw ConnectionLost(e.WinCode());
        }
    };
    return io;
}

LmConnection::~LmConnection()
{
    watch_->stop();
    probe_->stop();
    OnPortError = nullptr;
    OnLost = nullptr;
    OnReturned = nullptr;
    OnProbed = nullptr;
    port_.Close();
}

bool LmConnection::DeviceGone()
{
    return !port_.Connected() || !PortPresent(port_.Port()) || port_.DeviceHungUp();
}

void LmConnection::DeclarePort()
{
    port_.SetBaudRate(brCustom);
    port_.SetPort("COM1");
    port_.Parity().SetBits(prNone);
    port_.SetStopBits(sbOneStopBit);
    port_.SetDataBits(dbEight);
    port_.SetEvents(static_cast<TComEvents>(kAllComEvents & ~ComEvent(evRxFlag)));
    TComFlowControl& flow = port_.FlowControl();
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsDisable);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
}

void LmConnection::LoadSettings(const std::string& iniPath)
{
    port_.LoadSettings(ssIniFile, iniPath);
    ApplyLinkSettings();
}

void LmConnection::ApplyLinkSettings()
{
    // The LM listens at 977 baud until a command's handshake switches it to 7680; whatever
    // rate was stored, the link starts low.
    port_.SetBaudRate(brCustom);
    port_.SetCustomBaudRate(kLowBaud);
    // Small driver queues: a request is one byte and its answer one more, so nothing is
    // gained by queueing, and a short output queue lets the transmit-empty event come as
    // soon as the request byte has left (the component stores the output size 1 as 0).
    port_.Buffer().SetOutputSize(kOutputQueueBytes);
    port_.Buffer().SetInputSize(kInputQueueBytes);
    // Every arrival is a receive event: the link counts events, not bytes.
    port_.SetNotifyRxChar(true);
    // The event thread hands over echo and answer within the 1.3 ms between them at 7680
    // baud; at normal priority a busy machine would delay it past that. It can only be
    // set on a closed port.
    if (!port_.Connected())
        port_.SetEventPriority(kEventPriority);
    // The link counts an LM's echo and its answer (1.3 ms apart at 7680 baud) as two
    // receive events; they must never be merged into one, which would make the request
    // wait out its reply limit.
    port_.SetRxEventByteLimit(1);
}

void LmConnection::Open()
{
    // Nothing received on a port before it was opened counts for what follows: the
    // start-up check and the handshake see only what the device sends now.
    link_.ResetRing();
    port_.Open();
    lost_ = false;
    watch_->stop();
}

bool LmConnection::Probe()
{
    return link_.WaitForRxByte(kProbeMs);
}

bool LmConnection::Reopen(std::string& why)
{
    if (port_.Connected())
        return true;
    try {
        ApplyLinkSettings();
        Open();
        return true;
    } catch (const EComPort& e) {
        why = e.what();
        for (char& c : why) {
            if (c == '\n')
                c = ' ';
        }
        return false;
    }
}

std::string LmConnection::LostLine(const std::string& port, int err)
{
    std::string path = port;
    try {
        path = SerialDevicePath(port);
    } catch (const DeviceError&) {
        // A registered name has no path of its own; it is shown as it is.
    }
    if (path != port)
        path = port + " (" + path + ")";
    return "Connection lost: " + path + " is gone (" + std::strerror(err) + "). Tessek reconnects when it is back.";
}

void LmConnection::MarkLost(int err)
{
    if (lost_)
        return;
    lost_ = true;
    probe_->stop();
    // Closing from inside the port's own event delivery is allowed: the rest of the batch
    // is abandoned, and nothing more comes from a device that is gone.
    try {
        port_.PurgeBuffers(true, true);
    } catch (const EComPort&) {
        // A vanished device cannot be purged; nothing is lost by that.
    }
    port_.Close();
    watch_->start();
    if (OnLost)
        OnLost(LostLine(port_.Port(), err));
}

void LmConnection::WatchForDevice()
{
    if (port_.Connected())
        return;
    lost_ = true;
    watch_->start();
}

void LmConnection::LookForDevice()
{
    if (!lost_) {
        watch_->stop();
        return;
    }
    if (!PortPresent(port_.Port()))
        return;
    try {
        ApplyLinkSettings();
        Open();
    } catch (const EComPort&) {
        return;  // there, but not ready yet (udev still at work): look again
    }
    if (OnReturned)
        OnReturned();
    probe_->start(static_cast<int>(kProbeMs));
}

void LmConnection::EndProbe()
{
    // A command started meanwhile speaks for itself, and has taken the bytes.
    if (!port_.Connected() || (busy_ && busy_()))
        return;
    bool receiving = false;
    while (!link_.RingEmpty() && !receiving)
        receiving = link_.PopRxByte() != 0;
    if (OnProbed)
        OnProbed(receiving);
}

}  // namespace tessek
