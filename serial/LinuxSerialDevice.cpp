#include "serial/SerialDevice.h"

#include "platform/Termios2.h"
#include "platform/Text.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace tessek {

DeviceError::DeviceError(int err) : std::runtime_error(std::strerror(err)), errno_(err)
{
}

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowErrno(int err)
{
    throw DeviceError(err);
}

// The input queue of the kernel's line discipline (N_TTY_BUF_SIZE).
constexpr int32_t kTtyInputCapacity = 4096;

// Line events of devices that keep counters are looked for this often (ms): the kernel
// cannot wake a poll() for a modem line change, and a third thread blocked in TIOCMIWAIT
// could not be stopped cleanly.
constexpr int kCounterInterval = 100;

// The driver's running counters of line events (TIOCGICOUNT).
struct LineCounters {
    int32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
    int32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

int Ioctl(int fd, unsigned long request, void* arg)
{
    for (;;) {
        if (::ioctl(fd, request, arg) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

// 0, or ENOTTY / EINVAL (among others) when the driver keeps no counters (a pseudo-terminal).
int ReadCounters(int fd, LineCounters& counters)
{
    serial_icounter_struct icount{};
    if (const int err = Ioctl(fd, TIOCGICOUNT, &icount))
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

// Asks the driver to hand received bytes on at once instead of batching them (USB
// adapters otherwise hold them for up to 16 ms). Drivers without the serial ioctls simply
// do not get the request.
void RequestLowLatency(int fd)
{
    serial_struct serial{};
    if (Ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    Ioctl(fd, TIOCSSERIAL, &serial);
}

// True for the errno values with which a driver says it has no such feature.
bool IsUnsupported(int err)
{
    constexpr int kENOIOCTLCMD = 515;  // a driver's "no such ioctl" that can leak out
    return err == ENOTTY || err == EINVAL || err == EOPNOTSUPP || err == ENOSYS || err == kENOIOCTLCMD;
}

// The whole configuration the kernel can express of `line`, with its rate read back: a
// driver that sets a rate more than 3 % away from the one asked for fails with EINVAL.
int ApplyLine(int fd, const LineSettings& line)
{
    if (line.BaudRate < 1)
        return EINVAL;
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
    if (const int err = ApplyRawLine(fd, raw))
        return err;
    const std::optional<LineRates> rates = ReadLineRates(fd);
    if (!rates)
        return errno;
    const int64_t actual = rates->output;
    if (std::abs(actual - line.BaudRate) * 100 > static_cast<int64_t>(line.BaudRate) * 3)
        return EINVAL;
    return 0;
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, 1 << 30));
}

class LinuxSerialDevice final : public ISerialDevice {
public:
    explicit LinuxSerialDevice(const std::string& path);
    ~LinuxSerialDevice() override;
    LinuxSerialDevice(const LinuxSerialDevice&) = delete;
    LinuxSerialDevice& operator=(const LinuxSerialDevice&) = delete;

    void SetLine(const LineSettings& line) override;
    void SetTimeouts(const DeviceTimeouts& timeouts) override { timeouts_ = timeouts; }
    // Linux sizes its queues itself; there is nothing to pass the recommendation to.
    void SetQueueSizes(int32_t, int32_t) override {}
    int32_t Write(const uint8_t* data, int32_t count) override;
    int32_t Read(uint8_t* data, int32_t count) override;
    void AbortPending() override {}
    void Purge(bool input, bool output) override;
    int32_t InputCount() override { return QueueIoctl(FIONREAD); }
    int32_t OutputCount() override { return QueueIoctl(TIOCOUTQ); }
    TComErrors TakeErrors() override;
    ModemLines ModemSignals() override;
    int WaitFd() const override { return fd_; }
    TComEvents TakeLineEvents() override;
    int LineEventInterval() const override { return hasCounters_ ? kCounterInterval : -1; }
    int32_t InputCapacity() const override { return kTtyInputCapacity; }

private:
    int32_t QueueIoctl(unsigned long request);
    bool HungUp() const;
    void SetModemLine(int line, bool on);

    int fd_ = -1;
    SavedTermios saved_{};
    bool hasCounters_ = false;
    LineCounters errorBase_;  // window thread (TakeErrors)
    LineCounters eventBase_;  // event thread (TakeLineEvents)
    DeviceTimeouts timeouts_;
    bool discardNull_ = false;
};

LinuxSerialDevice::LinuxSerialDevice(const std::string& path)
{
    // Non-blocking so that an open never waits for carrier; no controlling terminal.
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        ThrowErrno(errno);
    auto fail = [this](int err) {
        ::close(fd_);
        fd_ = -1;
        ThrowErrno(err);
    };
    if (!::isatty(fd_))
        fail(ENOTTY);
    // The lock keeps out programs that honour locks; TIOCEXCL keeps out every other open
    // (except root's). Either alone leaves a window, so both.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        fail(errno);
    if (::ioctl(fd_, TIOCEXCL) != 0)
        fail(errno);
    if (const int err = SaveTermios(fd_, saved_))
        fail(err);
    termios raw{};
    if (::tcgetattr(fd_, &raw) != 0)
        fail(errno);
    ::cfmakeraw(&raw);
    raw.c_cflag |= CREAD | CLOCAL;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &raw) != 0)
        fail(errno);
    RequestLowLatency(fd_);
    hasCounters_ = ReadCounters(fd_, errorBase_) == 0;
    eventBase_ = errorBase_;
}

LinuxSerialDevice::~LinuxSerialDevice()
{
    // A vanished device refuses both; there is nothing left to restore then.
    RestoreTermios(fd_, saved_);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

void LinuxSerialDevice::SetLine(const LineSettings& line)
{
    if (const int err = ApplyLine(fd_, line))
        ThrowErrno(err);
    discardNull_ = line.DiscardNull;
    // No kernel equivalent of DTR handshake or RTS toggle: those lines are simply on.
    if (line.ControlRTS != rtsHandshake && !line.OutCTSFlow)
        SetModemLine(TIOCM_RTS, line.ControlRTS != rtsDisable);
    SetModemLine(TIOCM_DTR, line.ControlDTR != dtrDisable);
}

void LinuxSerialDevice::SetModemLine(int line, bool on)
{
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) != 0 && !IsUnsupported(errno))
        ThrowErrno(errno);
}

bool LinuxSerialDevice::HungUp() const
{
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

int32_t LinuxSerialDevice::Write(const uint8_t* data, int32_t count)
{
    const int64_t multiplier = std::max(timeouts_.WriteTotalMultiplier, 0);
    const int64_t constant = std::max(timeouts_.WriteTotalConstant, 0);
    const bool limited = multiplier > 0 || constant > 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(multiplier * count + constant);
    int32_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd_, data + sent, static_cast<size_t>(count - sent));
        if (n > 0) {
            sent += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            ThrowErrno(errno);
        // The output queue is full: wait for room until the write time-out runs out.
        const int wait = limited ? RemainingMs(deadline) : -1;
        if (wait == 0)
            break;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, wait) < 0 && errno != EINTR)
            ThrowErrno(errno);
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            ThrowErrno(EIO);
    }
    return sent;
}

int32_t LinuxSerialDevice::Read(uint8_t* data, int32_t count)
{
    const DeviceTimeouts t = timeouts_;
    const bool immediate = t.ReadInterval == -1 && t.ReadTotalMultiplier == 0 && t.ReadTotalConstant == 0;
    const bool totalLimit = t.ReadTotalMultiplier > 0 || t.ReadTotalConstant > 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(int64_t{std::max(t.ReadTotalMultiplier, 0)} * count +
                                                                   std::max(t.ReadTotalConstant, 0));
    auto lastByte = Clock::now();
    int32_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd_, data + got, static_cast<size_t>(count - got));
        if (n > 0) {
            int32_t kept = static_cast<int32_t>(n);
            if (discardNull_) {
                uint8_t* begin = data + got;
                kept = static_cast<int32_t>(std::remove(begin, begin + n, uint8_t{0}) - begin);
            }
            got += kept;
            lastByte = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            ThrowErrno(errno);
        // Nothing waiting. A hung-up tty reads as empty too; tell the two apart.
        if (HungUp()) {
            if (got > 0)
                break;
            ThrowErrno(EIO);
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
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, wait) < 0 && errno != EINTR)
            ThrowErrno(errno);
    }
    return got;
}

void LinuxSerialDevice::Purge(bool input, bool output)
{
    if (!input && !output)
        return;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(fd_, which) != 0)
        ThrowErrno(errno);
}

int32_t LinuxSerialDevice::QueueIoctl(unsigned long request)
{
    int count = 0;
    if (::ioctl(fd_, request, &count) != 0)
        ThrowErrno(errno);
    return count;
}

TComErrors LinuxSerialDevice::TakeErrors()
{
    if (!hasCounters_)
        return 0;
    LineCounters now;
    if (const int err = ReadCounters(fd_, now))
        ThrowErrno(err);
    TComErrors errors = 0;
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
    if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
        if (IsUnsupported(errno))
            return {};
        ThrowErrno(errno);
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
    if (!hasCounters_)
        return 0;
    LineCounters now;
    if (const int err = ReadCounters(fd_, now))
        ThrowErrno(err);
    const LineCounters& was = eventBase_;
    TComEvents events = 0;
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

// The n of "ttySn" / "COMn" style names: digits only, nothing else.
bool ParseIndex(const std::string& digits, long& n)
{
    if (digits.empty() || digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
        return false;
    n = std::stol(digits);
    return true;
}

std::string ReadTrimmed(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

}  // namespace

std::string SerialDevicePath(const std::string& port)
{
    if (!port.empty() && port[0] == '/')
        return port;
    const std::string upper = UpperAscii(port);
    long n = 0;
    if (upper.rfind("COM", 0) == 0 && ParseIndex(upper.substr(3), n) && n >= 1)
        return "/dev/ttyS" + std::to_string(n - 1);
    ThrowErrno(ENOENT);
}

std::unique_ptr<ISerialDevice> OpenLinuxSerialDevice(const std::string& port)
{
    return std::make_unique<LinuxSerialDevice>(SerialDevicePath(port));
}

std::vector<std::string> ListSerialDevices()
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        const fs::path dir = entry.path();
        const std::string name = dir.filename().string();
        // Virtual terminals, pseudo-terminals and the console have no device behind them.
        if (!fs::exists(dir / "device", ec))
            continue;
        // The legacy UART driver creates nodes for ports that may not exist; the serial
        // core's port type tells (0: no UART found there).
        if (ReadTrimmed(dir / "type") == "0")
            continue;
        long n = 0;
        if (name.rfind("ttyS", 0) == 0 && ParseIndex(name.substr(4), n))
            names.push_back("COM" + std::to_string(n + 1));
        else
            names.push_back("/dev/" + name);
    }
    return names;
}

namespace {

struct NamedPort {
    std::string name;
    std::string description;
    SerialDeviceFactory factory;
};

struct NamedPortList {
    std::mutex m;
    std::vector<NamedPort> ports;
};

NamedPortList& Registered()
{
    static NamedPortList list;
    return list;
}

}  // namespace

void RegisterNamedPort(const std::string& name, const std::string& description, SerialDeviceFactory factory)
{
    NamedPortList& list = Registered();
    std::lock_guard lock(list.m);
    for (NamedPort& port : list.ports) {
        if (SameText(port.name, name)) {
            port = {name, description, std::move(factory)};
            return;
        }
    }
    list.ports.push_back({name, description, std::move(factory)});
}

std::vector<std::string> NamedPorts()
{
    NamedPortList& list = Registered();
    std::lock_guard lock(list.m);
    std::vector<std::string> names;
    for (const NamedPort& port : list.ports)
        names.push_back(port.name);
    return names;
}

std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& port)
{
    SerialDeviceFactory factory;
    {
        NamedPortList& list = Registered();
        std::lock_guard lock(list.m);
        for (const NamedPort& named : list.ports) {
            if (SameText(named.name, port))
                factory = named.factory;
        }
    }
    return factory ? factory(port) : OpenLinuxSerialDevice(port);
}

}  // namespace tessek
