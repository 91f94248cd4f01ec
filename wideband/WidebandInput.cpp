#include "wideband/WidebandInput.h"

#include "serial/SerialDevice.h"

#include <cerrno>
#include <cstring>

namespace tessek {

namespace {

// The port's message on one line.
std::string OneLine(std::string text)
{
    for (char& c : text) {
        if (c == '\n')
            c = ' ';
    }
    return text;
}

}  // namespace

WidebandInput::WidebandInput(TickSource clock)
    : clock_(clock ? std::move(clock) : TickSource(GetTickCount)),
      port_("WidebandPort"),
      watch_(kReturnCheckMs, [this] { return Reopen(); })
{
    port_.OnRxBuf = [this](TCustomComPort*, const uint8_t* data, int32_t count) { Received(data, count); };
    port_.OnError = [this](TCustomComPort*, TComErrors errors) {
        // An I/O error on a device that is still there is only a bad moment on the line;
        // one that has hung up or vanished is a lost device.
        if ((errors & ComError(ceIO)) && port_.Connected() && PortDeviceGone(port_))
            MarkLost(EIO);
    };
}

WidebandInput::~WidebandInput()
{
    OnReading = nullptr;
    OnLost = nullptr;
    OnReturned = nullptr;
    Stop();
}

bool WidebandInput::Start(const WidebandSettings& settings, std::string& why)
{
    Stop();
    settings_ = settings;
    decoder_ = MakeWidebandDecoder(settings.Protocol, settings.Stoich);
    valid_.clear();
    latest_.reset();
    problem_.clear();
    if (!settings.Enabled())
        return true;
    try {
        OpenPort();
        return true;
    } catch (const EComPort& e) {
        why = OneLine(e.what());
        problem_ = why;
        // Absent (not plugged in yet, a by-id link not made yet): waited for. Refused,
        // busy or not a port: that needs the user, not another try.
        const int err = e.WinCode();
        if (err == ENOENT || DeviceGoneErrno(err))
            watch_.Start(settings.Port);
        return false;
    }
}

void WidebandInput::Stop()
{
    watch_.Stop();
    port_.Close();
}

void WidebandInput::OpenPort()
{
    port_.Close();
    port_.SetPort(settings_.Port);
    port_.SetBaudRate(brCustom);
    port_.SetCustomBaudRate(settings_.LineRate());
    port_.SetDataBits(dbEight);
    port_.Parity().SetBits(prNone);
    port_.SetStopBits(sbOneStopBit);
    TComFlowControl& flow = port_.FlowControl();
    flow.SetFlowControl(fcNone);
    // DTR and RTS on, as a terminal holds them: some level converters draw their power
    // from them, and no controller minds.
    flow.SetControlDTR(dtrEnable);
    flow.SetControlRTS(rtsEnable);
    // Only input matters, a read's worth of bytes at a time; a lost device shows as ceIO.
    port_.SetEvents(ComEvent(evRxChar) | ComEvent(evError));
    port_.SetNotifyRxChar(false);
    port_.SetRxEventByteLimit(0);
    port_.Open();
    problem_.clear();
    if (decoder_)
        decoder_->Reset();
    latest_.reset();
    lastDataMs_ = clock_();
    bytesSinceReading_ = 0;
}

bool WidebandInput::Reopen()
{
    try {
        OpenPort();
    } catch (const EComPort& e) {
        problem_ = OneLine(e.what());
        return false;  // there, but not ready yet (udev still at work): looked at again
    }
    if (OnReturned)
        OnReturned();
    return true;
}

void WidebandInput::Received(const uint8_t* data, int32_t count)
{
    if (!decoder_ || count <= 0)
        return;
    const uint32_t now = clock_();
    decoded_.clear();
    decoder_->Feed(data, static_cast<size_t>(count), now, decoded_);
    bytesSinceReading_ += static_cast<uint32_t>(count);
    for (WidebandReading& reading : decoded_) {
        lastDataMs_ = now;
        bytesSinceReading_ = 0;
        if (reading.Valid()) {
            valid_.push_back(reading);
            if (valid_.size() > kKeptReadings)
                valid_.pop_front();
        }
        latest_ = std::move(reading);
        if (OnReading)
            OnReading(*latest_);
    }
}

void WidebandInput::MarkLost(int err)
{
    if (watch_.Active())
        return;
    // Closing from inside the port's own event delivery is allowed: the rest of the batch
    // is abandoned, and nothing more comes from a device that is gone.
    port_.Close();
    problem_ = PortNameWithDevice(settings_.Port) + " is gone; it is used again when it is back";
    watch_.Start(settings_.Port);
    if (OnLost)
        OnLost(LostLine(settings_.Port, err));
}

std::string WidebandInput::LostLine(const std::string& port, int err)
{
    return "Wideband lost: " + PortNameWithDevice(port) + " is gone (" + std::strerror(err) +
           "). Tessek reconnects when it is back.";
}

std::optional<WidebandReading> WidebandInput::Newest(uint32_t atMs, uint32_t maxAgeMs) const
{
    for (auto it = valid_.rbegin(); it != valid_.rend(); ++it) {
        const auto age = static_cast<int32_t>(atMs - it->TimeMs);
        if (age < 0)
            continue;  // after the moment asked about
        if (static_cast<uint32_t>(age) > maxAgeMs)
            break;
        return *it;
    }
    return std::nullopt;
}

std::string WidebandInput::StatusText(uint32_t nowMs) const
{
    if (!settings_.Enabled())
        return "no wideband port";
    if (!port_.Connected())
        return problem_.empty() ? "not connected" : problem_;
    const uint32_t quiet = TickElapsed(lastDataMs_, nowMs);
    if (quiet < kNoDataMs)
        return latest_ ? DescribeReading(*latest_) : "waiting for data";
    std::string text = "no data for " + std::to_string(quiet / 1000) + " s";
    if (bytesSinceReading_ > 0)
        text += " (bytes come, but none make a reading: is the protocol right?)";
    return text;
}

}  // namespace tessek
