#pragma once
// `tessek --advise LOG [--target AFR] [--out FILE]`: the tuning advice of a data log
// without a display (analysis/Advice.h). The log is read as the viewer reads it, in the
// units of Tessek.ini's [Units]; the cells are the cell table's default bins, the target
// AFR table and the sensor's delay those of [AfrTarget] and [AdviceDelay] (--target: one
// AFR everywhere instead). Writes the fuel corrections to FILE (default beside the log:
// "<log name>-fuel.csv") and the spark advice beside it, FILE's name without its extension
// (and without a last "-fuel") followed by "-spark.csv"; both in the cell table's form
// (Advice::FuelTable and SparkTable, comma-separated). Prints what was used and left out,
// the spark file's path, then the fuel file's path as the last line.
//
// Exit codes: 0 written; 1 the log cannot be read, lacks an AFR (or Lambda), engine speed
// or MAP column, or a file cannot be written (one line on standard error); 2 a bad option
// (one line).
#include <cstdio>
#include <string>
#include <vector>

namespace tessek {

inline constexpr int kAdviseWritten = 0;
inline constexpr int kAdviseNoAdvice = 1;
inline constexpr int kAdviseBadOption = 2;

// True when the command line asks for --advise (as "--advise" or "--advise=LOG").
bool HasAdviseOption(int argc, const char* const* argv);

// The command on `arguments` (the program's name first), with the settings of `settingsFile`.
int RunAdvise(const std::vector<std::string>& arguments, const std::string& settingsFile, std::FILE* out,
              std::FILE* err);

// RunAdvise for the program's own command line, on a core application (no display).
int RunAdviseCommand(int argc, char** argv);

}  // namespace tessek
