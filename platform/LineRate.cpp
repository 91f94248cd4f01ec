// Kept apart from every other file on purpose: <asm/termbits.h> defines its own struct
// termios and the same macros as glibc's <termios.h>, so the two cannot meet in one
// translation unit.
#include "platform/LineRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tessek {

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

}  // namespace tessek
