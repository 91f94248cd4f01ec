#pragma once
// A sysfs tree in a private folder, laid out as the kernel lays out its terminals, for
// the serial device layer's look-ups: /class/tty/<name> is a link into /devices, whose
// "device" link leads to the hardware the terminal belongs to.
#include "tests/common/TempFolder.h"

#include <string>

namespace tessek::test {

class FakeSysfs {
public:
    // The root to hand to the device layer in place of "/sys".
    std::string Root() const { return folder_.Path(); }

    // A terminal of the hardware at /devices/<hardware> ("pnp0/00:04"), with its device
    // number ("4:64"), and the serial core's port type when not empty ("0": no UART).
    void AddTty(const std::string& name, const std::string& hardware, const std::string& dev,
                const std::string& type = "") const;
    // A terminal with no hardware behind it (a virtual console), under /devices/virtual.
    void AddVirtualTty(const std::string& name, const std::string& dev) const;
    // A USB-serial converter's port (ttyUSB): /devices/<usbDevice>/<usbDevice's last
    // part>:1.0/<name>/tty/<name>, with the USB device's attributes where the kernel keeps
    // them; an empty attribute is left out.
    struct Usb {
        std::string device;  // e.g. "pci0000:00/0000:00:14.0/usb1/1-2"
        std::string vendorId, productId, manufacturer, product, serial;
    };
    void AddUsbSerial(const std::string& name, const Usb& usb, const std::string& dev) const;
    // A USB modem-class terminal (ttyACM): its tty sits right under the interface.
    void AddUsbAcm(const std::string& name, const Usb& usb, const std::string& dev) const;
    // /class/tty/console/active: the terminals the console writes to ("tty0 ttyS0").
    void SetActiveConsoles(const std::string& names) const;

private:
    void Link(const std::string& link, const std::string& target) const;
    void Write(const std::string& file, const std::string& content) const;
    void AddUsbDevice(const Usb& usb) const;
    void AddTtyAt(const std::string& name, const std::string& ttyDir, const std::string& deviceLink,
                  const std::string& dev) const;

    TempFolder folder_;
};

// The "major:minor" of the character device at `path`, as sysfs writes it.
std::string DeviceNumberText(const std::string& path);

}  // namespace tessek::test
