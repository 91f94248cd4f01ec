// <asm/termbits.h> clashes with <termios.h>, hence a file of its own.
#include "tests/sim/TestTermios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tessek::test {

bool SetRawRates(int fd, uint32_t inputBaud, uint32_t outputBaud)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag = 0;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_ispeed = inputBaud;
    t.c_ospeed = outputBaud;
    if (ioctl(fd, TCSETS2, &t) != 0)
        return false;
    termios2 check{};
    return ioctl(fd, TCGETS2, &check) == 0 && check.c_ispeed == inputBaud && check.c_ospeed == outputBaud;
}

}  // namespace tessek::test
