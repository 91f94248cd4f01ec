#pragma once
// The kernel's termios2 interface, the one place that speaks it: any integer line rate
// (977 and 7680 among them) with BOTHER, the rate really set, and the whole line
// configuration saved and restored as the kernel holds it. Kept in one translation unit
// because <asm/termbits.h> defines the same names as glibc's <termios.h>, differently, so
// the two cannot meet in one file.
//
// Used by the serial device layer, the simulated LM (which reads the program's rates on
// its pseudo-terminal master) and tests. Any thread (each call is a plain ioctl on the
// descriptor). Functions returning int give 0 or the errno of the failed call.
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
// directions at `baud`, reads returning as soon as one byte is there. False when the
// kernel refuses.
bool SetRawAtRate(int fd, uint32_t baud);

// The line settings as the kernel holds them, opaque; saved at open, put back at close.
struct SavedTermios {
    alignas(8) unsigned char raw[96];
};
int SaveTermios(int fd, SavedTermios& saved);
int RestoreTermios(int fd, const SavedTermios& saved);

// A raw, 8-bit clean line: no echo, no line editing, no signals, no character
// translation; breaks arrive as a zero byte, never as a signal; reads return at once.
struct RawLine {
    enum class Parity { None, Odd, Even, Mark, Space };
    uint32_t Rate = 9600;  // baud, both directions; at least 1
    int DataBits = 8;      // 5 to 8
    Parity ParityBits = Parity::None;
    bool TwoStopBits = false;   // with 5 data bits a UART sends 1.5
    bool ParityCheck = false;   // received bytes with a parity error are read as 0
    bool HardwareFlow = false;  // RTS/CTS
    bool XonXoffOut = false;    // output stops on XOFF, resumes on XON
    bool XonXoffIn = false;     // XOFF/XON are sent to throttle the peer
    uint8_t XonChar = 0x11;
    uint8_t XoffChar = 0x13;
};

// Applies `line` in one TCSETS2. EINVAL for a rate below 1 (which would hang the line
// up). The rate the driver really set can be read back with ReadLineRates.
int ApplyRawLine(int fd, const RawLine& line);

}  // namespace tessek
