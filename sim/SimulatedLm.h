#pragma once
// The simulated LM: a peer on the master side of a fresh pseudo-terminal that speaks the
// module's link to whoever opens the slave (SlavePath()).
//
// The link as the LM sees it:
// - It starts at 977 baud. While connected, at 977 and not spoken to for half a second,
//   it sends a slow stream of non-zero bytes (one every 70 ms), unless told to be quiet
//   or silent.
// - It reads the rate the slave sends and listens at from the pseudo-terminal's shared
//   line settings. A byte sent at a rate other than the LM's own is not understood and
//   ignored. A byte the LM sends while the slave listens at another rate arrives as a
//   UART at that rate would decode it (see UartModel.h): garbled, or not at all.
// - The handshake byte 12 (hex) is echoed and puts the LM at 7680 baud, at either rate.
//   At 7680 every other byte is a request: it is echoed, then answered with the memory
//   byte at that address. A byte other than 12 at 977 is ignored.
// - Back to 977: when the slave is closed by its last user (the program let go of the
//   line) and, if a high-rate timeout is set, after that long without a byte at 7680.
//   There is no such timeout by default, so a command after a successful one finds the
//   LM still at 7680 however long the pause, and its handshake at 7680 is echoed.
// - Wire time (on by default): the echo arrives one byte time (10 bits at the current
//   rate) after the request was written, the answer one byte time after the echo, plus
//   the extra answer delay. Without wire time both are written at once, in two writes,
//   which a reader may well take in one read.
//
// Threads: the LM runs its own thread, asleep in ppoll() on the master, an inotify watch
// on the slave's path and an eventfd; every public method may be called from any thread.
// The constructor throws std::system_error when no pseudo-terminal or thread can be had.
#include "sim/Scenario.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tessek::sim {

enum class LmFault {
    None,
    Silent,     // never sends anything
    EchoOnly,   // echoes the handshake and every request, answers nothing
    RetryOnly,  // a handshake at 977 switches to 7680 without an echo, so only the
                // program's repeat of the handshake, sent at 7680, is echoed
    Garbage,    // answers every request with a byte other than the stored one
    HangUp,     // closes the master at once, as an unplugged cable; for good
};

class SimulatedLm {
public:
    static constexpr uint32_t kLowRate = 977;
    static constexpr uint32_t kHighRate = 7680;
    static constexpr uint8_t kHandshake = 0x12;

    SimulatedLm();
    ~SimulatedLm();
    SimulatedLm(const SimulatedLm&) = delete;
    SimulatedLm& operator=(const SimulatedLm&) = delete;

    // The slave device to open ("/dev/pts/N").
    const std::string& SlavePath() const;

    // Memory: the scenario, measured from the LM's start, with pinned bytes on top.
    // SetMemory pins all 256 bytes, so nothing moves any more; SetByte pins one address;
    // UseScenario drops every pin.
    void SetMemory(const LmMemory& memory);
    void SetByte(uint8_t address, uint8_t value);
    void UseScenario();
    // The bytes a request would be answered with right now.
    LmMemory Memory() const;

    void SetFault(LmFault fault);
    LmFault Fault() const;
    void SetWireTiming(bool on);
    void SetAnswerDelay(int milliseconds);
    // Every `every`-th request of `address` is echoed but never answered (0: all are).
    void SetMissedAnswers(uint8_t address, int every);
    void SetQuiet(bool quiet);
    // Milliseconds without a byte after which the LM leaves 7680 for 977; 0 = never.
    void SetHighRateTimeout(int milliseconds);
    // Receives one line per event of the link (bytes in and out, rate changes), called on
    // the LM's thread. Set it before the traffic it should see.
    void SetLog(std::function<void(const std::string&)> log);

    // Requests taken at 7680 (handshakes not counted).
    uint32_t RequestCount() const;
    // Handshake bytes understood (echoed or not).
    uint32_t HandshakeCount() const;
    // Bytes ignored because they came at a rate other than the LM's.
    uint32_t IgnoredCount() const;
    // The LM's own rate in baud (977 or 7680).
    uint32_t Rate() const;

    // Ends the thread and closes every descriptor; the slave path is gone afterwards.
    // Idempotent; the destructor calls it.
    void Stop();

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

const char* FaultName(LmFault fault);
// "none", "silent", "echo-only", "retry-only", "garbage", "hang-up"; false if unknown.
bool ParseFault(const std::string& name, LmFault& fault);

}  // namespace tessek::sim
