#include "sim/SimulatedWideband.h"

#include "platform/Termios2.h"
#include "platform/UniqueFd.h"
#include "sim/UartModel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

namespace tessek::sim {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

struct SimulatedWideband::Engine {
    WidebandSimProtocol protocol;
    Clock::time_point start;
    WidebandSignal signal;
    UniqueFd master;
    UniqueFd wake;
    UniqueFd inotify;  // the slave's opens and closes
    std::string slavePath;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<uint32_t> sent{0};

    Engine(WidebandSimProtocol p, Clock::time_point s, WidebandSignal sig)
        : protocol(p), start(s), signal(std::move(sig))
    {
    }

    // Someone has the slave open (the master hangs up while nobody has).
    bool SlaveOpen() const
    {
        pollfd probe{master.Get(), POLLIN, 0};
        return ::poll(&probe, 1, 0) >= 0 && (probe.revents & POLLHUP) == 0;
    }

    // Sends one packet or line for now; returns how long until the next.
    std::chrono::milliseconds SendOne()
    {
        const auto rates = ReadLineRates(master.Get());
        const uint32_t listening = rates ? rates->input : 0;
        const bool mts =
            protocol == WidebandSimProtocol::Mts || (protocol == WidebandSimProtocol::ByRate && listening == kMtsRate);
        const uint32_t own = mts ? kMtsRate : (protocol == WidebandSimProtocol::Aem ? kAemRate : listening);
        const double afr =
            signal.SensorAfr(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start));
        const std::string bytes = mts ? MtsPacket(afr) : AemLine(afr);
        std::vector<uint8_t> arriving;
        for (const char c : bytes) {
            const auto heard = ReceiveAtRate(static_cast<uint8_t>(c), own, listening ? listening : own);
            arriving.insert(arriving.end(), heard.begin(), heard.end());
        }
        // The master never blocks; a full queue drops bytes as an unread line does.
        if (!arriving.empty()) {
            [[maybe_unused]] const auto written = ::write(master.Get(), arriving.data(), arriving.size());
        }
        ++sent;
        return mts ? kMtsInterval : kAemInterval;
    }

    void Run()
    {
        auto next = Clock::now();
        while (!stopping) {
            int timeout = -1;  // nobody there: asleep until the slave is opened
            if (SlaveOpen()) {
                const auto now = Clock::now();
                if (now >= next)
                    next = std::max(next + SendOne(), now);
                timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
            } else {
                next = Clock::now();  // the first packet goes as soon as someone listens
            }
            std::array<pollfd, 2> fds{{{wake.Get(), POLLIN, 0}, {inotify.Get(), POLLIN, 0}}};
            if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
                return;
            std::array<char, 4096> drain;
            if (fds[0].revents & POLLIN) {
                [[maybe_unused]] const auto got = ::read(wake.Get(), drain.data(), sizeof(uint64_t));
            }
            if (fds[1].revents & POLLIN) {
                while (::read(inotify.Get(), drain.data(), drain.size()) > 0) {
                }
            }
        }
    }
};

SimulatedWideband::SimulatedWideband(WidebandSimProtocol protocol, std::chrono::steady_clock::time_point start,
                                     WidebandSignal signal)
    : engine_(std::make_unique<Engine>(protocol, start, std::move(signal)))
{
    Engine& e = *engine_;
    e.master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!e.master.Valid())
        ThrowErrno("posix_openpt");
    if (::grantpt(e.master.Get()) != 0 || ::unlockpt(e.master.Get()) != 0)
        ThrowErrno("grantpt/unlockpt");
    char name[128];
    if (::ptsname_r(e.master.Get(), name, sizeof name) != 0)
        ThrowErrno("ptsname_r");
    e.slavePath = name;
    {
        // Raw at the protocol's rate, as a port is found after the controller's power-up.
        // Closing it again leaves the master hung up until the slave is opened.
        UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        const uint32_t rate = protocol == WidebandSimProtocol::Aem ? kAemRate : kMtsRate;
        if (!slave.Valid() || !SetRawAtRate(slave.Get(), rate))
            ThrowErrno("set up pseudo-terminal slave");
    }
    e.inotify.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!e.inotify.Valid() || ::inotify_add_watch(e.inotify.Get(), name, IN_OPEN | IN_CLOSE) < 0)
        ThrowErrno("watch pseudo-terminal slave");
    e.wake.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!e.wake.Valid())
        ThrowErrno("eventfd");
    e.thread = std::thread([&e] { e.Run(); });
}

SimulatedWideband::~SimulatedWideband()
{
    Stop();
}

void SimulatedWideband::Stop()
{
    Engine& e = *engine_;
    if (e.thread.joinable()) {
        e.stopping = true;
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(e.wake.Get(), &one, sizeof one);
        e.thread.join();
    }
    e.inotify.Reset();
    e.master.Reset();
    e.wake.Reset();
}

const std::string& SimulatedWideband::SlavePath() const
{
    return engine_->slavePath;
}

uint32_t SimulatedWideband::SentCount() const
{
    return engine_->sent;
}

bool ParseWidebandSimProtocol(const std::string& name, WidebandSimProtocol& protocol)
{
    if (name == "mts")
        protocol = WidebandSimProtocol::Mts;
    else if (name == "aem")
        protocol = WidebandSimProtocol::Aem;
    else
        return false;
    return true;
}

}  // namespace tessek::sim
