#include "serial/EventThread.h"

#include "platform/CallIfAssigned.h"
#include "platform/ErrorDisplay.h"
#include "platform/UniqueFd.h"
#include "serial/ComPort.h"
#include "serial/SerialDevice.h"

#include <pthread.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

namespace tessek {

namespace detail {

// What the thread and the window thread share. The first group is fixed before the thread
// starts; the second is guarded by `portLock`, which every input-side call of the device
// is made under as well (see SerialDevice.h).
struct ComThreadState {
    TCustomComPort* port = nullptr;
    ISerialDevice* device = nullptr;
    TComEvents mask = 0;
    TSyncMethod sync = smThreadSync;
    int priority = 3;
    int32_t rxEventBytes = 0;   // most bytes one receive event reports; 0: all waiting
    bool takesInput = false;    // the thread reads the input into `input`
    int32_t inputCapacity = 1;  // most bytes `input` holds
    UniqueFd wake;              // eventfd: the stop signal and wake-ups from the window thread
    UniqueFd epoll;             // the thread waits here for `wake` and the device
    // eventfd the window thread watches: the thread asks it here to run what is queued.
    // Invalid without an application on the window thread.
    UniqueFd drain;

    mutable std::mutex portLock;
    std::condition_variable cv;  // a write has returned
    std::deque<TComEvents> queue;
    int32_t queuedRx = 0;     // queued batches with evRxChar
    int32_t queuedOther = 0;  // queued batches with any other event
    std::string input;        // bytes read from the device that the port has not taken
    bool drainAsked = false;  // the window thread is asked to drain and has not finished
    int32_t rxWake = 1;       // queued receive events that wake the window thread; 0: none
    int draining = 0;         // batch runs in progress (nested ones count each)
    bool writing = false;     // the window thread is in a device write
    bool txDue = false;       // a write's output has not yet been seen sent
    bool stop = false;
    bool abandoned = false;  // a handler closed the port: nothing more is delivered
    bool failed = false;     // a handler raised: nothing more is delivered
    bool ended = false;
    std::string error;  // a handler's error on the thread (smNone), for the window thread to show

    void Wake() const { Signal(wake); }
    // Has the window thread run what is queued, at its next pass through its event loop.
    void RequestDrain() const
    {
        if (drain.Valid())
            Signal(drain);
    }

private:
    static void Signal(const UniqueFd& fd)
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd.Get(), &one, sizeof one);
    }
};

}  // namespace detail

namespace {

using State = detail::ComThreadState;
using Lock = std::unique_lock<std::mutex>;

// ---- the queue (lock held) -------------------------------------------------------------

void Push(State& s, TComEvents events)
{
    if (events == 0)
        return;
    s.queue.push_back(events);
    if (events & ComEvent(evRxChar))
        ++s.queuedRx;
    if (events & ~ComEvent(evRxChar))
        ++s.queuedOther;
}

TComEvents Pop(State& s)
{
    const TComEvents events = s.queue.front();
    s.queue.pop_front();
    if (events & ComEvent(evRxChar))
        --s.queuedRx;
    if (events & ~ComEvent(evRxChar))
        --s.queuedOther;
    return events;
}

void DropQueue(State& s)
{
    s.queue.clear();
    s.queuedRx = 0;
    s.queuedOther = 0;
}

// Whether the window thread must be asked to run what is queued; marks it as asked.
// Receive events alone wake it only when as many are queued as its wait needs.
bool TakeDrainRequest(State& s)
{
    if (s.drainAsked || s.stop || s.failed || s.abandoned || s.queue.empty())
        return false;
    if (s.queuedOther == 0 && (s.rxWake == 0 || s.queuedRx < s.rxWake))
        return false;
    s.drainAsked = true;
    return true;
}

// ---- queueing what a look at the device finds (lock held; either thread) ----------------

// The output of the last write has gone: its transmit-empty goes ahead of everything else
// this look found. Input that came with it may have arrived before the queue ran empty; it
// is then counted as a reply rather than lost.
void QueueTransmitEmpty(State& s)
{
    if (!s.txDue || s.device->OutputCount() > 0)
        return;
    s.txDue = false;
    Push(s, ComEvent(evTxEmpty));
}

// One batch with the line events and the first receive event, then one batch per further
// receive event: every RxEventByteLimit bytes read are an event of their own. `held`: the
// bytes the buffer held before the `read` ones.
void QueueLineAndInput(State& s, TComEvents line, size_t held, int32_t read)
{
    const auto before = static_cast<int64_t>(held);
    TComEvents first = line;
    int32_t receiveEvents = 0;
    if (read > 0 && (s.mask & ComEvent(evRxChar)) != 0)
        receiveEvents = s.rxEventBytes > 0 ? (read + s.rxEventBytes - 1) / s.rxEventBytes : 1;
    if (receiveEvents > 0)
        first |= ComEvent(evRxChar);
    const int64_t limit = int64_t{s.inputCapacity} * 4;  // compared with 5 x bytes held
    if (before * 5 < limit && (before + read) * 5 >= limit)
        first |= s.mask & ComEvent(evRx80Full);
    Push(s, first);
    for (int32_t i = 1; i < receiveEvents; ++i)
        Push(s, ComEvent(evRxChar));
}

// Reads what waits in the device into the buffer, at most `count` bytes and as many as fit;
// returns how many (-1: the buffer is full). The read never waits.
int32_t ReadWaitingInput(State& s, uint8_t* chunk, int32_t count)
{
    const int32_t room = s.inputCapacity - static_cast<int32_t>(s.input.size());
    if (room <= 0)
        return -1;
    const int32_t read = std::max(s.device->ReadWaiting(chunk, std::min(room, count)), 0);
    s.input.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(read));
    return read;
}

// One look at the device, the same on either thread: the transmit-empty of output that has
// gone, then the line events and the input that `read` takes, as batches. `read(true)`:
// line events were found, and the bytes waiting must be read with them, whichever thread
// watches the input otherwise, so that a byte the device had before them is never
// delivered after them. Returns what `read` returned (bytes read; negative: none could be).
template <class Read>
int32_t QueueWhatTheDeviceHas(State& s, Read read)
{
    QueueTransmitEmpty(s);
    const TComEvents line = s.device->TakeLineEvents() & s.mask;
    const size_t held = s.input.size();
    const int32_t got = read(line != 0);
    QueueLineAndInput(s, line, held, std::max(got, 0));
    return got;
}

// ---- delivery (window thread; the event thread with smNone) ----------------------------

bool Abandoned(State& s)
{
    std::lock_guard lock(s.portLock);
    return s.abandoned;
}

// The count a receive event reports for `waiting` bytes.
int32_t ReceiveEventCount(int32_t waiting, int32_t limit)
{
    return limit > 0 ? std::min(waiting, limit) : waiting;
}

// The handler calls of one batch, in their fixed order (evError first: the input count
// read for evRxChar also clears the device's error flags).
void DeliverBatch(State& s, TComEvents events)
{
    TCustomComPort& port = *s.port;
    TCustomComPort* sender = &port;
    const auto has = [events](TComEvent e) { return (events & ComEvent(e)) != 0; };
    try {
        const TComEvent order[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                   evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
        for (const TComEvent e : order) {
            if (!has(e))
                continue;
            if (Abandoned(s))
                return;
            switch (e) {
                case evError:
                    if (const TComErrors errors = port.ReadLineErrors())
                        CallIfAssigned(port.OnError, sender, errors);
                    break;
                case evRxChar:
                    if (const int32_t count = ReceiveEventCount(port.InputQueueCount(), s.rxEventBytes); count > 0) {
                        if (port.NotifyRxChar()) {
                            CallIfAssigned(port.OnRxChar, sender, count);
                        } else {
                            std::string bytes;
                            if (const int32_t n = port.ReadBytes(bytes, count); n > 0)
                                CallIfAssigned(port.OnRxBuf, sender, reinterpret_cast<const uint8_t*>(bytes.data()), n);
                        }
                    }
                    break;
                case evTxEmpty:
                    CallIfAssigned(port.OnTxEmpty, sender);
                    break;
                case evBreak:
                    CallIfAssigned(port.OnBreak, sender);
                    break;
                case evRing:
                    CallIfAssigned(port.OnRing, sender);
                    break;
                case evCTS:
                    CallIfAssigned(port.OnCTSChange, sender, port.ReadModemSignals().CTS);
                    break;
                case evDSR:
                    CallIfAssigned(port.OnDSRChange, sender, port.ReadModemSignals().DSR);
                    break;
                case evRxFlag:
                    CallIfAssigned(port.OnRxFlag, sender);
                    break;
                case evRLSD:
                    CallIfAssigned(port.OnRLSDChange, sender, port.ReadModemSignals().RLSD);
                    break;
                case evRx80Full:
                    CallIfAssigned(port.OnRx80Full, sender);
                    break;
            }
        }
    } catch (...) {
        const std::string message = ErrorMessage(std::current_exception());
        {
            std::lock_guard lock(s.portLock);
            s.failed = true;
            DropQueue(s);
            if (s.sync == smNone)
                s.error = message;
        }
        s.Wake();
        if (s.sync != smNone)
            ShowError(message);
        else
            s.RequestDrain();
    }
}

// Runs the queued batches in order until none is left, a handler closes the port or one
// raises. `asked`: this is the drain the window thread was asked for, which ends the
// request and leaves everything to Stop once the stop signal is set.
void RunQueued(State& s, bool asked)
{
    Lock lock(s.portLock);
    ++s.draining;
    while (!s.queue.empty() && !s.abandoned && !s.failed && !(asked && s.stop)) {
        const TComEvents events = Pop(s);
        lock.unlock();
        DeliverBatch(s, events);
        lock.lock();
    }
    --s.draining;
    if (asked)
        s.drainAsked = false;
}

// The window thread's answer to RequestDrain: runs what is queued, then shows an error a
// handler raised on the thread (smNone).
void DrainRequested(State& s)
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(s.drain.Get(), &count, sizeof count);
    RunQueued(s, true);
    std::string error;
    {
        std::lock_guard lock(s.portLock);
        error = std::exchange(s.error, {});
    }
    if (!error.empty())
        ShowError(error);
}

// ---- the thread ------------------------------------------------------------------------

// EventPriority 0 (idle) .. 3 (normal) .. 6 (time-critical) as the best this process may
// have; whatever the system refuses keeps the default priority. Even time-critical is a
// nice value, not a real-time class: every received byte reaches the line discipline
// through a kernel worker of normal priority, which a real-time thread preempts as soon
// as the worker wakes it, only to wait for that same worker in its next wait: one more
// context switch for every byte, and no byte earlier.
void ApplyPriority(int level)
{
    level = std::clamp(level, 0, 6);
    if (level == 3)
        return;
    if (level == 0) {
        sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
    int nice = kNice[level];
    if (nice < 0) {
        // RLIMIT_NICE allows nice values down to 20 - limit without privileges.
        rlimit limit{};
        if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            nice = std::max(nice, std::min(0, 20 - static_cast<int>(limit.rlim_cur)));
    }
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) != 0 && nice < 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 0);
}

// What an epoll event of the thread is about.
constexpr uint32_t kWakeSlot = 0;
constexpr uint32_t kDeviceSlot = 1;

// How often (ms) the thread looks at an output queue that was not empty when a write
// returned (USB adapters often still hold the byte; a pseudo-terminal never does). Each
// ms later is a ms less for the exchange that waits for the transmit-empty.
constexpr int kOutputPollMs = 1;

// Input that cannot be read for want of room in the buffer is looked for this often (ms)
// until there is room again.
constexpr int kPausedInputInterval = 20;

// The thread's loop, one step per concern: wait for the device or the window thread,
// queue the transmit-empty of a write whose output has gone, read the input and queue
// its receive events together with the line events, and hand what is queued over.
class Watcher {
public:
    explicit Watcher(std::shared_ptr<State> state)
        : shared_(std::move(state)), s_(*shared_), device_(*s_.device), lineInterval_(device_.LineEventInterval())
    {
    }

    void Run()
    {
        ApplyPriority(s_.priority);
        try {
            while (Wait()) {
                Lock lock(s_.portLock);
                // A write in progress: its transmit-empty belongs before input that came
                // after it, so wait until the write call has returned (the write time-outs
                // bound it).
                s_.cv.wait(lock, [this] { return !s_.writing || s_.stop; });
                if (s_.stop || s_.failed)
                    break;
                if (hungUp_) {
                    FinalRound(lock);
                    break;
                }
                QueueWhatTheDeviceHas(s_, [this](bool withLineEvents) { return ReadInput(withLineEvents); });
                HandOver(lock);
            }
        } catch (...) {
            // A device call failed: the device is gone or unusable; end quietly.
        }
        Finish();
    }

private:
    // Sleeps until the device has input or is gone, the window thread wakes the thread,
    // or it is time to look at the output queue, paused input or the line counters.
    // False when the thread must end.
    bool Wait()
    {
        int timeout = -1;
        const auto shorten = [&timeout](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
        {
            Lock lock(s_.portLock);
            if (s_.stop || s_.failed)
                return false;
            if (s_.txDue)
                shorten(kOutputPollMs);
        }
        if (inputPaused_)
            shorten(kPausedInputInterval);
        if (lineInterval_ > 0)
            shorten(lineInterval_);
        if (moreInput_)
            timeout = 0;
        epoll_event ready[2]{};
        const int count = ::epoll_wait(s_.epoll.Get(), ready, 2, timeout);
        if (count < 0)
            return errno == EINTR;
        uint32_t device = 0;
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.u32 == kDeviceSlot) {
                device = ready[i].events;
            } else {
                uint64_t value = 0;
                [[maybe_unused]] const ssize_t n = ::read(s_.wake.Get(), &value, sizeof value);
            }
        }
        // The device is gone (a cable pulled, an adapter unplugged): one last round tells why.
        hungUp_ = (device & (EPOLLHUP | EPOLLERR)) != 0;
        inputReported_ = hungUp_ || (device & EPOLLIN) != 0 || std::exchange(moreInput_, false);
        return true;
    }

    // Moves the bytes waiting in the device into the buffer, as many as fit; returns how
    // many. The read never waits. It is made when the wait reported input, when input is
    // paused, and with line events: then also while the window thread watches the input
    // and has not yet read what came before them.
    int32_t ReadInput(bool withLineEvents)
    {
        if (!s_.takesInput || !(inputReported_ || inputPaused_ || withLineEvents))
            return 0;
        const int32_t room = s_.inputCapacity - static_cast<int32_t>(s_.input.size());
        const int32_t read = ReadWaitingInput(s_, chunk_.data(), static_cast<int32_t>(chunk_.size()));
        // The wait reports input only as it arrives: a read that took all it asked for may
        // have left some behind, which the next round reads without waiting.
        moreInput_ = read > 0 && read == std::min(room, static_cast<int32_t>(chunk_.size()));
        inputPaused_ = read <= 0 && (read < 0 || inputReported_);
        return std::max(read, 0);
    }

    // The device hung up: the bytes it still holds and its line events (its I/O error is
    // ceIO, which the read on the hung-up device brings about) are handed over, then the
    // thread ends. Nothing here may fail: the device is gone.
    void FinalRound(Lock& lock)
    {
        try {
            QueueTransmitEmpty(s_);
        } catch (...) {
            // A hung-up device has no output queue to ask about.
        }
        const size_t held = s_.input.size();
        int32_t read = 0;
        try {
            read = ReadInput(true);
        } catch (...) {
            // Asking a hung-up device how much it holds may fail; the read below tells.
        }
        try {
            // One more read, whatever the device counts: on a hung-up device it fails, and
            // that failure is the line's I/O error.
            uint8_t byte = 0;
            if (s_.takesInput && device_.Read(&byte, 1) > 0) {
                s_.input.push_back(static_cast<char>(byte));
                ++read;
            }
        } catch (...) {
            // The device counts the failed read as a line error (ceIO).
        }
        TComEvents line = 0;
        try {
            line = device_.TakeLineEvents() & s_.mask;
        } catch (...) {
            // Nothing more to learn from a device that is gone.
        }
        QueueLineAndInput(s_, line, held, read);
        HandOver(lock);
    }

    // Asks the window thread for one drain of what is queued unless one is pending
    // (smNone: runs it here).
    void HandOver(Lock& lock)
    {
        if (s_.sync == smNone) {
            lock.unlock();
            RunQueued(s_, false);
            return;
        }
        const bool ask = TakeDrainRequest(s_);
        lock.unlock();
        if (ask)
            s_.RequestDrain();
    }

    void Finish()
    {
        try {
            device_.Purge(true, true);
        } catch (...) {
            // A vanished device cannot be purged; nothing is lost by that.
        }
        std::lock_guard lock(s_.portLock);
        s_.ended = true;
    }

    std::shared_ptr<State> shared_;
    State& s_;
    ISerialDevice& device_;
    const int lineInterval_;
    bool inputReported_ = false;         // the last wait reported input
    bool inputPaused_ = false;           // no room: input is looked for from time to time
    bool moreInput_ = false;             // the last read may have left input behind
    bool hungUp_ = false;                // the last wait found the device gone
    std::array<uint8_t, 4096> chunk_{};  // one read's bytes; more waiting are read next round
};

}  // namespace

TComThread::TComThread(TCustomComPort* port) : state_(std::make_shared<State>())
{
    State& s = *state_;
    s.port = port;
    s.device = port->Device();
    s.mask = port->Events();
    s.sync = port->SyncMethod();
    s.priority = port->EventPriority();
    s.rxEventBytes = port->RxEventByteLimit();
    s.rxWake = port->RxWakeCount();
    s.takesInput = (s.mask & (ComEvent(evRxChar) | ComEvent(evRx80Full))) != 0;
    s.inputCapacity = std::max(1, s.device->InputCapacity());
    s.wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!s.wake.Valid())
        throw std::system_error(errno, std::generic_category(), "eventfd");
    // The device is watched edge-triggered: a wait on a tty that finds no input first waits
    // for the kernel's worker that is still handing on the last bytes (a context switch each
    // way, at every request of a run), while an edge-triggered wait sleeps at once and the
    // worker wakes it when the next byte is there. Without input to take, only the device's
    // hang-up and errors wake it.
    s.epoll.Reset(::epoll_create1(EPOLL_CLOEXEC));
    epoll_event wake{EPOLLIN, {.u32 = kWakeSlot}};
    epoll_event device{EPOLLET | (s.takesInput ? EPOLLIN : 0u), {.u32 = kDeviceSlot}};
    if (!s.epoll.Valid() || ::epoll_ctl(s.epoll.Get(), EPOLL_CTL_ADD, s.wake.Get(), &wake) != 0 ||
        ::epoll_ctl(s.epoll.Get(), EPOLL_CTL_ADD, s.device->WaitFd(), &device) != 0)
        throw std::system_error(errno, std::generic_category(), "epoll");
    QCoreApplication* app = QCoreApplication::instance();
    if (app && app->thread() == QThread::currentThread()) {
        // The thread's requests to drain reach the window thread's event loop through an
        // eventfd it watches: one write and one read, and every step is a system call or
        // a lock that the thread sanitizer follows.
        s.drain.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!s.drain.Valid())
            throw std::system_error(errno, std::generic_category(), "eventfd");
        drainRequests_ = std::make_unique<QSocketNotifier>(s.drain.Get(), QSocketNotifier::Read);
        QObject::connect(drainRequests_.get(), &QSocketNotifier::activated,
                         [state = state_] { DrainRequested(*state); });
    }
    if (drainRequests_ && s.sync != smNone) {
        drainSoon_ = std::make_unique<QTimer>();
        drainSoon_->setSingleShot(true);
        drainSoon_->setInterval(0);
        QObject::connect(drainSoon_.get(), &QTimer::timeout, [state = state_] { RunQueued(*state, true); });
        if (s.takesInput) {
            windowThreadInput_ = std::make_unique<QSocketNotifier>(s.device->WaitFd(), QSocketNotifier::Read);
            windowThreadInput_->setEnabled(false);
            QObject::connect(windowThreadInput_.get(), &QSocketNotifier::activated,
                             [this] { ReadInputOnWindowThread(); });
        }
    }
    thread_ = std::thread([state = state_] { Watcher(state).Run(); });
}

void TComThread::DrainSoon()
{
    if (drainSoon_)
        drainSoon_->start();
    else
        state_->RequestDrain();
}

TComThread::~TComThread()
{
    Stop();
}

void TComThread::SetWaitingForInput(bool waiting)
{
    waitingForInput_ = waiting;
    if (waiting && windowThreadInput_ && !windowThreadInput_->isEnabled())
        WatchInputOnWindowThread(true);
}

void TComThread::RunOwnEvents()
{
    if (!drainSoon_ || !drainSoon_->isActive())
        return;
    drainSoon_->stop();
    // As in ReadInputOnWindowThread: a handler may close the port and destroy this object.
    const std::shared_ptr<State> state = state_;
    RunQueued(*state, true);
}

void TComThread::WatchInputOnWindowThread(bool on)
{
    State& s = *state_;
    if (on) {
        std::lock_guard lock(s.portLock);
        if (s.stop || s.failed || s.abandoned || s.ended)
            return;
    }
    // Handing the input over in either direction loses nothing: the thread's wait is
    // edge-triggered, and giving it the input again reports what waits in the device.
    epoll_event device{EPOLLET | (on ? 0u : EPOLLIN), {.u32 = kDeviceSlot}};
    if (::epoll_ctl(s.epoll.Get(), EPOLL_CTL_MOD, s.device->WaitFd(), &device) != 0 && on)
        return;
    windowThreadInput_->setEnabled(on);
}

void TComThread::ReadInputOnWindowThread()
{
    // A handler run below may close the port, which destroys this object: the state stays
    // for the batches' run, and nothing of this object is used after it.
    const std::shared_ptr<State> state = state_;
    State& s = *state;
    if (!waitingForInput_) {
        // Input outside a wait: the thread reads it, and the wake hint applies as before.
        WatchInputOnWindowThread(false);
        return;
    }
    bool handBack = false;
    {
        std::lock_guard lock(s.portLock);
        if (s.stop || s.failed || s.abandoned || s.ended) {
            handBack = true;
        } else {
            try {
                const int32_t read = QueueWhatTheDeviceHas(s, [&](bool) {
                    return ReadWaitingInput(s, windowThreadChunk_.data(),
                                            static_cast<int32_t>(windowThreadChunk_.size()));
                });
                // A full buffer, or nothing to read because the device has hung up: the
                // thread's own handling takes over. (Nothing to read on a device that is
                // still there: the thread's look has just taken it with line events.)
                handBack = read < 0 || (read == 0 && HungUp(s.device->WaitFd()));
            } catch (...) {
                // A device call failed (the device is gone, say): the thread finds out and
                // ends as it does for a device that vanishes while it waits.
                handBack = true;
            }
        }
    }
    if (handBack)
        WatchInputOnWindowThread(false);
    RunQueued(s, false);
}

void TComThread::Stop()
{
    State& s = *state_;
    if (stopping_) {
        // A handler of a batch run below closes the port again.
        std::lock_guard lock(s.portLock);
        s.abandoned = true;
        return;
    }
    if (!thread_.joinable())
        return;
    if (windowThreadInput_)
        windowThreadInput_->setEnabled(false);
    {
        std::lock_guard lock(s.portLock);
        s.stop = true;
        // Close from a handler: the rest of its batch and the queue are abandoned.
        if (s.draining > 0)
            s.abandoned = true;
    }
    s.Wake();
    s.cv.notify_all();
    thread_.join();
    stopping_ = true;
    RunQueued(s, false);
    stopping_ = false;
    std::string error;
    {
        std::lock_guard lock(s.portLock);
        DropQueue(s);
        s.input.clear();
        error = std::exchange(s.error, {});
    }
    if (!error.empty())
        ShowError(error);
}

void TComThread::WithPortLock(const std::function<void()>& change)
{
    std::lock_guard lock(state_->portLock);
    change();
}

bool TComThread::TakesInput() const
{
    return state_->takesInput;
}

int32_t TComThread::InputCount()
{
    State& s = *state_;
    std::lock_guard lock(s.portLock);
    return s.input.empty() ? s.device->InputCount() : static_cast<int32_t>(s.input.size());
}

int32_t TComThread::ReadInput(uint8_t* data, int32_t count)
{
    State& s = *state_;
    std::lock_guard lock(s.portLock);
    if (s.input.empty())
        return s.device->Read(data, count);
    const int32_t n = std::min(count, static_cast<int32_t>(s.input.size()));
    std::memcpy(data, s.input.data(), static_cast<size_t>(n));
    s.input.erase(0, static_cast<size_t>(n));
    return n;
}

void TComThread::Purge(bool input, bool output)
{
    State& s = *state_;
    std::lock_guard lock(s.portLock);
    s.device->Purge(input, output);
    if (input)
        s.input.clear();
}

void TComThread::NoteWriteStarted()
{
    std::lock_guard lock(state_->portLock);
    state_->writing = true;
}

void TComThread::NoteWriteDone()
{
    State& s = *state_;
    if ((s.mask & ComEvent(evTxEmpty)) == 0) {
        {
            std::lock_guard lock(s.portLock);
            s.writing = false;
        }
        s.cv.notify_all();
        return;
    }
    // Looked at before `writing` ends, so that no input that came after the output has
    // gone is queued ahead of its transmit-empty. A queue that is still sending is left to
    // the thread (as is a device that cannot tell).
    int32_t queued = 1;
    try {
        queued = s.device->OutputCount();
    } catch (const DeviceError&) {
        // The thread finds out (a vanished device ends it).
    }
    bool drain = false;
    bool wake = false;
    {
        std::lock_guard lock(s.portLock);
        s.writing = false;
        if (queued == 0) {
            s.txDue = false;
            Push(s, ComEvent(evTxEmpty));
            drain = s.sync != smNone && TakeDrainRequest(s);
            wake = s.sync == smNone;  // the thread runs the handlers
        } else {
            s.txDue = true;
            wake = true;
        }
    }
    s.cv.notify_all();
    if (wake)
        s.Wake();
    if (drain)
        DrainSoon();
}

void TComThread::SetRxWakeCount(int32_t count)
{
    State& s = *state_;
    bool drain = false;
    {
        std::lock_guard lock(s.portLock);
        s.rxWake = std::max(count, 0);
        drain = s.sync != smNone && TakeDrainRequest(s);
    }
    if (drain)
        DrainSoon();
}

bool TComThread::HandOverPending() const
{
    std::lock_guard lock(state_->portLock);
    return !state_->queue.empty();
}

bool TComThread::Finished() const
{
    std::lock_guard lock(state_->portLock);
    return state_->ended;
}

}  // namespace tessek
