#pragma once
// The event thread of an open port. It sleeps in epoll_wait() on the device and on an
// eventfd (stop and wake-ups from the window thread), reads arriving bytes into a buffer of
// its own and queues what it finds as batches of TComEvents, in the order it happened. The
// window thread runs the queued batches, each in the fixed order of the delivery table,
// when it processes its events: the thread signals an eventfd that the window thread's
// event loop watches, once for all that is queued until the window thread has run it, and
// never waits for it (a transmit-empty the window thread queues itself is run by a zero
// timer instead, with no wake-up). Without a QCoreApplication on the thread that opened
// the port the batches wait until Close runs them. With smNone the thread runs the
// handlers itself.
//
// Two threads may look at the device: while the window thread waits for replies it reads
// the input itself (SetWaitingForInput), and the thread still looks for the transmit-empty
// and the line events. A look, on either thread, is made under the port's lock and takes
// the transmit-empty, the line events and the bytes waiting together, in this order, as
// batches; a look that finds line events always reads the bytes with them. So the events
// keep the device's order whichever thread reads: a byte that came before a Ring is
// delivered before it.
//
// While the thread takes the input (Events has evRxChar or evRx80Full), the port's reads
// and input counts are served from its buffer, which holds at most the device's
// InputCapacity bytes. Each read of the device becomes one receive event per
// RxEventByteLimit bytes (one for all of them without a limit).
//
// The port creates it in Open (Events not empty) and destroys it in Close. All public
// members are called on the window thread; with smNone the handlers, which run on the
// thread, must not close the port. A handler that raises ends the thread: the error goes
// to ShowError on the window thread, what is queued is dropped, and no event arrives
// until the port is closed and opened again.
#include "serial/ComTypes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class QSocketNotifier;
class QTimer;

namespace tessek {

class TCustomComPort;

namespace detail {
struct ComThreadState;
}

class TComThread {
public:
    // Starts the thread for the port's open device, its Events, SyncMethod,
    // EventPriority and RxEventByteLimit as they are now. Throws std::system_error when no
    // thread or eventfd can be had.
    explicit TComThread(TCustomComPort* port);
    ~TComThread();  // Stop()
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Sets the stop signal, waits until the thread has ended and then runs what it had
    // queued, in order, until a handler closes the port or raises. Called from a handler
    // (of a batch being run, by the event loop or by this Stop), it abandons the rest of
    // that batch and everything queued.
    void Stop();

    // The input, while the thread takes it. Reads serve the buffered bytes; with none
    // buffered they go to the device, as do counts (bytes not yet seen by the thread).
    // Device failures throw DeviceError.
    bool TakesInput() const;
    int32_t InputCount();
    int32_t ReadInput(uint8_t* data, int32_t count);
    void Purge(bool input, bool output);

    // The port brackets every write of the device with these, so that a transmit-empty
    // is queued in its place among the received bytes. When the output queue is empty as
    // the write returns, NoteWriteDone queues the transmit-empty itself; otherwise the
    // thread looks at the queue every millisecond until it is.
    void NoteWriteStarted();
    void NoteWriteDone();

    // The port's RxWakeCount: what is held back and the new count covers is handed over at
    // once.
    void SetRxWakeCount(int32_t count);

    // The window thread waits in its event loop for received bytes (a command waiting for
    // its replies). While it does, the input is read on the window thread itself as it
    // arrives and its batches run at once, in the same order and from the same buffer as
    // the thread's: the bytes wake the waiting thread directly, without the thread's
    // wake-up and hand-over in between. The device stays watched by the window thread from
    // the first such wait on: input that arrives outside a wait gives it back to the
    // thread, which then reads it as before. A device that hangs up or fills the buffer is left to the
    // thread too. Without an application on the window thread, or with smNone, nothing
    // changes.
    void SetWaitingForInput(bool waiting);

    // Runs now what the window thread has queued itself and left for its zero timer (the
    // transmit-empty of a write whose output went at once), so that a wait for it needs no
    // pass through the event loop. Nothing happens when nothing of that kind waits.
    void RunOwnEvents();

    // Runs `change` holding the port's lock: for calls that change what the device's
    // input-side calls read (see SerialDevice.h).
    void WithPortLock(const std::function<void()>& change);

    // Whether batches wait for the window thread (for tests and diagnostics).
    bool HandOverPending() const;
    // Whether the thread's loop has ended (device gone, handler error, stop).
    bool Finished() const;

private:
    // Has the window thread run what is queued at its next pass through the event loop.
    void DrainSoon();
    // The device's input is watched by the window thread (on) or by the thread (off).
    void WatchInputOnWindowThread(bool on);
    // The window thread's look at the device while it watches the input.
    void ReadInputOnWindowThread();

    std::shared_ptr<detail::ComThreadState> state_;
    std::thread thread_;
    bool stopping_ = false;  // Stop is running the queued batches
    // Watches the eventfd on which the thread asks the window thread to run what is
    // queued. Empty without an application on this thread.
    std::unique_ptr<QSocketNotifier> drainRequests_;
    // A drain asked for on the window thread itself: a zero timer, which its event loop
    // sees on its next pass without the wake-up (a system call each side) that the
    // thread's request costs. Empty where drainRequests_ is, and with smNone.
    std::unique_ptr<QTimer> drainSoon_;
    // Watches the device for the window thread while SetWaitingForInput has it do so.
    // Empty where drainSoon_ is, or when the thread takes no input.
    std::unique_ptr<QSocketNotifier> windowThreadInput_;
    bool waitingForInput_ = false;                 // the window thread is in a wait for received bytes
    std::array<uint8_t, 4096> windowThreadChunk_;  // one read's bytes on the window thread
};

}  // namespace tessek
