#pragma once
// What a report read, kept apart from its text in the window: the data behind the Reports
// window (fault codes as a list, adaptive cells as a grid of fuel trims) and the files
// each reading is saved as in the program folder's "logs" folder. Plain code, any thread.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tessek {

class IniFile;

// The four fault code bytes of one Codes press.
struct FaultCodesReading {
    std::chrono::system_clock::time_point ReadAt;
    std::string ReadAtText;          // local date and time, as the window's texts show it
    std::array<uint8_t, 4> Bytes{};  // FaultCode1 to FaultCode4
};

// One set fault flag, split into what a list shows.
struct FaultEntry {
    std::string Code;     // "52", "21?" (the LM's uncertain ones), "" when the flag has none
    std::string Meaning;  // "Rich Condition"
    std::string Flag;     // "FaultCode1 $04"
};

// The entry of bit `bit` (0 to 7) of fault code byte `index` (0 to 3).
FaultEntry FaultEntryOf(int index, int bit);
// Every set flag of `bytes`, byte by byte, bits in ascending order.
std::vector<FaultEntry> SetFaults(const std::array<uint8_t, 4>& bytes);

// The breakpoints on the grid's lines. Their values are part of the LM's calibration and
// are not read from it, so each is a text: its name on the text grid ("RPM 0", "R1";
// "MAP 0", "MP1" to "MP5"), or the value a user gave in the "AdaptiveGrid" section of
// Tessek.ini (keys RPM0, R1, MAP0, MP1 to MP5, e.g. "R1=2000 rpm", "MP1=-10 inHg").
struct AdaptiveBreakpoints {
    std::array<std::string, 2> Rpm{"RPM 0", "R1"};
    std::array<std::string, 6> Map{"MAP 0", "MP1", "MP2", "MP3", "MP4", "MP5"};
};
inline constexpr const char* kAdaptiveGridSection = "AdaptiveGrid";
// The longest breakpoint text kept; a longer one is cut.
inline constexpr size_t kMaxBreakpointText = 16;

// The breakpoints `ini` gives, the names for every key that is missing or blank; blanks
// around a value are dropped.
AdaptiveBreakpoints LoadAdaptiveBreakpoints(const IniFile& ini);

// The thirteen adaptive cells of one Adaptives press.
struct AdaptivesReading {
    std::chrono::system_clock::time_point ReadAt;
    std::string ReadAtText;
    uint8_t Idle = 0x80;              // cell 12, LM address 5C
    std::array<uint8_t, 12> Cells{};  // cell n at LM address 50 + n
    AdaptiveBreakpoints Points;       // what the grid's ranges are named by
};

// The grid as the window draws it: row 0 is the upper row (engine speed from R1 up), row
// 1 the lower one (from RPM 0 to R1); column 0 is the lowest manifold pressure range.
inline constexpr int kAdaptiveRows = 2;
inline constexpr int kAdaptiveColumns = 6;
// LM address of a grid cell: odd cells fill the upper row, even cells the lower one.
uint8_t AdaptiveCellAddress(int row, int column);
// The byte of that cell in `reading`.
uint8_t AdaptiveCellValue(const AdaptivesReading& reading, int row, int column);

// The ranges a row and a column cover, between two breakpoints: rows "R1 and up" and
// "RPM 0 to R1"; columns "MAP 0 to MP1", "MP1 to MP2", ..., "MP5 and up". `gap` stands
// before "to" or "and" ("\n" breaks a header in two lines).
std::string AdaptiveRowRange(int row, const AdaptiveBreakpoints& points = {}, const std::string& gap = " ");
std::string AdaptiveColumnRange(int column, const AdaptiveBreakpoints& points = {}, const std::string& gap = " ");

// An adaptive cell as a fuel trim: 128 (80 hex) is 0 %, each step 1/128 of the fuel
// (100/128 %): 90 hex is +12.5 %, 70 hex -12.5 %.
double FuelTrimPercent(uint8_t raw);
// "+12.5 %", "-0.8 %", "0.0 %".
std::string FuelTrimText(uint8_t raw);

// How a cell is coloured: lean (below 80 hex) blue, rich (above) red, both the deeper the
// larger the trim, full at 25 %; 80 hex white.
struct CellColour {
    int Red;
    int Green;
    int Blue;
    bool operator==(const CellColour&) const = default;
};
CellColour TrimColour(uint8_t raw);

// The files a reading is kept as: text (the lines as the text area shows them, with the
// date and time) and CSV (one row per flag or cell, raw bytes kept). CR LF line ends.
std::string FaultCodesText(const FaultCodesReading& reading);
std::string FaultCodesCsv(const FaultCodesReading& reading);
std::string AdaptivesText(const AdaptivesReading& reading);
std::string AdaptivesCsv(const AdaptivesReading& reading);

// Writes `text` and `csv` as "<logs>/<stamp>_<kind>.txt" and ".csv" in `programFolder`'s
// "logs" folder (created when missing), named by `readAt` in local time ("_2", "_3", ...
// added when either name is taken; an existing file is never replaced), each file written
// whole and synced. Returns the two paths; throws std::runtime_error naming the file and
// the system's reason.
std::array<std::string, 2> SaveReportFiles(const std::string& programFolder, const std::string& kind,
                                           std::chrono::system_clock::time_point readAt, const std::string& text,
                                           const std::string& csv);

}  // namespace tessek
