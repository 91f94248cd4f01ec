// The event thread: the order of what it reports, the hand-over to the window thread, and
// how delivery ends.
#include "serial/ComPort.h"
#include "serial/EventThread.h"
#include "tests/serial/ComPortTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tessek {
namespace {

using test::DeviceScript;

class ScriptedThreadTest : public ::testing::Test {
protected:
    // Every handler call is logged as text; the receive handler reads what it is told about.
    ScriptedThreadTest()
    {
        port.SetDeviceFactory(test::ScriptedFactory(script));
        port.SetRxEventByteLimit(1);  // as the program runs it
        port.OnError = [this](TCustomComPort*, TComErrors e) { Add("Error:" + std::to_string(e)); };
        port.OnRxChar = [this](TCustomComPort* p, int32_t count) {
            std::string bytes;
            p->ReadBytes(bytes, count);
            Add("Rx:" + std::to_string(count));
            received += bytes;
        };
        port.OnTxEmpty = [this](TCustomComPort*) { Add("TxEmpty"); };
        port.OnBreak = [this](TCustomComPort*) { Add("Break"); };
        port.OnRing = [this](TCustomComPort*) { Add("Ring"); };
        port.OnRxFlag = [this](TCustomComPort*) { Add("RxFlag"); };
        port.OnRx80Full = [this](TCustomComPort*) { Add("Rx80Full"); };
        port.OnCTSChange = [this](TCustomComPort*, bool on) { Add(std::string("CTS:") + (on ? "1" : "0")); };
        port.OnDSRChange = [this](TCustomComPort*, bool on) { Add(std::string("DSR:") + (on ? "1" : "0")); };
        port.OnRLSDChange = [this](TCustomComPort*, bool on) { Add(std::string("RLSD:") + (on ? "1" : "0")); };
    }
    ~ScriptedThreadTest() override { port.Close(); }  // before the handlers' locals go
    void Add(const std::string& entry) { log.push_back(entry); }
    size_t Count(const std::string& entry) const { return std::count(log.begin(), log.end(), entry); }
    void OpenQuietly()
    {
        port.Open();
        log.clear();  // the signal reports of Open
    }
    std::shared_ptr<DeviceScript> script = std::make_shared<DeviceScript>();
    test::ErrorRecorder errors;
    TComPort port;
    std::vector<std::string> log;
    std::string received;
};

TEST_F(ScriptedThreadTest, OneBatchIsDeliveredInTheFixedOrder)
{
    script->inputCapacity = 5;  // 4 bytes fill it to 80 %
    script->modem.CTS = script->modem.RLSD = true;
    OpenQuietly();
    const TComEvents line = ComEvent(evError) | ComEvent(evBreak) | ComEvent(evRing) | ComEvent(evCTS) |
                            ComEvent(evDSR) | ComEvent(evRLSD) | ComEvent(evRxFlag);
    script->ReceiveWith("abcd", line, ComError(ceFrame));
    ASSERT_TRUE(test::PumpUntil([&] { return log.size() >= 12; }));
    test::PumpFor(50);
    // Every byte is a receive event of its own: the rest follow the batch one by one.
    EXPECT_EQ(log, (std::vector<std::string>{"Error:1", "Rx:1", "Break", "Ring", "CTS:1", "DSR:0", "RxFlag", "RLSD:1",
                                             "Rx80Full", "Rx:1", "Rx:1", "Rx:1"}));
    EXPECT_EQ(received, "abcd");
}

TEST_F(ScriptedThreadTest, TransmitEmptyComesOncePerWriteAndNeverAfterALaterByte)
{
    OpenQuietly();
    script->Change([](DeviceScript& s) { s.outputQueued = 2; });
    port.WriteBytes("ab");
    script->Receive("x");  // arrives while the output is still being sent
    ASSERT_TRUE(test::PumpUntil([&] { return Count("Rx:1") == 1; }));
    test::PumpFor(50);
    EXPECT_EQ(Count("TxEmpty"), 0u) << "reported while bytes were still queued";
    script->Change([](DeviceScript& s) { s.outputQueued = 0; });
    ASSERT_TRUE(test::PumpUntil([&] { return Count("TxEmpty") == 1; }));
    test::PumpFor(50);
    EXPECT_EQ(log, (std::vector<std::string>{"Rx:1", "TxEmpty"}));

    script->Change([](DeviceScript& s) { s.outputQueued = 1; });
    port.WriteBytes("a");
    test::PumpFor(30);
    // The queue runs empty and the answer arrives before the thread looks again; within
    // one batch the receive handler would come first.
    script->Change([](DeviceScript& s) { s.outputQueued = 0, s.input += "ab"; });
    ASSERT_TRUE(test::PumpUntil([&] { return Count("Rx:1") == 3 && Count("TxEmpty") == 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"Rx:1", "TxEmpty", "TxEmpty", "Rx:1", "Rx:1"}));
}

TEST_F(ScriptedThreadTest, CloseRunsABatchAlreadyHandedOver)
{
    OpenQuietly();
    script->Receive("abc");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!port.EventThread()->HandOverPending() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // without pumping
    ASSERT_TRUE(port.EventThread()->HandOverPending());
    port.Close();  // Close itself must run the batch, or the thread never ends
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(received, "a");  // the rest stays in the queues that closing discards
    test::PumpFor(50);         // the hand-over's own queued call finds nothing left to run
    EXPECT_EQ(Count("Rx:1"), 1u);
}

TEST_F(ScriptedThreadTest, AHandlerErrorEndsDeliveryUntilTheNextOpen)
{
    int calls = 0;
    port.OnRxChar = [&](TCustomComPort*, int32_t) {
        ++calls;
        throw EComPort(kErrRead, 5);
    };
    OpenQuietly();
    script->Receive("a");
    ASSERT_TRUE(test::PumpUntil([&] { return port.EventThread()->Finished(); }));
    EXPECT_EQ(errors.messages, std::vector<std::string>{"ReadFile function failed (win error code: 5)"});
    script->ReceiveWith("b", ComEvent(evRing));
    test::PumpFor(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Count("Ring"), 0u);
    EXPECT_TRUE(port.Connected());

    port.Close();
    port.OnRxChar = [&](TCustomComPort*, int32_t) { ++calls; };
    port.Open();
    script->Receive("c");
    EXPECT_TRUE(test::PumpUntil([&] { return calls == 2; }));
    port.Close();
}

}  // namespace
}  // namespace tessek
