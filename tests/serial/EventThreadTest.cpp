// The event thread: the order of what it reports, the hand-over to the window thread, and
// how delivery ends.
#include "serial/ComPort.h"
#include "serial/EventThread.h"
#include "tests/serial/ComPortTestSupport.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

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
    // Waits, without pumping (nothing is delivered meanwhile), until the thread has taken
    // everything the device has and handed it over.
    bool HandedOver()
    {
        const auto taken = [this] {
            return script->Get(&DeviceScript::input).empty() && script->Get(&DeviceScript::lineEvents) == 0 &&
                   port.EventThread()->HandOverPending();
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!taken() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return taken();
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

TEST_F(ScriptedThreadTest, InputBeyondTheBufferWaitsInTheDeviceAndComesInOrder)
{
    script->inputCapacity = 4;
    OpenQuietly();
    script->Receive("abcdefg");
    ASSERT_TRUE(test::PumpUntil([&] { return received.size() >= 7; }));
    EXPECT_EQ(received, "abcdefg");
    EXPECT_EQ(Count("Rx:1"), 7u);
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

TEST_F(ScriptedThreadTest, BatchesKeepTheirOrderAcrossDrains)
{
    OpenQuietly();
    port.OnRxChar = [this](TCustomComPort* p, int32_t count) {
        std::string bytes;
        p->ReadBytes(bytes, count);
        Add("Rx:" + bytes);
        if (bytes == "a") {
            // Queued behind "b" while the drain that runs "a" is still going.
            p->WriteBytes("w");
            script->ReceiveWith("c", ComEvent(evRing));
        }
    };
    script->Receive("ab");
    ASSERT_TRUE(test::PumpUntil([&] { return log.size() >= 5; }));
    script->Receive("d");
    ASSERT_TRUE(test::PumpUntil([&] { return log.size() >= 6; }));
    test::PumpFor(50);
    EXPECT_EQ(log, (std::vector<std::string>{"Rx:a", "Rx:b", "TxEmpty", "Rx:c", "Ring", "Rx:d"}));
}

TEST_F(ScriptedThreadTest, TheWakeHintHoldsReceiveEventsBackButNoOtherEvent)
{
    OpenQuietly();
    port.SetRxWakeCount(2);
    script->Receive("a");
    ASSERT_TRUE(HandedOver());
    test::PumpFor(50);
    EXPECT_EQ(received, "") << "one receive event of the two needed";
    script->Receive("b");
    ASSERT_TRUE(test::PumpUntil([&] { return received == "ab"; }));

    port.SetRxWakeCount(0);
    script->Receive("c");
    ASSERT_TRUE(HandedOver());
    test::PumpFor(50);
    EXPECT_EQ(received, "ab") << "receive events alone";
    script->ReceiveWith("", ComEvent(evRing));
    ASSERT_TRUE(test::PumpUntil([&] { return Count("Ring") == 1; }));
    EXPECT_EQ(received, "abc") << "another event brings what was held back, in order";

    script->Receive("d");
    ASSERT_TRUE(HandedOver());
    port.SetRxWakeCount(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, "abcd") << "held back until the count came down, delivered by the next pump";
    EXPECT_EQ(log, (std::vector<std::string>{"Rx:1", "Rx:1", "Rx:1", "Ring", "Rx:1"}));
}

TEST_F(ScriptedThreadTest, CloseRunsWhatIsQueuedInOrder)
{
    OpenQuietly();
    script->Receive("ab");
    ASSERT_TRUE(HandedOver());
    script->ReceiveWith("c", ComEvent(evBreak));
    ASSERT_TRUE(HandedOver());
    port.Close();  // without pumping: Close itself runs the queue
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(received, "abc");
    test::PumpFor(50);  // the posted drain finds nothing left to run
    EXPECT_EQ(log, (std::vector<std::string>{"CTS:0", "DSR:0", "RLSD:0", "Rx:1", "Rx:1", "Rx:1", "Break"}));
}

// The break handler closes the port. When Close itself runs the batch, that second Close
// goes through the stopping path: the rest of the batch is abandoned, the port is closed
// once, and the device outlives the event thread (the sanitizer build sees a device used
// after it was freed otherwise).
TEST_F(ScriptedThreadTest, AHandlerClosingThePortWhileCloseRunsItsBatchAbandonsTheRest)
{
    port.OnBreak = [this](TCustomComPort* p) {
        Add("Break");
        p->Close();
    };
    port.OnAfterClose = [this](TCustomComPort*) { Add("AfterClose"); };
    OpenQuietly();
    script->ReceiveWith("", ComEvent(evBreak) | ComEvent(evRing));
    ASSERT_TRUE(HandedOver());
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_EQ(Count("Break"), 1u);
    EXPECT_EQ(Count("Ring"), 0u) << "the batch goes on after its handler closed the port";
    EXPECT_EQ(Count("AfterClose"), 1u);
    EXPECT_EQ(script->Get(&DeviceScript::destroyed), 1);
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
    EXPECT_TRUE(test::PumpUntil([&] { return calls >= 2; }));
    port.Close();
}

}  // namespace
}  // namespace tessek
