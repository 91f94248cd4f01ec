#include "sim/BuiltinSim.h"

#include "sim/SimulatedLm.h"

namespace tessek::sim {

std::string BuiltinSimSlavePath()
{
    // Started on first use (thread-safe static); stopped and joined at exit.
    static SimulatedLm lm;
    return lm.SlavePath();
}

}  // namespace tessek::sim
