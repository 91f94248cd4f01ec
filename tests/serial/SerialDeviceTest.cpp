// The Linux serial device layer: port names, what it refuses to open, what it puts back,
// how it reports I/O errors, and the port list it reads from sysfs. Pseudo-terminals stand
// in for serial devices; a fake sysfs tree and wrapped driver calls show what they cannot.
#include "serial/SerialDevice.h"

#include "platform/Termios2.h"
#include "platform/UniqueFd.h"
#include "tests/common/FakeSysfs.h"
#include "tests/common/PtyPeer.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>

namespace tessek {

void PrintTo(const SerialPortInfo& port, std::ostream* out)
{
    *out << "{" << port.Name << ", " << port.Description << "}";
}

namespace {

using test::FakeSysfs;
using test::PtyPeer;
using ::testing::AnyOf;

int PathErrno(const std::string& port)
{
    try {
        SerialDevicePath(port);
    } catch (const DeviceError& e) {
        return e.Errno();
    }
    return 0;
}

// The DeviceError that `action` raised (errno 0 when none).
template <class F>
DeviceError Failure(F&& action)
{
    try {
        action();
    } catch (const DeviceError& e) {
        return e;
    }
    return DeviceError(0);
}

TEST(SerialDevicePathTest, PortNamesMapToDevices)
{
    EXPECT_EQ(SerialDevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(SerialDevicePath("/tmp/COM1"), "/tmp/COM1");
    EXPECT_EQ(PathErrno("com12"), 0);
    for (const char* bad : {"COM0", "COM", "COMx", "COM1a", "COM-1", "LPT1", "", "ttyUSB0", "COM9999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(PathErrno(bad), ENOENT);
    }
}

// A pseudo-terminal stands in for the device; the fake sysfs says which terminals the
// console writes to.
TEST(LinuxSerialDeviceTest, AnActiveConsoleIsNeverOpened)
{
    PtyPeer peer;
    const std::string slave = peer.SlavePath();
    struct Case {
        const char* name;
        std::function<void(const FakeSysfs&)> setUp;
        bool refused;
    };
    const Case cases[] = {
        {"no console file", [](const FakeSysfs&) {}, false},
        {"the console is another terminal",
         [](const FakeSysfs& sys) {
             sys.AddTty("ttyS0", "pnp0/00:04", "4:64", "4");
             sys.SetActiveConsoles("tty0 ttyS0");
         },
         false},
        {"the console named by the device's own name",
         [&](const FakeSysfs& sys) {
             sys.SetActiveConsoles("tty0 " + std::filesystem::path(slave).filename().string());
         },
         true},
        {"the console has the device's number under another name",
         [&](const FakeSysfs& sys) {
             sys.AddTty("ttyS0", "pnp0/00:04", test::DeviceNumberText(slave), "4");
             sys.SetActiveConsoles("ttyS0");
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSysfs sys;
        c.setUp(sys);
        LinuxSystem system;
        system.SysfsRoot = sys.Root();
        const DeviceError e = Failure([&] { OpenLinuxSerialDevice(slave, system); });
        if (c.refused) {
            EXPECT_EQ(e.Errno(), EBUSY);
            EXPECT_EQ(e.Help(), slave + " is an active system console and is never opened as a serial port.");
        } else {
            EXPECT_EQ(e.Errno(), 0);
        }
    }
}

// Both halves of the exclusive open: the lock keeps out a second open of ours, the
// terminal's exclusive mode any program that takes no lock (root is let in, but the mode
// shows), and closing gives both up.
TEST(LinuxSerialDeviceTest, OpenIsExclusiveUntilTheDeviceIsClosed)
{
    PtyPeer peer;
    const std::string path = peer.SlavePath();
    const auto exclusiveMode = [&](int& mode) {
        UniqueFd other(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!other.Valid())
            return errno;
        return ::ioctl(other.Get(), TIOCGEXCL, &mode) == 0 ? 0 : errno;
    };
    auto first = OpenLinuxSerialDevice(path);
    const DeviceError second = Failure([&] { OpenLinuxSerialDevice(path); });
    EXPECT_THAT(second.Errno(), AnyOf(EBUSY, EWOULDBLOCK));
    EXPECT_EQ(second.Help(), OpenFailureHelp(second.Errno(), path, ""));
    int mode = 0;
    const int err = exclusiveMode(mode);
    if (err == 0)
        EXPECT_EQ(mode, 1) << "root may open it, but the terminal must be in exclusive mode";
    else
        EXPECT_EQ(err, EBUSY);

    first.reset();
    mode = -1;
    EXPECT_EQ(exclusiveMode(mode), 0);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(Failure([&] { OpenLinuxSerialDevice(path); }).Errno(), 0);
}

// The serial driver's flags, as a UART's driver keeps them (a pseudo-terminal has none).
struct FakeSerialDriver {
    bool supported = true;
    int flags = 0;
    int sets = 0;
    LinuxSystem System()
    {
        LinuxSystem system;
        system.SerialIoctl = [this](int, unsigned long request, void* arg) {
            auto* serial = static_cast<serial_struct*>(arg);
            if (!supported)
                return ENOTTY;
            if (request == TIOCGSERIAL) {
                *serial = serial_struct{};
                serial->flags = flags;
            } else {
                flags = serial->flags;
                ++sets;
            }
            return 0;
        };
        return system;
    }
};

TEST(LinuxSerialDeviceTest, LowLatencyIsAskedForWhileOpenAndTheFlagsArePutBack)
{
    constexpr int kOther = ASYNC_SKIP_TEST | ASYNC_SPD_HI;  // flags that are none of our business
    struct Case {
        const char* name;
        bool supported;
        int before, whileOpen, after, sets;
    };
    const Case cases[] = {
        {"off: turned on, then off again", true, kOther, kOther | ASYNC_LOW_LATENCY, kOther, 2},
        {"on already: left alone", true, kOther | ASYNC_LOW_LATENCY, kOther | ASYNC_LOW_LATENCY,
         kOther | ASYNC_LOW_LATENCY, 0},
        {"no serial driver: nothing asked", false, kOther, kOther, kOther, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPeer peer;
        FakeSerialDriver driver;
        driver.supported = c.supported;
        driver.flags = c.before;
        auto device = OpenLinuxSerialDevice(peer.SlavePath(), driver.System());
        EXPECT_EQ(driver.flags, c.whileOpen);
        device.reset();
        EXPECT_EQ(driver.flags, c.after);
        EXPECT_EQ(driver.sets, c.sets);
    }
}

LineSettings Line(int32_t rate, TStopBits stopBits)
{
    LineSettings line;
    line.BaudRate = rate;
    line.StopBits = stopBits;
    return line;
}

// A UART sets the rate its clock divides down to; the driver reports it back. Beyond 3 %
// off the rate is refused and the line keeps what it had.
TEST(LinuxSerialDeviceTest, ARateTheDriverSetsTooFarOffIsRefusedAndTheLineKeepsItsSettings)
{
    struct Case {
        const char* name;
        int32_t asked, driverSets;
        bool taken;
    };
    const Case cases[] = {
        {"exact", 7680, 7680, true},
        {"2 % fast", 7680, 7834, true},
        {"3 % fast exactly", 10000, 10300, true},
        {"just over 3 % fast", 10000, 10301, false},
        {"5 % fast", 7680, 8064, false},
        {"4 % slow", 977, 938, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPeer peer;
        LinuxSystem system;
        system.ReadRates = [&c](int fd) {
            std::optional<LineRates> rates = ReadLineRates(fd);
            if (rates && rates->output == static_cast<uint32_t>(c.asked))
                rates->input = rates->output = static_cast<uint32_t>(c.driverSets);
            return rates;
        };
        auto device = OpenLinuxSerialDevice(peer.SlavePath(), system);
        device->SetLine(Line(1200, sbOneStopBit));
        const DeviceError e = Failure([&] { device->SetLine(Line(c.asked, sbTwoStopBits)); });
        termios now{};
        ASSERT_EQ(::tcgetattr(peer.MasterFd(), &now), 0);
        if (c.taken) {
            EXPECT_EQ(e.Errno(), 0);
            EXPECT_EQ(peer.SlaveRate(), c.asked);
            EXPECT_EQ(now.c_cflag & CSTOPB, tcflag_t{CSTOPB});
        } else {
            EXPECT_EQ(e.Errno(), EINVAL);
            EXPECT_EQ(peer.SlaveRate(), 1200);
            EXPECT_EQ(now.c_cflag & CSTOPB, tcflag_t{0});
        }
    }
}

// A read or write that fails with an I/O error (here: the device hung up) raises it, and
// the next look at the line errors shows ceIO once, announced as a line event.
TEST(LinuxSerialDeviceTest, AnIOErrorOfAReadOrWriteIsTheLineErrorCeIO)
{
    const std::pair<const char*, std::function<void(ISerialDevice&)>> operations[] = {
        {"write",
         [](ISerialDevice& d) {
             const uint8_t byte = 0x12;
             d.Write(&byte, 1);
         }},
        {"read",
         [](ISerialDevice& d) {
             uint8_t byte = 0;
             d.Read(&byte, 1);
         }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        PtyPeer peer;
        auto device = OpenLinuxSerialDevice(peer.SlavePath());
        EXPECT_EQ(device->TakeErrors(), 0);
        EXPECT_EQ(device->TakeLineEvents(), 0);
        peer.CloseMaster();
        EXPECT_EQ(Failure([&] { operation(*device); }).Errno(), EIO);
        EXPECT_EQ(device->TakeLineEvents(), ComEvent(evError));
        EXPECT_EQ(device->TakeErrors(), ComError(ceIO));
        EXPECT_EQ(device->TakeErrors(), 0) << "reported once";
        EXPECT_EQ(device->TakeLineEvents(), 0) << "announced once";
    }
}

TEST(OpenFailureHelpTest, SaysWhatToDoAboutPermissionAndABusyPort)
{
    const std::string busy =
        " is held by another program (for example ModemManager, which probes new USB serial devices); close it "
        "and try again.";
    struct Case {
        int err;
        const char* path;
        const char* group;
        std::string help;
    };
    const Case cases[] = {
        {EACCES, "/dev/ttyUSB0", "dialout",
         "No permission to use /dev/ttyUSB0: it belongs to the group dialout. Join it with \"sudo usermod -aG "
         "dialout $USER\", then log out and in."},
        {EPERM, "/dev/ttyACM1", "uucp",
         "No permission to use /dev/ttyACM1: it belongs to the group uucp. Join it with \"sudo usermod -aG uucp "
         "$USER\", then log out and in."},
        {EACCES, "/dev/ttyUSB3", "root", "No permission to use /dev/ttyUSB3, which only root may open."},
        {EACCES, "/dev/ttyUSB3", "", "No permission to use /dev/ttyUSB3, which only root may open."},
        {EACCES, "/tmp/odd%2name", "dialout",
         "No permission to use /tmp/odd%2name: it belongs to the group dialout. Join it with \"sudo usermod -aG "
         "dialout $USER\", then log out and in."},
        {EBUSY, "/dev/ttyUSB0", "dialout", "/dev/ttyUSB0" + busy},
        {EWOULDBLOCK, "/dev/ttyACM0", "", "/dev/ttyACM0" + busy},
        {ENOENT, "/dev/ttyUSB9", "dialout", ""},
        {EIO, "/dev/ttyUSB0", "dialout", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " errno " + std::to_string(c.err));
        EXPECT_EQ(OpenFailureHelp(c.err, c.path, c.group), c.help);
    }
}

std::vector<SerialPortInfo> Sorted(std::vector<SerialPortInfo> ports)
{
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return ports;
}

// The terminals of a machine with two built-in UARTs (the first the console, the third
// never found), three USB adapters, a board's UART and virtual terminals. None of the
// devices exists: the list is read from sysfs alone.
TEST(SerialPortListTest, DevicesAreNamedByWhatTheyAreAndConsolesAreLeftOut)
{
    FakeSysfs sys;
    sys.AddTty("ttyS0", "pnp0/00:04", "4:64", "4");
    sys.AddTty("ttyS1", "pnp0/00:05", "4:65", "4");
    sys.AddTty("ttyS2", "platform/serial8250", "4:66", "0");
    sys.AddTty("ttyAMA0", "platform/fe201000.serial", "204:64");
    sys.AddVirtualTty("tty0", "4:0");
    sys.AddVirtualTty("ptmx", "5:2");
    const std::string hub = "pci0000:00/0000:00:14.0/usb1/";
    sys.AddUsbSerial("ttyUSB0", {hub + "1-2", "0403", "6001", "FTDI", "FT232R USB UART", "A600dOYP"}, "188:0");
    sys.AddUsbSerial("ttyUSB1", {hub + "1-4", "1a86", "7523", "", "", ""}, "188:1");
    sys.AddUsbSerial("ttyUSB2", {hub + "1-5", "067b", "2303", "Prolific Technology Inc.", "USB-Serial Controller", ""},
                     "188:2");
    sys.AddUsbAcm("ttyACM0", {hub + "1-3", "2341", "0043", "Arduino (www.arduino.cc)", "Arduino Uno", "85736323"},
                  "166:0");
    sys.SetActiveConsoles("tty0 ttyS0");

    EXPECT_EQ(Sorted(ListSerialDevices(sys.Root())),
              (std::vector<SerialPortInfo>{
                  {"/dev/ttyACM0", "ttyACM0 \u2014 Arduino Uno (85736323)"},
                  {"/dev/ttyAMA0", "ttyAMA0 \u2014 serial port"},
                  {"/dev/ttyUSB0", "ttyUSB0 \u2014 FTDI FT232R USB UART (A600dOYP)"},
                  {"/dev/ttyUSB1", "ttyUSB1 \u2014 USB serial adapter 1a86:7523"},
                  {"/dev/ttyUSB2", "ttyUSB2 \u2014 Prolific Technology Inc. USB-Serial Controller"},
                  {"COM2", "COM2 \u2014 built-in serial port (ttyS1)"},
              }));
}

TEST(SerialPortListTest, RegisteredPortsAreListedWithTheirDescriptionsAmongTheDevices)
{
    FakeSysfs sys;
    sys.AddTty("ttyS0", "pnp0/00:04", "4:64", "4");
    RegisterNamedPort("LoopTest", "a port of this test",
                      [](const std::string&) -> std::unique_ptr<ISerialDevice> { throw DeviceError(ENODEV); });
    RegisterNamedPort("AAPLAIN", "",
                      [](const std::string&) -> std::unique_ptr<ISerialDevice> { throw DeviceError(ENODEV); });
    std::vector<SerialPortInfo> ports = ListSerialPortInfos(sys.Root());
    const auto at = [&](const std::string& name) {
        return std::find_if(ports.begin(), ports.end(), [&](const SerialPortInfo& p) { return p.Name == name; });
    };
    ASSERT_NE(at("LoopTest"), ports.end());
    EXPECT_EQ(at("LoopTest")->Description, "LoopTest \u2014 a port of this test");
    ASSERT_NE(at("AAPLAIN"), ports.end());
    EXPECT_EQ(at("AAPLAIN")->Description, "AAPLAIN");
    EXPECT_LT(at("AAPLAIN"), at("COM1"));
    EXPECT_LT(at("COM1"), at("LoopTest")) << "sorted by name without regard to letter case";
}

}  // namespace
}  // namespace tessek
