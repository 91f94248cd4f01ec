#pragma once
// The simulated wideband controller: a peer on the master side of a fresh pseudo-terminal
// that sends what a controller in the simulated engine's exhaust would send to whoever
// opens the slave (SlavePath()), while someone has it open.
//
// - Mts: one MTS packet every 82 ms, at 19200 baud.
// - Aem: one AEM text line every 100 ms, at 9600 baud.
// - ByRate: whichever of the two the slave's rate asks for: MTS at 19200 baud, text lines
//   at any other rate (the built-in port "SIM-WB", which serves whatever protocol the
//   program is set to).
// A byte sent while the slave listens at another rate arrives as a UART at that rate would
// decode it (see UartModel.h): garbled, or not at all.
//
// The engine's time counts from `start`: give it the simulated LM's start, so that both
// follow the same engine. Threads: the controller runs its own thread, asleep in poll()
// between sends and, while nobody has the slave open, until someone opens it (an inotify
// watch on the slave's path); every public method may be called from any thread. The
// constructor throws std::system_error when no pseudo-terminal or thread can be had.
#include "sim/WidebandSignal.h"

#include <chrono>
#include <memory>
#include <string>

namespace tessek::sim {

enum class WidebandSimProtocol { Mts, Aem, ByRate };

class SimulatedWideband {
public:
    static constexpr uint32_t kMtsRate = 19200;
    static constexpr uint32_t kAemRate = 9600;
    static constexpr std::chrono::milliseconds kMtsInterval{82};
    static constexpr std::chrono::milliseconds kAemInterval{100};

    SimulatedWideband(WidebandSimProtocol protocol, std::chrono::steady_clock::time_point start,
                      WidebandSignal signal = WidebandSignal());
    ~SimulatedWideband();
    SimulatedWideband(const SimulatedWideband&) = delete;
    SimulatedWideband& operator=(const SimulatedWideband&) = delete;

    // The slave device to open ("/dev/pts/N").
    const std::string& SlavePath() const;
    // Packets or lines sent so far.
    uint32_t SentCount() const;

    // Ends the thread and closes every descriptor: the slave hangs up, as an unplugged
    // adapter does. Idempotent; the destructor calls it.
    void Stop();

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

// "mts" or "aem"; false for another name.
bool ParseWidebandSimProtocol(const std::string& name, WidebandSimProtocol& protocol);

}  // namespace tessek::sim
