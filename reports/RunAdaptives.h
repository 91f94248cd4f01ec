#pragma once
// The adaptive cells read at the start and at the end of a logging run, kept beside the
// run's data log so that the log viewer can show what the LM learned during the drive.
// The file is "<log name>-adaptives.csv" next to "<log name>.csv": a header row, then one
// row per reading, "start" or "end", its local date and time and the thirteen cells as two
// hexadecimal digits each, LM addresses 50 to 5C in order (5C the idle cell):
//   Reading,Read at,50,51,...,5B,5C
//   start,2026-12-07 16:02:11,82,7F,...,7B
// CR LF line ends. Plain code, any thread.
#include <optional>
#include <string>
#include <string_view>

#include "reports/ReportReadings.h"

namespace tessek {

// Whether a logging run reads the adaptive cells at its start and end (about a second at
// each): key Read (0 or 1, off when missing) of section [RunAdaptives] of Tessek.ini.
inline constexpr const char* kRunAdaptivesSection = "RunAdaptives";
inline constexpr const char* kRunAdaptivesKey = "Read";

struct RunAdaptives {
    std::optional<AdaptivesReading> Start, End;
};

// "/logs/run 3.csv" -> "/logs/run 3-adaptives.csv" (the extension replaced, or added to).
std::string RunAdaptivesPath(const std::string& logPath);

std::string RunAdaptivesCsv(const RunAdaptives& run);
// The readings of such a file's text; rows that are not a whole reading are left out, and
// of several rows of one kind the last counts.
RunAdaptives ParseRunAdaptives(std::string_view text);

// The change of a cell's fuel trim from `start` to `end`, in points of percent: positive
// where the LM added fuel during the run.
double TrimChange(uint8_t start, uint8_t end);

}  // namespace tessek
