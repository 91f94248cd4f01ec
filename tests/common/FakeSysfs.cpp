#include "tests/common/FakeSysfs.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <filesystem>
#include <stdexcept>

namespace tessek::test {

namespace fs = std::filesystem;

void FakeSysfs::Write(const std::string& file, const std::string& content) const
{
    fs::create_directories(fs::path(folder_.File(file)).parent_path());
    folder_.Write(file, content + "\n");
}

void FakeSysfs::Link(const std::string& link, const std::string& target) const
{
    const fs::path at = folder_.File(link);
    fs::create_directories(at.parent_path());
    fs::create_directory_symlink(target, at);
}

// `ttyDir` is relative to /devices; the class entry and the "device" link are relative
// links, as the kernel makes them.
void FakeSysfs::AddTtyAt(const std::string& name, const std::string& ttyDir, const std::string& deviceLink,
                         const std::string& dev) const
{
    Write("devices/" + ttyDir + "/dev", dev);
    if (!deviceLink.empty())
        Link("devices/" + ttyDir + "/device", deviceLink);
    Link("class/tty/" + name, "../../devices/" + ttyDir);
}

void FakeSysfs::AddTty(const std::string& name, const std::string& hardware, const std::string& dev,
                       const std::string& type) const
{
    AddTtyAt(name, hardware + "/tty/" + name, "../../../" + fs::path(hardware).filename().string(), dev);
    if (!type.empty())
        Write("devices/" + hardware + "/tty/" + name + "/type", type);
}

void FakeSysfs::AddVirtualTty(const std::string& name, const std::string& dev) const
{
    AddTtyAt(name, "virtual/tty/" + name, "", dev);
}

void FakeSysfs::AddUsbDevice(const Usb& usb) const
{
    const std::pair<const char*, const std::string&> attributes[] = {{"idVendor", usb.vendorId},
                                                                     {"idProduct", usb.productId},
                                                                     {"manufacturer", usb.manufacturer},
                                                                     {"product", usb.product},
                                                                     {"serial", usb.serial}};
    for (const auto& [file, value] : attributes) {
        if (!value.empty())
            Write("devices/" + usb.device + "/" + file, value);
    }
}

void FakeSysfs::AddUsbSerial(const std::string& name, const Usb& usb, const std::string& dev) const
{
    AddUsbDevice(usb);
    const std::string port = usb.device + "/" + fs::path(usb.device).filename().string() + ":1.0/" + name;
    Write("devices/" + port + "/port_number", "0");
    AddTtyAt(name, port + "/tty/" + name, "../../../" + name, dev);
}

void FakeSysfs::AddUsbAcm(const std::string& name, const Usb& usb, const std::string& dev) const
{
    AddUsbDevice(usb);
    const std::string interface = fs::path(usb.device).filename().string() + ":1.0";
    Write("devices/" + usb.device + "/" + interface + "/bInterfaceClass", "02");
    AddTtyAt(name, usb.device + "/" + interface + "/tty/" + name, "../../../" + interface, dev);
}

void FakeSysfs::SetActiveConsoles(const std::string& names) const
{
    if (!fs::exists(folder_.File("class/tty/console")))
        AddVirtualTty("console", "5:1");
    Write("devices/virtual/tty/console/active", names);
}

std::string DeviceNumberText(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error("no such device: " + path);
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

}  // namespace tessek::test
