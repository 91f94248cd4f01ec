#pragma once
// The ports the program brings along besides the machine's serial devices: "SIM", the
// simulated LM running inside the program, and "SIM-WB", a simulated wideband controller
// in the same engine's exhaust (each started on its first open, running until the program
// ends), so that Tessek can be tried without a car.
namespace tessek {

inline constexpr const char* kSimPortName = "SIM";
inline constexpr const char* kSimWidebandPortName = "SIM-WB";

// Registers "SIM" and "SIM-WB" with the serial layer; calling it again changes nothing.
// Any thread.
void RegisterBuiltinPorts();

}  // namespace tessek
