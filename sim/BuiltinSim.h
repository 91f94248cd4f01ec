#pragma once
// The simulated LM behind the port name "SIM" and the simulated wideband controller behind
// "SIM-WB": one of each per process, started on first use with the default scenario and
// wire timing, running until the process ends. Both follow the same engine.
#include <cstdint>
#include <string>

namespace tessek::sim {

// The path of the pseudo-terminal slave to open for "SIM" (starts the LM when needed).
// Throws std::runtime_error when no pseudo-terminal can be had.
std::string BuiltinSimSlavePath();
// Every `every`-th request of `address` is echoed but left unanswered (0: none), as a
// flaky LM does; starts the LM when needed.
void SetBuiltinSimMissedAnswers(uint8_t address, int every);

// The same for "SIM-WB" (starts the controller when needed). It sends MTS packets while
// the port listens at 19200 baud and text lines at any other rate.
std::string BuiltinSimWidebandSlavePath();

}  // namespace tessek::sim
