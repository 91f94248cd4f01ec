// Only kernel headers here: <asm/termbits.h> clashes with <termios.h> (see Termios2.h).
#include "platform/Termios2.h"

#include "platform/Ioctl.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <cerrno>
#include <cstring>

namespace tessek {

static_assert(sizeof(struct termios2) <= sizeof(SavedTermios::raw), "saved line settings do not fit");

namespace {

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

std::optional<LineRates> ReadLineRates(int fd)
{
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return std::nullopt;
    LineRates rates;
    rates.output = settings.c_ospeed;
    // An input rate of 0 means "the same as the output rate".
    rates.input = settings.c_ispeed != 0 ? settings.c_ispeed : settings.c_ospeed;
    return rates;
}

bool SetRawAtRate(int fd, uint32_t baud)
{
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return false;
    settings.c_iflag = 0;
    settings.c_oflag = 0;
    settings.c_lflag = 0;
    settings.c_cflag = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    settings.c_ispeed = baud;
    settings.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

int SaveTermios(int fd, SavedTermios& saved)
{
    struct termios2 t {};
    const int err = IoctlRetrying(fd, TCGETS2, &t);
    if (err == 0)
        std::memcpy(saved.raw, &t, sizeof t);
    return err;
}

int RestoreTermios(int fd, const SavedTermios& saved)
{
    struct termios2 t {};
    std::memcpy(&t, saved.raw, sizeof t);
    return IoctlRetrying(fd, TCSETS2, &t);
}

int ApplyRawLine(int fd, const RawLine& line)
{
    if (line.Rate < 1)
        return EINVAL;
    struct termios2 t {};
    if (const int err = IoctlRetrying(fd, TCGETS2, &t))
        return err;

    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CREAD | CLOCAL | DataBitsFlag(line.DataBits);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    switch (line.ParityBits) {
        case RawLine::Parity::None:
            break;
        case RawLine::Parity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case RawLine::Parity::Even:
            t.c_cflag |= PARENB;
            break;
        case RawLine::Parity::Mark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case RawLine::Parity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
    }
    if (line.TwoStopBits)
        t.c_cflag |= CSTOPB;
    if (line.ParityCheck)
        t.c_iflag |= INPCK;
    if (line.HardwareFlow)
        t.c_cflag |= CRTSCTS;
    if (line.XonXoffOut)
        t.c_iflag |= IXON;
    if (line.XonXoffIn)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = line.XonChar;
    t.c_cc[VSTOP] = line.XoffChar;

    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = line.Rate;
    t.c_ispeed = line.Rate;
    return IoctlRetrying(fd, TCSETS2, &t);
}

}  // namespace tessek
