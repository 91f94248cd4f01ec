// Port names and the list of ports: which device a name stands for, what sysfs says the
// terminals of this machine are (USB adapters by maker, product and serial number, their
// stable names in /dev/serial/by-id, built-in UARTs that are really there), and which of
// them are active system consoles. Only looks: no device is opened here.
#include "platform/Catalog.h"
#include "platform/Text.h"
#include "serial/FillText.h"
#include "serial/SerialDevice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace tessek {

namespace {

namespace fs = std::filesystem;

// The first line of a (sysfs) file without its line break and trailing blanks; "" when
// it cannot be read.
std::string ReadTrimmed(const fs::path& file)
{
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

fs::path TtyClass(const std::string& sysfsRoot)
{
    return fs::path(sysfsRoot) / "class" / "tty";
}

// The kernel names of the terminals the system console writes to ("tty0 ttyS0"), and the
// console device itself.
std::vector<std::string> ActiveConsoles(const std::string& sysfsRoot)
{
    std::vector<std::string> names = Words(ReadTrimmed(TtyClass(sysfsRoot) / "console" / "active"));
    names.push_back("console");
    return names;
}

// The device number in a sysfs "dev" file ("4:64").
std::optional<dev_t> DeviceNumber(const fs::path& file)
{
    unsigned major = 0, minor = 0;
    char colon = 0;
    std::istringstream in(ReadTrimmed(file));
    if (!(in >> major >> colon >> minor) || colon != ':')
        return std::nullopt;
    return makedev(major, minor);
}

// The n of "ttySn" / "COMn" style names: digits only, nothing else.
bool ParseIndex(const std::string& digits, long& n)
{
    if (digits.empty() || digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
        return false;
    n = std::stol(digits);
    return true;
}

// What a USB adapter is, from the attributes of its USB device: manufacturer and product
// (the manufacturer left out when the product names it already), then the serial number
// that tells two alike adapters apart.
std::string UsbAdapterText(const fs::path& usb)
{
    const std::string manufacturer = ReadTrimmed(usb / "manufacturer");
    const std::string product = ReadTrimmed(usb / "product");
    const std::string serial = ReadTrimmed(usb / "serial");
    std::string text = product;
    const std::vector<std::string> maker = Words(manufacturer);
    if (!maker.empty() && UpperAscii(product).find(UpperAscii(maker.front())) == std::string::npos)
        text = product.empty() ? manufacturer : manufacturer + " " + product;
    if (text.empty())
        text = FillText(CportText("USB serial adapter %1:%2"), ReadTrimmed(usb / "idVendor"),
                        ReadTrimmed(usb / "idProduct"));
    if (!serial.empty())
        text += " (" + serial + ")";
    return text;
}

// The USB device a tty belongs to: the kernel puts the tty of a USB-serial converter
// (ttyUSB) under its port under the USB interface, and a modem-class tty (ttyACM) right
// under the interface; the USB device, with idVendor, is the interface's parent.
std::optional<fs::path> UsbDeviceOf(const fs::path& ttyDir)
{
    std::error_code ec;
    fs::path dir = fs::canonical(ttyDir / "device", ec);
    if (ec)
        return std::nullopt;
    for (int up = 0; up < 3; ++up, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec))
            return dir;
    }
    return std::nullopt;
}

std::string DescribeDevice(const fs::path& ttyDir, const std::string& kernelName, const std::string& portName)
{
    const std::string shown = portName.rfind("/dev/", 0) == 0 ? kernelName : portName;
    std::string what;
    if (const std::optional<fs::path> usb = UsbDeviceOf(ttyDir))
        what = UsbAdapterText(*usb);
    else if (shown != kernelName)
        what = FillText(CportText("built-in serial port (%1)"), kernelName);
    else
        what = CportText("serial port");
    return shown + " \u2014 " + what;
}

}  // namespace

bool IsActiveConsole(const std::string& path, const std::string& sysfsRoot)
{
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    const std::string name = (ec ? fs::path(path) : real).filename().string();
    struct stat st {};
    const bool isDevice = ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    for (const std::string& console : ActiveConsoles(sysfsRoot)) {
        if (name == console)
            return true;
        if (isDevice && DeviceNumber(TtyClass(sysfsRoot) / console / "dev") == st.st_rdev)
            return true;
    }
    return false;
}

std::string SerialDevicePath(const std::string& port)
{
    if (!port.empty() && port[0] == '/')
        return port;
    const std::string upper = UpperAscii(port);
    long n = 0;
    if (upper.rfind("COM", 0) == 0 && ParseIndex(upper.substr(3), n) && n >= 1)
        return "/dev/ttyS" + std::to_string(n - 1);
    throw DeviceError(ENOENT);
}

std::vector<SerialPortInfo> ListSerialDevices(const std::string& sysfsRoot, const std::string& devRoot)
{
    std::vector<SerialPortInfo> ports;
    // A USB adapter's stable names: links to ../../ttyUSBn, described as their target.
    std::vector<SerialPortInfo> stable;
    std::error_code linkError;
    for (const auto& entry : fs::directory_iterator(fs::path(devRoot) / "serial" / "by-id", linkError)) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (ec)
            continue;
        const std::string kernelName = target.filename().string();
        const fs::path dir = TtyClass(sysfsRoot) / kernelName;
        if (!fs::exists(dir / "device", ec))
            continue;
        stable.push_back({entry.path().string(), DescribeDevice(dir, kernelName, "/dev/" + kernelName)});
    }
    const std::vector<std::string> consoles = ActiveConsoles(sysfsRoot);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(TtyClass(sysfsRoot), ec)) {
        const fs::path& dir = entry.path();
        const std::string name = dir.filename().string();
        // Virtual terminals, pseudo-terminals and the console have no device behind them.
        if (!fs::exists(dir / "device", ec))
            continue;
        if (std::find(consoles.begin(), consoles.end(), name) != consoles.end())
            continue;
        // The legacy UART driver creates nodes for ports that may not exist; the serial
        // core's port type tells (0: no UART found there).
        if (ReadTrimmed(dir / "type") == "0")
            continue;
        long n = 0;
        const std::string portName = name.rfind("ttyS", 0) == 0 && ParseIndex(name.substr(4), n)
                                         ? "COM" + std::to_string(n + 1)
                                         : "/dev/" + name;
        ports.push_back({portName, DescribeDevice(dir, name, portName)});
    }
    for (SerialPortInfo& port : stable)
        ports.push_back(std::move(port));
    return ports;
}

std::vector<SerialPortInfo> ListSerialPortInfos(const std::string& sysfsRoot, const std::string& devRoot)
{
    std::vector<SerialPortInfo> ports = ListSerialDevices(sysfsRoot, devRoot);
    for (SerialPortInfo& port : NamedPorts())
        ports.push_back(std::move(port));
    std::stable_sort(ports.begin(), ports.end(),
                     [](const SerialPortInfo& a, const SerialPortInfo& b) { return LessNoCase(a.Name, b.Name); });
    return ports;
}

bool PortPresent(const std::string& port)
{
    if (IsNamedPort(port))
        return true;
    try {
        struct stat st {};
        return ::stat(SerialDevicePath(port).c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    } catch (const DeviceError&) {
        return false;  // not a name of a device
    }
}

std::string PortNameProblem(const std::string& port, const std::string& sysfsRoot)
{
    if (port.empty())
        return CportText("No port name given: choose a port or type a device path such as /dev/ttyUSB0.");
    if (IsNamedPort(port))
        return {};
    std::string path;
    try {
        path = SerialDevicePath(port);
    } catch (const DeviceError&) {
        return FillText(CportText("\"%1\" is not a port name: type a device path such as /dev/ttyUSB0."), port);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return FillText(CportText("%1 does not exist: %2."), path, std::strerror(errno));
    if (!S_ISCHR(st.st_mode))
        return FillText(CportText("%1 is not a serial device (not a character device)."), path);
    if (IsActiveConsole(path, sysfsRoot))
        return FillText(CportText("%1 is the system console and is never used as a port."), path);
    return {};
}

}  // namespace tessek
