#pragma once
// The ports the program brings along besides the machine's serial devices: "SIM", the
// simulated LM running inside the program, and "SIM-WB", a simulated wideband controller
// in the same engine's exhaust (each started on its first open, running until the program
// ends), so that Tessek can be tried without a car.
#include <string>

namespace tessek {

class IniFile;

inline constexpr const char* kSimPortName = "SIM";
inline constexpr const char* kSimWidebandPortName = "SIM-WB";

// Registers "SIM" and "SIM-WB" with the serial layer; calling it again changes nothing.
// Any thread.
void RegisterBuiltinPorts();

// Section [Simulator] of the settings file, for demos and tests of a flaky LM:
// "MissedAnswers=98:3" leaves every third request of address 98 unanswered. Applied to
// "SIM" when `portName` is it; a malformed value is ignored.
void ApplySimulatorSettings(const IniFile& ini, const std::string& portName);

}  // namespace tessek
