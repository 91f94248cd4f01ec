// The receive ring, the waits and the two LM exchanges, driven by a scripted clock and
// scripted port deliveries.
#include "lm/LmLink.h"

#include <gtest/gtest.h>
#include <QTimer>

#include <map>
#include <vector>

namespace tessek {
namespace {

// A clock that moves only when a wait blocks, to the next scripted port event or the
// wait's deadline, whichever comes first.
class ScriptedPump : public EventPump {
public:
    uint32_t now = 5000;
    int pumps = 0;
    void After(uint32_t delay, std::function<void()> step) { steps_.emplace(now + delay, std::move(step)); }
    void ProcessPending() override
    {
        ++pumps;
        while (!steps_.empty() && static_cast<int32_t>(steps_.begin()->first - now) <= 0) {
            auto step = std::move(steps_.begin()->second);
            steps_.erase(steps_.begin());
            step();
        }
    }
    void WaitForMore(uint32_t ms) override
    {
        const uint32_t next = steps_.empty() ? now + ms : steps_.begin()->first;
        now += std::min(ms, static_cast<uint32_t>(std::max(0, static_cast<int32_t>(next - now))));
    }

private:
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
                       }},
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
