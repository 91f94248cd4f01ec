// The Linux serial device: a terminal opened exclusively in raw mode, its line settings
// through termios2, reads and writes within the port's time-outs, line events from the
// driver's counters. Which names lead to which device, and the list of ports, are in
// SerialPortList.cpp; registered names in NamedPorts.cpp.
#include "serial/SerialDevice.h"

#include "platform/Catalog.h"
#include "platform/Ioctl.h"
#include "platform/Termios2.h"
#include "platform/UniqueFd.h"
#include "serial/FillText.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace tessek {

DeviceError::DeviceError(int err, std::string help)
    : std::runtime_error(std::strerror(err)), errno_(err), help_(std::move(help))
{
}

bool DeviceGoneErrno(int err)
{
    return err == EIO || err == ENODEV || err == ENXIO;
}

bool HungUp(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

namespace {

using Clock = std::chrono::steady_clock;

// The input queue of the kernel's line discipline (N_TTY_BUF_SIZE).
constexpr int32_t kTtyInputCapacity = 4096;

// Line events of devices that keep counters are looked for this often (ms): the kernel
// cannot wake a poll() for a modem line change, and a third thread blocked in TIOCMIWAIT
// could not be stopped cleanly.
constexpr int kCounterInterval = 100;

// A driver may set a rate this far (in %) from the one asked for; beyond it the link's
// bytes would be garbled.
constexpr int64_t kRateTolerancePercent = 3;

// The driver's running counters of line events (TIOCGICOUNT).
struct LineCounters {
    int32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
    int32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// 0, or ENOTTY / EINVAL (among others) when the driver keeps no counters (a pseudo-terminal).
int ReadCounters(int fd, LineCounters& counters)
{
    serial_icounter_struct icount{};
    if (const int err = IoctlRetrying(fd, TIOCGICOUNT, &icount))
        return err;
    counters.cts = icount.cts;
    counters.dsr = icount.dsr;
    counters.rng = icount.rng;
    counters.dcd = icount.dcd;
    counters.frame = icount.frame;
    counters.overrun = icount.overrun;
    counters.parity = icount.parity;
    counters.brk = icount.brk;
    counters.bufOverrun = icount.buf_overrun;
    return 0;
}

// True for the errno values with which a driver says it has no such feature.
bool IsUnsupported(int err)
{
    constexpr int kENOIOCTLCMD = 515;  // a driver's "no such ioctl" that can leak out
    return err == ENOTTY || err == EINVAL || err == EOPNOTSUPP || err == ENOSYS || err == kENOIOCTLCMD;
}

bool WithinTolerance(int64_t actual, int64_t asked)
{
    return std::abs(actual - asked) * 100 <= asked * kRateTolerancePercent;
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, 1 << 30));
}

// The name of the group that owns the device node, "" when there is none to be had.
std::string GroupOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    while (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < 65536)
        buffer.resize(buffer.size() * 2);
    return found ? std::string(found->gr_name) : std::string();
}

// The names of the ports there are now, for the help of a missing device.
std::vector<std::string> PresentPortNames()
{
    std::vector<std::string> names;
    for (const SerialPortInfo& port : ListSerialPortInfos())
        names.push_back(port.Name);
    return names;
}

DeviceError OpenError(int err, const std::string& path)
{
    const bool denied = err == EACCES || err == EPERM;
    const bool missing = err == ENOENT || err == ENODEV;
    return DeviceError(err, OpenFailureHelp(err, path, denied ? GroupOf(path) : std::string(),
                                            missing ? PresentPortNames() : std::vector<std::string>()));
}

class LinuxSerialDevice final : public ISerialDevice {
public:
    LinuxSerialDevice(const std::string& path, LinuxSystem system);
    ~LinuxSerialDevice() override;
    LinuxSerialDevice(const LinuxSerialDevice&) = delete;
    LinuxSerialDevice& operator=(const LinuxSerialDevice&) = delete;

    void SetLine(const LineSettings& line) override;
    void SetTimeouts(const DeviceTimeouts& timeouts) override { timeouts_ = timeouts; }
    // Linux sizes its queues itself; there is nothing to pass the recommendation to.
    void SetQueueSizes(int32_t, int32_t) override {}
    int32_t Write(const uint8_t* data, int32_t count) override;
    int32_t Read(uint8_t* data, int32_t count) override;
    int32_t ReadWaiting(uint8_t* data, int32_t count) override;
    void AbortPending() override {}
    void Purge(bool input, bool output) override;
    int32_t InputCount() override { return QueueIoctl(FIONREAD); }
    int32_t OutputCount() override { return QueueIoctl(TIOCOUTQ); }
    TComErrors TakeErrors() override;
    ModemLines ModemSignals() override;
    int WaitFd() const override { return fd_.Get(); }
    TComEvents TakeLineEvents() override;
    int LineEventInterval() const override { return hasCounters_ ? kCounterInterval : -1; }
    int32_t InputCapacity() const override { return kTtyInputCapacity; }

private:
    void Configure();
    int ApplyLine(const LineSettings& line);
    std::optional<LineRates> ReadRates() const;
    int SerialIoctl(unsigned long request, serial_struct& serial) const;
    void RequestLowLatency();
    void RestoreSerialFlags();
    int32_t QueueIoctl(unsigned long request);
    // The driver's counters; none when the device is gone (they went with it). Throws
    // DeviceError for any other failure.
    std::optional<LineCounters> CountersNow();
    // Drops the zero bytes of the `count` just read when DiscardNull is set; returns how
    // many bytes are kept at the front.
    int32_t Kept(uint8_t* data, int32_t count) const;
    void SetModemLine(int line, bool on);
    // Throws DeviceError(err); an I/O error of a read or write is also a line error (ceIO).
    [[noreturn]] void Fail(int err);

    LinuxSystem system_;
    UniqueFd fd_;
    bool exclusive_ = false;
    SavedTermios saved_{};
    bool lowLatencySet_ = false;  // we turned ASYNC_LOW_LATENCY on; it is turned off at close
    bool hasCounters_ = false;
    LineCounters errorBase_;  // window thread (TakeErrors)
    LineCounters eventBase_;  // input side (TakeLineEvents)
    // I/O errors of reads and writes, and how many of them TakeErrors and TakeLineEvents
    // have reported.
    std::atomic<uint32_t> ioErrors_{0};
    uint32_t ioErrorsTaken_ = 0;      // window thread (TakeErrors)
    uint32_t ioErrorsAnnounced_ = 0;  // input side (TakeLineEvents)
    DeviceTimeouts timeouts_;
    bool discardNull_ = false;
};

LinuxSerialDevice::LinuxSerialDevice(const std::string& path, LinuxSystem system) : system_(std::move(system))
{
    // Not even opened: a console's line belongs to the system, and the raw mode set below
    // would take it away.
    if (IsActiveConsole(path, system_.SysfsRoot))
        throw DeviceError(
            EBUSY, FillText(CportText("%1 is an active system console and is never opened as a serial port."), path));
    // Non-blocking so that an open never waits for carrier; no controlling terminal.
    fd_.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_.Valid())
        throw OpenError(errno, path);
    if (!::isatty(fd_.Get()))
        throw DeviceError(ENOTTY);
    // The lock keeps out programs that honour locks; TIOCEXCL keeps out every other open
    // (except root's). Either alone leaves a window, so both.
    if (::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0)
        throw OpenError(errno, path);
    if (::ioctl(fd_.Get(), TIOCEXCL) != 0)
        throw OpenError(errno, path);
    exclusive_ = true;
    try {
        Configure();
    } catch (...) {
        // The exclusive mark belongs to the terminal, not to this descriptor: a
        // pseudo-terminal would keep it after the close.
        ::ioctl(fd_.Get(), TIOCNXCL);
        throw;
    }
}

// The line settings are saved before anything changes them, then the line goes raw.
void LinuxSerialDevice::Configure()
{
    const int fd = fd_.Get();
    if (const int err = SaveTermios(fd, saved_))
        throw DeviceError(err);
    termios raw{};
    if (::tcgetattr(fd, &raw) != 0)
        throw DeviceError(errno);
    ::cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &raw) != 0)
        throw DeviceError(errno);
    RequestLowLatency();
    hasCounters_ = ReadCounters(fd, errorBase_) == 0;
    eventBase_ = errorBase_;
}

LinuxSerialDevice::~LinuxSerialDevice()
{
    // A vanished device refuses all of these; there is nothing left to restore then.
    RestoreSerialFlags();
    RestoreTermios(fd_.Get(), saved_);
    if (exclusive_)
        ::ioctl(fd_.Get(), TIOCNXCL);
}

std::optional<LineRates> LinuxSerialDevice::ReadRates() const
{
    return system_.ReadRates ? system_.ReadRates(fd_.Get()) : ReadLineRates(fd_.Get());
}

int LinuxSerialDevice::SerialIoctl(unsigned long request, serial_struct& serial) const
{
    return system_.SerialIoctl ? system_.SerialIoctl(fd_.Get(), request, &serial)
                               : IoctlRetrying(fd_.Get(), request, &serial);
}

// Asks the driver to hand received bytes on at once instead of batching them (USB
// adapters otherwise hold them for up to 16 ms). The setting outlives the descriptor, so
// it is undone at close. Drivers without the serial ioctls simply do not get the request.
void LinuxSerialDevice::RequestLowLatency()
{
    serial_struct serial{};
    if (SerialIoctl(TIOCGSERIAL, serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    lowLatencySet_ = SerialIoctl(TIOCSSERIAL, serial) == 0;
}

void LinuxSerialDevice::RestoreSerialFlags()
{
    if (!lowLatencySet_)
        return;
    serial_struct serial{};
    if (SerialIoctl(TIOCGSERIAL, serial) != 0)
        return;
    serial.flags &= ~ASYNC_LOW_LATENCY;
    SerialIoctl(TIOCSSERIAL, serial);
}

// The whole configuration the kernel can express of `line`, with its rate read back. A
// driver that sets a rate beyond the tolerance fails with EINVAL, and the line gets the
// settings it had before back.
int LinuxSerialDevice::ApplyLine(const LineSettings& line)
{
    if (line.BaudRate < 1)
        return EINVAL;
    const int fd = fd_.Get();
    RawLine raw;
    raw.Rate = static_cast<uint32_t>(line.BaudRate);
    raw.DataBits = line.DataBits;
    raw.ParityBits = static_cast<RawLine::Parity>(line.Parity);
    // There is no 1.5: a UART sends 1.5 stop bits when asked for 2 with 5 data bits.
    raw.TwoStopBits = line.StopBits != sbOneStopBit;
    raw.ParityCheck = line.ParityCheck;
    raw.HardwareFlow = line.OutCTSFlow || line.ControlRTS == rtsHandshake;
    raw.XonXoffOut = line.XonXoffOut;
    raw.XonXoffIn = line.XonXoffIn;
    raw.XonChar = line.XonChar;
    raw.XoffChar = line.XoffChar;
    SavedTermios before{};
    if (const int err = SaveTermios(fd, before))
        return err;
    if (const int err = ApplyRawLine(fd, raw))
        return err;
    const std::optional<LineRates> rates = ReadRates();
    int err = 0;
    if (!rates)
        err = errno != 0 ? errno : EIO;
    else if (!WithinTolerance(rates->output, line.BaudRate) || !WithinTolerance(rates->input, line.BaudRate))
        err = EINVAL;
    if (err != 0)
        RestoreTermios(fd, before);
    return err;
}

void LinuxSerialDevice::SetLine(const LineSettings& line)
{
    if (const int err = ApplyLine(line))
        throw DeviceError(err);
    discardNull_ = line.DiscardNull;
    // No kernel equivalent of DTR handshake or RTS toggle: those lines are simply on.
    if (line.ControlRTS != rtsHandshake && !line.OutCTSFlow)
        SetModemLine(TIOCM_RTS, line.ControlRTS != rtsDisable);
    SetModemLine(TIOCM_DTR, line.ControlDTR != dtrDisable);
}

void LinuxSerialDevice::SetModemLine(int line, bool on)
{
    if (::ioctl(fd_.Get(), on ? TIOCMBIS : TIOCMBIC, &line) != 0 && !IsUnsupported(errno))
        throw DeviceError(errno);
}

void LinuxSerialDevice::Fail(int err)
{
    if (err == EIO)
        ioErrors_.fetch_add(1);
    throw DeviceError(err);
}

int32_t LinuxSerialDevice::Write(const uint8_t* data, int32_t count)
{
    const int fd = fd_.Get();
    const int64_t multiplier = std::max(timeouts_.WriteTotalMultiplier, 0);
    const int64_t constant = std::max(timeouts_.WriteTotalConstant, 0);
    const bool limited = multiplier > 0 || constant > 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(multiplier * count + constant);
    int32_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd, data + sent, static_cast<size_t>(count - sent));
        if (n > 0) {
            sent += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            Fail(errno);
        // The output queue is full: wait for room until the write time-out runs out.
        const int wait = limited ? RemainingMs(deadline) : -1;
        if (wait == 0)
            break;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, wait) < 0 && errno != EINTR)
            Fail(errno);
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            Fail(EIO);
    }
    return sent;
}

int32_t LinuxSerialDevice::Read(uint8_t* data, int32_t count)
{
    const int fd = fd_.Get();
    const DeviceTimeouts t = timeouts_;
    const bool immediate = t.ReadInterval == -1 && t.ReadTotalMultiplier == 0 && t.ReadTotalConstant == 0;
    const bool totalLimit = t.ReadTotalMultiplier > 0 || t.ReadTotalConstant > 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(int64_t{std::max(t.ReadTotalMultiplier, 0)} * count +
                                                                   std::max(t.ReadTotalConstant, 0));
    auto lastByte = Clock::now();
    int32_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, data + got, static_cast<size_t>(count - got));
        if (n > 0) {
            got += Kept(data + got, static_cast<int32_t>(n));
            lastByte = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            Fail(errno);
        // Nothing waiting. A hung-up tty reads as empty too; tell the two apart.
        if (HungUp(fd)) {
            if (got > 0)
                break;
            Fail(EIO);
        }
        if (immediate)
            break;
        int wait = -1;
        if (totalLimit)
            wait = RemainingMs(deadline);
        if (got > 0 && t.ReadInterval > 0) {
            const int interval = RemainingMs(lastByte + std::chrono::milliseconds(t.ReadInterval));
            wait = wait < 0 ? interval : std::min(wait, interval);
        }
        if (wait == 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, wait) < 0 && errno != EINTR)
            Fail(errno);
    }
    return got;
}

int32_t LinuxSerialDevice::ReadWaiting(uint8_t* data, int32_t count)
{
    for (;;) {
        const ssize_t n = ::read(fd_.Get(), data, static_cast<size_t>(count));
        if (n >= 0)
            return Kept(data, static_cast<int32_t>(n));
        if (errno == EAGAIN)
            return 0;
        if (errno != EINTR)
            Fail(errno);
    }
}

int32_t LinuxSerialDevice::Kept(uint8_t* data, int32_t count) const
{
    if (!discardNull_)
        return count;
    return static_cast<int32_t>(std::remove(data, data + count, uint8_t{0}) - data);
}

void LinuxSerialDevice::Purge(bool input, bool output)
{
    if (!input && !output)
        return;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(fd_.Get(), which) != 0)
        throw DeviceError(errno);
}

int32_t LinuxSerialDevice::QueueIoctl(unsigned long request)
{
    int count = 0;
    if (const int err = IoctlRetrying(fd_.Get(), request, &count))
        throw DeviceError(err);
    return count;
}

std::optional<LineCounters> LinuxSerialDevice::CountersNow()
{
    LineCounters now;
    if (const int err = ReadCounters(fd_.Get(), now)) {
        if (!DeviceGoneErrno(err))
            throw DeviceError(err);
        return std::nullopt;
    }
    return now;
}

TComErrors LinuxSerialDevice::TakeErrors()
{
    TComErrors errors = 0;
    const uint32_t io = ioErrors_.load();
    if (io != std::exchange(ioErrorsTaken_, io))
        errors |= ComError(ceIO);
    if (!hasCounters_)
        return errors;
    const std::optional<LineCounters> counters = CountersNow();
    if (!counters)
        return errors | ComError(ceIO);  // the counters went with the device
    const LineCounters& now = *counters;
    if (now.frame != errorBase_.frame)
        errors |= ComError(ceFrame);
    if (now.parity != errorBase_.parity)
        errors |= ComError(ceRxParity);
    if (now.overrun != errorBase_.overrun)
        errors |= ComError(ceOverrun);
    if (now.bufOverrun != errorBase_.bufOverrun)
        errors |= ComError(ceRxOver);
    if (now.brk != errorBase_.brk)
        errors |= ComError(ceBreak);
    errorBase_ = now;
    return errors;
}

ModemLines LinuxSerialDevice::ModemSignals()
{
    int bits = 0;
    if (::ioctl(fd_.Get(), TIOCMGET, &bits) != 0) {
        if (IsUnsupported(errno))
            return {};
        throw DeviceError(errno);
    }
    ModemLines s;
    s.CTS = bits & TIOCM_CTS;
    s.DSR = bits & TIOCM_DSR;
    s.Ring = bits & TIOCM_RI;
    s.RLSD = bits & TIOCM_CD;
    return s;
}

TComEvents LinuxSerialDevice::TakeLineEvents()
{
    TComEvents events = 0;
    const uint32_t io = ioErrors_.load();
    if (io != std::exchange(ioErrorsAnnounced_, io))
        events |= ComEvent(evError);
    if (!hasCounters_)
        return events;
    const std::optional<LineCounters> counters = CountersNow();
    if (!counters)
        return events | ComEvent(evError);  // the device is gone: TakeErrors says ceIO
    const LineCounters& now = *counters;
    const LineCounters& was = eventBase_;
    if (now.frame != was.frame || now.parity != was.parity || now.overrun != was.overrun ||
        now.bufOverrun != was.bufOverrun)
        events |= ComEvent(evError);
    if (now.brk != was.brk)
        events |= ComEvent(evBreak);
    if (now.rng != was.rng)
        events |= ComEvent(evRing);
    if (now.cts != was.cts)
        events |= ComEvent(evCTS);
    if (now.dsr != was.dsr)
        events |= ComEvent(evDSR);
    if (now.dcd != was.dcd)
        events |= ComEvent(evRLSD);
    eventBase_ = now;
    return events;
}

}  // namespace

std::unique_ptr<ISerialDevice> OpenLinuxSerialDevice(const std::string& port, const LinuxSystem& system)
{
    return std::make_unique<LinuxSerialDevice>(SerialDevicePath(port), system);
}

std::string OpenFailureHelp(int err, const std::string& path, const std::string& group,
                            const std::vector<std::string>& present)
{
    if (err == ENOENT || err == ENODEV) {
        std::string names;
        for (const std::string& name : present)
            names += (names.empty() ? "" : ", ") + name;
        return FillText(CportText("No such device: plug in the adapter; ports present now: %1."),
                        names.empty() ? CportText("none") : names);
    }
    if (err == EIO)
        return FillText(
            CportText("%1 does not answer (input/output error): the adapter was unplugged or reset; plug it "
                      "in again."),
            path);
    if (err == EACCES || err == EPERM) {
        // Joining root's group would be bad advice; only an administrator can help then.
        if (group.empty() || group == "root")
            return FillText(CportText("No permission to use %1, which only root may open."), path);
        return FillText(CportText("No permission to use %1: it belongs to the group %2. Join it with "
                                  "\"sudo usermod -aG %2 $USER\", then log out and in."),
                        path, group);
    }
    if (err == EBUSY || err == EWOULDBLOCK)
        return FillText(CportText("%1 is held by another program (for example ModemManager, which probes new USB "
                                  "serial devices); close it and try again."),
                        path);
    return {};
}

}  // namespace tessek
