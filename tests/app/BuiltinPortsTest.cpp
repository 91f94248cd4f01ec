// The program's own port "SIM": registered with the serial layer, listed among the ports
// and opened by name, it answers like an LM.
#include "app/BuiltinPorts.h"
#include "serial/ComPort.h"
#include "tests/common/EventLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tessek {
namespace {

TEST(BuiltinPorts, SimIsListedAndTalksLikeAnLm)
{
    RegisterBuiltinPorts();
    std::vector<std::string> ports;
    TCustomComPort::ListSerialPorts(ports);
    EXPECT_NE(std::find(ports.begin(), ports.end(), "SIM"), ports.end());

    TComPort port;
    port.SetPort("sim");  // any letter case
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    std::string received;
    port.OnRxChar = [&](TCustomComPort* sender, int32_t count) {
        std::string bytes;
        sender->ReadBytes(bytes, count);
        received += bytes;
    };
    port.Open();
    port.WriteBytes("\x12");
    EXPECT_TRUE(test::PumpUntil([&] { return received.find('\x12') != std::string::npos; }));
    port.SetCustomBaudRate(7680);
    received.clear();
    port.WriteBytes("\x46");
    EXPECT_TRUE(test::PumpUntil([&] { return received.size() >= 2; }));
    EXPECT_EQ(received.substr(0, 1), "\x46");
    port.Close();
}

}  // namespace
}  // namespace tessek
