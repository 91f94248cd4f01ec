// The receive ring, the waits and the two LM exchanges, driven by a scripted clock and
// scripted port deliveries.
#include "lm/LmLink.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTimer>

#include <map>
#include <thread>
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
    // One receive event carrying `bytes`, as the port delivers it.
    void Rx(const std::string& bytes)
    {
        inputQueue += bytes;
        link.ComPortRxChar(nullptr, static_cast<int32_t>(bytes.size()));
    }
    void TxEmpty() { link.ComPortTxEmpty(nullptr); }
    std::string Read(int32_t count)
    {
        std::string bytes = inputQueue.substr(0, static_cast<size_t>(count));
        inputQueue.erase(0, bytes.size());
        return bytes;
    }
    void Write(const std::string& bytes)
    {
        writes.push_back({pump->now, bytes});
        if (onWrite)
            onWrite(bytes);
    }

    std::shared_ptr<ScriptedPump> pump = std::make_shared<ScriptedPump>();
    bool busy = true;
    std::string inputQueue;
    std::vector<std::pair<uint32_t, std::string>> writes;  // when, what
    std::vector<std::pair<uint32_t, int32_t>> rates;       // when, which
    std::function<void(const std::string&)> onWrite;
    LmLink link{LinkIo{[this](const std::string& b) { Write(b); }, [this](int32_t n) { return Read(n); },
                       [this](int32_t baud) {
                           rates.push_back({pump->now, baud});
                       },
                       [this](int32_t count) { pump->rxWake = count; }},
                [this] { return busy; }, [this] { return pump->now; }, pump};
};

const std::string kEcho(1, '\x12');

TEST_F(LinkTest, RingKeepsOrderAndWrapsAfterAFullLap)
{
    EXPECT_EQ(link.PopRxByte(), 0) << "empty ring";
    EXPECT_EQ(link.ReadPosition(), 65535u);
    std::string lap(65536, '\x07');
    lap[0] = '\x01';
    lap.back() = '\xAB';
    Rx(lap);
    EXPECT_EQ(link.WritePosition(), 0u);
    EXPECT_EQ(link.LastRxByte(), 0xAB) << "cell 65,535";
    EXPECT_EQ(link.LastRxByte(), 0xAB) << "not consumed";
    Rx("\xCD\x02");
    EXPECT_EQ(link.WritePosition(), 2u);
    EXPECT_EQ(link.LastRxByte(), 0x02);
    // The lap overwrote itself: reading starts at cell 0, which now holds 0xCD.
    EXPECT_EQ(link.PopRxByte(), 0xCD);
    EXPECT_EQ(link.PopRxByte(), 0x02);
    EXPECT_TRUE(link.RingEmpty());
    EXPECT_EQ(link.ReadPosition(), 1u);
}

TEST_F(LinkTest, EchoWaitConsumesUpToTheEchoOrRunsOutAfterOneSecond)
{
    Rx("\x01\x12\x05");  // an older echo still unread satisfies at once
    uint32_t start = pump->now;
    EXPECT_TRUE(link.WaitForEcho(0x12));
    EXPECT_EQ(pump->now, start);
    EXPECT_EQ(link.PopRxByte(), 5);

    pump->After(100, [this] { Rx("\x33"); });
    pump->After(300, [this] { Rx("\x44\x12"); });
    start = pump->now;
    EXPECT_TRUE(link.WaitForEcho(0x12));
    EXPECT_EQ(pump->now - start, 300u);
    EXPECT_TRUE(link.RingEmpty());

    pump->After(400, [this] { Rx("\x11"); });
    start = pump->now;
    const int pumps = pump->pumps;
    EXPECT_FALSE(link.WaitForEcho(0x12));
    EXPECT_EQ(pump->now - start, 1000u);
    EXPECT_LE(pump->pumps - pumps, 4) << "spins";
    EXPECT_TRUE(link.RingEmpty());
}

TEST_F(LinkTest, RepliesAreReceiveEventsCountedAfterTheTransmitEmptyEvent)
{
    const struct {
        const char* name;
        std::vector<std::pair<uint32_t, std::string>> events;  // "" is the transmit-empty event
        bool reached;
        uint32_t elapsed;
    } cases[] = {
        {"no transmit-empty: the fresh count of 2 stands", {}, true, 500},
        {"two receive events", {{10, ""}, {20, "\x8F"}, {30, "\x42"}}, true, 30},
        {"echo and answer in one event count once", {{10, ""}, {20, "\x8F\x42"}}, false, 510},
        {"a receive event in the transmit-empty batch is wiped out",
         {{10, "\x8F"}, {10, ""}, {30, "\x42"}},
         false,
         510},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [delay, bytes] : c.events)
            pump->After(delay, [this, bytes] { bytes.empty() ? TxEmpty() : Rx(bytes); });
        const uint32_t start = pump->now;
        EXPECT_EQ(link.WaitForReplies(2), c.reached);
        EXPECT_EQ(pump->now - start, c.elapsed);
        pump->now += 1000;  // let the rest of the script run out
        pump->ProcessPending();
    }
}

// While a wait blocks, only the receive events that could end it need to wake it; every
// pump, also the last one at a deadline, runs whatever the port held back meanwhile.
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
    // One pump per round: each wait pumps as it starts and after a round that read a byte
    // (the echo wait reads the two replies first), a blocking wait runs what wakes it, and
    // a wait that runs out pumps once more for its last look.
    EXPECT_EQ(pump->pumps, 7);
}

TEST_F(LinkTest, TwelveOrMoreRepliesAreNeverReached)
{
    for (const int count : {11, 12, 40}) {
        SCOPED_TRACE(count);
        pump->After(10, [this] { TxEmpty(); });
        for (uint32_t i = 0; i < 20; ++i)
            pump->After(20 + i, [this] { Rx("\x01"); });
        const uint32_t start = pump->now;
        EXPECT_EQ(link.WaitForReplies(count), count == 11);
        EXPECT_EQ(pump->now - start, count == 11 ? 30u : 510u);
        EXPECT_EQ(link.RxEventCount(), 11) << "the count stops at eleven";
        pump->now += 100;
        pump->ProcessPending();
    }
    busy = false;  // not counted while idle
    TxEmpty();
    Rx("a");
    EXPECT_EQ(link.RxEventCount(), 0);
}

TEST_F(LinkTest, HandshakeSucceedsOnTheFirstByteOrTheRetryOrFails)
{
    for (const int answerOn : {1, 2, 0}) {
        SCOPED_TRACE(answerOn);
        writes.clear();
        rates.clear();
        onWrite = [this, answerOn](const std::string& bytes) {
            const bool echo = static_cast<int>(writes.size()) == answerOn;
            pump->After(20, [this, echo, bytes] { Rx(echo ? bytes : "\x5A"); });  // garbled at the wrong rate
        };
        const uint32_t start = pump->now;
        EXPECT_EQ(link.EstablishHighBaud(), answerOn != 0);
        ASSERT_EQ(writes.size(), answerOn == 1 ? 1u : 2u);
        EXPECT_EQ(writes.back().second, kEcho);
        ASSERT_EQ(rates.size(), 1u) << "setting the rate back is the caller's business";
        EXPECT_EQ(rates[0].second, 7680);
        EXPECT_EQ(rates[0].first - start, 100u) << "after the settle delay";
        EXPECT_EQ(pump->now - start, answerOn == 1 ? 100u : answerOn == 2 ? 1200u : 2200u);
        EXPECT_EQ(writes.back().first - start, answerOn == 1 ? 0u : 1100u) << "the retry after one second";
        EXPECT_TRUE(link.RingEmpty());
    }
}

// Another thread posts while the pump blocks (as the port's event thread does): the
// blocking wait has run it by the time it returns, whichever event dispatcher Qt uses.
TEST(QtPumpedLink, ABlockingWaitRunsWhatIsPostedWhileItBlocks)
{
    QtEventPump pump;
    bool ran = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    });
    const uint32_t start = GetTickCount();
    while (!ran && TickElapsed(start, GetTickCount()) < 2000)
        pump.WaitForMore(2000);
    poster.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(TickElapsed(start, GetTickCount()), 1000u) << "not left for the next pass";
}

TEST(QtPumpedLink, PostedDeliveryEndsTheWait)
{
    LmLink link(LinkIo{}, [] { return true; });
    QTimer::singleShot(50, [&] { link.StoreRx(std::string(1, '\x12')); });
    const uint32_t start = GetTickCount();
    EXPECT_TRUE(link.WaitForEcho(0x12));
    EXPECT_LT(TickElapsed(start, GetTickCount()), 900u);
}

}  // namespace
}  // namespace tessek
