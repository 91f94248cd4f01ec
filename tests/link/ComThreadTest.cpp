// The event thread: what it reports, in which order and batches, the hand-over to the
// window thread, and how it ends.
#include "link/ComPort.h"
#include "link/ComThread.h"
#include "tests/common/PtyPeer.h"
#include "tests/link/ComPortTestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>

namespace tessek {
namespace {

using test::DeviceScript;
using test::PtyPeer;

// Waits (in real time, without pumping) until the event thread has a batch waiting for
// the window thread.
bool WaitForHandOver(const TCustomComPort& port, int ms = 3000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!port.EventThread() || !port.EventThread()->HandOverPending()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

double ProcessCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Records every handler call as text; the receive handler reads what it is told about.
class EventLog {
public:
    explicit EventLog(TCustomComPort& port, bool readOnRx = true)
    {
        port.OnError = [this](TCustomComPort*, TComErrors e) { Add("Error:" + std::to_string(e)); };
        port.OnRxChar = [this, readOnRx](TCustomComPort* p, int32_t count) {
            std::string bytes;
            if (readOnRx)
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
    void Add(const std::string& entry) { entries.push_back(entry); }
    size_t Count(const std::string& entry) const { return std::count(entries.begin(), entries.end(), entry); }

    std::vector<std::string> entries;
    std::string received;
};

class ScriptedThreadTest : public ::testing::Test {
protected:
    ScriptedThreadTest() { port.SetDeviceFactory(test::ScriptedFactory(script)); }
    ~ScriptedThreadTest() override
    {
        RunGuarded([this] { port.Close(); });
    }
    void OpenQuietly()
    {
        port.Open();
        log.entries.clear();  // the signal reports of Open
    }
    std::shared_ptr<DeviceScript> script = std::make_shared<DeviceScript>();
    TComPort port;
    EventLog log{port};
    test::ErrorRecorder errors;
};

TEST_F(ScriptedThreadTest, OneBatchIsDeliveredInTheFixedOrder)
{
    script->inputCapacity = 5;  // 4 bytes fill it to 80 %
    script->modem.CTS = true;
    script->modem.RLSD = true;
    OpenQuietly();
    const TComEvents line = ComEvent(evError) | ComEvent(evBreak) | ComEvent(evRing) | ComEvent(evCTS) |
                            ComEvent(evDSR) | ComEvent(evRLSD) | ComEvent(evRxFlag);
    script->ReceiveWith("abcd", line, ComError(ceFrame));
    ASSERT_TRUE(test::PumpUntil([&] { return log.entries.size() >= 9; }));
    test::PumpFor(50);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"Error:1", "Rx:4", "Break", "Ring", "CTS:1", "DSR:0", "RxFlag",
                                                     "RLSD:1", "Rx80Full"}));
    EXPECT_EQ(log.received, "abcd");
}

TEST_F(ScriptedThreadTest, OnlyTheEventsOfTheSetAreReported)
{
    port.SetEvents(kAllComEvents & ~ComEvent(evRxFlag) & ~ComEvent(evBreak));
    OpenQuietly();
    script->ReceiveWith("z", ComEvent(evRxFlag) | ComEvent(evBreak) | ComEvent(evRing));
    ASSERT_TRUE(test::PumpUntil([&] { return log.Count("Ring") == 1; }));
    test::PumpFor(50);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"Rx:1", "Ring"}));
}

TEST_F(ScriptedThreadTest, ParityErrorsReachOnErrorOnlyWhileChecked)
{
    OpenQuietly();
    script->Raise(ComEvent(evError), ComError(ceRxParity));
    test::PumpFor(100);
    EXPECT_TRUE(log.entries.empty()) << "an error set without parity checking is empty: no call";
    script->Raise(ComEvent(evError), ComError(ceRxParity) | ComError(ceOverrun));
    ASSERT_TRUE(test::PumpUntil([&] { return !log.entries.empty(); }));
    EXPECT_EQ(log.entries[0], "Error:" + std::to_string(ComError(ceOverrun)));

    port.Parity().SetCheck(true);
    log.entries.clear();
    script->Raise(ComEvent(evError), ComError(ceRxParity));
    ASSERT_TRUE(test::PumpUntil([&] { return !log.entries.empty(); }));
    EXPECT_EQ(log.entries[0], "Error:" + std::to_string(ComError(ceRxParity)));
}

TEST_F(ScriptedThreadTest, AReceiveEventWithNothingLeftCallsNoHandler)
{
    OpenQuietly();
    script->Receive("ab");
    ASSERT_TRUE(WaitForHandOver(port));
    {
        std::lock_guard lock(script->m);
        script->input.clear();
        script->UpdateSignal();
    }
    test::PumpFor(100);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(ScriptedThreadTest, UnreadInputIsReportedAgainOnlyWhenMoreArrives)
{
    port.OnRxChar = [this](TCustomComPort*, int32_t count) { log.Add("Rx:" + std::to_string(count)); };
    OpenQuietly();
    script->Receive("ab");
    ASSERT_TRUE(test::PumpUntil([&] { return log.entries.size() == 1; }));
    const double cpu = ProcessCpuMs();
    test::PumpFor(200);
    EXPECT_EQ(log.entries, std::vector<std::string>{"Rx:2"});
    EXPECT_LT(ProcessCpuMs() - cpu, 100.0) << "unread input made the thread spin";
    script->Receive("c");
    ASSERT_TRUE(test::PumpUntil([&] { return log.entries.size() == 2; }));
    EXPECT_EQ(log.entries[1], "Rx:3");
}

TEST_F(ScriptedThreadTest, WithoutNotifyRxCharThePortReadsTheBytesForOnRxBuf)
{
    port.SetNotifyRxChar(false);
    std::string got;
    port.OnRxBuf = [&](TCustomComPort*, const uint8_t* buffer, int32_t count) {
        got.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count));
    };
    OpenQuietly();
    script->Receive("hello");
    ASSERT_TRUE(test::PumpUntil([&] { return got.size() == 5; }));
    EXPECT_EQ(got, "hello");
    EXPECT_EQ(log.Count("Rx:5"), 0u);
    EXPECT_EQ(port.InputQueueCount(), 0);
    port.Close();  // before the handlers' locals go
}

TEST_F(ScriptedThreadTest, TransmitEmptyFollowsAWriteOnceTheQueueHasRunEmpty)
{
    OpenQuietly();
    {
        std::lock_guard lock(script->m);
        script->outputQueued = 3;
    }
    port.WriteBytes("abc");
    test::PumpFor(60);
    EXPECT_EQ(log.Count("TxEmpty"), 0u) << "reported while bytes were still queued";
    {
        std::lock_guard lock(script->m);
        script->outputQueued = 0;
    }
    ASSERT_TRUE(test::PumpUntil([&] { return log.Count("TxEmpty") == 1; }));
    test::PumpFor(60);
    EXPECT_EQ(log.Count("TxEmpty"), 1u) << "one write, one transmit-empty";
}

TEST_F(ScriptedThreadTest, InputBeforeTheQueueRanEmptyComesFirst)
{
    OpenQuietly();
    {
        std::lock_guard lock(script->m);
        script->outputQueued = 2;
    }
    port.WriteBytes("ab");
    script->Receive("x");  // arrives while the output is still being sent
    ASSERT_TRUE(test::PumpUntil([&] { return log.Count("Rx:1") == 1; }));
    {
        std::lock_guard lock(script->m);
        script->outputQueued = 0;
    }
    ASSERT_TRUE(test::PumpUntil([&] { return log.Count("TxEmpty") == 1; }));
    EXPECT_EQ(log.entries, (std::vector<std::string>{"Rx:1", "TxEmpty"}));
}

TEST_F(ScriptedThreadTest, TransmitEmptySeenWithNewInputIsDeliveredAheadOfIt)
{
    OpenQuietly();
    {
        std::lock_guard lock(script->m);
        script->outputQueued = 1;
    }
    port.WriteBytes("a");
    test::PumpFor(30);
    {
        // The queue runs empty and the answer arrives before the thread looks again;
        // within one batch the receive handler would come first.
        std::lock_guard lock(script->m);
        script->outputQueued = 0;
        script->input += "ab";
        script->UpdateSignal();
    }
    ASSERT_TRUE(test::PumpUntil([&] { return log.Count("Rx:2") == 1 && log.Count("TxEmpty") == 1; }));
    EXPECT_EQ(log.entries, (std::vector<std::string>{"TxEmpty", "Rx:2"}));
}

TEST_F(ScriptedThreadTest, AHandOverWakesAnEventLoopAsleepWaitingForEvents)
{
    OpenQuietly();
    std::thread peer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        script->Receive("a");
    });
    bool fallback = false;
    QTimer guard;  // ends the wait if nothing wakes it; stopped with the test
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { fallback = true; });
    guard.start(2000);
    const auto start = std::chrono::steady_clock::now();
    while (log.received.empty() && !fallback)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const auto waited = std::chrono::steady_clock::now() - start;
    peer.join();
    EXPECT_EQ(log.received, "a");
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST_F(ScriptedThreadTest, CloseRunsABatchAlreadyHandedOver)
{
    OpenQuietly();
    script->Receive("abc");
    ASSERT_TRUE(WaitForHandOver(port));
    port.Close();  // no pumping: Close itself must run the batch, or the thread never ends
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_EQ(log.Count("Rx:3"), 1u);
    EXPECT_EQ(log.received, "abc");
    test::PumpFor(50);  // the hand-over's own queued call finds nothing left to run
    EXPECT_EQ(log.Count("Rx:3"), 1u);
}

TEST_F(ScriptedThreadTest, AHandlerMayCloseThePort)
{
    port.OnBreak = [&](TCustomComPort* p) {
        log.Add("Break");
        p->Close();
    };
    OpenQuietly();
    script->Raise(ComEvent(evBreak) | ComEvent(evCTS) | ComEvent(evRing));
    ASSERT_TRUE(test::PumpUntil([&] { return !port.Connected(); }));
    test::PumpFor(50);
    // Close reports the lines off from inside the handler; the batch's later steps are
    // skipped (the device is gone).
    EXPECT_EQ(log.entries, (std::vector<std::string>{"Break", "CTS:0", "DSR:0", "RLSD:0"}));
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_TRUE(errors.messages.empty());
    port.Open();
    log.entries.clear();
    script->Raise(ComEvent(evRing));
    EXPECT_TRUE(test::PumpUntil([&] { return log.Count("Ring") == 1; }));
}

TEST_F(ScriptedThreadTest, AHandlerErrorEndsDeliveryUntilTheNextOpen)
{
    int calls = 0;
    port.OnRxChar = [&](TCustomComPort*, int32_t) {
        ++calls;
        throw EComPort(3, 5);
    };
    OpenQuietly();
    script->Receive("a");
    ASSERT_TRUE(test::PumpUntil([&] { return !errors.messages.empty(); }));
    EXPECT_EQ(errors.messages, std::vector<std::string>{"ReadFile function failed (win error code: 5)"});
    ASSERT_TRUE(test::PumpUntil([&] { return port.EventThread()->Finished(); }));
    script->Raise(ComEvent(evRing));
    script->Receive("b");
    test::PumpFor(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(log.Count("Ring"), 0u);
    EXPECT_TRUE(port.Connected());

    port.Close();
    port.OnRxChar = [&](TCustomComPort*, int32_t) { ++calls; };
    port.Open();
    script->Receive("c");
    EXPECT_TRUE(test::PumpUntil([&] { return calls == 2; }));
    port.Close();  // before the handlers' locals go
}

TEST_F(ScriptedThreadTest, AHangUpEndsTheThreadQuietly)
{
    OpenQuietly();
    script->HangUp();
    ASSERT_TRUE(test::PumpUntil([&] { return port.EventThread()->Finished(); }));
    EXPECT_TRUE(errors.messages.empty());
    EXPECT_TRUE(log.entries.empty());
    port.Close();
}

TEST_F(ScriptedThreadTest, DeliveryOnTheEventThreadWithSyncMethodNone)
{
    port.SetSyncMethod(smNone);
    std::atomic<bool> onWindowThread{true};
    const auto windowThread = std::this_thread::get_id();
    std::atomic<int> rx{0};
    port.OnRxChar = [&](TCustomComPort* p, int32_t count) {
        onWindowThread = std::this_thread::get_id() == windowThread;
        std::string s;
        p->ReadBytes(s, count);
        rx += count;
    };
    OpenQuietly();
    script->Receive("xy");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (rx < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(rx, 2);
    EXPECT_FALSE(onWindowThread);
    port.Close();  // before the handlers' locals go
}

std::set<int> ThreadIds()
{
    std::set<int> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(std::stoi(entry.path().filename().string()));
    return ids;
}

TEST_F(ScriptedThreadTest, EventPriorityIsTheThreadsSchedulingPriority)
{
    struct Case {
        int level;
        int policy;
        int nice;
    };
    std::vector<Case> cases = {{0, SCHED_IDLE, 0}, {1, SCHED_OTHER, 10}, {3, SCHED_OTHER, 0}};
    if (::geteuid() == 0)  // only a privileged process may have real-time priority
        cases.push_back({6, SCHED_FIFO, 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        port.SetEventPriority(c.level);
        const std::set<int> before = ThreadIds();
        port.Open();
        std::set<int> added;
        for (const int id : ThreadIds()) {
            if (!before.count(id))
                added.insert(id);
        }
        ASSERT_EQ(added.size(), 1u);
        const int tid = *added.begin();
        EXPECT_TRUE(test::PumpUntil([&] {
            return ::sched_getscheduler(tid) == c.policy &&
                   ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid)) == c.nice;
        })) << "policy "
            << ::sched_getscheduler(tid) << ", nice " << ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        port.Close();
    }
}

// ---- against pseudo-terminals ------------------------------------------------------

TEST(PtyThreadTest, EachEchoIsPrecededByTheTransmitEmptyOfItsRequest)
{
    PtyPeer peer;
    // A peer that answers every byte at once with its echo and one more byte, as the LM
    // does, racing the event thread.
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        while (!stop) {
            const std::string request = peer.Read(1, 20);
            if (!request.empty())
                peer.Write(request + "!");
        }
    });
    {
        TComPort port;
        port.SetPort(peer.SlavePath());
        port.SetEvents(kAllComEvents & ~ComEvent(evRxFlag));
        port.SetEventPriority(6);
        EventLog log(port);
        port.Open();
        for (int round = 0; round < 25; ++round) {
            SCOPED_TRACE(round);
            log.entries.clear();
            log.received.clear();
            port.WriteBytes(std::string(1, static_cast<char>('A' + round)));
            ASSERT_TRUE(test::PumpUntil([&] { return log.received.size() == 2 && log.Count("TxEmpty") == 1; }));
            ASSERT_FALSE(log.entries.empty());
            EXPECT_EQ(log.entries.front(), "TxEmpty");
            EXPECT_EQ(log.received, std::string(1, static_cast<char>('A' + round)) + "!");
        }
        port.Close();
    }
    stop = true;
    echo.join();
}

TEST(PtyThreadTest, AnOpenIdlePortCostsNoProcessorTime)
{
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    EventLog log(port);
    port.Open();
    port.WriteBytes("x");
    ASSERT_TRUE(test::PumpUntil([&] { return log.Count("TxEmpty") == 1; }));
    peer.Write("y");
    ASSERT_TRUE(test::PumpUntil([&] { return log.received == "y"; }));
    const double cpu = ProcessCpuMs();
    const auto start = std::chrono::steady_clock::now();
    // Block outside Qt: only the event thread could use the processor now.
    ::poll(nullptr, 0, 300);
    const double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ProcessCpuMs() - cpu, wallMs * 0.05);
    port.Close();  // before the handlers' locals go
}

TEST(PtyThreadTest, AHungUpPseudoTerminalEndsTheThreadWithoutSpinning)
{
    test::ErrorRecorder errors;
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.Open();
    peer.CloseMaster();
    ASSERT_TRUE(test::PumpUntil([&] { return port.EventThread()->Finished(); }));
    const double cpu = ProcessCpuMs();
    ::poll(nullptr, 0, 200);
    EXPECT_LT(ProcessCpuMs() - cpu, 20.0);
    EXPECT_TRUE(errors.messages.empty());
    port.Close();
}

TEST(PtyThreadTest, ReceivedBytesReachTheHandlerOnTheWindowThread)
{
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    const auto windowThread = std::this_thread::get_id();
    std::string got;
    bool elsewhere = false;
    port.OnRxChar = [&](TCustomComPort* p, int32_t count) {
        elsewhere |= std::this_thread::get_id() != windowThread;
        std::string s;
        EXPECT_EQ(p->ReadBytes(s, count), count);
        got += s;
    };
    port.Open();
    const std::string sent = "0123456789abcdef";
    for (const char c : sent)
        peer.Write(std::string(1, c));
    ASSERT_TRUE(test::PumpUntil([&] { return got.size() == sent.size(); }));
    EXPECT_EQ(got, sent);
    EXPECT_FALSE(elsewhere);
    port.Close();  // before the handlers' locals go
}

}  // namespace
}  // namespace tessek
