#pragma once
// Pieces every file Tessek keeps in its "logs" folder shares: the time stamp that names
// the file and the quoting of a CSV field. Pure functions, any thread.
#include <chrono>
#include <string>

namespace tessek {

// `when` in local time as a file name part: "2026-12-06_14-03-27".
std::string FileTimeStamp(std::chrono::system_clock::time_point when);

// `text` as one RFC 4180 field: quoted (quotes doubled) only when it holds a comma, a
// quote or a line break.
std::string CsvField(const std::string& text);

}  // namespace tessek
