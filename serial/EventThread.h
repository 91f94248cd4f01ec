#pragma once
// The event thread of an open port: it sleeps in poll() on the device and on an eventfd
// (stop and wake-ups), turns what it finds into batches of TComEvents, and hands each batch
// to the window thread in a blocking rendezvous: the batch is posted to the Qt event loop
// of the application's main thread, and the event thread waits until the window thread has
// run the batch's handlers (in the fixed order of DeliverBatch) while pumping events. The
// post wakes an event loop asleep in processEvents(WaitForMoreEvents). Without a
// QCoreApplication a batch waits until Close runs it.
//
// The port creates it in Open (Events not empty) and destroys it in Close. All public
// members are called on the window thread. A handler that raises ends the thread: the
// error goes to ShowError, and no event arrives until the port is closed and opened again.
#include "serial/ComTypes.h"

#include <cstdint>
#include <memory>
#include <thread>

namespace tessek {

class TCustomComPort;
class ISerialDevice;

class TComThread {
public:
    // Starts the thread for the port's open device, its Events, SyncMethod and
    // EventPriority as they are now.
    explicit TComThread(TCustomComPort* port);
    ~TComThread();  // Stop()
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Sets the stop signal and waits until the thread has ended, running a batch that is
    // already handed over (and nothing else of the window's events). Called from a handler
    // of this thread's own batch, it releases the thread from that batch instead, and the
    // batch's remaining steps are skipped.
    void Stop();

    // The port tells the thread about its own use of the device.
    void NoteWriteStarted();
    void NoteWriteDone();
    void NoteInputConsumed();
    void NoteLineRate(int32_t bitsPerSecond);

    // Whether a batch waits for the window thread (for tests and diagnostics).
    bool HandOverPending() const;
    // Whether the thread's loop has ended (device gone, handler error, stop).
    bool Finished() const;

    struct Shared;

private:
    void Run();

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace tessek
