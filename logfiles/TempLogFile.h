#pragma once
// Reading the main window's automatic text logs ("TempLog<n>.txt", or a Save of the text
// area after a run) into the log viewer's columns. Pure code, any thread.
//
// Such a file is the text of one run: "Logging  Start at <date and time>", the barometric
// line, the titles line (" Time    RPM; MPH; ...; ", one title per slot, "Skip value"
// for a slot that logs nothing), one line per sample and "Cancel Logging" / "Done
// Logging". A sample line is the time in seconds and then each logged slot's value with
// its unit, which says what the value is:
//   "2000rpm" Engine Speed, " 50.00mph" Road Speed, "0.00psi" / "3.51hg  " MAP (vacuum as
//   minus inches of mercury, as the data logs give it), " 99.6%" Throttle, "0.812v(2F)" O2
//   and its raw byte, "2.50v" Knock, "12.5deg" Spark Advance, "131.9F (9A)" a temperature
//   (named by its title) and its raw byte, "31deg" a cylinder's retard (named by its
//   title), "5A" a raw byte (named by its title), and the performance figures
//   "0.12G", "12.34HP", "45.67lb/ft" (Acceleration, Power, Torque) at the end.
// The start line's date and time, in the locale's format of today or as numbers, gives
// the log's start.
#include "logfiles/LogFile.h"

#include <string_view>

namespace tessek {

// Whether `text` is such a log: its first line begins "Logging  Start at ".
bool IsTempLogText(std::string_view text);

// Reads such a log; rows are skipped and reported as ParseLogText does (a line that is
// not a sample, a sample whose values do not match the titles, a time that goes back).
LogReadResult ParseTempLogText(std::string_view text, const LogReadLimits& limits = {}, bool cutShort = false,
                               LogReadControl* control = nullptr);

}  // namespace tessek
