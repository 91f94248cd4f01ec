#pragma once
// The serial device behind a port: everything TCustomComPort and its event thread need of
// the system, behind one small interface so that tests can put a scripted device in its
// place (line errors and modem changes cannot be produced on a pseudo-terminal); the
// Linux device (LinuxSerialDevice.cpp); port names and the list of ports
// (SerialPortList.cpp); ports registered by name (NamedPorts.cpp).
//
// Threads. The window thread makes every call of ISerialDevice. The calls marked "input
// side" are also made by the port's event thread. While the event thread runs, every
// input-side call, on either thread, is made holding the port's lock (the one TComThread
// keeps), and so are SetLine and SetTimeouts, which change what input-side calls read; no
// two calls that share state overlap then. Calls the window thread makes without the lock
// (Write, TakeErrors, ModemSignals, OutputCount, AbortPending) share with the input side
// only what is atomic (the count of I/O errors). The free functions below may be called
// on any thread.
// Failures throw DeviceError with the system's error number; the port turns them into
// EComPort with its own code.
#include "platform/Termios2.h"
#include "serial/ComTypes.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessek {

// A failed device call: the system's error number and, where the user can do something
// about it, one line saying what (e.g. which group gives access to the device).
class DeviceError : public std::runtime_error {
public:
    explicit DeviceError(int err, std::string help = {});
    int Errno() const { return errno_; }
    const std::string& Help() const { return help_; }

private:
    int errno_;
    std::string help_;
};

// The whole line configuration, built from the port's properties and applied at once.
struct LineSettings {
    int32_t BaudRate = 9600;  // bits per second
    int DataBits = 8;         // 5 to 8
    TParityBits Parity = prNone;
    TStopBits StopBits = sbOneStopBit;
    bool DiscardNull = false;  // zero bytes received are dropped
    uint8_t EventChar = 0;
    bool OutCTSFlow = false;
    bool OutDSRFlow = false;
    TDTRFlowControl ControlDTR = dtrDisable;
    TRTSFlowControl ControlRTS = rtsDisable;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool DSRSensitivity = false;
    bool TxContinueOnXoff = false;
    uint8_t XonChar = 0x11;
    uint8_t XoffChar = 0x13;
    int32_t XonLimit = 0;   // bytes in the input queue below which XON is sent
    int32_t XoffLimit = 0;  // bytes of free input queue below which XOFF is sent
    bool ParityCheck = false;
    bool ParityReplace = false;
    uint8_t ReplaceChar = 0;
    bool operator==(const LineSettings&) const = default;
};

// In ms, multipliers in ms per byte; ReadInterval -1 with zero read totals: a read returns
// at once with what is waiting. Zero write totals: a write has no time limit.
struct DeviceTimeouts {
    int32_t ReadInterval = -1;
    int32_t ReadTotalMultiplier = 0;
    int32_t ReadTotalConstant = 0;
    int32_t WriteTotalMultiplier = 100;
    int32_t WriteTotalConstant = 1000;
    bool operator==(const DeviceTimeouts&) const = default;
};

class ISerialDevice {
public:
    virtual ~ISerialDevice() = default;

    virtual void SetLine(const LineSettings& line) = 0;
    virtual void SetTimeouts(const DeviceTimeouts& timeouts) = 0;
    virtual void SetQueueSizes(int32_t input, int32_t output) = 0;  // recommended, bytes

    // Sends the bytes within the write time-outs; returns how many were sent.
    virtual int32_t Write(const uint8_t* data, int32_t count) = 0;
    // Reads at most `count` bytes as the read time-outs allow; returns how many were read.
    // Input side.
    virtual int32_t Read(uint8_t* data, int32_t count) = 0;
    // Input side: reads at most `count` of the bytes waiting, never waits; returns how
    // many were read (0: none waiting). One call where asking the count first takes two.
    virtual int32_t ReadWaiting(uint8_t* data, int32_t count)
    {
        const int32_t waiting = InputCount();
        return waiting > 0 ? Read(data, std::min(waiting, count)) : 0;
    }
    // Ends reads and writes in progress (none can be: reads and writes are synchronous).
    virtual void AbortPending() = 0;
    virtual void Purge(bool input, bool output) = 0;  // input side

    virtual int32_t InputCount() = 0;   // bytes waiting to be read; input side
    virtual int32_t OutputCount() = 0;  // bytes not yet sent; input side, and without the lock
    // Line errors (ceFrame ... ceTxFull) since the previous call; the call clears them.
    // ceIO: a read or write failed with an I/O error (EIO; that call raised its own error
    // too). Linux never reports two of them: ceMode (a setting the driver cannot do is
    // refused by the call that applies it, SetLine) and ceTxFull (a write that finds the
    // output queue full waits for room within the write time-outs and reports what it
    // sent).
    virtual TComErrors TakeErrors() = 0;
    // Line states; all off on a device without modem lines.
    virtual ModemLines ModemSignals() = 0;

    // Input side: the descriptor to wait on (readable: input waits; hang-up or error: the
    // device is gone). Fixed while the device is open.
    virtual int WaitFd() const = 0;
    // Input side: the line events (evError, evBreak, evRing, evCTS, evDSR, evRLSD,
    // evRxFlag) since the previous call. A new line error of TakeErrors, ceIO included,
    // is an evError.
    virtual TComEvents TakeLineEvents() = 0;
    // How often (ms) TakeLineEvents must be asked because such events do not make WaitFd
    // readable; -1 when they never occur without input. Fixed while the device is open.
    virtual int LineEventInterval() const = 0;
    // The input queue's real capacity in bytes (for evRx80Full). Fixed while open.
    virtual int32_t InputCapacity() const = 0;
};

// Opens the device for a port name; throws DeviceError.
using SerialDeviceFactory = std::function<std::unique_ptr<ISerialDevice>(const std::string& port)>;

// Whether a call's errno says the device has gone away (unplugged, hung up): EIO, ENODEV,
// ENXIO.
bool DeviceGoneErrno(int err);
// Whether the terminal open as `fd` has hung up or has an error pending (a cable pulled,
// an adapter unplugged). Only looks, never waits.
bool HungUp(int fd);

// ---- the Linux device (LinuxSerialDevice.cpp) -------------------------------------------

// What the Linux device layer asks of the system beyond the device itself, so that tests
// can show it what a pseudo-terminal cannot: a sysfs tree (which devices are consoles,
// what a device is), the rate a UART's driver really sets (it rounds to what its clock
// divides down to), and the serial driver's flags. Empty functions call the kernel.
struct LinuxSystem {
    std::string SysfsRoot = "/sys";
    // The rates set on the terminal (see ReadLineRates); nullopt with errno set on failure.
    std::function<std::optional<LineRates>(int fd)> ReadRates;
    // TIOCGSERIAL or TIOCSSERIAL with a `serial_struct`; returns 0 or the errno.
    std::function<int(int fd, unsigned long request, void* serial)> SerialIoctl;
};

// Opens the port exclusively (a second open, by us or another program, fails with
// EWOULDBLOCK or EBUSY) and puts it in raw mode; the line settings and the driver's
// serial flags it had are put back when the device is destroyed. A device that is an
// active system console (named in <sysfs>/class/tty/console/active) is never opened:
// DeviceError(EBUSY) with a line of help, as a failed open gets for EACCES and EBUSY
// (OpenFailureHelp).
//
// A rate the driver sets more than 3 % away from the one asked for fails SetLine with
// EINVAL and leaves the line as it was. The kernel has no equivalent of DSR output flow,
// DSR sensitivity, DTR handshake, RTS toggle (those lines are simply on), continuing after
// XOFF, recommended queue sizes, the event character (evRxFlag is never reported) or a
// parity replacement character (a byte with a parity error is read as 0 while
// Parity.Check is on); the device takes those settings without effect.
std::unique_ptr<ISerialDevice> OpenLinuxSerialDevice(const std::string& port, const LinuxSystem& system = {});

// The one line of help added to a failed open, "" when there is none for `err`:
// permission denied (EACCES, EPERM) names `group`, the device node's group, and how to
// join it; busy (EBUSY, EWOULDBLOCK) says another program holds `path`; no such device
// (ENOENT, ENODEV) asks for the adapter and names the ports `present` now; an I/O error
// (EIO) says the device stopped answering. Pure.
std::string OpenFailureHelp(int err, const std::string& path, const std::string& group,
                            const std::vector<std::string>& present = {});

// ---- port names and the list of ports (SerialPortList.cpp) ------------------------------

// The device path for a port name: a name beginning with "/" as it is; "COMn" (n >= 1,
// any letter case) is /dev/ttyS(n-1). Other names:
// DeviceError(ENOENT).
std::string SerialDevicePath(const std::string& port);

// Whether `path` is an active system console (named in <sysfsRoot>/class/tty/console/
// active): by the name it has after following links, or by its device number (another node
// or name for the same terminal). Only looks, never opens.
bool IsActiveConsole(const std::string& path, const std::string& sysfsRoot);

// Whether the device a port name stands for is there now: a registered name always is; a
// path (a symbolic link is followed) or "COMn" when it names a character device. Only looks.
bool PortPresent(const std::string& port);

// Why a typed port name cannot be used, "" when it can: a registered name, or a path
// (or "COMn") that exists, is a character device (a symbolic link is judged by its
// target) and is not an active system console. Only looks, never opens.
std::string PortNameProblem(const std::string& port, const std::string& sysfsRoot = "/sys");

// A port as the port list shows it: Name is what is stored and opened ("COM1",
// "/dev/ttyUSB0", or a registered name), Description what a person sees, the name first
// ("ttyUSB0 — FTDI FT232R USB UART (A600dOYP)"; a registered name with the description
// it was registered with).
struct SerialPortInfo {
    std::string Name;
    std::string Description;
    bool operator==(const SerialPortInfo&) const = default;
};

// The serial ports of this machine ("COMn" for the built-in UARTs that are really there,
// the device path for the others), unsorted, without active consoles. USB adapters are
// described by their manufacturer, product and serial number, and listed a second time
// under their stable names in <devRoot>/serial/by-id (which stay the same when the adapter
// comes back as another ttyUSB number). Read from sysfs and /dev only: no device is opened.
std::vector<SerialPortInfo> ListSerialDevices(const std::string& sysfsRoot = "/sys",
                                              const std::string& devRoot = "/dev");

// The devices and the registered names, sorted by name without regard to letter case.
std::vector<SerialPortInfo> ListSerialPortInfos(const std::string& sysfsRoot = "/sys",
                                                const std::string& devRoot = "/dev");

// ---- ports registered by name (NamedPorts.cpp) -------------------------------------------

// Ports known by a name of their own rather than as a device of this machine (a program
// may register a simulator this way). A registered name, in any letter case, is opened
// through its factory and listed among the serial ports. Registering a name again replaces
// its entry. RegisterNamedPort registers for the life of the program.
void RegisterNamedPort(const std::string& name, const std::string& description, SerialDeviceFactory factory);

// A registration for as long as the object lives (a test's own ports): its destruction
// removes the entry it made, unless the name has been registered again meanwhile.
class NamedPortRegistration {
public:
    NamedPortRegistration(const std::string& name, const std::string& description, SerialDeviceFactory factory);
    ~NamedPortRegistration();
    NamedPortRegistration(const NamedPortRegistration&) = delete;
    NamedPortRegistration& operator=(const NamedPortRegistration&) = delete;

private:
    uint64_t key_ = 0;
};

// The registered names as registered, described as "name — description".
std::vector<SerialPortInfo> NamedPorts();
// Whether `port` is a registered name (any letter case).
bool IsNamedPort(const std::string& port);
// Opens a port by name: a registered name through its factory, anything else with
// OpenLinuxSerialDevice. Throws DeviceError.
std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& port);

}  // namespace tessek
