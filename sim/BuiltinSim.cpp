#include "sim/BuiltinSim.h"

#include "sim/SimulatedLm.h"
#include "sim/SimulatedWideband.h"

#include <chrono>

namespace tessek::sim {

namespace {

// The LM and the moment its engine started (taken as its constructor returns, within a
// moment of the LM's own count).
struct BuiltinLm {
    SimulatedLm lm;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// Started on first use (thread-safe static); stopped and joined at exit.
BuiltinLm& Builtin()
{
    static BuiltinLm builtin;
    return builtin;
}

}  // namespace

std::string BuiltinSimSlavePath()
{
    return Builtin().lm.SlavePath();
}

std::string BuiltinSimWidebandSlavePath()
{
    // The LM is started too (it sleeps until someone opens it), so that both count the
    // engine's time from the same moment.
    static SimulatedWideband wideband(WidebandSimProtocol::ByRate, Builtin().start);
    return wideband.SlavePath();
}

void SetBuiltinSimMissedAnswers(uint8_t address, int every)
{
    Builtin().lm.SetMissedAnswers(address, every);
}

}  // namespace tessek::sim
