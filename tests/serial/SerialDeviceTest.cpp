// The Linux serial device layer: what it refuses to open, the rates it refuses, the help a
// failed open gets, and the port list it reads from sysfs. Pseudo-terminals stand in for
// serial devices; a fake sysfs tree and wrapped driver calls show what they cannot.
#include "serial/SerialDevice.h"

#include "platform/Termios2.h"
#include "tests/common/FakeSysfs.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>

#include <filesystem>

namespace tessek {
namespace {

using test::FakeSysfs;
using test::PtyPeer;

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

// A pseudo-terminal stands in for the device; the fake sysfs says which terminals the
// console writes to. (A console named by the device's own name: WidebandInputTest.)
TEST(LinuxSerialDeviceTest, AnActiveConsoleIsNeverOpened)
{
    PtyPeer peer;
    const std::string slave = peer.SlavePath();
    const struct {
        const char* name;
        std::string ttyS0Number, consoles;  // "": no ttyS0, no console file
        bool refused;
    } cases[] = {
        {"no console file", "", "", false},
        {"the console is another terminal", "4:64", "tty0 ttyS0", false},
        {"the console has the device's number under another name", test::DeviceNumberText(slave), "ttyS0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSysfs sys;
        if (!c.ttyS0Number.empty())
            sys.AddTty("ttyS0", "pnp0/00:04", c.ttyS0Number, "4");
        if (!c.consoles.empty())
            sys.SetActiveConsoles(c.consoles);
        LinuxSystem system;
        system.SysfsRoot = sys.Root();
        const DeviceError e = Failure([&] { OpenLinuxSerialDevice(slave, system); });
        EXPECT_EQ(e.Errno(), c.refused ? EBUSY : 0);
        EXPECT_EQ(e.Help(),
                  c.refused ? slave + " is an active system console and is never opened as a serial port." : "");
    }
}

// The event thread's read: what waits, at most the count asked, never a wait for more
// (even with read time-outs under which Read waits for every byte). (Zero bytes pass:
// PtyPortTest's raw bytes.)
TEST(LinuxSerialDeviceTest, ReadWaitingTakesWhatWaitsAndNeverWaits)
{
    const struct {
        const char* name;
        std::string sent;
        int32_t count;
        std::string got;
    } cases[] = {
        {"nothing waiting", "", 16, ""},
        {"at most the count", "abc", 2, "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPeer peer;
        auto device = OpenLinuxSerialDevice(peer.SlavePath(), LinuxSystem{});
        device->SetTimeouts({0, 0, 0, 100, 1000});  // no read limit: Read waits for every byte asked
        if (!c.sent.empty()) {
            peer.Write(c.sent);
            pollfd ready{device->WaitFd(), POLLIN, 0};
            ASSERT_EQ(::poll(&ready, 1, 5000), 1);
        }
        std::string buffer(static_cast<size_t>(c.count), '\x7f');
        const int32_t n = device->ReadWaiting(reinterpret_cast<uint8_t*>(buffer.data()), c.count);
        EXPECT_EQ(buffer.substr(0, static_cast<size_t>(n)), c.got);
    }
}

// A UART sets the rate its clock divides down to; the driver reports it back. Beyond 3 %
// off the rate is refused and the line keeps what it had.
TEST(LinuxSerialDeviceTest, ARateTheDriverSetsTooFarOffIsRefusedAndTheLineKeepsItsSettings)
{
    const struct {
        const char* name;
        int32_t asked, driverSets;
        bool taken;
    } cases[] = {
        {"3 % fast exactly", 10000, 10300, true},
        {"just over 3 % fast", 10000, 10301, false},
        {"4 % slow", 977, 938, false},
    };
    for (const auto& c : cases) {
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
        LineSettings line;
        line.BaudRate = 1200;
        device->SetLine(line);
        line.BaudRate = c.asked;
        line.StopBits = sbTwoStopBits;
        EXPECT_EQ(Failure([&] { device->SetLine(line); }).Errno(), c.taken ? 0 : EINVAL);
        termios now{};
        ASSERT_EQ(::tcgetattr(peer.MasterFd(), &now), 0);
        EXPECT_EQ(peer.SlaveRate(), c.taken ? c.asked : 1200);
        EXPECT_EQ(now.c_cflag & CSTOPB, c.taken ? tcflag_t{CSTOPB} : 0);
    }
}

// The help a permission failure gets depends on the device's group; an error without
// advice gets none. (A busy port's help: PtyPortTest; a missing adapter's, with the ports
// present, in the open error's message: ReconnectTest.)
TEST(OpenFailureHelpTest, SaysWhatToDoAboutPermissionByTheDevicesGroup)
{
    const struct {
        int err;
        const char* path;
        const char* group;
        std::string help;
    } cases[] = {
        {EACCES, "/dev/ttyUSB0", "dialout",
         "No permission to use /dev/ttyUSB0: it belongs to the group dialout. Join it with \"sudo usermod -aG dialout "
         "$USER\", then log out and in."},
        {EACCES, "/dev/ttyUSB3", "root", "No permission to use /dev/ttyUSB3, which only root may open."},
        {EINVAL, "/dev/ttyUSB9", "dialout", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " errno " + std::to_string(c.err));
        EXPECT_EQ(OpenFailureHelp(c.err, c.path, c.group, {}), c.help);
    }
}

// The terminals of a machine with two built-in UARTs (the first the console, the third
// never found), three USB adapters, a board's UART and virtual terminals. None of the
// devices exists: the list is read from sysfs alone. (Registered ports join it, as the
// port list shows them: PortSetupDialogTest.)
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
    // The FTDI adapter's stable name; a link whose tty is gone is left out.
    test::TempFolder dev;
    const std::string byId = dev.File("serial/by-id/");
    std::filesystem::create_directories(byId);
    std::filesystem::create_symlink("../../ttyUSB0", byId + "usb-FTDI_FT232R_USB_UART_A600dOYP-if00-port0");
    std::filesystem::create_symlink("../../ttyUSB7", byId + "usb-gone-if00-port0");

    // Sorted by name without regard to letter case.
    std::vector<std::string> listed;
    for (const SerialPortInfo& port : ListSerialPortInfos(sys.Root(), dev.Path()))
        listed.push_back(port.Name + " | " + port.Description);
    EXPECT_EQ(listed, (std::vector<std::string>{
                          "/dev/ttyACM0 | ttyACM0 \u2014 Arduino Uno (85736323)",
                          "/dev/ttyAMA0 | ttyAMA0 \u2014 serial port",
                          "/dev/ttyUSB0 | ttyUSB0 \u2014 FTDI FT232R USB UART (A600dOYP)",
                          "/dev/ttyUSB1 | ttyUSB1 \u2014 USB serial adapter 1a86:7523",
                          "/dev/ttyUSB2 | ttyUSB2 \u2014 Prolific Technology Inc. USB-Serial Controller",
                          // (a temporary folder sorts after /dev)
                          byId + "usb-FTDI_FT232R_USB_UART_A600dOYP-if00-port0 | ttyUSB0 \u2014 FTDI FT232R USB "
                                 "UART (A600dOYP)",
                          "COM2 | COM2 \u2014 built-in serial port (ttyS1)",
                      }));
}

// A typed port name: usable, or one clear reason; a link is judged by its target, also
// when that target is the console; a registered name is always there. (A name that is no
// path, a missing one and a regular file, as the port dialog refuses them:
// PortSetupDialogTest.)
TEST(PortNameTest, ATypedNameIsCheckedForExistenceAndConsoleAndPresenceFollowsLinks)
{
    test::PtyPeer peer;
    test::TempFolder folder;
    FakeSysfs sys;
    // The pseudo-terminal plays the console in one sysfs, by its device number.
    FakeSysfs consoleSys;
    consoleSys.AddVirtualTty("ttyFAKE", test::DeviceNumberText(peer.SlavePath()));
    consoleSys.SetActiveConsoles("ttyFAKE");
    const std::string link = folder.File("adapter");
    std::filesystem::create_symlink(peer.SlavePath(), link);
    const std::string dangling = folder.File("unplugged");
    std::filesystem::create_symlink(folder.File("nothing-there"), dangling);
    const NamedPortRegistration named(
        "NameTest", "", [](const std::string&) -> std::unique_ptr<ISerialDevice> { throw DeviceError(ENODEV); });

    const struct {
        const char* what;
        std::string name;
        std::string sysfs;
        std::string problem;  // "" when usable
        bool present;
    } cases[] = {
        {"pty", peer.SlavePath(), sys.Root(), "", true},
        {"link to pty", link, sys.Root(), "", true},
        {"registered", "nametest", sys.Root(), "", true},
        {"empty", "", sys.Root(), "No port name given: choose a port or type a device path such as /dev/ttyUSB0.",
         false},
        {"dangling link", dangling, sys.Root(), dangling + " does not exist: No such file or directory.", false},
        {"console", peer.SlavePath(), consoleSys.Root(),
         peer.SlavePath() + " is the system console and is never used as a port.", true},
        {"console behind a link", link, consoleSys.Root(), link + " is the system console and is never used as a port.",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PortNameProblem(c.name, c.sysfs), c.problem);
        EXPECT_EQ(PortPresent(c.name), c.present);
    }
}

}  // namespace
}  // namespace tessek
