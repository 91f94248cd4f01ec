#pragma once
// The simulated LM behind the port name "SIM": one per process, started on first use
// with the default scenario and wire timing, running until the process ends.
#include <cstdint>
#include <string>

namespace tessek::sim {

// The path of the pseudo-terminal slave to open for "SIM" (starts the LM when needed).
// Throws std::runtime_error when no pseudo-terminal can be had.
std::string BuiltinSimSlavePath();
// Every `every`-th request of `address` is echoed but left unanswered (0: none), as a
// flaky LM does; starts the LM when needed.
void SetBuiltinSimMissedAnswers(uint8_t address, int every);

}  // namespace tessek::sim
