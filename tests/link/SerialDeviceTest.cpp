// The Linux serial device layer: port names, the list of ports, and reads and writes on
// a pseudo-terminal as their time-outs allow.
#include "link/SerialDevice.h"

#include "link/ComPort.h"
#include "tests/common/PtyPeer.h"
#include "tests/link/ComPortTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <thread>

namespace tessek {
namespace {

using test::PtyPeer;

int PathErrno(const std::string& port)
{
    try {
        SerialDevicePath(port);
    } catch (const TDeviceError& e) {
        return e.Errno();
    }
    return 0;
}

TEST(SerialDevicePathTest, PortNamesMapToDevices)
{
    EXPECT_EQ(SerialDevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(SerialDevicePath("/tmp/COM1"), "/tmp/COM1");
    EXPECT_EQ(SerialDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath("com12"), "/dev/ttyS11");
    for (const char* bad : {"COM0", "COM", "COMx", "COM1a", "COM-1", "LPT1", "", "ttyUSB0", "COM9999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(PathErrno(bad), ENOENT);
    }
}

TEST(SerialDevicePathTest, TheListIsSortedWithoutRegardToCaseAndHoldsSIM)
{
    std::vector<std::string> list = {"stale"};
    TCustomComPort::ListSerialPorts(list);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(std::count(list.begin(), list.end(), "SIM"), 1);
    EXPECT_EQ(std::count(list.begin(), list.end(), "stale"), 0);
    const auto upper = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    };
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_LE(upper(list[i - 1]), upper(list[i])) << list[i - 1] << " before " << list[i];
    // Every name is one the port can open by (without opening any here).
    for (const std::string& name : list) {
        if (name != "SIM") {
            SCOPED_TRACE(name);
            EXPECT_EQ(PathErrno(name), 0);
        }
    }
}

class PtyDeviceTest : public ::testing::Test {
protected:
    PtyDeviceTest() : device(OpenLinuxSerialDevice(peer.SlavePath())) {}
    PtyPeer peer;
    std::unique_ptr<ISerialDevice> device;
};

TEST_F(PtyDeviceTest, ReadsReturnAtOnceWithTheDefaultTimeOuts)
{
    device->SetTimeouts(TDeviceTimeouts{});
    uint8_t buffer[8];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buffer, 8), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(PtyDeviceTest, AReadWaitsUpToItsTotalTimeOut)
{
    TDeviceTimeouts t;
    t.ReadInterval = 0;
    t.ReadTotalConstant = 150;
    device->SetTimeouts(t);
    uint8_t buffer[4];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buffer, 4), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(140));

    // Bytes that come while it waits are read.
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Write("wxyz");
    });
    t.ReadTotalConstant = 3000;
    device->SetTimeouts(t);
    EXPECT_EQ(device->Read(buffer, 4), 4);
    late.join();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "wxyz");
}

TEST_F(PtyDeviceTest, TheIntervalTimeOutEndsAReadAfterTheLastByte)
{
    TDeviceTimeouts t;
    t.ReadInterval = 50;
    device->SetTimeouts(t);
    peer.Write("ab");
    uint8_t buffer[10];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->Read(buffer, 10), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(PtyDeviceTest, QueuesAndTheRateAreVisible)
{
    TLineSettings line;
    line.BaudRate = 977;
    device->SetLine(line);
    EXPECT_EQ(peer.SlaveRate(), 977);
    line.BaudRate = 7680;
    line.DataBits = 7;
    line.Parity = prEven;
    device->SetLine(line);
    EXPECT_EQ(peer.SlaveRate(), 7680);
    peer.Write("abc");
    for (int i = 0; i < 100 && device->InputCount() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(device->InputCount(), 3);
    EXPECT_EQ(device->OutputCount(), 0);
    device->Purge(true, true);
    EXPECT_EQ(device->InputCount(), 0);
    EXPECT_EQ(device->TakeLineEvents(), 0);
    EXPECT_EQ(device->LineEventInterval(), -1) << "a pseudo-terminal keeps no line counters";
}

// The whole stack against the built-in simulated LM: the handshake at 977 baud, then a
// request at 7680 on the same open port, with the transmit-empty ahead of each echo.
TEST(SimPortTest, HandshakeAndRequestThroughTheBuiltInLm)
{
    TComPort port;
    port.SetPort("SIM");
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    std::vector<std::string> log;
    std::string received;
    port.OnTxEmpty = [&](TCustomComPort*) { log.push_back("TxEmpty"); };
    port.OnRxChar = [&](TCustomComPort* p, int32_t count) {
        std::string bytes;
        p->ReadBytes(bytes, count);
        received += bytes;
        log.push_back("Rx");
    };
    port.Open();
    ASSERT_EQ(port.WriteBytes("\x12"), 1);
    ASSERT_TRUE(test::PumpUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received, "\x12");
    EXPECT_EQ(log.front(), "TxEmpty");

    port.SetCustomBaudRate(7680);
    received.clear();
    log.clear();
    ASSERT_EQ(port.WriteBytes("\x40"), 1);
    ASSERT_TRUE(test::PumpUntil([&] { return received.size() >= 2; }));
    EXPECT_EQ(received[0], '\x40') << "the echo";
    EXPECT_EQ(log.front(), "TxEmpty");
    port.Close();
}

}  // namespace
}  // namespace tessek
