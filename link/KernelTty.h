#pragma once
// The kernel's own tty interface for what <termios.h> cannot express: any integer rate
// (termios2 with BOTHER), the rate really set, the driver's low-latency flag and its error
// and modem counters. Kept in one translation unit because <asm/termbits.h> and
// <termios.h> define the same names differently and cannot be included together.
//
// Every function returns 0 or the errno of the failing call; none throws. Callable from
// any thread (each is a plain ioctl on the descriptor).
#include "link/SerialDevice.h"

#include <cstdint>

namespace tessek::kerneltty {

// The line settings as the kernel holds them, saved at open and put back at close.
struct TSavedLine {
    alignas(8) unsigned char raw[96];
};
int SaveLine(int fd, TSavedLine& saved);
int RestoreLine(int fd, const TSavedLine& saved);

// Raw mode with every field of `line` the kernel can express, in one TCSETS2. The rate is
// read back: a driver that sets a rate more than 3 % away from the one asked for fails
// with EINVAL, as does a rate below 1 (which would hang the line up).
int ApplyLine(int fd, const TLineSettings& line);

// Asks the driver to hand received bytes on at once instead of batching them. Drivers
// without the serial ioctls simply do not get the request.
void RequestLowLatency(int fd);

// The driver's running counters of line events.
struct TLineCounters {
    int32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
    int32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
// ENOTTY or EINVAL (among others) when the driver keeps no counters (a pseudo-terminal).
int ReadCounters(int fd, TLineCounters& counters);

// True for the errno values with which a driver says it has no such feature.
bool IsUnsupported(int err);

}  // namespace tessek::kerneltty
