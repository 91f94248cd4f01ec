#pragma once
// Reading a data log (CSV, or the tab-separated MSL text log) into columns of numbers for
// the log viewer: this program's own logs and other programs' logs that have a time
// column in seconds. Pure code, any thread; nothing is thrown for a bad file: the result
// says what was read, what was skipped and why, or why nothing could be read.
//
// What the reader accepts:
// - The main window's own text logs (TempLog<n>.txt, see TempLogFile.h).
// - The separator is a tab, a semicolon or a comma, whichever most of the first lines use
//   (in that order where as many use each). The decimal mark is "."; with a tab or a
//   semicolon a "," is taken for one too ("0,5" as 0.5). Fields may be quoted (RFC 4180); CR LF, LF or CR line
//   ends. A separator after the last field of every data row (or only of the names row)
//   adds no column.
// - A few lines of anything (a MegaLogViewer file's banner) may come before the names row.
//   The names row is a row without numbers that has as many fields as the first row of
//   numbers (the first such row that names a time column, else the first such row); a
//   row without numbers right under it is a units row (MSL). A unit may also be given in
//   the name, in parentheses or brackets: "Engine Speed (rpm)", "Boost [kPa]".
// - The time column is the one named "Time", "Seconds" or "Sec" (case ignored, unit
//   apart), otherwise the first column. Its unit is seconds; "ms" is converted.
// - A value cell that is empty or "nan" is "no value" (NaN); so is a cell that is not a
//   number, and such cells are counted.
// - A row is skipped, and reported, when its time is missing or not a number, when it has
//   fewer fields than the names row (a last row cut short) or more that are not empty, or
//   when its time is earlier than the row before (rows are kept in file order; a repeated
//   time is kept and counted, so times never go back).
// - A column named "Marker" holds marker numbers, not values (empty on unmarked rows); a
//   line "MARK <number>[ - <text>]" marks the next row that is read (the last row when none
//   follows). Neither is a channel nor a skipped row. Markers are numbered from 1: a 0 or
//   a negative number (another program's "no marker") marks nothing.
//
// Limits: at most `MaxBytes` of the file are read, at most `MaxColumns` columns of each
// record are split and kept, at most `MaxCells` values are kept, where each channel
// also costs `kCellsPerChannel` values of its own (its name, its table row and strip), and
// at most `MaxMarkers` markers (each is drawn in every strip and listed); what lies beyond
// is left out with a note in the report, so a huge or very wide file opens quickly with
// its first rows, columns and markers instead of exhausting memory.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessek {

struct LogChannel {
    std::string Name;  // without the unit: "Engine Speed"
    std::string Unit;  // "rpm"; empty when the file gives none
    bool Raw = false;  // a "<name> raw" column: the LM's raw reply
    // Most digits after the decimal mark in this column's first rows (0 to 6): how the
    // file writes the value, so it can be shown the same way.
    int Decimals = 0;
    std::vector<double> Values;  // one per row; NaN for no value
};

// A moment marked while logging: in a CSV, a number in the "Marker" column of the marked
// row; in an MSL, a line "MARK 001 - Manual" before the marked row (the text after " - "
// is free). Time is the marked row's.
struct LogMarker {
    double Time;
    int Number;
    std::string Text;
};

struct LogData {
    // The run's start in local time, "2026-12-06 14:03:27", where the file says when it
    // started (a TempLog), or the file's own words for it; empty when it does not say.
    std::string Start;
    std::string TimeName;              // the time column's name as the file gives it
    std::vector<double> Time;          // seconds, one per row, never decreasing
    std::vector<LogChannel> Channels;  // every column but the time column, in file order
    std::vector<LogMarker> Markers;    // in time order
};

struct LogReadLimits {
    uint64_t MaxBytes = uint64_t{128} << 20;
    size_t MaxCells = 32'000'000;  // values kept, time included (8 bytes each)
    size_t MaxColumns = 1000;      // columns read, time included
    size_t MaxMarkers = 1000;      // markers kept, the first ones in time
};

// What one channel costs against LogReadLimits::MaxCells before its first value.
inline constexpr size_t kCellsPerChannel = 64;

struct LogReadReport {
    size_t RowsRead = 0;
    size_t RowsSkipped = 0;
    size_t CellsWithoutValue = 0;  // non-numeric cells read as no value (empty cells not counted)
    size_t RepeatedTimes = 0;      // rows whose time equals the row before
    // A few examples of skipped rows and non-numeric cells: "line 12: time goes back ...".
    std::vector<std::string> Examples;
    // Set when a limit cut the file short: what was left out and why, one sentence per
    // limit.
    std::string LimitNote;

    // One line for a status bar: "180000 rows read, 2 skipped (line 5: ...)".
    std::string Summary() const;
};

struct LogReadResult {
    // Empty when the file was read (then it has at least one row); otherwise why nothing
    // could be read ("The file is empty.", "Not a data log: ...", or the system's reason
    // the file cannot be opened).
    std::string Error;
    LogData Data;
    LogReadReport Report;

    bool Ok() const { return Error.empty(); }
};

// Lets another thread watch a read and stop it. The reader updates the byte counts now
// and then (every few thousand rows) and stops soon after Cancel is set, with Error
// kCancelledText.
struct LogReadControl {
    std::atomic<uint64_t> TotalBytes{0};  // of the text to read, once known
    std::atomic<uint64_t> DoneBytes{0};   // of it read so far
    std::atomic<bool> Cancel{false};
};

inline constexpr const char* kCancelledText = "Reading was cancelled.";

// Reads the file at `path`. Only a regular file is read; anything else (a FIFO, a device,
// a folder) is refused without waiting for it.
LogReadResult ReadLogFile(const std::string& path, const LogReadLimits& limits = {}, LogReadControl* control = nullptr);

// Reads a log held in memory; `text` is the file's content (or its first part).
// `cutShort` says `text` stops before the end of the file, so a last line without a
// line break is incomplete and is dropped quietly rather than reported.
LogReadResult ParseLogText(std::string_view text, const LogReadLimits& limits = {}, bool cutShort = false,
                           LogReadControl* control = nullptr);

}  // namespace tessek
