// The port's Open/Close and byte operations, against a scripted device and against
// pseudo-terminals with the test as the peer.
#include "serial/ComPort.h"
#include "serial/EventThread.h"
#include "tests/common/FakeSysfs.h"
#include "tests/common/PtyPeer.h"
#include "tests/serial/ComPortTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <cstring>

namespace tessek {
namespace {

using test::DeviceScript;
using test::PtyPeer;
using test::Raised;
using ::testing::AnyOf;

// The fixed message of a port error with its system code, as EComPort composes it.
std::string Message(const char* text, int winCode)
{
    return std::string(text) + " (win error code: " + std::to_string(winCode) + ")";
}

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

TEST(ComPortTest, SyncMethodAndEventPriorityCannotChangeWhileOpen)
{
    auto script = std::make_shared<DeviceScript>();
    TComPort port;
    port.SetDeviceFactory(test::ScriptedFactory(script));
    port.SetSyncMethod(smWindowSync);  // closed: stored, for the next Open
    port.SetEventPriority(6);
    port.Open();
    EComPort e = Raised([&] { port.SetSyncMethod(smThreadSync); });
    EXPECT_EQ(e.Code(), kErrConnected);
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
    EXPECT_EQ(port.SyncMethod(), smWindowSync);
    EXPECT_EQ(Raised([&] { port.SetEventPriority(2); }).Code(), kErrConnected);
    EXPECT_EQ(port.EventPriority(), 6);
    EXPECT_EQ(Raised([&] { port.SetSyncMethod(smWindowSync); }).Code(), 0) << "the same value is no change";
    port.Close();
    port.SetSyncMethod(smThreadSync);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
}

// The device reports every parity error it sees; the port passes it on only while it was
// asked to check parity.
TEST(ComPortTest, AParityErrorReachesOnErrorOnlyWhileParityCheckIsOn)
{
    struct Case {
        bool check;
        TComErrors seen;
        std::vector<TComErrors> reported;
    };
    const TComErrors parity = ComError(ceRxParity), frame = ComError(ceFrame);
    const Case cases[] = {
        {false, parity, {}},
        {false, static_cast<TComErrors>(parity | frame), {frame}},
        {true, parity, {parity}},
        {true, static_cast<TComErrors>(parity | frame), {static_cast<TComErrors>(parity | frame)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.check ? "check on, " : "check off, ") + "errors " + std::to_string(c.seen));
        auto script = std::make_shared<DeviceScript>();
        TComPort port;
        port.SetDeviceFactory(test::ScriptedFactory(script));
        port.Parity().SetCheck(c.check);
        std::vector<TComErrors> reported;
        bool received = false;
        port.OnError = [&](TCustomComPort*, TComErrors errors) { reported.push_back(errors); };
        port.OnRxChar = [&](TCustomComPort* sender, int32_t count) {
            std::string bytes;
            sender->ReadBytes(bytes, count);
            received = true;
        };
        port.Open();
        // The byte comes in the same batch, after the error: once it is in, the error is done.
        script->ReceiveWith("x", ComEvent(evError), c.seen);
        ASSERT_TRUE(test::PumpUntil([&] { return received; }));
        EXPECT_EQ(reported, c.reported);
        port.Close();
    }
}

TEST(PtyOpenTest, ASecondOpenOfTheSameDeviceFailsAndSaysThePortIsHeld)
{
    PtyPeer peer;
    TComPort first, second;
    first.SetPort(peer.SlavePath());
    second.SetPort(peer.SlavePath());
    first.Open();
    const EComPort e = Raised([&] { second.Open(); });
    EXPECT_EQ(e.Code(), kErrOpen);
    EXPECT_THAT(e.WinCode(), AnyOf(EBUSY, EWOULDBLOCK));
    EXPECT_EQ(std::string(e.what()), Message("Unable to open com port", e.WinCode()) + "\n" +
                                         OpenFailureHelp(e.WinCode(), peer.SlavePath(), ""));
    EXPECT_NE(std::string(e.what()).find("ModemManager"), std::string::npos);
    EXPECT_FALSE(second.Connected());
    EXPECT_EQ(first.WriteBytes("a"), 1);
    EXPECT_EQ(peer.Read(1, 2000), "a") << "the first port goes on working";
    first.Close();
    second.Open();
    EXPECT_TRUE(second.Connected());
}

TEST(PtyOpenTest, AnActiveConsoleIsRefusedWithAnExplanation)
{
    PtyPeer peer;
    test::FakeSysfs sys;
    sys.AddTty("ttyS0", "pnp0/00:04", test::DeviceNumberText(peer.SlavePath()), "4");
    sys.SetActiveConsoles("tty0 ttyS0");
    LinuxSystem system;
    system.SysfsRoot = sys.Root();
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetDeviceFactory([&](const std::string& name) { return OpenLinuxSerialDevice(name, system); });
    const EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), kErrOpen);
    EXPECT_EQ(e.WinCode(), EBUSY);
    EXPECT_EQ(std::string(e.what()), Message("Unable to open com port", EBUSY) + "\n" + peer.SlavePath() +
                                         " is an active system console and is never opened as a serial port.");
    EXPECT_FALSE(port.Connected());
}

// The line as the kernel holds it, read through the master (both ends share it).
struct PtyLine {
    termios flags{};
    LineRates rates;
    explicit PtyLine(const PtyPeer& peer)
    {
        EXPECT_EQ(::tcgetattr(peer.MasterFd(), &flags), 0);
        rates = ReadLineRates(peer.MasterFd()).value_or(LineRates{});
    }
};

TEST(PtyPortTest, CloseGivesTheDeviceTheLineSettingsItHadBeforeOpen)
{
    PtyPeer peer;
    termios start{};
    ASSERT_EQ(::tcgetattr(peer.MasterFd(), &start), 0);
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told; the rest shows.
    ::cfsetspeed(&start, B2400);
    start.c_cflag |= CSTOPB;
    start.c_iflag |= IXOFF;
    ASSERT_EQ(::tcsetattr(peer.MasterFd(), TCSANOW, &start), 0);
    const PtyLine before(peer);

    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    port.Open();
    port.SetCustomBaudRate(7680);
    const PtyLine whileOpen(peer);
    ASSERT_NE(whileOpen.rates.output, before.rates.output);
    ASSERT_NE(whileOpen.flags.c_cflag, before.flags.c_cflag);
    ASSERT_NE(whileOpen.flags.c_lflag, before.flags.c_lflag);
    port.Close();

    const PtyLine after(peer);
    EXPECT_EQ(after.flags.c_iflag, before.flags.c_iflag);
    EXPECT_EQ(after.flags.c_oflag, before.flags.c_oflag);
    EXPECT_EQ(after.flags.c_cflag, before.flags.c_cflag);
    EXPECT_EQ(after.flags.c_lflag, before.flags.c_lflag);
    EXPECT_EQ(std::memcmp(after.flags.c_cc, before.flags.c_cc, sizeof before.flags.c_cc), 0);
    EXPECT_EQ(after.rates.output, 2400u);
    EXPECT_EQ(after.rates.input, 2400u);
}

// A UART whose clock cannot come within 3 % of 7680 baud: the port raises code 7 and goes
// on at the rate it had.
TEST(PtyPortTest, ARateTheDriverCannotMatchRaisesAndThePortKeepsItsOldRate)
{
    PtyPeer peer;
    LinuxSystem system;
    system.ReadRates = [](int fd) {
        std::optional<LineRates> rates = ReadLineRates(fd);
        if (rates && rates->output == 7680)
            rates->input = rates->output = 8064;
        return rates;
    };
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetDeviceFactory([&](const std::string& name) { return OpenLinuxSerialDevice(name, system); });
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    port.SetEvents(0);
    port.Open();
    const EComPort e = Raised([&] { port.SetCustomBaudRate(7680); });
    EXPECT_EQ(e.Code(), kErrSetState);
    EXPECT_EQ(e.WinCode(), EINVAL);
    EXPECT_EQ(peer.SlaveRate(), 977);
    EXPECT_EQ(port.CustomBaudRate(), 7680) << "the property keeps the value asked for";
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.WriteBytes("\x12"), 1);
    EXPECT_EQ(peer.Read(1, 2000), "\x12");
}

TEST(PtyPortTest, AFailedWriteOfAVanishedDeviceLeavesTheLineErrorCeIO)
{
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetEvents(0);
    port.Open();
    EXPECT_EQ(port.ReadLineErrors(), 0);
    peer.CloseMaster();
    const EComPort e = Raised([&] { port.WriteBytes("\x12"); });
    EXPECT_EQ(e.Code(), kErrWrite);
    EXPECT_EQ(e.WinCode(), EIO);
    EXPECT_EQ(port.ReadLineErrors(), ComError(ceIO));
    EXPECT_EQ(port.ReadLineErrors(), 0);
}

}  // namespace
}  // namespace tessek
