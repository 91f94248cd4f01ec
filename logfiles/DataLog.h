#pragma once
// The data logs of a logging run: a CSV file and an MSL file (the tab-separated text log
// MegaLogViewer and UltraLog read) in the "logs" folder of the program folder, named by
// the run's start in local time ("2026-12-06_14-03-27.csv" and ".msl"; "_2", "_3", ...
// when either name is taken: an existing file is never replaced).
//
// Both files: the column Time (s, 3 decimals), then every RunColumn with its unit (metric
// ones where the program folder's Tessek.ini chooses metric units, logging/Units.h), each
// followed by "<name> raw" (no unit) when it has raw bytes; one row per sample, numbers
// with the column's decimals and "." as decimal mark whatever the locale, lines ending in
// CR LF. CSV (RFC 4180): one row of names with the unit in parentheses ("Engine Speed
// (rpm)"), quoted only when they hold a comma, quote or line break; a missing value is an
// empty cell; the column "Marker" holds the number of the marker a row carries
// (RunSample::Marker), empty otherwise, and the last one, "Marker text", its text ("Manual",
// "Cyl 1 Retard 1 deg over 0 deg"). MSL: two quoted lines first, as the common tuning
// tools' files start (the program and version, then "Capture Date: Mon Dec 07 14:03:27
// 2026", the run's start in local time, English names), which readers of MSL skip;
// then row 1 the names, row 2 the units; a missing value is an empty cell, as in the
// CSV; tabs and line breaks in names become blanks; a row that carries a marker follows a
// line "MARK 001 - Manual" (number and text), the form MegaLogViewer reads as a marker.
//
// Each row reaches the operating system in one write as soon as it is logged (never one
// sync per row), so a killed program leaves every row logged before it; RunEnded syncs
// and closes both files. Nothing is thrown: a folder or file that cannot be made, or a
// write that fails (a full disk), is reported once through OnProblem with the file and
// the system's reason; a failed file is cut back to its last complete row and left
// alone, the other file and the run go on.
//
// Window thread only (the run's observer calls).
#include "logging/RunRecord.h"
#include "logging/Units.h"
#include "platform/UniqueFd.h"

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

// The CSV's last columns: the marker numbers and their texts.
inline constexpr const char* kMarkerColumn = "Marker";
inline constexpr const char* kMarkerTextColumn = "Marker text";

// The data log of the latest run in `programFolder`'s "logs" folder: the CSV file written
// last (by modification time, then by name) that holds a sample (a run killed before its
// first sample leaves only the names row); "" when there is none.
std::string NewestDataLog(const std::string& programFolder);

class DataLogWriter final : public RunObserver {
public:
    // Writes `size` bytes at the file's end as ::write does: the bytes written, or -1 and
    // errno.
    using WriteFunction = std::function<ssize_t(int fd, const char* data, size_t size)>;
    // Brings what was written to `fd` to the disk as ::fsync does: 0, or -1 and errno.
    using SyncFunction = std::function<int(int fd)>;

    // `programFolder` with or without its trailing "/". `write` and `sync` replace the
    // system's write and fsync (tests watch them and make them fail).
    explicit DataLogWriter(std::string programFolder, WriteFunction write = {}, SyncFunction sync = {});
    ~DataLogWriter() override;  // ends a run still open
    DataLogWriter(const DataLogWriter&) = delete;
    DataLogWriter& operator=(const DataLogWriter&) = delete;

    // One line for the window, e.g. "Data log not written:
    // /home/me/tessek/logs/2026-12-06_14-03-27.csv: No space left on device".
    std::function<void(const std::string& message)> OnProblem;

    void RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started) override;
    void SampleLogged(const RunSample& sample) override;
    void RunEnded() override;

    // The files of the current or last run; "" when they could not be created.
    const std::string& CsvPath() const { return csv_.Path; }
    const std::string& MslPath() const { return msl_.Path; }

private:
    struct OutFile {
        std::string Path;
        UniqueFd Fd;
        off_t Complete = 0;  // bytes up to the end of the last complete row
    };

    bool CreateFiles(std::chrono::system_clock::time_point started);
    void WriteRow(OutFile& file, const std::string& row);
    void Drop(OutFile& file, int error);
    void Close(OutFile& file);
    void Report(const std::string& path, int error);
    std::string CsvHeader() const;
    std::string MslHeader(std::chrono::system_clock::time_point started) const;

    std::string logsFolder_;    // with its trailing "/"
    std::string settingsPath_;  // the program folder's Tessek.ini, for the units setting
    WriteFunction write_;
    SyncFunction sync_;
    long missed_ = 0, requests_ = 0;                          // of the run
    std::vector<RunColumn> columns_;                          // in the units of the file
    std::vector<std::optional<UnitConversion>> conversions_;  // per column: from the window's units
    OutFile csv_;
    OutFile msl_;
};

}  // namespace tessek
