// The waits, driven by a scripted clock and scripted port deliveries; the Qt pump; and the
// LM request over a port on a pseudo-terminal.
#include "lm/LmLink.h"

#include "platform/UniqueFd.h"
#include "serial/ComPort.h"
#include "tests/common/PtyPeer.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <atomic>
#include <map>
#include <thread>
#include <utility>
#include <vector>

namespace tessek {
namespace {

// A clock that moves only when a wait blocks, to the next scripted port event or the
// wait's deadline, whichever comes first; the blocking wait runs what is due then.
class ScriptedPump : public EventPump {
public:
    uint32_t now = 5000;
    int pumps = 0;
    int32_t rxWake = 1;                // as the link last set it through LinkIo
    std::vector<int32_t> blockedWith;  // rxWake at each blocking wait
    bool waitingForInput = false;      // as the link last set it through LinkIo
    std::vector<bool> blockedWaiting;  // waitingForInput at each blocking wait
    int pumpsHoldingBack = 0;          // pumps while receive events could be held back
    void After(uint32_t delay, std::function<void()> step) { steps_.emplace(now + delay, std::move(step)); }
    void ProcessPending() override
    {
        ++pumps;
        if (rxWake != 1)
            ++pumpsHoldingBack;
        RunDue();
    }
    void WaitForMore(uint32_t ms) override
    {
        blockedWith.push_back(rxWake);
        blockedWaiting.push_back(waitingForInput);
        const uint32_t next = steps_.empty() ? now + ms : steps_.begin()->first;
        now += std::min(ms, static_cast<uint32_t>(std::max(0, static_cast<int32_t>(next - now))));
        RunDue();
    }

private:
    void RunDue()
    {
        while (!steps_.empty() && static_cast<int32_t>(steps_.begin()->first - now) <= 0) {
            auto step = std::move(steps_.begin()->second);
            steps_.erase(steps_.begin());
            step();
        }
    }
    std::multimap<uint32_t, std::function<void()>> steps_;
};

class LinkTest : public ::testing::Test {
protected:
    void Rx(const std::string& bytes) { link.StoreRx(bytes); }  // one receive event
    void TxEmpty() { link.ComPortTxEmpty(nullptr); }

    bool ownTxEmpty = false;  // the port holds a transmit-empty it queued as the write returned
    bool busy = true;         // the busy mark
    std::shared_ptr<ScriptedPump> pump = std::make_shared<ScriptedPump>();
    // What the link wrote; `onWrite` plays the device's side of each write.
    std::string written;
    std::function<void(uint8_t)> onWrite;
    LmLink link{LinkIo{[this](const std::string& bytes) {
                           written += bytes;
                           if (onWrite)
                               onWrite(static_cast<uint8_t>(bytes.back()));
                       },
                       {},
                       [](int32_t) {},
                       [this](int32_t count) { pump->rxWake = count; },
                       [this](bool waiting) {
                           EXPECT_NE(waiting, pump->waitingForInput) << "set or cleared twice";
                           pump->waitingForInput = waiting;
                       },
                       [this] {
                           if (std::exchange(ownTxEmpty, false))
                               TxEmpty();
                       }},
                [this] { return busy; }, [this] { return pump->now; }, pump};
};

TEST_F(LinkTest, TheRingWrapsAndTheEchoWaitConsumesUpToItsByte)
{
    EXPECT_EQ(link.PopRxByte(), 0);  // empty: nothing taken
    Rx(std::string(kRxRingSize - 1, '\x07') + "\x09");
    EXPECT_EQ(link.WritePosition(), 0u);
    EXPECT_EQ(link.LastRxByte(), 0x09);  // cell 65,535
    link.ResetRing();
    Rx(std::string("\x33\x12\x44", 3));  // an older echo waits: taken at once, with what came before
    EXPECT_TRUE(link.WaitForEcho(0x12));
    EXPECT_EQ(pump->blockedWith.size(), 0u);
    EXPECT_EQ(link.PopRxByte(), 0x44);
    EXPECT_TRUE(link.RingEmpty());
}

// A request is answered only by a byte after its own echo, received after it was written
// and before its wait ended; an echo waiting from before never passes for the handshake's.
TEST_F(LinkTest, OnlyAnEchoAfterTheWriteAndTheByteAfterItAnswerARequest)
{
    const struct {
        const char* name;
        std::string before;  // in the ring before the write
        std::string after;   // the device's bytes after the write, one receive event each
        std::optional<uint8_t> answer;
    } cases[] = {
        {"echo and answer", "", "\x98\x33", 0x33},
        {"echo only", "", "\x98", std::nullopt},
        {"nothing", "", "", std::nullopt},
        {"an old echo and answer, then silence", "\x98\x33", "", std::nullopt},
        {"a late byte, then echo and answer", "", "\x07\x98\x33", 0x33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        link.ResetRing();
        Rx(c.before);
        uint32_t writtenAt = 0;
        onWrite = [&](uint8_t) {
            writtenAt = pump->now;
            pump->After(1, [this] { TxEmpty(); });
            for (size_t i = 0; i < c.after.size(); ++i)
                pump->After(static_cast<uint32_t>(2 + i), [this, byte = c.after.substr(i, 1)] { Rx(byte); });
        };
        const std::optional<LmAnswer> answer = link.ReadLmByte(0x98, static_cast<int>(c.after.size()) + 1);
        EXPECT_EQ(answer ? std::optional<uint8_t>(answer->Byte) : std::nullopt, c.answer);
        if (answer) {
            EXPECT_EQ(answer->Tick, writtenAt + 1 + c.after.size()) << "when the answer, the last byte, came";
        }
    }
    link.ResetRing();
    Rx("\x12");  // from before: not the echo
    onWrite = nullptr;
    EXPECT_FALSE(link.EstablishHighBaud());
    EXPECT_EQ(written.substr(written.size() - 2), "\x12\x12");
}

TEST_F(LinkTest, RepliesAreReceiveEventsCountedAfterTheTransmitEmptyEventUpToEleven)
{
    using Events = std::vector<std::pair<uint32_t, std::string>>;  // "" is the transmit-empty event
    Events burst{{10, ""}};
    for (uint32_t i = 0; i < 20; ++i)
        burst.push_back({20 + i, "\x01"});
    const struct {
        const char* name;
        Events events;
        int count;
        bool reached;
        uint32_t elapsed;
    } cases[] = {
        {"no transmit-empty: the fresh count of 2 stands", {}, 2, true, 500},
        {"two receive events", {{10, ""}, {20, "\x8F"}, {30, "\x42"}}, 2, true, 30},
        {"echo and answer in one event count once", {{10, ""}, {20, "\x8F\x42"}}, 2, false, 510},
        {"a receive event before the transmit-empty is wiped out",
         {{10, "\x8F"}, {10, ""}, {30, "\x42"}},
         2,
         false,
         510},
        {"eleven of twenty", burst, 11, true, 30},
        {"twelve never: the count stops at eleven", burst, 12, false, 510},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [delay, bytes] : c.events)
            pump->After(delay, [this, bytes] { bytes.empty() ? TxEmpty() : Rx(bytes); });
        const uint32_t start = pump->now;
        EXPECT_EQ(link.WaitForReplies(c.count), c.reached);
        EXPECT_EQ(pump->now - start, c.elapsed);
        pump->now += 1000;  // the rest of the script runs out
        pump->ProcessPending();
    }
}

// A stop (the busy mark cleared, as a second press of Log does) ends a request's wait for
// its replies as soon as the wait sees it, and a request made after it waits only for its
// transmit-empty: no reply can be counted any more.
TEST_F(LinkTest, AStopEndsTheWaitForRepliesAtOnce)
{
    pump->After(10, [this] { TxEmpty(); });
    pump->After(20, [this] { Rx("\x8F"); });
    pump->After(30, [this] { busy = false; });
    uint32_t start = pump->now;
    EXPECT_FALSE(link.WaitForReplies(2));
    EXPECT_EQ(pump->now - start, 30u);

    ownTxEmpty = true;
    start = pump->now;
    EXPECT_FALSE(link.WaitForReplies(2));
    EXPECT_EQ(pump->now - start, 0u);
}

// While a wait blocks, only the receive events that could end it need to wake it, and only
// a wait that receive events can end asks for the input on its own thread; every pump, also
// the last one at a deadline, runs whatever the port held back meanwhile.
TEST_F(LinkTest, BlockedWaitsAskToBeWokenOnlyByTheReceiveEventsTheyNeed)
{
    pump->After(10, [this] { TxEmpty(); });
    pump->After(20, [this] { Rx("\x8F"); });
    pump->After(30, [this] { Rx("\x42"); });
    EXPECT_TRUE(link.WaitForReplies(2));
    EXPECT_FALSE(link.WaitForEcho(0x12));
    link.PumpDelay(100);
    // Transmit-empty: no receive event; the replies: two, then one; an echo: any byte;
    // a delay: none.
    EXPECT_EQ(pump->blockedWith, (std::vector<int32_t>{0, 2, 1, 1, 0}));
    EXPECT_EQ(pump->pumpsHoldingBack, 0);
    EXPECT_EQ(pump->rxWake, 1);
    // The port reads on the waiting thread only while a wait for bytes is under way.
    EXPECT_EQ(pump->blockedWaiting, (std::vector<bool>{false, true, true, true, false}));
    EXPECT_FALSE(pump->waitingForInput);
    // One pump per round: each wait pumps as it starts (but the replies' wait, which the
    // transmit-empty wait's pumps have just run for) and after a round that read a byte
    // (the echo wait reads the two replies first), a blocking wait runs what wakes it, and
    // a wait that runs out pumps once more for its last look.
    EXPECT_EQ(pump->pumps, 6);
}

// A transmit-empty the port queued as the write returned runs at once: the replies' wait
// is the first to pass through the event loop, and only as it blocks.
TEST_F(LinkTest, ATransmitEmptyThePortHoldsRunsWithoutAPassThroughTheLoop)
{
    link.SetRxEventCount(5);
    ownTxEmpty = true;
    pump->After(20, [this] { Rx("\x8F"); });
    pump->After(30, [this] { Rx("\x42"); });
    EXPECT_TRUE(link.WaitForReplies(2));
    EXPECT_TRUE(link.TxEmptySeen());
    EXPECT_EQ(pump->pumps, 0);
    EXPECT_EQ(pump->blockedWith, (std::vector<int32_t>{2, 1}));
}

// Another thread signals an eventfd that the window thread's event loop watches while the
// pump blocks (as the port's event thread asks for its batches to be run): the blocking
// wait has run the notifier's handler by the time it returns, with Qt's own event
// dispatcher (chosen as a thread starts) as with GLib's, which the other tests here run
// with.
TEST(QtPumpedLink, ABlockingWaitRunsWhatAnotherThreadSignalsWhileItBlocks)
{
    qputenv("QT_NO_GLIB", "1");
    std::atomic<bool> ran = false;
    const uint32_t start = GetTickCount();
    const std::unique_ptr<QThread> window(QThread::create([&] {
        QtEventPump pump;
        const UniqueFd signal(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        QSocketNotifier notifier(signal.Get(), QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
            uint64_t count = 0;
            ran = ::read(signal.Get(), &count, sizeof count) == sizeof count;
        });
        std::thread signaller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(signal.Get(), &one, sizeof one);
        });
        while (!ran && TickElapsed(start, GetTickCount()) < 2000)
            pump.WaitForMore(2000);
        signaller.join();
    }));
    window->start();
    window->wait();
    qunsetenv("QT_NO_GLIB");
    EXPECT_TRUE(ran);
    EXPECT_LT(TickElapsed(start, GetTickCount()), 1000u) << "not left for the next pass";
}

// The link over a port on a pseudo-terminal, with the port holding receive events back
// while a wait needs more of them.
TEST(LinkOverAPort, WithoutAnAnswerTheLastByteIsTheEchoAndAnAnswerEndsTheWait)
{
    test::PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetRxEventByteLimit(1);
    LmLink link(PortLinkIo(port), [] { return true; });
    port.OnRxChar = [&](TCustomComPort* sender, int32_t count) { link.ComPortRxChar(sender, count); };
    port.OnTxEmpty = [&](TCustomComPort* sender) { link.ComPortTxEmpty(sender); };
    port.Open();

    // The peer echoes 8F and says nothing more; it echoes 69 and answers 33, 2 ms later.
    std::thread lm([&] {
        for (const std::string reply : {"\x8F", "\x69\x33"}) {
            if (peer.Read(1, 3000).empty())
                return;
            peer.Write(reply.substr(0, 1));
            if (reply.size() > 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                peer.Write(reply.substr(1));
            }
        }
    });
    EXPECT_EQ(link.ReadLmByte(0x8F, 2), std::nullopt) << "an echo alone is no answer";
    EXPECT_EQ(link.LastRxByte(), 0x8F) << "the echo, held back for a second event, is seen at the deadline";
    EXPECT_EQ(link.RxEventCount(), 1);
    const uint32_t start = GetTickCount();
    const std::optional<LmAnswer> answer = link.ReadLmByte(0x69, 2);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Byte, 0x33);
    EXPECT_LT(TickElapsed(start, GetTickCount()), 400u) << "the answer ends the wait well before its limit";
    lm.join();
    port.Close();  // before the link its handlers use
}

}  // namespace
}  // namespace tessek
