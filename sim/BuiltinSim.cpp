#include "sim/BuiltinSim.h"

#include "sim/SimulatedLm.h"

namespace tessek::sim {

namespace {

SimulatedLm& Builtin()
{
    // Started on first use (thread-safe static); stopped and joined at exit.
    static SimulatedLm lm;
    return lm;
}

}  // namespace

std::string BuiltinSimSlavePath()
{
    return Builtin().SlavePath();
}

void SetBuiltinSimMissedAnswers(uint8_t address, int every)
{
    Builtin().SetMissedAnswers(address, every);
}

}  // namespace tessek::sim
