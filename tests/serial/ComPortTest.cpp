// The port's Open/Close and byte operations, against a scripted device and against
// pseudo-terminals with the test as the peer.
#include "serial/ComPort.h"
#include "serial/EventThread.h"
#include "tests/common/PtyPeer.h"
#include "tests/serial/ComPortTestSupport.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

using test::DeviceScript;
using test::PtyPeer;
using test::Raised;

TEST(ComPortTest, OpenAndCloseCallHandlersInTheirOrder)
{
    auto script = std::make_shared<DeviceScript>();
    script->modem.CTS = script->modem.RLSD = true;
    TComPort port;
    port.SetDeviceFactory(test::ScriptedFactory(script));
    std::vector<std::string> log;
    const auto state = [&](const char* name) {
        return [&log, name](TCustomComPort* p) { log.push_back(name + std::string(p->Connected() ? ":1" : ":0")); };
    };
    const auto line = [&](const char* name) {
        return [&log, name](TCustomComPort*, bool on) { log.push_back(name + std::string(on ? ":1" : ":0")); };
    };
    port.OnBeforeOpen = state("BeforeOpen");
    port.OnAfterOpen = state("AfterOpen");
    port.OnBeforeClose = state("BeforeClose");
    port.OnAfterClose = state("AfterClose");
    port.OnCTSChange = line("CTS");
    port.OnDSRChange = line("DSR");
    port.OnRLSDChange = line("RLSD");

    port.Open();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen:0", "AfterOpen:1", "CTS:1", "DSR:0", "RLSD:1"}));
    EXPECT_EQ(script->Get(&DeviceScript::calls), (std::vector<std::string>{"queues", "line", "timeouts"}));
    EXPECT_NE(port.EventThread(), nullptr);
    log.clear();
    port.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose:1", "AfterClose:0"}));
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_EQ(script->Get(&DeviceScript::destroyed), 1);
    log.clear();
    port.Close();  // closed already: nothing
    EXPECT_TRUE(log.empty());

    // A device that cannot open, or a setting that fails at Open, leaves the port closed.
    script->openErrno = EBUSY;
    EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), kErrOpen);
    EXPECT_EQ(e.WinCode(), EBUSY);
    EXPECT_STREQ(e.what(), ("Unable to open com port (win error code: " + std::to_string(EBUSY) + ")").c_str());
    script->openErrno = 0;
    script->setLineErrno = EINVAL;
    log.clear();
    e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), kErrSetState);
    EXPECT_EQ(e.WinCode(), EINVAL);
    EXPECT_STREQ(e.what(), ("SetCommState function failed (win error code: " + std::to_string(EINVAL) + ")").c_str());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(log, std::vector<std::string>{"BeforeOpen:0"});
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_EQ(script->Get(&DeviceScript::destroyed), script->Get(&DeviceScript::opens));
}

TEST(ComPortTest, ByteOperationsOnAClosedPortRaiseTheirCodes)
{
    TComPort port;
    std::string s;
    EXPECT_EQ(port.WriteBytes(""), 0);
    EXPECT_EQ(Raised([&] { port.WriteBytes("x"); }).Code(), kErrWrite);
    EXPECT_EQ(Raised([&] { port.WriteBytes("x"); }).WinCode(), EBADF);
    EXPECT_EQ(Raised([&] { port.ReadBytes(s, 1); }).Code(), kErrRead);
    EXPECT_EQ(Raised([&] { port.InputQueueCount(); }).Code(), kErrClearError);
    EXPECT_EQ(Raised([&] { port.ReadModemSignals(); }).Code(), kErrModemStatus);
    EXPECT_EQ(Raised([&] { port.PurgeBuffers(true, true); }).Code(), kErrPurge);
}

TEST(PtyPortTest, RateChangesOnTheOpenPortWithoutReopening)
{
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    int opens = 0;
    port.OnAfterOpen = [&](TCustomComPort*) { ++opens; };
    port.Open();
    EXPECT_EQ(peer.SlaveRate(), 977);
    const ISerialDevice* device = port.Device();
    port.SetCustomBaudRate(7680);
    EXPECT_EQ(peer.SlaveRate(), 7680);
    port.SetBaudRate(br9600);
    EXPECT_EQ(peer.SlaveRate(), 9600) << "a table rate ignores CustomBaudRate";
    port.SetBaudRate(brCustom);
    EXPECT_EQ(peer.SlaveRate(), 7680);
    EXPECT_EQ(Raised([&] { port.SetCustomBaudRate(0); }).Code(), kErrSetState) << "an impossible rate is refused";
    EXPECT_EQ(port.Device(), device);
    EXPECT_EQ(opens, 1);
    EXPECT_TRUE(port.Connected());
}

TEST(PtyPortTest, WriteAndReadCountBytes)
{
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetEvents(0);
    port.Open();
    EXPECT_EQ(port.WriteBytes(std::string("\x12\r\n\0\xff", 5)), 5);
    EXPECT_EQ(peer.Read(5, 2000), std::string("\x12\r\n\0\xff", 5)) << "raw: no translation";
    peer.Write(std::string("ab\n", 3));
    ASSERT_TRUE(test::PumpUntil([&] { return port.InputQueueCount() == 3; }));
    std::string got;
    EXPECT_EQ(port.ReadBytes(got, 5), 3);
    EXPECT_EQ(got, "ab\n");
    EXPECT_EQ(port.ReadBytes(got, 5), 0) << "nothing waiting: returns at once";
    EXPECT_EQ(got, "");
}

TEST(PtyOpenTest, AVanishedDeviceEndsTheThreadQuietlyAndGivesClearErrors)
{
    test::ErrorRecorder errors;
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.Open();
    ASSERT_NE(port.EventThread(), nullptr);
    peer.CloseMaster();
    ASSERT_TRUE(test::PumpUntil([&] { return port.EventThread()->Finished(); }));
    EXPECT_EQ(Raised([&] { port.WriteBytes("a"); }).WinCode(), EIO);
    std::string s;
    EXPECT_EQ(Raised([&] { port.ReadBytes(s, 1); }).Code(), kErrRead);
    EXPECT_TRUE(port.Connected());
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
}  // namespace tessek
