#pragma once
// `tessek --dyno LOG [--out FILE]`: the power curve of a data log without a display. The
// log is read as the viewer reads it and shown in imperial units; its pulls are found and
// chosen as the Power curve tab chooses them at first, and the road load and correction
// kept in Tessek.ini ([Dyno]) are applied. The curve goes to FILE (default beside the
// log: "<log name>-dyno.csv") as CSV, one row per 100 rpm bin with samples: engine speed
// (rpm, the bin's middle), power (hp), torque (lb-ft, empty without a value) and the bin's
// samples. Prints the chosen pulls, what was left out, the peaks and what the options did,
// then the file's path as the last line.
//
// Exit codes: 0 written; 1 the log cannot be read, has no pull or the file cannot be
// written (one line on standard error); 2 a bad option (one line).
#include <cstdio>
#include <string>
#include <vector>

namespace tessek {

inline constexpr int kDynoWritten = 0;
inline constexpr int kDynoNoCurve = 1;
inline constexpr int kDynoBadOption = 2;

// True when the command line asks for --dyno (as "--dyno" or "--dyno=LOG").
bool HasDynoOption(int argc, const char* const* argv);

// The command on `arguments` (the program's name first, then the options as the system's
// bytes), with the options of `settingsFile`.
int RunDyno(const std::vector<std::string>& arguments, const std::string& settingsFile, std::FILE* out, std::FILE* err);

// RunDyno for the program's own command line, on a core application (no display).
int RunDynoCommand(int argc, char** argv);

}  // namespace tessek
