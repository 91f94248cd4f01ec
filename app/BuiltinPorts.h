#pragma once
// The ports the program brings along besides the machine's serial devices: "SIM", the
// simulated LM running inside the program (started on the first open, running until the
// program ends), so that Tessek can be tried without a car.
namespace tessek {

inline constexpr const char* kSimPortName = "SIM";

// Registers "SIM" with the serial layer; calling it again changes nothing. Any thread.
void RegisterBuiltinPorts();

}  // namespace tessek
