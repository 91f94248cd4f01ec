// The receive ring, the waits and the two LM exchanges, driven by a scripted clock and
// scripted port deliveries.
#include "link/LmLink.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QCoreApplication>
#include <QTimer>

#include <map>
#include <stdexcept>
#include <vector>

namespace tessek {
namespace {

// A clock that moves only when a wait blocks, and port events that happen at given
// times. Blocking advances the clock to the next scripted event or the wait's deadline.
class ScriptedPump : public TEventPump {
public:
    uint32_t now = 5000;
    int pumps = 0;
    int blocks = 0;

    void At(uint32_t time, std::function<void()> step) { steps_.emplace(time, std::move(step)); }
    void After(uint32_t delay, std::function<void()> step) { At(now + delay, std::move(step)); }

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
        ++blocks;
        uint32_t target = now + ms;
        if (!steps_.empty() && static_cast<int32_t>(steps_.begin()->first - target) < 0)
            target = steps_.begin()->first;
        if (static_cast<int32_t>(target - now) > 0)
            now = target;
    }

private:
    std::multimap<uint32_t, std::function<void()>> steps_;
};

class LinkTest : public ::testing::Test {
protected:
    LinkTest()
        : pump(std::make_shared<ScriptedPump>()),
          link(
              MakeIo(), [this] { return busy; }, [this] { return pump->now; }, pump)
    {
    }

    TLinkIo MakeIo()
    {
        TLinkIo io;
        io.Write = [this](const std::string& bytes) {
            if (failWrites)
                throw std::runtime_error("WriteFile function failed");
            writes.push_back({pump->now, bytes});
            if (onWrite)
                onWrite(bytes);
        };
        io.Read = [this](int32_t count) {
            std::string bytes = inputQueue.substr(0, static_cast<size_t>(count));
            inputQueue.erase(0, bytes.size());
            return bytes;
        };
        io.SetCustomBaudRate = [this](int32_t baud) { rates.push_back({pump->now, baud}); };
        return io;
    }

    // One receive event carrying `bytes`, as the port delivers it.
    void Rx(const std::string& bytes)
    {
        inputQueue += bytes;
        link.ComPortRxChar(nullptr, static_cast<int32_t>(bytes.size()));
    }
    void TxEmpty() { link.ComPortTxEmpty(nullptr); }

    std::shared_ptr<ScriptedPump> pump;
    bool busy = true;
    bool failWrites = false;
    std::string inputQueue;
    struct Write {
        uint32_t at;
        std::string bytes;
    };
    std::vector<Write> writes;
    std::vector<std::pair<uint32_t, int32_t>> rates;
    std::function<void(const std::string&)> onWrite;
    TLmLink link;
};

const std::string kEcho(1, '\x12');

TEST(HexText, BytesAsUpperCaseDigits)
{
    EXPECT_EQ(ByteToHex(0x00), "00");
    EXPECT_EQ(ByteToHex(0x8F), "8F");
    EXPECT_EQ(ByteToHex(0xFF), "FF");
    EXPECT_EQ(ByteToHex(0x0A), "0A");
    EXPECT_EQ(BytesToHex(""), "");
    EXPECT_EQ(BytesToHex(std::string("\x05\x00\x80\xfe", 4)), "050080FE");
}

TEST_F(LinkTest, FreshRingIsEmptyAndPopLeavesReadPositionAlone)
{
    EXPECT_TRUE(link.RingEmpty());
    EXPECT_EQ(link.PopRxByte(), 0);
    EXPECT_EQ(link.ReadPosition(), 65535u);
    EXPECT_EQ(link.WritePosition(), 0u);
    EXPECT_EQ(link.RxEventCount(), 2);
    EXPECT_FALSE(link.TxEmptySeen());
}

TEST_F(LinkTest, BytesComeOutInOrderAndLastByteIsNotConsumed)
{
    Rx("\x01\x02");
    Rx("\x03");
    EXPECT_EQ(link.LastRxByte(), 3);
    EXPECT_EQ(link.LastRxByte(), 3);
    EXPECT_EQ(link.PopRxByte(), 1);
    EXPECT_EQ(link.PopRxByte(), 2);
    EXPECT_EQ(link.PopRxByte(), 3);
    EXPECT_EQ(link.PopRxByte(), 0);
    EXPECT_EQ(link.LastRxByte(), 3);
}

TEST_F(LinkTest, WritePositionWrapsAfterAFullLap)
{
    std::string lap(65536, '\x07');
    lap.back() = '\xAB';
    Rx(lap);
    EXPECT_EQ(link.WritePosition(), 0u);
    EXPECT_EQ(link.LastRxByte(), 0xAB);  // cell 65,535
    Rx("\xCD");
    EXPECT_EQ(link.WritePosition(), 1u);
    EXPECT_EQ(link.LastRxByte(), 0xCD);
}

TEST_F(LinkTest, ReadPositionWrapsPastTheLastCell)
{
    Rx(std::string(65535, '\x01'));
    for (int i = 0; i < 65535; ++i)
        ASSERT_EQ(link.PopRxByte(), 1) << "at " << i;
    EXPECT_EQ(link.ReadPosition(), 65534u);
    Rx("\x09\x0A");
    EXPECT_EQ(link.PopRxByte(), 9);
    EXPECT_EQ(link.ReadPosition(), 65535u);
    EXPECT_EQ(link.PopRxByte(), 0x0A);
    EXPECT_EQ(link.ReadPosition(), 0u);
    EXPECT_TRUE(link.RingEmpty());
}

TEST_F(LinkTest, ReceiveEventsCountOnlyWhileBusyAndStopAtEleven)
{
    busy = false;
    TxEmpty();
    Rx("a");
    EXPECT_EQ(link.RxEventCount(), 0);
    busy = true;
    Rx("bc");  // two bytes, one event
    EXPECT_EQ(link.RxEventCount(), 1);
    for (int i = 0; i < 20; ++i)
        Rx("d");
    EXPECT_EQ(link.RxEventCount(), 11);
    TxEmpty();
    EXPECT_EQ(link.RxEventCount(), 0);
    EXPECT_TRUE(link.TxEmptySeen());
}

TEST_F(LinkTest, TransmitEmptyRunsTheFollowUp)
{
    int calls = 0;
    link.AfterTxEmpty = [&] { ++calls; };
    TxEmpty();
    EXPECT_EQ(calls, 1);
}

TEST_F(LinkTest, EchoAlreadyWaitingSatisfiesAtOnceAndConsumesUpToIt)
{
    Rx("\x01\x12\x05");
    const uint32_t start = pump->now;
    EXPECT_TRUE(link.WaitForEcho(0x12));
    EXPECT_EQ(pump->now, start);
    EXPECT_EQ(pump->blocks, 0);
    EXPECT_EQ(link.PopRxByte(), 5);
}

TEST_F(LinkTest, EchoAfterOtherBytesIsFoundWhenItArrives)
{
    pump->After(100, [this] { Rx("\x33"); });
    pump->After(300, [this] { Rx("\x44\x12"); });
    const uint32_t start = pump->now;
    EXPECT_TRUE(link.WaitForEcho(0x12));
    EXPECT_EQ(pump->now - start, 300u);
    EXPECT_TRUE(link.RingEmpty());
}

TEST_F(LinkTest, EchoWaitRunsOutAfterOneSecondWithoutSpinning)
{
    pump->After(400, [this] { Rx("\x11"); });
    const uint32_t start = pump->now;
    EXPECT_FALSE(link.WaitForEcho(0x12));
    EXPECT_EQ(pump->now - start, 1000u);
    EXPECT_LE(pump->pumps, 4);
    EXPECT_TRUE(link.RingEmpty());
}

TEST_F(LinkTest, RxByteWaitIgnoresZerosAndNeedsTheByteBeforeTheLimit)
{
    struct Case {
        const char* name;
        uint32_t arrival;
        std::string bytes;
        bool expected;
    };
    const Case cases[] = {
        {"non-zero byte early", 50, "\x41", true},
        {"non-zero byte just in time", 299, "\x41", true},
        {"non-zero byte at the limit", 300, "\x41", false},
        {"only zeros", 50, std::string(3, '\0'), false},
        {"zeros then a byte", 50, std::string("\0\0\x07", 3), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto fresh = std::make_shared<ScriptedPump>();
        std::string queue;
        TLinkIo io;
        io.Read = [&queue](int32_t count) {
            std::string bytes = queue.substr(0, static_cast<size_t>(count));
            queue.erase(0, bytes.size());
            return bytes;
        };
        TLmLink probe(
            io, [] { return false; }, [fresh] { return fresh->now; }, fresh);
        fresh->After(c.arrival, [&] {
            queue += c.bytes;
            probe.ComPortRxChar(nullptr, static_cast<int32_t>(c.bytes.size()));
        });
        const uint32_t start = fresh->now;
        EXPECT_EQ(probe.WaitForRxByte(300), c.expected);
        EXPECT_EQ(fresh->now - start, c.expected ? c.arrival : 300u);
    }
}

TEST_F(LinkTest, TransmitEmptyWaitEndsOnTheEventOrAfterHalfASecond)
{
    TxEmpty();  // an old event does not count: the wait clears the flag first
    pump->After(40, [this] { TxEmpty(); });
    uint32_t start = pump->now;
    link.WaitTxEmpty();
    EXPECT_EQ(pump->now - start, 40u);

    start = pump->now;
    link.WaitTxEmpty();
    EXPECT_EQ(pump->now - start, 500u);
    EXPECT_FALSE(link.TxEmptySeen());
}

TEST_F(LinkTest, WaitsSurviveAWrapOfTheTickCounter)
{
    pump->now = 0xFFFFFF00u;
    link.WaitTxEmpty();
    EXPECT_EQ(pump->now, 0xFFFFFF00u + 500u);
    EXPECT_EQ(pump->now, 500u - 0x100u);
}

TEST_F(LinkTest, RepliesCountedAfterTheTransmitEmptyEvent)
{
    pump->After(10, [this] { TxEmpty(); });
    pump->After(20, [this] { Rx("\x8F"); });
    pump->After(30, [this] { Rx("\x42"); });
    const uint32_t start = pump->now;
    EXPECT_TRUE(link.WaitForReplies(2));
    EXPECT_EQ(pump->now - start, 30u);
    EXPECT_EQ(link.LastRxByte(), 0x42);
}

TEST_F(LinkTest, EchoAndAnswerInOneEventCountOnce)
{
    pump->After(10, [this] { TxEmpty(); });
    pump->After(20, [this] { Rx("\x8F\x42"); });
    const uint32_t start = pump->now;
    EXPECT_FALSE(link.WaitForReplies(2));
    EXPECT_EQ(pump->now - start, 510u);
    EXPECT_EQ(link.LastRxByte(), 0x42);
}

TEST_F(LinkTest, ReceiveEventInTheTransmitEmptyBatchIsWipedOut)
{
    pump->After(10, [this] {
        Rx("\x8F");
        TxEmpty();
    });
    pump->After(30, [this] { Rx("\x42"); });
    const uint32_t start = pump->now;
    EXPECT_FALSE(link.WaitForReplies(2));
    EXPECT_EQ(link.RxEventCount(), 1);
    EXPECT_EQ(pump->now - start, 510u);
}

TEST_F(LinkTest, TwelveOrMoreRepliesAreNeverReached)
{
    for (const int count : {11, 12, 40}) {
        SCOPED_TRACE(count);
        pump->After(10, [this] { TxEmpty(); });
        for (uint32_t i = 0; i < 20; ++i)
            pump->After(20 + i, [this] { Rx("\x01"); });
        const uint32_t start = pump->now;
        const bool reached = link.WaitForReplies(count);
        EXPECT_EQ(reached, count == 11);
        EXPECT_EQ(pump->now - start, count == 11 ? 30u : 510u);
        pump->now += 100;  // let the rest of the script run out
        pump->ProcessPending();
    }
}

TEST_F(LinkTest, RepliesWaitWithoutTransmitEmptyKeepsTheOldCount)
{
    // No transmit-empty event: nothing resets the count, which starts at 2.
    uint32_t start = pump->now;
    EXPECT_TRUE(link.WaitForReplies(2));
    EXPECT_EQ(pump->now - start, 500u);

    start = pump->now;
    EXPECT_FALSE(link.WaitForReplies(3));
    EXPECT_EQ(pump->now - start, 1000u);
    EXPECT_LE(pump->pumps, 8);
}

TEST_F(LinkTest, PumpDelayBlocksInsteadOfSpinning)
{
    const uint32_t start = pump->now;
    link.PumpDelay(100);
    EXPECT_EQ(pump->now - start, 100u);
    EXPECT_LE(pump->pumps, 3);

    const int before = pump->pumps;
    link.PumpDelay(0);
    EXPECT_EQ(pump->pumps, before + 1);
    EXPECT_EQ(pump->now - start, 100u);
}

TEST_F(LinkTest, PumpDelayRunsEventsThatArriveMeanwhile)
{
    pump->After(30, [this] { Rx("\x99"); });
    link.PumpDelay(100);
    EXPECT_EQ(link.LastRxByte(), 0x99);
}

TEST_F(LinkTest, HandshakeSucceedsOnTheFirstByte)
{
    onWrite = [this](const std::string& bytes) {
        pump->After(150, [this, bytes] {
            TxEmpty();
            Rx(bytes);
        });
    };
    const uint32_t start = pump->now;
    EXPECT_TRUE(link.EstablishHighBaud());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, kEcho);
    ASSERT_EQ(rates.size(), 1u);
    EXPECT_EQ(rates[0].second, 7680);
    EXPECT_EQ(rates[0].first - start, 100u);  // after the settle delay
    EXPECT_EQ(pump->now - start, 150u);
}

TEST_F(LinkTest, HandshakeEchoThatCameDuringTheSettleDelayCounts)
{
    onWrite = [this](const std::string& bytes) { pump->After(20, [this, bytes] { Rx(bytes); }); };
    const uint32_t start = pump->now;
    EXPECT_TRUE(link.EstablishHighBaud());
    EXPECT_EQ(writes.size(), 1u);
    EXPECT_EQ(pump->now - start, 100u);
    EXPECT_TRUE(link.RingEmpty());
}

TEST_F(LinkTest, HandshakeSucceedsOnlyOnTheRetry)
{
    onWrite = [this](const std::string& bytes) {
        if (writes.size() == 2)
            pump->After(20, [this, bytes] { Rx(bytes); });
        else
            pump->After(20, [this] { Rx("\x5A"); });  // garbled at the wrong rate
    };
    const uint32_t start = pump->now;
    EXPECT_TRUE(link.EstablishHighBaud());
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].bytes, kEcho);
    EXPECT_EQ(writes[1].at - start, 1100u);
    EXPECT_EQ(pump->now - start, 1200u);
}

TEST_F(LinkTest, HandshakeFailsWhenTheLmStaysSilent)
{
    const uint32_t start = pump->now;
    EXPECT_FALSE(link.EstablishHighBaud());
    EXPECT_EQ(writes.size(), 2u);
    EXPECT_EQ(pump->now - start, 2200u);
    ASSERT_EQ(rates.size(), 1u);  // setting the rate back is the caller's business
    EXPECT_EQ(rates[0].second, 7680);
}

TEST_F(LinkTest, HandshakeWriteFailureEndsIt)
{
    failWrites = true;
    EXPECT_THROW(link.EstablishHighBaud(), std::runtime_error);
    EXPECT_TRUE(rates.empty());
}

TEST_F(LinkTest, ReadLmByteReturnsTheAnswerOrTheByteReceivedLast)
{
    onWrite = [this](const std::string& bytes) {
        pump->After(5, [this] { TxEmpty(); });
        pump->After(10, [this, bytes] { Rx(bytes); });
        if (bytes == "\x8F")
            pump->After(15, [this] { Rx("\x3C"); });
    };
    EXPECT_EQ(link.ReadLmByte(0x8F), 0x3C);
    EXPECT_EQ(writes.back().bytes, "\x8F");

    const uint32_t start = pump->now;
    EXPECT_EQ(link.ReadLmByte(0x69), 0x69);  // no answer: its echo is the last byte
    EXPECT_EQ(pump->now - start, 505u);
    // The reads left the bytes unread.
    EXPECT_EQ(link.PopRxByte(), 0x8F);
}

TEST_F(LinkTest, ReadLmByteWithOneReplyEndsAtTheEcho)
{
    onWrite = [this](const std::string& bytes) {
        pump->After(5, [this] { TxEmpty(); });
        pump->After(10, [this, bytes] { Rx(bytes); });
        pump->After(400, [this] { Rx("\x77"); });
    };
    const uint32_t start = pump->now;
    EXPECT_EQ(link.ReadLmByte(0x9A, 1), 0x9A);
    EXPECT_EQ(pump->now - start, 10u);
}

// The real pump: a wait that nothing ends blocks in the event loop instead of spinning.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(QtPumpedLink, WaitsSleepInTheEventLoop)
{
    TLmLink link(TLinkIo{}, [] { return true; });
    const double cpuBefore = CpuSeconds();
    const uint32_t start = GetTickCount();
    link.WaitTxEmpty();
    link.PumpDelay(300);
    const uint32_t elapsed = TickElapsed(start, GetTickCount());
    EXPECT_GE(elapsed, 800u);
    EXPECT_LT(elapsed, 3000u);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.3);
}

TEST(QtPumpedLink, PostedDeliveryEndsTheWait)
{
    TLmLink link(TLinkIo{}, [] { return true; });
    QTimer::singleShot(50, [&] { link.StoreRx(std::string(1, '\x12')); });
    const uint32_t start = GetTickCount();
    EXPECT_TRUE(link.WaitForEcho(0x12));
    EXPECT_LT(TickElapsed(start, GetTickCount()), 900u);
}

}  // namespace
}  // namespace tessek
