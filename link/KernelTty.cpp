// Only kernel headers here: <asm/termbits.h> clashes with <termios.h> (see KernelTty.h).
#include "link/KernelTty.h"

#include "platform/LineRate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessek::kerneltty {

static_assert(sizeof(struct termios2) <= sizeof(TSavedLine::raw), "saved line settings do not fit");

namespace {

int Ioctl(int fd, unsigned long request, void* arg)
{
    for (;;) {
        if (::ioctl(fd, request, arg) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

tcflag_t DataBitsFlag(int bits)
{
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

}  // namespace

int SaveLine(int fd, TSavedLine& saved)
{
    struct termios2 t {};
    const int err = Ioctl(fd, TCGETS2, &t);
    if (err == 0)
        std::memcpy(saved.raw, &t, sizeof t);
    return err;
}

int RestoreLine(int fd, const TSavedLine& saved)
{
    struct termios2 t {};
    std::memcpy(&t, saved.raw, sizeof t);
    return Ioctl(fd, TCSETS2, &t);
}

int ApplyLine(int fd, const TLineSettings& line)
{
    if (line.BaudRate < 1)
        return EINVAL;
    struct termios2 t {};
    if (const int err = Ioctl(fd, TCGETS2, &t))
        return err;

    // Raw: no echo, no line editing, no signals, no translation of CR/LF, 8-bit clean;
    // breaks arrive as a zero byte (and in the break counter), never as a signal.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CREAD | CLOCAL | DataBitsFlag(line.DataBits);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    switch (line.Parity) {
        case prNone:
            break;
        case prOdd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case prEven:
            t.c_cflag |= PARENB;
            break;
        case prMark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case prSpace:
            t.c_cflag |= PARENB | CMSPAR;
            break;
    }
    // There is no 1.5: a UART sends 1.5 stop bits when asked for 2 with 5 data bits.
    if (line.StopBits != sbOneStopBit)
        t.c_cflag |= CSTOPB;
    if (line.ParityCheck)
        t.c_iflag |= INPCK;
    if (line.OutCTSFlow || line.ControlRTS == rtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (line.XonXoffOut)
        t.c_iflag |= IXON;
    if (line.XonXoffIn)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = line.XonChar;
    t.c_cc[VSTOP] = line.XoffChar;

    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = static_cast<speed_t>(line.BaudRate);
    t.c_ispeed = static_cast<speed_t>(line.BaudRate);
    if (const int err = Ioctl(fd, TCSETS2, &t))
        return err;

    const std::optional<LineRates> rates = ReadLineRates(fd);
    if (!rates)
        return errno;
    const int64_t actual = rates->output;
    if (std::abs(actual - line.BaudRate) * 100 > static_cast<int64_t>(line.BaudRate) * 3)
        return EINVAL;
    return 0;
}

void RequestLowLatency(int fd)
{
    struct serial_struct serial {};
    if (Ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    Ioctl(fd, TIOCSSERIAL, &serial);
}

int ReadCounters(int fd, TLineCounters& counters)
{
    struct serial_icounter_struct icount {};
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

bool IsUnsupported(int err)
{
    constexpr int kENOIOCTLCMD = 515;  // a driver's "no such ioctl" that can leak out
    return err == ENOTTY || err == EINVAL || err == EOPNOTSUPP || err == ENOSYS || err == kENOIOCTLCMD;
}

}  // namespace tessek::kerneltty
