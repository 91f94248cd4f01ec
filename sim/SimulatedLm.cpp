#include "sim/SimulatedLm.h"

#include "platform/Termios2.h"
#include "platform/UniqueFd.h"
#include "sim/UartModel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace tessek::sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The stream of a module that is switched on and not spoken to: never 00 (which the
// program cannot tell from "nothing") and never the handshake byte.
constexpr std::array<uint8_t, 8> kIdleBytes = {0x2C, 0x95, 0x47, 0xB8, 0x61, 0xDA, 0x3E, 0x83};
constexpr auto kIdleInterval = 70ms;
constexpr auto kIdleAfterTalk = 500ms;
constexpr auto kFirstIdleByte = 20ms;

[[noreturn]] void ThrowErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Ten bits (start, eight data, stop) at `baud`.
Clock::duration ByteTime(uint32_t baud)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / baud));
}

}  // namespace

struct SimulatedLm::Engine {
    struct Outgoing {
        Clock::time_point due;
        uint8_t value;
        uint32_t baud;  // the rate the byte goes out at
        const char* what;
    };

    UniqueFd master;
    UniqueFd inotify;
    UniqueFd wake;
    std::string slavePath;
    Clock::time_point start = Clock::now();
    std::thread thread;
    std::atomic<bool> stopping{false};

    // Shared with the callers' threads, under `mutex`.
    mutable std::mutex mutex;
    std::condition_variable hungUpSignal;
    std::array<bool, 256> pinned{};
    LmMemory pins{};
    LmFault fault = LmFault::None;
    bool wireTiming = true;
    int answerDelayMs = 0;
    bool quiet = false;
    int highRateTimeoutMs = 0;
    int missAddress = 0;
    int missEvery = 0;
    bool hungUp = false;
    std::function<void(const std::string&)> log;

    std::atomic<uint32_t> requests{0};
    std::atomic<uint32_t> handshakes{0};
    std::atomic<uint32_t> ignored{0};
    std::atomic<uint32_t> rate{kLowRate};

    // The LM thread's own state.
    uint32_t lmRate = kLowRate;
    bool connected = false;
    std::deque<Outgoing> queue;
    Clock::time_point lastOutDue{};
    Clock::time_point rxLineFree{};
    Clock::time_point lastRx{};
    Clock::time_point nextIdle{};
    size_t idleIndex = 0;
    uint32_t garbageState = 0x9E3779B9u;
    long missCount = 0;  // requests of the missed address so far

    struct Settings {
        LmFault fault;
        bool wireTiming;
        int answerDelayMs;
        bool quiet;
        int highRateTimeoutMs;
        int missAddress;
        int missEvery;
    };

    Settings Snapshot() const
    {
        std::lock_guard lock(mutex);
        return {fault, wireTiming, answerDelayMs, quiet, highRateTimeoutMs, missAddress, missEvery};
    }

    LmMemory MemoryNow() const
    {
        LmMemory memory = ScenarioMemory(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start));
        std::lock_guard lock(mutex);
        for (size_t i = 0; i < memory.size(); ++i) {
            if (pinned[i])
                memory[i] = pins[i];
        }
        return memory;
    }

    void Wake() const
    {
        const uint64_t one = 1;
        // A full counter still wakes the thread, so a failed write loses nothing.
        [[maybe_unused]] const auto written = ::write(wake.Get(), &one, sizeof one);
    }

    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        std::function<void(const std::string&)> sink;
        {
            std::lock_guard lock(mutex);
            sink = log;
        }
        if (!sink)
            return;
        char text[200];
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const int stamp = std::snprintf(text, sizeof text, "%10.1f ms  ", ms);
        va_list args;
        va_start(args, format);
        std::vsnprintf(text + stamp, sizeof text - static_cast<size_t>(stamp), format, args);
        va_end(args);
        try {
            sink(text);
        } catch (...) {
            // A failing log must not end the LM.
        }
    }

    void SetLmRate(uint32_t baud)
    {
        if (lmRate == baud)
            return;
        lmRate = baud;
        rate = baud;
        Log("LM now at %u baud", baud);
    }

    void Queue(Clock::time_point due, uint8_t value, uint32_t baud, bool wire, const char* what)
    {
        // One byte at a time on the line, in order.
        if (wire)
            due = std::max(due, lastOutDue + ByteTime(baud));
        due = std::max(due, lastOutDue);
        lastOutDue = due;
        queue.push_back({due, value, baud, what});
    }

    void Deliver(const Outgoing& out)
    {
        const auto rates = ReadLineRates(master.Get());
        const uint32_t listening = rates ? rates->input : out.baud;
        const std::vector<uint8_t> arriving = ReceiveAtRate(out.value, out.baud, listening);
        if (!arriving.empty()) {
            // The master never blocks; a full queue drops bytes as an unread line does.
            [[maybe_unused]] const auto written = ::write(master.Get(), arriving.data(), arriving.size());
        }
        if (arriving.size() == 1 && arriving[0] == out.value) {
            Log("tx %02X %s", out.value, out.what);
            return;
        }
        std::string seen;
        for (uint8_t b : arriving) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", b);
            seen += hex;
        }
        Log("tx %02X %s at %u baud, heard at %u baud as:%s", out.value, out.what, out.baud, listening,
            seen.empty() ? " nothing" : seen.c_str());
    }

    void Handle(uint8_t value, uint32_t sentBaud, Clock::time_point receivedAt, const Settings& s)
    {
        if (s.fault == LmFault::Silent) {
            Log("rx %02X at %u baud: silent", value, sentBaud);
            return;
        }
        if (!RatesMatch(sentBaud, lmRate)) {
            ++ignored;
            Log("rx %02X at %u baud: not understood at %u baud", value, sentBaud, lmRate);
            return;
        }
        lastRx = receivedAt;
        if (value == kHandshake) {
            ++handshakes;
            const bool echo = !(s.fault == LmFault::RetryOnly && lmRate == kLowRate);
            Log("rx 12 at %u baud: handshake%s", sentBaud, echo ? "" : ", not echoed");
            if (echo)
                Queue(receivedAt, value, lmRate, s.wireTiming, "echo");
            SetLmRate(kHighRate);
            return;
        }
        if (lmRate != kHighRate) {
            Log("rx %02X at %u baud: no handshake yet, ignored", value, sentBaud);
            return;
        }
        ++requests;
        Queue(receivedAt, value, lmRate, s.wireTiming, "echo");
        if (s.fault == LmFault::EchoOnly) {
            Log("rx %02X: request, echo only", value);
            return;
        }
        if (s.missEvery > 0 && value == s.missAddress && ++missCount % s.missEvery == 0) {
            Log("rx %02X: request, echo only (a missed answer)", value);
            return;
        }
        uint8_t answer = MemoryNow()[value];
        if (s.fault == LmFault::Garbage) {
            garbageState ^= garbageState << 13;
            garbageState ^= garbageState >> 17;
            garbageState ^= garbageState << 5;
            answer = static_cast<uint8_t>(answer ^ (1 + garbageState % 255));
        }
        Log("rx %02X: request", value);
        const auto answerAt = receivedAt + (s.wireTiming ? ByteTime(lmRate) : Clock::duration::zero()) +
                              std::chrono::milliseconds(s.answerDelayMs);
        Queue(answerAt, answer, lmRate, s.wireTiming, "answer");
    }

    void ReadRequests()
    {
        std::array<uint8_t, 256> buffer;
        const ssize_t n = ::read(master.Get(), buffer.data(), buffer.size());
        if (n <= 0)
            return;
        const auto now = Clock::now();
        const auto rates = ReadLineRates(master.Get());
        const uint32_t sentBaud = rates ? rates->output : 0;
        const Settings s = Snapshot();
        for (ssize_t i = 0; i < n; ++i) {
            // The pseudo-terminal hands over a byte as it is written; on the wire it is
            // complete one byte time later.
            rxLineFree =
                std::max(now, rxLineFree) + (s.wireTiming && sentBaud ? ByteTime(sentBaud) : Clock::duration{});
            Handle(buffer[static_cast<size_t>(i)], sentBaud, rxLineFree, s);
        }
    }

    // Drops what the last user of the slave left unread, so the next one starts clean.
    void FlushSlaveInput() const
    {
        UniqueFd slave(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (slave.Valid())
            ::tcflush(slave.Get(), TCIFLUSH);
    }

    void CheckConnection()
    {
        pollfd probe{master.Get(), POLLIN, 0};
        if (::poll(&probe, 1, 0) < 0)
            return;
        const bool slaveOpen = (probe.revents & POLLHUP) == 0;
        if (slaveOpen && !connected) {
            connected = true;
            nextIdle = Clock::now() + kFirstIdleByte;
            Log("slave opened");
        } else if (!slaveOpen && connected) {
            Disconnect();
        }
    }

    void Disconnect()
    {
        connected = false;
        queue.clear();
        Log("slave closed");
        SetLmRate(kLowRate);
        FlushSlaveInput();
    }

    void HangUp()
    {
        queue.clear();
        connected = false;
        inotify.Reset();
        master.Reset();
        {
            std::lock_guard lock(mutex);
            hungUp = true;
        }
        hungUpSignal.notify_all();
        Log("hung up");
    }

    bool IdleStreamWanted(const Settings& s) const
    {
        return connected && lmRate == kLowRate && !s.quiet && s.fault != LmFault::Silent &&
               s.fault != LmFault::HangUp && queue.empty();
    }

    void Run()
    {
        // Wire time is a few hundred microseconds per byte at 7680 baud: the default timer
        // slack (50 us) would add to every byte.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        CheckConnection();
        while (!stopping) {
            const Settings s = Snapshot();
            if (s.fault == LmFault::HangUp && master.Valid())
                HangUp();

            auto now = Clock::now();
            while (!queue.empty() && queue.front().due <= now) {
                Deliver(queue.front());
                queue.pop_front();
                // After a late wake-up the next byte still leaves one byte time after this
                // one really left: two bytes never reach the line at the same instant.
                if (s.wireTiming && !queue.empty()) {
                    Outgoing& next = queue.front();
                    next.due = std::max(next.due, Clock::now() + ByteTime(next.baud));
                    lastOutDue = std::max(lastOutDue, next.due);
                }
            }
            if (s.highRateTimeoutMs > 0 && lmRate == kHighRate &&
                now - lastRx >= std::chrono::milliseconds(s.highRateTimeoutMs)) {
                Log("no byte for %d ms", s.highRateTimeoutMs);
                SetLmRate(kLowRate);
            }

            std::optional<Clock::time_point> deadline;
            auto earliest = [&deadline](Clock::time_point t) {
                if (!deadline || t < *deadline)
                    deadline = t;
            };
            if (!queue.empty())
                earliest(queue.front().due);
            if (s.highRateTimeoutMs > 0 && lmRate == kHighRate)
                earliest(lastRx + std::chrono::milliseconds(s.highRateTimeoutMs));
            if (IdleStreamWanted(s)) {
                const auto due = std::max(nextIdle, lastRx + kIdleAfterTalk);
                if (due <= now) {
                    Queue(now, kIdleBytes[idleIndex++ % kIdleBytes.size()], kLowRate, s.wireTiming, "idle");
                    nextIdle = now + kIdleInterval;
                    continue;
                }
                earliest(due);
            }

            std::array<pollfd, 3> fds{};
            nfds_t count = 0;
            fds[count++] = {wake.Get(), POLLIN, 0};
            const nfds_t inotifyAt = count;
            if (inotify.Valid())
                fds[count++] = {inotify.Get(), POLLIN, 0};
            const nfds_t masterAt = count;
            if (connected && master.Valid())
                fds[count++] = {master.Get(), POLLIN, 0};

            timespec timeout{};
            if (deadline) {
                const auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
                timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            }
            if (::ppoll(fds.data(), count, deadline ? &timeout : nullptr, nullptr) < 0) {
                if (errno == EINTR)
                    continue;
                Log("ppoll failed: errno %d", errno);
                return;
            }
            if (fds[0].revents & POLLIN) {
                uint64_t counter = 0;
                [[maybe_unused]] const auto got = ::read(wake.Get(), &counter, sizeof counter);
            }
            if (inotifyAt < count && fds[inotifyAt].fd == inotify.Get() && fds[inotifyAt].revents) {
                std::array<char, 4096> events;
                while (::read(inotify.Get(), events.data(), events.size()) > 0) {
                }
                if (!connected)
                    CheckConnection();
            }
            if (masterAt < count && fds[masterAt].fd == master.Get() && fds[masterAt].revents) {
                if (fds[masterAt].revents & POLLIN)
                    ReadRequests();
                if (fds[masterAt].revents & (POLLHUP | POLLERR))
                    CheckConnection();
            }
        }
    }
};

SimulatedLm::SimulatedLm() : engine_(std::make_unique<Engine>())
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
        // The line starts raw at 977 baud, as a user of the slave would find a real port
        // after the LM's power-up. Closing it again leaves the master hung up until the
        // slave is opened, which is how the LM tells "nobody there".
        UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!slave.Valid())
            ThrowErrno("open pseudo-terminal slave");
        if (!SetRawAtRate(slave.Get(), kLowRate))
            ThrowErrno("set slave line settings");
    }
    e.inotify.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!e.inotify.Valid() || ::inotify_add_watch(e.inotify.Get(), name, IN_OPEN | IN_CLOSE) < 0)
        ThrowErrno("watch pseudo-terminal slave");
    e.wake.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!e.wake.Valid())
        ThrowErrno("eventfd");
    e.start = Clock::now();
    e.thread = std::thread([&e] { e.Run(); });
}

SimulatedLm::~SimulatedLm()
{
    Stop();
}

void SimulatedLm::Stop()
{
    Engine& e = *engine_;
    if (e.thread.joinable()) {
        e.stopping = true;
        e.Wake();
        e.thread.join();
    }
    e.inotify.Reset();
    e.master.Reset();
    e.wake.Reset();
}

const std::string& SimulatedLm::SlavePath() const
{
    return engine_->slavePath;
}

void SimulatedLm::SetMemory(const LmMemory& memory)
{
    std::lock_guard lock(engine_->mutex);
    engine_->pins = memory;
    engine_->pinned.fill(true);
}

void SimulatedLm::SetByte(uint8_t address, uint8_t value)
{
    std::lock_guard lock(engine_->mutex);
    engine_->pins[address] = value;
    engine_->pinned[address] = true;
}

void SimulatedLm::UseScenario()
{
    std::lock_guard lock(engine_->mutex);
    engine_->pinned.fill(false);
}

LmMemory SimulatedLm::Memory() const
{
    return engine_->MemoryNow();
}

void SimulatedLm::SetFault(LmFault fault)
{
    Engine& e = *engine_;
    std::unique_lock lock(e.mutex);
    e.fault = fault;
    lock.unlock();
    e.Wake();
    if (fault == LmFault::HangUp && e.thread.joinable()) {
        // Callers rely on the line being dead when this returns.
        lock.lock();
        e.hungUpSignal.wait(lock, [&e] { return e.hungUp; });
    }
}

LmFault SimulatedLm::Fault() const
{
    std::lock_guard lock(engine_->mutex);
    return engine_->fault;
}

void SimulatedLm::SetWireTiming(bool on)
{
    std::lock_guard lock(engine_->mutex);
    engine_->wireTiming = on;
}

void SimulatedLm::SetMissedAnswers(uint8_t address, int every)
{
    std::lock_guard lock(engine_->mutex);
    engine_->missAddress = address;
    engine_->missEvery = std::max(0, every);
}

void SimulatedLm::SetAnswerDelay(int milliseconds)
{
    std::lock_guard lock(engine_->mutex);
    engine_->answerDelayMs = std::max(0, milliseconds);
}

void SimulatedLm::SetQuiet(bool quiet)
{
    {
        std::lock_guard lock(engine_->mutex);
        engine_->quiet = quiet;
    }
    engine_->Wake();
}

void SimulatedLm::SetHighRateTimeout(int milliseconds)
{
    {
        std::lock_guard lock(engine_->mutex);
        engine_->highRateTimeoutMs = std::max(0, milliseconds);
    }
    engine_->Wake();
}

void SimulatedLm::SetLog(std::function<void(const std::string&)> log)
{
    std::lock_guard lock(engine_->mutex);
    engine_->log = std::move(log);
}

uint32_t SimulatedLm::RequestCount() const
{
    return engine_->requests;
}

uint32_t SimulatedLm::HandshakeCount() const
{
    return engine_->handshakes;
}

uint32_t SimulatedLm::IgnoredCount() const
{
    return engine_->ignored;
}

uint32_t SimulatedLm::Rate() const
{
    return engine_->rate;
}

namespace {
constexpr std::array<std::pair<LmFault, const char*>, 6> kFaultNames = {{
    {LmFault::None, "none"},
    {LmFault::Silent, "silent"},
    {LmFault::EchoOnly, "echo-only"},
    {LmFault::RetryOnly, "retry-only"},
    {LmFault::Garbage, "garbage"},
    {LmFault::HangUp, "hang-up"},
}};
}  // namespace

const char* FaultName(LmFault fault)
{
    for (const auto& [value, name] : kFaultNames) {
        if (value == fault)
            return name;
    }
    return "?";
}

bool ParseFault(const std::string& name, LmFault& fault)
{
    for (const auto& [value, text] : kFaultNames) {
        if (name == text) {
            fault = value;
            return true;
        }
    }
    return false;
}

}  // namespace tessek::sim
