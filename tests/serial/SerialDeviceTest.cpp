// Port names of the Linux serial device layer.
#include "serial/SerialDevice.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

int PathErrno(const std::string& port)
{
    try {
        SerialDevicePath(port);
    } catch (const DeviceError& e) {
        return e.Errno();
    }
    return 0;
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

}  // namespace
}  // namespace tessek
