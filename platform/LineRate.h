#pragma once
// Line rates of a terminal in baud, read and set through the kernel's termios2, which
// carries arbitrary rates such as 977 and 7680. Shared by the port's device layer, the
// simulated LM (which reads the program's rates on its pseudo-terminal master) and tests. Any thread; errors are reported by the
// return value (errno is left set by the failed call).
#include <cstdint>
#include <optional>

namespace tessek {

struct LineRates {
    uint32_t input = 0;   // the rate the terminal listens at
    uint32_t output = 0;  // the rate the terminal sends at
};

// The rates of the terminal behind `fd`. On a pseudo-terminal master this gives the
// slave's settings: the two ends share one set of line settings.
std::optional<LineRates> ReadLineRates(int fd);

// Raw mode, 8 data bits, no parity, one stop bit, receiver on, modem lines ignored, both
// directions at `baud`. False when the kernel refuses.
bool SetRawAtRate(int fd, uint32_t baud);

}  // namespace tessek
