#include "sim/SimulatedLm.h"

#include "tests/sim/RawClient.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace tessek::sim {
namespace {

using namespace std::chrono_literals;
using test::RawClient;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kLow = 977;
constexpr uint32_t kHigh = 7680;
constexpr uint8_t kHandshake = 0x12;

// A memory in which every byte differs from its address and from its neighbours.
LmMemory TestMemory()
{
    LmMemory m{};
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = static_cast<uint8_t>(i ^ 0xA5);
    return m;
}

// A quiet LM with a fixed memory and a client on its slave at 977 baud.
struct Link {
    SimulatedLm lm;
    RawClient client{Prepare(lm), kLow};

    // Quiet before the client connects, so that no idle byte can slip in first.
    static std::string Prepare(SimulatedLm& lm)
    {
        lm.SetQuiet(true);
        lm.SetMemory(TestMemory());
        return lm.SlavePath();
    }

    // Handshake at 977, its echo, then the client follows the LM to 7680.
    void Handshake()
    {
        client.Send(kHandshake);
        ASSERT_EQ(client.Take(1, 1000ms), Bytes{kHandshake});
        client.SetRate(kHigh);
    }
};

TEST(SimulatedLm, HandshakeAt977ThenEchoAndAnswerAt7680)
{
    Link link;
    EXPECT_EQ(link.lm.Rate(), kLow);
    link.Handshake();
    EXPECT_EQ(link.lm.Rate(), kHigh);
    EXPECT_EQ(link.lm.HandshakeCount(), 1u);

    const LmMemory memory = TestMemory();
    const uint8_t addresses[] = {0x8F, 0x90, 0x00, 0xFF, 0x46, 0x8F};
    for (uint8_t address : addresses) {
        SCOPED_TRACE(testing::Message() << "address " << std::hex << int{address});
        link.client.Send(address);
        EXPECT_EQ(link.client.Take(2, 1000ms), (Bytes{address, memory[address]}));
    }
    EXPECT_EQ(link.lm.RequestCount(), std::size(addresses));
    EXPECT_EQ(link.client.Collect(50ms), Bytes{}) << "nothing after the last answer";
}

TEST(SimulatedLm, HandshakeAt7680IsEchoedWithoutAnswer)
{
    // A second command after a successful one finds the line still at 7680.
    Link link;
    link.Handshake();
    link.client.Send(0x9A);
    ASSERT_EQ(link.client.Take(2, 1000ms).size(), 2u);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Collect(100ms), Bytes{kHandshake});
    EXPECT_EQ(link.lm.Rate(), kHigh);
    EXPECT_EQ(link.lm.HandshakeCount(), 2u);
    EXPECT_EQ(link.lm.RequestCount(), 1u);
}

TEST(SimulatedLm, BytesAtTheWrongRateAreNotUnderstood)
{
    Link link;
    // Before the handshake: a request at 977 is no handshake, and a handshake sent at
    // 7680 is not understood by an LM at 977.
    link.client.Send(0x8F);
    EXPECT_EQ(link.client.Collect(100ms), Bytes{});
    link.client.SetRate(kHigh);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Collect(100ms), Bytes{});
    EXPECT_EQ(link.lm.Rate(), kLow);
    EXPECT_EQ(link.lm.IgnoredCount(), 1u);

    // After the handshake: a request sent at 977 to the LM at 7680.
    link.client.SetRate(kLow);
    link.Handshake();
    link.client.SetRates(kHigh, kLow);
    link.client.Send(0x8F);
    EXPECT_EQ(link.client.Collect(100ms), Bytes{});
    EXPECT_EQ(link.lm.RequestCount(), 0u);
    EXPECT_EQ(link.lm.IgnoredCount(), 2u);
}

TEST(SimulatedLm, ProgramBackAt977ReachesTheLmAt7680ThroughItsRetry)
{
    // After a failed command the program returns to 977, but the LM may still be at
    // 7680: the handshake at 977 goes unheard, the repeat at 7680 is echoed.
    Link link;
    link.Handshake();
    link.client.SetRate(kLow);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Collect(150ms), Bytes{});
    link.client.SetRate(kHigh);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Take(1, 1000ms), Bytes{kHandshake});
    link.client.Send(0x73);
    EXPECT_EQ(link.client.Take(2, 1000ms), (Bytes{0x73, TestMemory()[0x73]}));
}

TEST(SimulatedLm, EchoHeardAtAnotherRateArrivesGarbled)
{
    Link link;
    // The client sends at 977 but listens at 7680: the echo of 12, sent at 977, reaches a
    // receiver eight times too fast. Its start bit and the two low runs of 12 each look
    // like a frame of zeros with a low stop bit, which the terminal delivers as 00.
    link.client.SetRates(kHigh, kLow);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Collect(150ms), (Bytes{0x00, 0x00, 0x00}));
    EXPECT_EQ(link.lm.Rate(), kHigh) << "the LM took the handshake all the same";

    // Listening at 977 to the LM at 7680: the echo and answer of request 00 each look
    // like a start bit followed by an idle line.
    link.client.SetRates(kLow, kHigh);
    link.lm.SetByte(0x00, 0x00);
    link.client.Send(0x00);
    EXPECT_EQ(link.client.Collect(150ms), (Bytes{0xFF, 0xFF}));
}

TEST(SimulatedLm, IdleStreamUntilQuietOrSpokenTo)
{
    SimulatedLm lm;
    RawClient client(lm.SlavePath(), kLow);
    // The program's start-up probe listens for 300 ms.
    const Bytes stream = client.Collect(300ms);
    EXPECT_GE(stream.size(), 3u);
    for (uint8_t b : stream) {
        EXPECT_NE(b, 0x00);
        EXPECT_NE(b, kHandshake);
    }

    lm.SetQuiet(true);
    client.Collect(100ms);  // a byte may be on its way
    EXPECT_EQ(client.Collect(300ms), Bytes{});

    lm.SetQuiet(false);
    EXPECT_FALSE(client.Collect(300ms).empty());

    // At 7680 the stream stops.
    client.Send(kHandshake);
    const auto deadline = Clock::now() + 1s;
    while (lm.Rate() != kHigh && Clock::now() < deadline)
        client.Collect(10ms);
    ASSERT_EQ(lm.Rate(), kHigh);
    client.SetRate(kHigh);
    client.Collect(50ms);
    EXPECT_EQ(client.Collect(400ms), Bytes{});
}

TEST(SimulatedLm, SilentFaultSendsNothing)
{
    SimulatedLm lm;
    lm.SetFault(LmFault::Silent);
    RawClient client(lm.SlavePath(), kLow);
    client.Send(kHandshake);
    EXPECT_EQ(client.Collect(300ms), Bytes{}) << "no echo and no idle stream";
    client.SetRate(kHigh);
    client.Send(kHandshake);
    client.Send(0x8F);
    EXPECT_EQ(client.Collect(200ms), Bytes{});
}

TEST(SimulatedLm, EchoOnlyFaultEchoesButNeverAnswers)
{
    Link link;
    link.lm.SetFault(LmFault::EchoOnly);
    link.Handshake();
    for (uint8_t address : {0x46, 0x47}) {
        link.client.Send(address);
        EXPECT_EQ(link.client.Collect(100ms), Bytes{address});
    }
    EXPECT_EQ(link.lm.RequestCount(), 2u);
}

TEST(SimulatedLm, RetryOnlyFaultEchoesTheRepeatedHandshakeAt7680)
{
    Link link;
    link.lm.SetFault(LmFault::RetryOnly);
    // The first handshake at 977 goes unanswered, as the program sees it ...
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Collect(150ms), Bytes{});
    // ... but the LM moved to 7680, where the program's repeat finds it.
    link.client.SetRate(kHigh);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Take(1, 500ms), Bytes{kHandshake});
    link.client.Send(0x9A);
    EXPECT_EQ(link.client.Take(2, 500ms), (Bytes{0x9A, TestMemory()[0x9A]}));
}

TEST(SimulatedLm, GarbageFaultAnswersWithOtherBytes)
{
    Link link;
    link.lm.SetFault(LmFault::Garbage);
    link.Handshake();
    const LmMemory memory = TestMemory();
    for (int address = 0x40; address < 0x60; ++address) {
        link.client.Send(static_cast<uint8_t>(address));
        const Bytes got = link.client.Take(2, 500ms);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], address) << "the echo is intact";
        EXPECT_NE(got[1], memory[static_cast<size_t>(address)]);
    }
}

TEST(SimulatedLm, HangUpClosesTheLine)
{
    Link link;
    link.Handshake();
    link.lm.SetFault(LmFault::HangUp);
    pollfd p{link.client.Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    uint8_t byte = 0x8F;
    EXPECT_EQ(write(link.client.Fd(), &byte, 1), -1);
    EXPECT_EQ(errno, EIO);
}

// Median time from sending `request` until `replies` bytes are back.
std::chrono::microseconds MedianExchange(RawClient& client, uint8_t request, size_t replies)
{
    std::vector<std::chrono::microseconds> times;
    for (int i = 0; i < 9; ++i) {
        const auto start = Clock::now();
        client.Send(request);
        EXPECT_EQ(client.Take(replies, 1000ms).size(), replies);
        times.push_back(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

TEST(SimulatedLm, WireTimeTakesTenBitsPerByte)
{
    Link link;
    // Echo of the handshake at 977: one byte time, 10.2 ms.
    const auto start = Clock::now();
    link.Handshake();
    EXPECT_GE(Clock::now() - start, 9ms);

    // At 7680: echo after 1.3 ms, answer 1.3 ms later.
    const auto withWire = MedianExchange(link.client, 0x8F, 2);
    EXPECT_GE(withWire, 2500us);
    EXPECT_LT(withWire, 50ms);

    link.lm.SetWireTiming(false);
    const auto withoutWire = MedianExchange(link.client, 0x8F, 2);
    EXPECT_LT(withoutWire + 1500us, withWire);

    link.lm.SetAnswerDelay(40);
    const auto delayed = MedianExchange(link.client, 0x8F, 2);
    EXPECT_GE(delayed, 40ms);
    EXPECT_LT(delayed, 500ms);
}

TEST(SimulatedLm, ClosingTheSlaveTakesTheLmBackTo977)
{
    SimulatedLm lm;
    lm.SetQuiet(true);
    {
        RawClient client(lm.SlavePath(), kLow);
        client.Send(kHandshake);
        ASSERT_EQ(client.Take(1, 1000ms), Bytes{kHandshake});
        ASSERT_EQ(lm.Rate(), kHigh);
        lm.SetQuiet(false);
    }
    const auto deadline = Clock::now() + 2s;
    while (lm.Rate() != kLow && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(lm.Rate(), kLow);

    RawClient again(lm.SlavePath(), kLow);
    lm.SetQuiet(true);
    again.Collect(100ms);
    again.Send(kHandshake);
    EXPECT_EQ(again.Take(1, 1000ms), Bytes{kHandshake});
}

TEST(SimulatedLm, HighRateTimeoutFallsBackTo977)
{
    Link link;
    link.lm.SetHighRateTimeout(100);
    link.Handshake();
    const auto deadline = Clock::now() + 2s;
    while (link.lm.Rate() != kLow && Clock::now() < deadline)
        link.client.Collect(10ms);
    EXPECT_EQ(link.lm.Rate(), kLow);
    // The program's handshake at 7680 and its repeat now go unheard ...
    link.client.Send(kHandshake);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Collect(150ms), Bytes{});
    // ... until it sets the line back to 977.
    link.client.SetRate(kLow);
    link.client.Send(kHandshake);
    EXPECT_EQ(link.client.Take(1, 1000ms), Bytes{kHandshake});
}

size_t CountEntries(const char* folder)
{
    size_t count = 0;
    if (DIR* dir = opendir(folder)) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

TEST(SimulatedLm, StopLeavesNoDescriptorsOrThreads)
{
    const size_t fds = CountEntries("/proc/self/fd");
    const size_t threads = CountEntries("/proc/self/task");
    std::string path;
    {
        SimulatedLm lm;
        path = lm.SlavePath();
        EXPECT_EQ(CountEntries("/proc/self/task"), threads + 1);
        RawClient client(path, kLow);
        client.Send(kHandshake);
        EXPECT_EQ(client.Take(1, 1000ms), Bytes{kHandshake});
        lm.Stop();
        lm.Stop();
        EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the pseudo-terminal is gone";
}

TEST(SimulatedLm, MemoryPinsOverTheScenario)
{
    SimulatedLm lm;
    const LmMemory scenario = lm.Memory();
    EXPECT_EQ(scenario[0x46], ScenarioMemory(0ms)[0x46]);
    lm.SetByte(0x73, 0x5A);
    EXPECT_EQ(lm.Memory()[0x73], 0x5A);
    lm.SetMemory(TestMemory());
    EXPECT_EQ(lm.Memory(), TestMemory());
    lm.UseScenario();
    EXPECT_EQ(lm.Memory()[0x46], scenario[0x46]);
}

}  // namespace
}  // namespace tessek::sim
