#include "serial/EventThread.h"

#include "platform/CallIfAssigned.h"
#include "platform/ErrorDisplay.h"
#include "serial/ComPort.h"
#include "serial/SerialDevice.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace tessek {

struct TComThread::Shared {
    TCustomComPort* port = nullptr;
    ISerialDevice* device = nullptr;
    TComEvents mask = 0;
    TSyncMethod sync = smThreadSync;
    int priority = 3;
    int32_t rxEventBytes = 0;  // most bytes one receive event reports; 0: all waiting
    int wakeFd = -1;           // owned by TComThread, closed after the thread has ended

    std::mutex m;
    std::condition_variable cv;
    enum class Slot { Empty, Posted, Running };
    Slot slot = Slot::Empty;
    TComEvents batch = 0;
    uint64_t batchId = 0;
    std::thread::id runner;
    bool stop = false;
    bool abandoned = false;  // the port was closed by a handler of the running batch
    bool failed = false;     // a handler raised
    bool ended = false;

    std::atomic<uint64_t> writesStarted{0};
    std::atomic<uint64_t> writesDone{0};
    std::atomic<uint64_t> consumed{0};
    std::atomic<int32_t> rate{9600};

    void Wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }
};

namespace {

using Shared = TComThread::Shared;

bool Abandoned(Shared& s)
{
    std::lock_guard lock(s.m);
    return s.abandoned;
}

// The count a receive event reports for `waiting` bytes. With a limit, the bytes left over
// are reported again at once as events of their own (see Run).
int32_t ReceiveEventCount(int32_t waiting, int32_t limit)
{
    return limit > 0 ? std::min(waiting, limit) : waiting;
}

// The handler calls of one batch, in their fixed order (evError first: the input count
// read for evRxChar also clears the device's error flags). Runs on the window thread.
void DeliverBatch(Shared& s, TComEvents events)
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
        {
            std::lock_guard lock(s.m);
            s.failed = true;
        }
        const std::string message = ErrorMessage(std::current_exception());
        if (s.sync != smNone) {
            ShowError(message);
        } else if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app, [message] { ShowError(message); }, Qt::QueuedConnection);
        }
    }
}

// Runs batch `id` when it is still waiting (Close may have run it already).
void RunPosted(const std::shared_ptr<Shared>& s, uint64_t id)
{
    TComEvents events = 0;
    {
        std::lock_guard lock(s->m);
        if (s->slot != Shared::Slot::Posted || s->batchId != id)
            return;
        s->slot = Shared::Slot::Running;
        s->runner = std::this_thread::get_id();
        events = s->batch;
    }
    DeliverBatch(*s, events);
    {
        std::lock_guard lock(s->m);
        if (s->slot == Shared::Slot::Running && s->batchId == id)
            s->slot = Shared::Slot::Empty;
    }
    s->cv.notify_all();
}

// EventPriority 0 (idle) .. 3 (normal) .. 6 (time-critical) as the best this process may
// have; whatever the system refuses keeps the default priority.
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
    if (level == 6) {
        // Real-time, but below the kernel's interrupt threads (priority 50), which deliver
        // the very bytes this thread waits for.
        sched_param param{};
        param.sched_priority = std::min(10, sched_get_priority_max(SCHED_FIFO));
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
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

// How long (ms) to sleep before looking at a non-empty output queue again: about the
// time the queued bytes take on the wire, within bounds.
int DrainWaitMs(int32_t queued, int32_t rate)
{
    const int64_t ms = int64_t{queued} * 10 * 1000 / std::max(rate, 1) + 1;
    return static_cast<int>(std::clamp<int64_t>(ms, 1, 50));
}

// While unread input sits in the queue, poll() would report it at once, again and again;
// the thread then looks for newly arrived bytes this often instead (ms).
constexpr int kStalledInputInterval = 20;

}  // namespace

TComThread::TComThread(TCustomComPort* port) : shared_(std::make_shared<Shared>())
{
    Shared& s = *shared_;
    s.port = port;
    s.device = port->Device();
    s.mask = port->Events();
    s.sync = port->SyncMethod();
    s.priority = port->EventPriority();
    s.rxEventBytes = port->RxEventByteLimit();
    s.rate = port->BaudRate() == brCustom ? port->CustomBaudRate() : kBaudRateTable[port->BaudRate() % kBaudRateCount];
    s.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s.wakeFd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        ::close(s.wakeFd);
        throw;
    }
}

TComThread::~TComThread()
{
    Stop();
    ::close(shared_->wakeFd);
}

void TComThread::Stop()
{
    if (!thread_.joinable())
        return;
    const std::shared_ptr<Shared> s = shared_;
    {
        std::lock_guard lock(s->m);
        s->stop = true;
        if (s->slot == Shared::Slot::Running && s->runner == std::this_thread::get_id()) {
            // Close from a handler of the batch being run: the thread waits for this very
            // batch, so release it; the batch's remaining steps are skipped.
            s->abandoned = true;
            s->slot = Shared::Slot::Empty;
        }
    }
    s->Wake();
    s->cv.notify_all();
    for (;;) {
        std::unique_lock lock(s->m);
        s->cv.wait(lock, [&] { return s->ended || s->slot == Shared::Slot::Posted; });
        if (s->ended)
            break;
        // A batch handed over before the stop: run it here, so the thread can finish.
        s->slot = Shared::Slot::Running;
        s->runner = std::this_thread::get_id();
        const uint64_t id = s->batchId;
        const TComEvents events = s->batch;
        lock.unlock();
        DeliverBatch(*s, events);
        lock.lock();
        if (s->abandoned)
            return;  // a handler closed the port: that Close has ended the thread (and may have destroyed *this)
        if (s->slot == Shared::Slot::Running && s->batchId == id)
            s->slot = Shared::Slot::Empty;
        lock.unlock();
        s->cv.notify_all();
    }
    thread_.join();
}

void TComThread::NoteWriteStarted()
{
    shared_->writesStarted.fetch_add(1);
}

void TComThread::NoteWriteDone()
{
    shared_->writesDone.fetch_add(1);
    {
        std::lock_guard lock(shared_->m);
    }
    shared_->cv.notify_all();
    shared_->Wake();
}

void TComThread::NoteInputConsumed()
{
    shared_->consumed.fetch_add(1);
}

void TComThread::NoteLineRate(int32_t bitsPerSecond)
{
    shared_->rate = bitsPerSecond;
}

bool TComThread::HandOverPending() const
{
    std::lock_guard lock(shared_->m);
    return shared_->slot == Shared::Slot::Posted;
}

bool TComThread::Finished() const
{
    std::lock_guard lock(shared_->m);
    return shared_->ended;
}

// Ordering of receive and transmit-empty events. The link counts receive events after a
// transmit-empty (which resets the count), so a transmit-empty must never be delivered
// after a byte that arrived later than the output queue ran empty. The window thread
// brackets every write with NoteWriteStarted/NoteWriteDone; between them the thread knows
// a transmit-empty is due. When input shows up while that is so, the thread first waits for
// the write call to return (it is bounded by the write time-outs) and then reads the output
// queue: still bytes in it means the input came before the queue ran empty, and the input
// is delivered alone; an empty queue means the transmit-empty may have come first, and it
// is delivered in a batch of its own ahead of the input (within one batch the delivery
// order would put the receive handler first). Only input that arrives and an output queue
// that empties within the same wake-up can be taken in the wrong order, and then always in
// favour of counting a reply rather than losing one.
void TComThread::Run()
{
    Shared& s = *shared_;
    ApplyPriority(s.priority);
    ISerialDevice& device = *s.device;
    const TComEvents rxEvents = ComEvent(evRxChar) | ComEvent(evRx80Full);
    const bool wantRx = (s.mask & rxEvents) != 0;
    const bool wantTx = (s.mask & ComEvent(evTxEmpty)) != 0;
    const int lineInterval = device.LineEventInterval();
    const int64_t rx80Limit = int64_t{device.InputCapacity()} * 4;  // compared with 5 x count

    // Hands a batch over and waits until it has run; false when the thread must end.
    auto deliver = [&](TComEvents events) {
        if (events == 0)
            return true;
        std::unique_lock lock(s.m);
        if (s.stop)
            return false;
        if (s.sync == smNone) {
            s.slot = Shared::Slot::Running;
            s.runner = std::this_thread::get_id();
            lock.unlock();
            DeliverBatch(s, events);
            lock.lock();
            s.slot = Shared::Slot::Empty;
            s.cv.notify_all();
            return !s.failed && !s.stop;
        }
        s.slot = Shared::Slot::Posted;
        s.batch = events;
        const uint64_t id = ++s.batchId;
        lock.unlock();
        s.cv.notify_all();
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [shared = shared_, id] { RunPosted(shared, id); }, Qt::QueuedConnection);
        lock.lock();
        s.cv.wait(lock, [&] { return s.slot == Shared::Slot::Empty; });
        return !s.failed && !s.stop;
    };

    uint64_t txAck = 0;      // writes counted from the thread's creation, not from when it first runs
    bool rxStalled = false;  // unread input waits: do not poll for it
    int32_t stalledCount = 0;
    uint64_t stalledConsumed = 0;
    int32_t lastCount = 0;
    short revents = 0;
    try {
        for (;;) {
            if (revents & (POLLHUP | POLLERR | POLLNVAL))
                break;  // the device is gone: end quietly
            TComEvents events = device.TakeLineEvents() & s.mask;

            bool rx = false;
            int32_t count = 0;
            if (wantRx) {
                count = device.InputCount();
                const uint64_t consumed = s.consumed.load();
                if (!rxStalled) {
                    // Nothing was left unread after the last delivery: all input is new.
                    if (count > 0) {
                        rx = true;
                    } else if (revents & POLLIN) {
                        rxStalled = true;
                        stalledCount = 0;
                        stalledConsumed = consumed;
                    }
                } else if (count == 0) {
                    rxStalled = false;
                } else if (count > stalledCount || consumed != stalledConsumed) {
                    rx = true;
                } else {
                    stalledCount = count;
                }
                if (rx)
                    events |= s.mask & ComEvent(evRxChar);
                if (int64_t{count} * 5 >= rx80Limit && int64_t{lastCount} * 5 < rx80Limit)
                    events |= s.mask & ComEvent(evRx80Full);
                lastCount = count;
            }

            bool txEmpty = false;
            int32_t outQueued = 0;
            if (wantTx && s.writesStarted.load() != txAck) {
                if (events != 0) {
                    std::unique_lock lock(s.m);
                    s.cv.wait(lock, [&] { return s.stop || s.writesDone.load() == s.writesStarted.load(); });
                    if (s.stop)
                        break;
                }
                const uint64_t done = s.writesDone.load();
                const uint64_t started = s.writesStarted.load();
                if (done == started) {
                    outQueued = device.OutputCount();
                    if (outQueued == 0) {
                        txEmpty = true;
                        txAck = started;
                    }
                }
            }

            const uint64_t consumedBefore = s.consumed.load();
            if (txEmpty && events != 0) {
                if (!deliver(ComEvent(evTxEmpty)) || !deliver(events))
                    break;
            } else if (!deliver(events | (txEmpty ? ComEvent(evTxEmpty) : 0))) {
                break;
            }

            if (rx) {
                // Bytes left after the handlers ran: new ones if the handlers read (poll
                // reports them at once), else unread ones (look for more from time to time).
                const int32_t left = device.InputCount();
                rxStalled = left > 0 && s.consumed.load() == consumedBefore;
                stalledCount = left;
                stalledConsumed = consumedBefore;
            }

            int timeout = -1;
            const auto shorten = [&timeout](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
            if (rxStalled)
                shorten(kStalledInputInterval);
            if (lineInterval > 0)
                shorten(lineInterval);
            if (wantTx && s.writesStarted.load() != txAck && outQueued > 0)
                shorten(DrainWaitMs(outQueued, s.rate.load()));

            pollfd fds[2] = {{s.wakeFd, POLLIN, 0},
                             {device.WaitFd(), static_cast<short>(wantRx && !rxStalled ? POLLIN : 0), 0}};
            revents = 0;
            if (::poll(fds, 2, timeout) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds[0].revents & POLLIN) {
                uint64_t value = 0;
                [[maybe_unused]] const ssize_t n = ::read(s.wakeFd, &value, sizeof value);
            }
            {
                std::lock_guard lock(s.m);
                if (s.stop)
                    break;
            }
            revents = fds[1].revents;
        }
    } catch (...) {
        // A device call failed: the device is gone or unusable; end quietly.
    }
    try {
        device.Purge(true, true);
    } catch (...) {
        // A vanished device cannot be purged; nothing is lost by that.
    }
    {
        std::lock_guard lock(s.m);
        s.ended = true;
    }
    s.cv.notify_all();
}

}  // namespace tessek
