// The standalone tool and the built-in LM, each driven as the program would use them.
#include "sim/BuiltinSim.h"
#include "sim/SimulatedLm.h"

#include "tests/sim/RawClient.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

namespace tessek::sim {
namespace {

using namespace std::chrono_literals;
using test::RawClient;
using Bytes = std::vector<uint8_t>;

std::string ToolPath()
{
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1) + "tessek-lmsim";
}

// tessek-lmsim as a child process with its standard output (and error) on pipes.
class Tool {
public:
    explicit Tool(std::vector<std::string> args)
    {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        args.insert(args.begin(), ToolPath());
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    ~Tool()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }

    // Everything on standard output up to the first line break, within `limit`.
    std::string FirstLine(std::chrono::milliseconds limit) { return ReadUntilNewline(out_, limit); }
    std::string ErrorLine(std::chrono::milliseconds limit) { return ReadUntilNewline(err_, limit); }

    std::string ReadAllOutput()
    {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = read(out_, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }

    // Sends `signal` (if any) and returns the exit status, or -1 when it does not end.
    int Finish(int signal = 0)
    {
        if (signal != 0)
            kill(pid_, signal);
        for (int i = 0; i < 400; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(5000);
        }
        return -1;
    }

private:
    static std::string ReadUntilNewline(int fd, std::chrono::milliseconds limit)
    {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char c;
            if (read(fd, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

TEST(LmSimTool, PrintsTheDeviceThenServesItUntilTerminated)
{
    Tool tool({"--quiet", "73=5a", "9A=9A", "--log"});
    const std::string path = tool.FirstLine(5s);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
        RawClient client(path, SimulatedLm::kLowRate);
        client.Send(SimulatedLm::kHandshake);
        ASSERT_EQ(client.Take(1, 1000ms), Bytes{SimulatedLm::kHandshake});
        client.SetRate(SimulatedLm::kHighRate);
        client.Send(0x73);
        EXPECT_EQ(client.Take(2, 1000ms), (Bytes{0x73, 0x5A}));
        client.Send(0x9A);
        EXPECT_EQ(client.Take(2, 1000ms), (Bytes{0x9A, 0x9A}));
    }
    EXPECT_FALSE(tool.ErrorLine(1s).empty()) << "--log writes the traffic to standard error";
    EXPECT_EQ(tool.Finish(SIGTERM), 0);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST(LmSimTool, FaultOptionReachesTheLm)
{
    Tool tool({"--fault", "echo-only", "--quiet", "--no-wire-time"});
    const std::string path = tool.FirstLine(5s);
    ASSERT_FALSE(path.empty());
    RawClient client(path, SimulatedLm::kLowRate);
    client.Send(SimulatedLm::kHandshake);
    ASSERT_EQ(client.Take(1, 1000ms), Bytes{SimulatedLm::kHandshake});
    client.SetRate(SimulatedLm::kHighRate);
    client.Send(0x46);
    EXPECT_EQ(client.Collect(150ms), Bytes{0x46});
    EXPECT_EQ(tool.Finish(SIGINT), 0);
}

TEST(LmSimTool, HelpAndBadArguments)
{
    {
        Tool tool({"--help"});
        EXPECT_EQ(tool.Finish(), 0);
        const std::string help = tool.ReadAllOutput();
        for (const char* option : {"--quiet", "--no-wire-time", "--answer-delay", "--fault", "--log", "ADDR=VALUE"})
            EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    const std::vector<std::vector<std::string>> bad = {
        {"--fault", "melted"}, {"--answer-delay"}, {"--answer-delay", "soon"}, {"100=01"}, {"8F=1G"}, {"--frobnicate"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args.front());
        Tool tool(args);
        EXPECT_EQ(tool.Finish(), 2);
        EXPECT_EQ(tool.ReadAllOutput(), "") << "no device path for a bad command line";
    }
}

TEST(BuiltinSim, OneMovingLmPerProcess)
{
    const std::string path = BuiltinSimSlavePath();
    EXPECT_EQ(BuiltinSimSlavePath(), path);
    RawClient client(path, SimulatedLm::kLowRate);
    // A car that is switched on: bytes arrive before anyone speaks.
    EXPECT_FALSE(client.Collect(300ms).empty());
    client.Send(SimulatedLm::kHandshake);
    // The idle stream may still be ahead of the echo.
    bool echoed = false;
    for (int i = 0; i < 10 && !echoed; ++i)
        echoed = client.Next(200ms) == SimulatedLm::kHandshake;
    ASSERT_TRUE(echoed);
    client.SetRate(SimulatedLm::kHighRate);
    client.Collect(50ms);
    client.Send(0x8F);
    const Bytes high = client.Take(2, 1000ms);
    client.Send(0x90);
    const Bytes low = client.Take(2, 1000ms);
    ASSERT_EQ(high.size(), 2u);
    ASSERT_EQ(low.size(), 2u);
    const int rpm = ((high[1] << 8) | low[1]) / 4;
    EXPECT_GE(rpm, 700);
    EXPECT_LE(rpm, 6500);
}

}  // namespace
}  // namespace tessek::sim
