// The simulated LM and the tessek-lmsim tool, each driven by a bare raw client on the
// pseudo-terminal slave as the program would drive them, and the models behind them.
#include "logging/Decoders.h"
#include "sim/SimulatedLm.h"
#include "sim/UartModel.h"

#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>

namespace tessek::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr uint32_t kLow = 977, kHigh = 7680;
constexpr uint8_t kHandshake = 0x12;

// Sets its rates with its own termios2 calls, so that a fault in the simulator's cannot hide.
struct RawClient {
    RawClient(const std::string& s, uint32_t baud) : fd(open(s.c_str(), O_RDWR | O_NOCTTY)) { SetRate(baud); }
    ~RawClient() { close(fd); }
    void SetRate(uint32_t baud) { SetRates(baud, baud); }
    void SetRates(uint32_t in, uint32_t out)
    {
        termios2 t{0, 0, CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT), 0, 0, {}, in, out}, got{};  // raw 8N1
        if (ioctl(fd, TCSETS2, &t) != 0 || ioctl(fd, TCGETS2, &got) != 0 || got.c_ispeed != in || got.c_ospeed != out)
            throw std::runtime_error("cannot open the slave or set its rates");
    }
    // Sends `byte` (if any), then takes bytes until `count` have come or `limit` has passed.
    Bytes Ask(std::optional<uint8_t> byte, size_t count = SIZE_MAX, std::chrono::milliseconds limit = 150ms)
    {
        Bytes got;
        uint8_t in = 0;
        if (byte && write(fd, &*byte, 1) != 1)
            throw std::runtime_error("write");
        const auto end = Clock::now() + limit;
        for (pollfd p{fd, POLLIN, 0}; got.size() < count; got.push_back(in)) {
            const int left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count());
            if (left <= 0 || poll(&p, 1, left) != 1 || read(fd, &in, 1) != 1)
                break;
        }
        return got;
    }
    int fd;
};

// Whether the far end hangs the line up within `ms`.
bool HungUp(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1 && (p.revents & POLLHUP) != 0;
}

LmMemory TestMemory()  // every byte differs from its address
{
    LmMemory m{};
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = static_cast<uint8_t>(i ^ 0xA5);
    return m;
}

// A quiet LM (no idle byte can slip in) with a fixed memory, and a client at 977.
struct Link {
    SimulatedLm lm;
    RawClient client{(lm.SetQuiet(true), lm.SetMemory(TestMemory()), lm.SlavePath()), kLow};
};

// The UART model behind the simulators' wrong-rate bytes: listening at 7680 to 977, each
// falling edge starts a frame; the other way round, a 00 looks like a start bit.
TEST(UartModel, BytesAtTheWrongRateArriveGarbledOrNotAtAll)
{
    EXPECT_EQ(ReceiveAtRate(0x13, 977, 7680), (Bytes{0x80, 0x00, 0x00}));
    EXPECT_EQ(ReceiveAtRate(0x00, 7680, 977), Bytes{0xFF});
    EXPECT_EQ(ReceiveAtRate(0x8F, 7680, 977), Bytes{}) << "a start bit checked on a high d2 is none";
    EXPECT_EQ(ReceiveAtRate(0x55, 977, 0), Bytes{});
    EXPECT_EQ(ReceiveAtRate(0xA5, 7680, 7500), Bytes{0xA5}) << "within a UART's tolerance";
    EXPECT_TRUE(RatesMatch(977, 1000) && RatesMatch(7680, 7812));
    EXPECT_FALSE(RatesMatch(7680, 8100) || RatesMatch(0, 0));
}

TEST(SimulatedLm, IdleStreamUntilSpokenToThenACleanStop)
{
    const auto count = [](const char* folder) {
        return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
    };
    const auto fds = count("/proc/self/fd"), threads = count("/proc/self/task");
    std::string path;
    {
        SimulatedLm lm;
        path = lm.SlavePath();
        RawClient client(path, kLow);
        const Bytes stream = client.Ask({}, SIZE_MAX, 300ms);  // as long as the program's probe
        EXPECT_GE(stream.size(), 3u);
        EXPECT_EQ(std::ranges::count(stream, 0) + std::ranges::count(stream, kHandshake), 0);
        const Bytes echo = client.Ask(kHandshake, SIZE_MAX, 300ms);  // perhaps behind a stream byte
        ASSERT_FALSE(echo.empty());
        EXPECT_EQ(echo.back(), kHandshake);
        lm.Stop();
        lm.Stop();
        EXPECT_EQ(count("/proc/self/task"), threads);
    }
    EXPECT_EQ(count("/proc/self/fd"), fds);
    EXPECT_EQ(access(path.c_str(), F_OK), -1) << "the pseudo-terminal is gone";
}

TEST(SimulatedLm, EachFaultAsTheProgramMeetsIt)
{
    // The handshake at 977, its repeat (or the next command's) at 7680, then requests:
    // what comes for each handshake, how many of echo and answer come for a request, and
    // whether the answer differs from the stored byte.
    const std::tuple<LmFault, Bytes, Bytes, size_t, bool> rows[] = {
        {LmFault::None, {kHandshake}, {kHandshake}, 2, false},     {LmFault::Silent, {}, {}, 0, false},
        {LmFault::EchoOnly, {kHandshake}, {kHandshake}, 1, false}, {LmFault::RetryOnly, {}, {kHandshake}, 2, false},
        {LmFault::Garbage, {kHandshake}, {kHandshake}, 2, true},   {LmFault::HangUp, {}, {}, 0, false},
    };
    for (const auto& [fault, at977, at7680, replies, wrong] : rows) {
        SCOPED_TRACE(FaultName(fault));
        Link link;
        link.lm.SetFault(fault);
        if (fault == LmFault::HangUp) {  // as an unplugged cable
            EXPECT_TRUE(HungUp(link.client.fd, 1000));
            continue;
        }
        EXPECT_EQ(link.client.Ask(kHandshake), at977);
        link.client.SetRate(kHigh);
        EXPECT_EQ(link.client.Ask(kHandshake), at7680);
        for (uint8_t address : {0x46, 0x8F}) {
            const Bytes got = link.client.Ask(address);
            ASSERT_EQ(got.size(), replies);
            if (!got.empty()) {
                EXPECT_EQ(got[0], address) << "the echo";
            }
            if (got.size() >= 2) {
                EXPECT_EQ(got[1] != TestMemory()[address], wrong) << "the answer";
            }
        }
    }
}

// tessek-lmsim (next to this program) with `args`; its output and errors come on `out`.
struct Tool {
    explicit Tool(const std::string& args)
    {
        const auto exe = std::filesystem::read_symlink("/proc/self/exe").replace_filename("tessek-lmsim");
        out = popen(("echo $$; exec " + exe.string() + " " + args + " 2>&1").c_str(), "r");
        if (!out || fscanf(out, "%d\n", &pid) != 1)
            throw std::runtime_error("cannot start tessek-lmsim");
    }
    ~Tool() { Finish(SIGKILL); }
    std::string Read(int end = '\n')
    {
        std::string text;
        for (int c; (c = fgetc(out)) != EOF && c != end;)
            text += static_cast<char>(c);
        return text;
    }
    int Finish(int signal)  // the exit status
    {
        if (!out)
            return -1;
        kill(pid, signal);
        Read(EOF);  // so that it can write to the end
        const int status = pclose(std::exchange(out, nullptr));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    FILE* out = nullptr;
    int pid = 0;
};

// The LM's terminal, then the wideband's (here AEM's text lines with a fuel error planted
// everywhere), served until a signal ends the tool.
TEST(LmSimTool, PrintsItsDevicesThenServesThemUntilTerminated)
{
    Tool tool("--quiet 73=5a --log --wideband aem --fuel-error 0-9000:-20-20:10");
    const std::string path = tool.Read(), wideband = tool.Read();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    ASSERT_EQ(wideband.rfind("/dev/pts/", 0), 0u) << wideband;
    {
        RawClient client(path, kLow);
        ASSERT_EQ(client.Ask(kHandshake, 1, 1000ms), Bytes{kHandshake});
        client.SetRate(kHigh);
        EXPECT_EQ(client.Ask(0x73, 2, 1000ms), (Bytes{0x73, 0x5A}));
    }
    EXPECT_FALSE(tool.Read().empty()) << "--log writes the traffic out";
    {
        RawClient client(wideband, 9600);
        const Bytes got = client.Ask(std::nullopt, 18, 1000ms);  // three lines of "14.7\r\n"
        const std::string text(got.begin(), got.end());
        // The second line is whole: idling in closed loop around 14.7, run 10 % lean everywhere.
        const size_t first = text.find('\n');
        ASSERT_NE(first, std::string::npos) << text;
        EXPECT_NEAR(std::stod(text.substr(first + 1)), 14.7 * 1.1, 0.4) << text;
    }
    EXPECT_EQ(tool.Finish(SIGTERM), 0);
    for (const char* args : {"--fault melted", "--answer-delay soon", "100=01", "--frobnicate", "--wideband lc1",
                             "--fuel-error 9-1:0-1:5"}) {
        Tool bad(args);
        EXPECT_EQ(bad.Read(EOF).find("/dev/pts/"), std::string::npos) << args;
        EXPECT_EQ(bad.Finish(0), 2) << args;
    }
}

// The scenario's pressures through the logger's own decoders with the three-bar sensor
// the scenario encodes for. The barometric byte is the MAP sensor's reading of the open air
// (85 counts, 14.64 psi, as the LM takes it through its barometric read solenoid), so MAP
// reads 0.00psi at atmospheric pressure, the idle vacuum and the boost as the scenario
// makes them. The header's number, 30 - 2.036 * BaroRef * MapFunction, is then 30 inHg minus
// the air pressure in inHg: 0.19 near sea level, with this byte as with any byte that
// makes MAP right.
TEST(Scenario, PressuresDecodeAsTheScenarioMakesThem)
{
    constexpr double kMapFunction = 0.172266;
    const LmMemory idle = ScenarioMemory(std::chrono::seconds(5));
    const float baroRef = idle[kBaroAddress];
    EXPECT_EQ(baroRef, 85);
    EXPECT_NEAR(baroRef * kMapFunction, ScenarioState(std::chrono::seconds(5)).baroPsiAbs, kMapFunction / 2);
    const ParameterRow& map = ParameterFor(kMapAddress);
    EXPECT_EQ(DecoderText(map, idle[kBaroAddress], 0, {baroRef, kMapFunction}), " 0.00psi ");
    EXPECT_EQ(DecoderText(map, idle[kMapAddress], 0, {baroRef, kMapFunction}),
              "17.89hg  ");  // 18 inHg, to the nearest count
    double boost = 0;
    for (int ms = 15000; ms < 30000; ms += 10) {
        const LmMemory m = ScenarioMemory(std::chrono::milliseconds(ms));
        boost = std::max(boost, (m[kMapAddress] - double{baroRef}) * kMapFunction);
    }
    EXPECT_NEAR(boost, 12.0, 0.5);
    EXPECT_EQ(BaroText(baroRef, kMapFunction), "  0.19");
}

}  // namespace
}  // namespace tessek::sim
