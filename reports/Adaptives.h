#pragma once
// The texts of the adaptives report: the cell format, the fixed lines of the grid and
// the pieces a grid row is built from, and the cells in the order they are read.
// Every grid line and every finished row is 67 characters wide, with its "+" or "|"
// in columns 6, 16, ..., 66, so the report lines up in a fixed-pitch font.
// Plain functions and constants, usable from any thread.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessek {

// "lean" below 80 (hex), "rich" from 80 up, a blank, two upper-case hexadecimal digits.
std::string FormatAdaptive(uint8_t value);

inline constexpr std::string_view kAdaptivesTitle = "Adaptives Report   ";  // then date and time
inline constexpr std::string_view kAdaptivesRule =
    "--------------------------------------------------------------------- ";
inline constexpr std::string_view kAdaptiveIdlePrefix = " Adaptive Idle Cell (12) = ";
inline constexpr std::string_view kAdaptivesBlankLine = " ";
inline constexpr std::string_view kGridTopLine = "      +---------+---------+---------+---------+---------+---------+";
inline constexpr std::string_view kGridMiddleLine =
    "  R1  +---------+---------+---------+---------+---------+---------+";
inline constexpr std::string_view kGridBottomLine =
    "RPM 0 +---------+---------+---------+---------+---------+---------+";
inline constexpr std::string_view kGridColumnLabels = "  MAP 0        MP1       MP2       MP3       MP4       MP5";

inline constexpr std::string_view kRowStart = "      | ";
inline constexpr std::string_view kCellSeparator = " | ";
inline constexpr std::string_view kRowEnd = " |";

inline constexpr int kGridColumns = 6;
inline constexpr uint8_t kAdaptiveIdleAddress = 0x5C;
// LM addresses of the grid cells, left to right; the upper row is printed first.
inline constexpr std::array<uint8_t, kGridColumns> kUpperRowAddresses{0x51, 0x53, 0x55, 0x57, 0x59, 0x5B};
inline constexpr std::array<uint8_t, kGridColumns> kLowerRowAddresses{0x50, 0x52, 0x54, 0x56, 0x58, 0x5A};

// The text that column `column` (0 to 5) of a grid row adds when its cell holds `value`:
// the row start or a separator, the cell, and after the last cell the row end. The six
// pieces of a row, in order, make the whole row.
std::string GridRowPiece(int column, uint8_t value);

// The title line for the local date and time text `dateTime`.
std::string AdaptivesTitleLine(const std::string& dateTime);

// The idle cell line for the idle cell's byte.
std::string AdaptiveIdleLine(uint8_t idle);

}  // namespace tessek
