#pragma once
// A sysfs tree in a private folder, laid out as the kernel lays out its terminals, for
// the serial device layer's look-ups: /class/tty/<name> is a link into /devices, whose
// "device" link leads to the hardware the terminal belongs to.
#include "tests/common/TempFolder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

namespace tessek::test {

class FakeSysfs {
public:
    // The root to hand to the device layer in place of "/sys".
    std::string Root() const { return folder_.Path(); }

    // A terminal of the hardware at /devices/<hardware> ("pnp0/00:04"), with its device
    // number ("4:64"), and the serial core's port type when not empty ("0": no UART).
    void AddTty(const std::string& name, const std::string& hardware, const std::string& dev,
                const std::string& type = "") const
    {
        AddTtyAt(name, hardware + "/tty/" + name, "../../../" + LastPart(hardware), dev);
        if (!type.empty())
            Write("devices/" + hardware + "/tty/" + name + "/type", type);
    }
    // A terminal with no hardware behind it (a virtual console), under /devices/virtual.
    void AddVirtualTty(const std::string& name, const std::string& dev) const
    {
        AddTtyAt(name, "virtual/tty/" + name, "", dev);
    }
    // A USB-serial converter's port (ttyUSB): /devices/<usbDevice>/<usbDevice's last
    // part>:1.0/<name>/tty/<name>, with the USB device's attributes where the kernel keeps
    // them; an empty attribute is left out.
    struct Usb {
        std::string device;  // e.g. "pci0000:00/0000:00:14.0/usb1/1-2"
        std::string vendorId, productId, manufacturer, product, serial;
    };
    void AddUsbSerial(const std::string& name, const Usb& usb, const std::string& dev) const
    {
        AddUsbDevice(usb);
        const std::string port = usb.device + "/" + LastPart(usb.device) + ":1.0/" + name;
        Write("devices/" + port + "/port_number", "0");
        AddTtyAt(name, port + "/tty/" + name, "../../../" + name, dev);
    }
    // A USB modem-class terminal (ttyACM): its tty sits right under the interface.
    void AddUsbAcm(const std::string& name, const Usb& usb, const std::string& dev) const
    {
        AddUsbDevice(usb);
        const std::string interface = LastPart(usb.device) + ":1.0";
        Write("devices/" + usb.device + "/" + interface + "/bInterfaceClass", "02");
        AddTtyAt(name, usb.device + "/" + interface + "/tty/" + name, "../../../" + interface, dev);
    }
    // /class/tty/console/active: the terminals the console writes to ("tty0 ttyS0").
    void SetActiveConsoles(const std::string& names) const
    {
        if (!folder_.Exists("class/tty/console"))
            AddVirtualTty("console", "5:1");
        Write("devices/virtual/tty/console/active", names);
    }

private:
    static std::string LastPart(const std::string& path) { return std::filesystem::path(path).filename().string(); }
    void Write(const std::string& file, const std::string& content) const
    {
        std::filesystem::create_directories(std::filesystem::path(folder_.File(file)).parent_path());
        folder_.Write(file, content + "\n");
    }
    void Link(const std::string& link, const std::string& target) const
    {
        const std::filesystem::path at = folder_.File(link);
        std::filesystem::create_directories(at.parent_path());
        std::filesystem::create_directory_symlink(target, at);
    }
    // `ttyDir` is relative to /devices; the class entry and the "device" link are relative
    // links, as the kernel makes them.
    void AddTtyAt(const std::string& name, const std::string& ttyDir, const std::string& deviceLink,
                  const std::string& dev) const
    {
        Write("devices/" + ttyDir + "/dev", dev);
        if (!deviceLink.empty())
            Link("devices/" + ttyDir + "/device", deviceLink);
        Link("class/tty/" + name, "../../devices/" + ttyDir);
    }
    void AddUsbDevice(const Usb& usb) const
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

    TempFolder folder_;
};

// The "major:minor" of the character device at `path`, as sysfs writes it.
inline std::string DeviceNumberText(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error("no such device: " + path);
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

}  // namespace tessek::test
