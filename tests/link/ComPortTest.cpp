// The port's properties, Open/Close and byte operations, against a scripted device and
// against pseudo-terminals with the test as the peer.
#include "link/ComPort.h"
#include "link/ComThread.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"
#include "tests/link/ComPortTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

namespace tessek {
namespace {

using test::DeviceScript;
using test::PtyPeer;

// Runs `action` and returns the EComPort it raised (Code 0 when it raised none).
template <class F>
EComPort Raised(F&& action)
{
    try {
        action();
    } catch (const EComPort& e) {
        return e;
    }
    return EComPort(0);
}

class ScriptedPortTest : public ::testing::Test {
protected:
    ScriptedPortTest() { port.SetDeviceFactory(test::ScriptedFactory(script)); }
    std::shared_ptr<DeviceScript> script = std::make_shared<DeviceScript>();
    TComPort port;
};

TEST(EComPortTest, MessagesAndPlatformCode)
{
    const EComPort withCode(1, 2);
    EXPECT_STREQ(withCode.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(withCode.Code(), 1);
    EXPECT_EQ(withCode.WinCode(), 2);
    const EComPort without(14);
    EXPECT_STREQ(without.what(), "Cannot set property while connected");
    EXPECT_EQ(without.WinCode(), -1);
    EXPECT_EQ(ComErrorMessage(7), "SetCommState function failed");
    EXPECT_EQ(ComErrorMessage(22), "A component is linked to OnRxBuf event");
    EXPECT_EQ(ComErrorMessage(23), "Registry error");
    EXPECT_EQ(ComErrorMessage(0), "");
    EXPECT_EQ(ComErrorMessage(24), "");
}

TEST_F(ScriptedPortTest, OpenAndCloseCallHandlersInTheirOrder)
{
    script->modem.CTS = true;
    script->modem.RLSD = true;
    std::vector<std::string> log;
    port.OnBeforeOpen = [&](TCustomComPort* p) {
        log.push_back(std::string("BeforeOpen:") + (p->Connected() ? "1" : "0"));
    };
    port.OnAfterOpen = [&](TCustomComPort* p) {
        log.push_back(std::string("AfterOpen:") + (p->Connected() ? "1" : "0"));
    };
    port.OnBeforeClose = [&](TCustomComPort* p) {
        log.push_back(std::string("BeforeClose:") + (p->Connected() ? "1" : "0"));
    };
    port.OnAfterClose = [&](TCustomComPort* p) {
        log.push_back(std::string("AfterClose:") + (p->Connected() ? "1" : "0"));
    };
    port.OnCTSChange = [&](TCustomComPort*, bool on) { log.push_back(std::string("CTS:") + (on ? "1" : "0")); };
    port.OnDSRChange = [&](TCustomComPort*, bool on) { log.push_back(std::string("DSR:") + (on ? "1" : "0")); };
    port.OnRLSDChange = [&](TCustomComPort*, bool on) { log.push_back(std::string("RLSD:") + (on ? "1" : "0")); };

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
}

TEST_F(ScriptedPortTest, OpenWithoutEventsStartsNoThread)
{
    port.SetEvents(0);
    int rx = 0;
    port.OnRxChar = [&](TCustomComPort*, int32_t) { ++rx; };
    port.Open();
    EXPECT_EQ(port.EventThread(), nullptr);
    script->Receive("abc");
    test::PumpFor(100);
    EXPECT_EQ(rx, 0);
    EXPECT_EQ(port.InputQueueCount(), 3);
    port.Close();
}

TEST_F(ScriptedPortTest, FailedApplyAtOpenClosesTheDeviceAgain)
{
    script->setLineErrno = EINVAL;
    bool afterOpen = false;
    port.OnAfterOpen = [&](TCustomComPort*) { afterOpen = true; };
    const EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), 7);
    EXPECT_EQ(e.WinCode(), EINVAL);
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(afterOpen);
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_EQ(script->Get(&DeviceScript::destroyed), script->Get(&DeviceScript::opens));
}

TEST_F(ScriptedPortTest, OpenFailureOfTheDeviceIsCodeOneWithErrno)
{
    script->openErrno = EBUSY;
    const EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), 1);
    EXPECT_EQ(e.WinCode(), EBUSY);
    EXPECT_FALSE(port.Connected());
}

TEST_F(ScriptedPortTest, EqualValuesDoNotTouchTheDeviceButTheFlowCompositeDoes)
{
    port.Open();
    const int before = script->Get(&DeviceScript::setLineCalls);
    const int timeoutsBefore = script->Get(&DeviceScript::setTimeoutsCalls);
    const int queuesBefore = script->Get(&DeviceScript::setQueueCalls);
    port.SetBaudRate(br9600);
    port.SetCustomBaudRate(9600);
    port.SetStopBits(sbOneStopBit);
    port.SetDataBits(dbEight);
    port.SetDiscardNull(false);
    port.SetEventChar(0);
    port.Parity().SetBits(prNone);
    port.Parity().SetCheck(false);
    port.FlowControl().SetControlRTS(rtsDisable);
    port.FlowControl().SetXonChar(0x11);
    port.Timeouts().SetWriteTotalConstant(1000);
    port.Buffer().SetInputSize(1024);
    EXPECT_EQ(script->Get(&DeviceScript::setLineCalls), before);
    EXPECT_EQ(script->Get(&DeviceScript::setTimeoutsCalls), timeoutsBefore);
    EXPECT_EQ(script->Get(&DeviceScript::setQueueCalls), queuesBefore);

    port.FlowControl().SetFlowControl(fcNone);  // unchanged, applied all the same
    EXPECT_EQ(script->Get(&DeviceScript::setLineCalls), before + 1);
    port.FlowControl().SetFlowControl(fcCustom);
    EXPECT_EQ(script->Get(&DeviceScript::setLineCalls), before + 2);
}

TEST_F(ScriptedPortTest, EachGroupOfSettingsGoesToItsOwnApply)
{
    port.Open();
    port.SetDataBits(dbSeven);
    EXPECT_EQ(script->Get(&DeviceScript::line).DataBits, 7);
    port.Parity().SetBits(prMark);
    EXPECT_EQ(script->Get(&DeviceScript::line).Parity, prMark);
    port.Timeouts().SetReadTotalConstant(25);
    EXPECT_EQ(script->Get(&DeviceScript::timeouts).ReadTotalConstant, 25);
    port.Buffer().SetInputSize(8);
    EXPECT_EQ(script->Get(&DeviceScript::queueInput), 8);
    // The throttling limits follow the input size and reach the device with the line.
    port.FlowControl().SetXonXoffIn(true);
    EXPECT_EQ(script->Get(&DeviceScript::line).XonLimit, 2);
    EXPECT_EQ(script->Get(&DeviceScript::line).XoffLimit, 2);
    EXPECT_TRUE(script->Get(&DeviceScript::line).XonXoffIn);
}

TEST_F(ScriptedPortTest, ChangesWhileClosedOrInsideAnUpdateBracketAreAppliedTogether)
{
    port.SetCustomBaudRate(977);
    port.SetBaudRate(brCustom);
    EXPECT_EQ(script->Get(&DeviceScript::opens), 0);
    port.Open();
    EXPECT_EQ(script->Get(&DeviceScript::line).BaudRate, 977);

    script->calls.clear();
    port.BeginUpdate();
    port.BeginUpdate();
    port.SetCustomBaudRate(7680);
    port.SetStopBits(sbTwoStopBits);
    port.Timeouts().SetReadInterval(5);
    port.Buffer().SetOutputSize(16);
    port.EndUpdate();
    EXPECT_TRUE(script->Get(&DeviceScript::calls).empty()) << "inner EndUpdate applied";
    port.EndUpdate();
    EXPECT_EQ(script->Get(&DeviceScript::calls), (std::vector<std::string>{"queues", "line", "timeouts"}));
    EXPECT_EQ(script->Get(&DeviceScript::line).BaudRate, 7680);
    EXPECT_EQ(script->Get(&DeviceScript::line).StopBits, sbTwoStopBits);
    EXPECT_EQ(script->Get(&DeviceScript::timeouts).ReadInterval, 5);
    EXPECT_EQ(script->Get(&DeviceScript::queueOutput), 16);

    port.EndUpdate();  // unbalanced: nothing
    EXPECT_EQ(script->Get(&DeviceScript::calls).size(), 3u);
}

TEST_F(ScriptedPortTest, AFailedSettingKeepsTheNewValue)
{
    port.Open();
    script->setLineErrno = EIO;
    const EComPort e = Raised([&] { port.SetDataBits(dbSix); });
    EXPECT_EQ(e.Code(), 7);
    EXPECT_EQ(e.WinCode(), EIO);
    EXPECT_EQ(port.DataBits(), dbSix);
    script->setTimeoutsErrno = EIO;
    EXPECT_EQ(Raised([&] { port.Timeouts().SetReadInterval(3); }).Code(), 8);
    script->setQueueErrno = EIO;
    EXPECT_EQ(Raised([&] { port.Buffer().SetInputSize(64); }).Code(), 9);
}

TEST(ComBufferTest, PositiveOddSizesAreStoredOneLess)
{
    const struct {
        int32_t given, stored;
    } cases[] = {{1, 0}, {9, 8}, {7, 6}, {8, 8}, {0, 0}, {-3, -3}, {-4, -4}, {2147483647, 2147483646}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        TComPort port;
        port.Buffer().SetInputSize(c.given);
        port.Buffer().SetOutputSize(c.given);
        EXPECT_EQ(port.Buffer().InputSize(), c.stored);
        EXPECT_EQ(port.Buffer().OutputSize(), c.stored);
    }
}

TEST(ComFlowControlTest, CompositeReadsFromRtsCtsAndXonXoff)
{
    struct Case {
        const char* name;
        TRTSFlowControl rts;
        bool cts, dsr, xonIn, xonOut;
        TFlowControl expected;
    };
    const Case cases[] = {
        {"defaults", rtsDisable, false, false, false, false, fcNone},
        {"hardware", rtsHandshake, true, false, false, false, fcHardware},
        {"hardware with DSR flow", rtsHandshake, true, true, false, false, fcHardware},
        {"software", rtsDisable, false, false, true, true, fcSoftware},
        {"CTS without RTS handshake", rtsDisable, true, false, false, false, fcCustom},
        {"RTS handshake without CTS", rtsHandshake, false, false, false, false, fcCustom},
        {"XON/XOFF in only", rtsDisable, false, false, true, false, fcCustom},
        {"hardware plus XON/XOFF", rtsHandshake, true, false, true, true, fcCustom},
        {"RTS enabled", rtsEnable, false, false, false, false, fcCustom},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TComFlowControl f;
        f.SetControlRTS(c.rts);
        f.SetOutCTSFlow(c.cts);
        f.SetOutDSRFlow(c.dsr);
        f.SetXonXoffIn(c.xonIn);
        f.SetXonXoffOut(c.xonOut);
        EXPECT_EQ(f.FlowControl(), c.expected);
    }
}

TEST(ComFlowControlTest, SettingTheCompositeRewritesOnlyItsFlags)
{
    TComFlowControl f;
    f.SetOutDSRFlow(true);
    f.SetControlDTR(dtrEnable);
    f.SetXonXoffIn(true);
    f.SetFlowControl(fcHardware);
    EXPECT_EQ(f.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f.OutCTSFlow());
    EXPECT_FALSE(f.XonXoffIn());
    EXPECT_FALSE(f.XonXoffOut());
    EXPECT_TRUE(f.OutDSRFlow());
    EXPECT_EQ(f.ControlDTR(), dtrEnable);
    EXPECT_EQ(f.FlowControl(), fcHardware);

    f.SetFlowControl(fcSoftware);
    EXPECT_EQ(f.ControlRTS(), rtsDisable);
    EXPECT_FALSE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_TRUE(f.XonXoffOut());

    f.SetOutCTSFlow(true);
    ASSERT_EQ(f.FlowControl(), fcCustom);
    f.SetFlowControl(fcCustom);
    EXPECT_TRUE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_EQ(f.FlowControl(), fcCustom);

    f.SetFlowControl(fcNone);
    EXPECT_EQ(f.FlowControl(), fcNone);
    EXPECT_TRUE(f.OutDSRFlow());
}

TEST_F(ScriptedPortTest, SyncMethodAndPriorityCannotChangeWhileConnected)
{
    port.SetEventPriority(6);
    port.SetSyncMethod(smNone);
    port.SetSyncMethod(smThreadSync);
    port.Open();
    const EComPort e = Raised([&] { port.SetSyncMethod(smWindowSync); });
    EXPECT_EQ(e.Code(), 14);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(Raised([&] { port.SetEventPriority(2); }).Code(), 14);
    EXPECT_EQ(port.EventPriority(), 6);
    EXPECT_EQ(Raised([&] { port.SetEventPriority(6); }).Code(), 0) << "an equal value is no change";
    port.SetEvents(ComEvent(evRxChar));  // stored only, no error
    EXPECT_EQ(port.Events(), ComEvent(evRxChar));
    port.SetNotifyRxChar(false);
    EXPECT_FALSE(port.NotifyRxChar());
    port.Close();
    port.SetSyncMethod(smWindowSync);
    EXPECT_EQ(port.SyncMethod(), smWindowSync);
}

TEST_F(ScriptedPortTest, ChangingThePortReopensAnOpenPortAtOnce)
{
    port.SetPort("/dev/first");
    EXPECT_EQ(script->Get(&DeviceScript::opens), 0);
    int afterOpen = 0;
    port.OnAfterOpen = [&](TCustomComPort*) { ++afterOpen; };
    port.Open();
    port.BeginUpdate();  // the reopen ignores the update count
    port.SetPort("/dev/second");
    EXPECT_EQ(script->Get(&DeviceScript::opens), 2);
    EXPECT_EQ(script->Get(&DeviceScript::destroyed), 1);
    EXPECT_EQ(afterOpen, 2);
    EXPECT_TRUE(port.Connected());
    port.SetPort("/dev/second");
    EXPECT_EQ(script->Get(&DeviceScript::opens), 2);
    port.EndUpdate();
}

TEST_F(ScriptedPortTest, LoadingOnlyStoresUntilItEnds)
{
    test::ErrorRecorder errors;
    port.BeginLoading();
    port.SetConnected(true);
    port.SetPort("/dev/other");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(script->Get(&DeviceScript::opens), 0);
    port.EndLoading();
    EXPECT_TRUE(port.Connected());
    port.Close();

    script->openErrno = ENOENT;
    port.BeginLoading();
    port.SetConnected(true);
    port.EndLoading();  // the failed Open goes to the error display
    EXPECT_FALSE(port.Connected());
    ASSERT_EQ(errors.messages.size(), 1u);
    EXPECT_EQ(errors.messages[0], "Unable to open com port (win error code: 2)");
}

TEST_F(ScriptedPortTest, ByteOperationsOnAClosedPortRaiseTheirCodes)
{
    EXPECT_EQ(port.WriteBytes(""), 0);
    EXPECT_EQ(Raised([&] { port.WriteBytes("x"); }).Code(), 2);
    EXPECT_EQ(Raised([&] { port.WriteBytes("x"); }).WinCode(), EBADF);
    std::string s;
    EXPECT_EQ(Raised([&] { port.ReadBytes(s, 1); }).Code(), 3);
    EXPECT_EQ(Raised([&] { port.InputQueueCount(); }).Code(), 10);
    EXPECT_EQ(Raised([&] { port.ReadLineErrors(); }).Code(), 10);
    EXPECT_EQ(Raised([&] { port.ReadModemSignals(); }).Code(), 11);
    EXPECT_EQ(Raised([&] { port.PurgeBuffers(true, true); }).Code(), 5);
}

TEST_F(ScriptedPortTest, CloseRaisesWhenPendingOperationsCannotBeAborted)
{
    port.Open();
    script->abortErrno = EIO;
    EXPECT_EQ(Raised([&] { port.Close(); }).Code(), 5);
    script->abortErrno = 0;
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(ScriptedPortTest, LineErrorsMapParityOnlyWhileChecked)
{
    port.Open();
    script->Raise(0, ComError(ceFrame) | ComError(ceRxParity) | ComError(ceOverrun));
    EXPECT_EQ(port.ReadLineErrors(), ComError(ceFrame) | ComError(ceOverrun));
    EXPECT_EQ(port.ReadLineErrors(), 0) << "reading clears the flags";
    port.Parity().SetCheck(true);
    script->Raise(0, ComError(ceRxParity) | ComError(ceBreak));
    EXPECT_EQ(port.ReadLineErrors(), ComError(ceRxParity) | ComError(ceBreak));
    script->Raise(0, ComError(ceFrame));
    EXPECT_EQ(port.InputQueueCount(), 0);
    EXPECT_EQ(port.ReadLineErrors(), 0) << "the input count clears the flags too";
}

// ---- against pseudo-terminals ------------------------------------------------------

class PtyPortTest : public ::testing::Test {
protected:
    PtyPortTest()
    {
        port.SetPort(peer.SlavePath());
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(977);
    }
    PtyPeer peer;
    TComPort port;
};

TEST_F(PtyPortTest, RateChangesOnTheOpenPortWithoutReopening)
{
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
    port.SetCustomBaudRate(12345);
    EXPECT_EQ(peer.SlaveRate(), 12345);
    EXPECT_EQ(port.Device(), device);
    EXPECT_EQ(opens, 1);
}

TEST_F(PtyPortTest, AnImpossibleRateIsRefusedAndTheLineKeepsItsRate)
{
    port.Open();
    for (const int32_t rate : {0, -9600}) {
        SCOPED_TRACE(rate);
        const EComPort e = Raised([&] { port.SetCustomBaudRate(rate); });
        EXPECT_EQ(e.Code(), 7);
        EXPECT_EQ(e.WinCode(), EINVAL);
        EXPECT_EQ(peer.SlaveRate(), 977);
        EXPECT_TRUE(port.Connected());
    }
}

TEST_F(PtyPortTest, WriteAndReadCountBytes)
{
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
    EXPECT_EQ(peer.Read(1, 50), "") << "no echo of received bytes";

    peer.Write("xyz");
    ASSERT_TRUE(test::PumpUntil([&] { return port.InputQueueCount() == 3; }));
    port.PurgeBuffers(true, false);
    EXPECT_EQ(port.InputQueueCount(), 0);
}

TEST_F(PtyPortTest, DiscardNullDropsZeroBytes)
{
    port.SetEvents(0);
    port.SetDiscardNull(true);
    port.Open();
    peer.Write(std::string("a\0b\0", 4));
    ASSERT_TRUE(test::PumpUntil([&] { return port.InputQueueCount() == 4; }));
    std::string got;
    EXPECT_EQ(port.ReadBytes(got, 4), 2);
    EXPECT_EQ(got, "ab");
}

TEST_F(PtyPortTest, AWriteEndsWhenItsTimeOutRunsOut)
{
    port.SetEvents(0);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(200);
    port.Open();
    // Nobody reads the master: the pseudo-terminal's buffers fill up.
    const std::string big(1 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    const int32_t sent = port.WriteBytes(big);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int32_t>(big.size()));
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 5000);
}

TEST_F(PtyPortTest, ModemLinesOfAPseudoTerminalReadOffWithoutError)
{
    std::vector<bool> states;
    port.OnCTSChange = [&](TCustomComPort*, bool on) { states.push_back(on); };
    port.OnDSRChange = [&](TCustomComPort*, bool on) { states.push_back(on); };
    port.OnRLSDChange = [&](TCustomComPort*, bool on) { states.push_back(on); };
    port.Open();
    const TModemSignals s = port.ReadModemSignals();
    EXPECT_FALSE(s.CTS || s.DSR || s.Ring || s.RLSD);
    EXPECT_EQ(states, std::vector<bool>(3, false));
    EXPECT_EQ(port.ReadLineErrors(), 0);
    port.Close();  // while `states` lives
}

TEST(PtyOpenTest, MissingDeviceIsCodeOneWithErrno)
{
    test::TempFolder folder;
    TComPort port;
    port.SetPort(folder.File("no-such-device"));
    bool beforeOpen = false;
    port.OnBeforeOpen = [&](TCustomComPort*) { beforeOpen = true; };
    const EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), 1);
    EXPECT_EQ(e.WinCode(), ENOENT);
    EXPECT_STREQ(e.what(), ("Unable to open com port (win error code: " + std::to_string(ENOENT) + ")").c_str());
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(beforeOpen);

    port.SetPort("LPT1");  // not a port name of this system
    EXPECT_EQ(Raised([&] { port.Open(); }).WinCode(), ENOENT);
    port.SetPort(folder.Path());  // not a terminal
    EXPECT_EQ(Raised([&] { port.Open(); }).Code(), 1);
    EXPECT_FALSE(port.Connected());
}

TEST(PtyOpenTest, ABusyDeviceIsCodeOne)
{
    PtyPeer peer;
    TComPort first;
    first.SetPort(peer.SlavePath());
    first.Open();
    TComPort second;
    second.SetPort(peer.SlavePath());
    const EComPort e = Raised([&] { second.Open(); });
    EXPECT_EQ(e.Code(), 1);
    EXPECT_EQ(e.WinCode(), EWOULDBLOCK);
    EXPECT_FALSE(second.Connected());
    first.Close();
    second.Open();  // free again
    EXPECT_TRUE(second.Connected());
}

TEST(PtyOpenTest, CloseRestoresTheLineSettings)
{
    PtyPeer peer;
    const int32_t original = peer.SlaveRate();
    ASSERT_GT(original, 0);
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    port.Open();
    ASSERT_EQ(peer.SlaveRate(), 977);
    port.Close();
    EXPECT_EQ(peer.SlaveRate(), original);
}

TEST(PtyOpenTest, AVanishedDeviceGivesClearErrorsAndClosesQuietly)
{
    test::ErrorRecorder errors;
    auto peer = std::make_unique<PtyPeer>();
    TComPort port;
    port.SetPort(peer->SlavePath());
    port.Open();
    ASSERT_NE(port.EventThread(), nullptr);
    peer->CloseMaster();
    ASSERT_TRUE(test::PumpUntil([&] { return port.EventThread()->Finished(); }))
        << "the event thread did not end at the hang-up";
    EXPECT_EQ(Raised([&] { port.WriteBytes("a"); }).WinCode(), EIO);
    std::string s;
    const EComPort read = Raised([&] { port.ReadBytes(s, 1); });
    EXPECT_EQ(read.Code(), 3);
    EXPECT_EQ(read.WinCode(), EIO);
    EXPECT_EQ(Raised([&] { port.InputQueueCount(); }).Code(), 10);
    EXPECT_EQ(Raised([&] { port.ReadModemSignals(); }).Code(), 11);
    EXPECT_TRUE(port.Connected());
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(errors.messages.empty());
}

TEST(PtyOpenTest, NoDescriptorOrThreadOutlivesTheOpenPort)
{
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    int rx = 0;
    port.OnRxChar = [&](TCustomComPort* p, int32_t count) {
        std::string s;
        rx += p->ReadBytes(s, count);
    };
    const size_t fds = test::OpenDescriptors();
    const size_t threads = test::ProcessThreads();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        port.Open();
        EXPECT_EQ(test::ProcessThreads(), threads + 1);
        port.WriteBytes("ping");
        EXPECT_EQ(peer.Read(4, 2000), "ping");
        peer.Write("pong");
        rx = 0;
        EXPECT_TRUE(test::PumpUntil([&] { return rx == 4; }));
        port.Close();
        EXPECT_EQ(test::OpenDescriptors(), fds);
        // A joined thread may linger in /proc for a moment while the kernel reaps it.
        EXPECT_TRUE(test::PumpUntil([&] { return test::ProcessThreads() == threads; }, 2000));
    }
    {
        TComPort destroyedOpen;
        destroyedOpen.SetPort(peer.SlavePath());
        destroyedOpen.Open();
    }
    EXPECT_EQ(test::OpenDescriptors(), fds);
    EXPECT_TRUE(test::PumpUntil([&] { return test::ProcessThreads() == threads; }, 2000));
}

}  // namespace
}  // namespace tessek
