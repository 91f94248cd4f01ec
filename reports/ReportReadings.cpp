#include "reports/ReportReadings.h"

#include "platform/FileIo.h"
#include "platform/Hex.h"
#include "platform/IniFile.h"
#include "platform/LogFiles.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "reports/Adaptives.h"
#include "reports/FaultCodes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tessek {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr std::string_view kCodeMark = ", Code ";
// Full colour from this trim on: the LM's learned corrections rarely go beyond it.
constexpr double kFullColourTrim = 25.0;
// A second that already holds this many reports of a kind gives up rather than search on.
constexpr int kMaxSuffix = 999;

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + kLineEnd;
    return text;
}

std::string CsvRow(const std::vector<std::string>& fields)
{
    std::string row;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            row += ',';
        row += CsvField(fields[i]);
    }
    row += kLineEnd;
    return row;
}

std::string GridRowText(const AdaptivesReading& reading, int row)
{
    std::string text;
    for (int column = 0; column < kAdaptiveColumns; ++column)
        text += GridRowPiece(column, AdaptiveCellValue(reading, row, column));
    return text;
}

int Mix(int from, int to, double share)
{
    return static_cast<int>(std::lround(from + (to - from) * share));
}

std::string SystemReason(const std::string& path, int error)
{
    return "Report not saved: " + path + ": " + std::strerror(error);
}

// Creates `path` only when nothing is there: 0, or the errno of the failure.
int CreateNew(const std::string& path, UniqueFd& fd)
{
    fd = UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    return fd ? 0 : errno;
}

void WriteNew(const std::string& path, UniqueFd& fd, const std::string& content)
{
    int error = WriteAll(fd.Get(), content);
    if (error == 0 && ::fsync(fd.Get()) != 0)
        error = errno;
    fd.Reset();
    if (error != 0) {
        ::unlink(path.c_str());  // never half a report
        throw std::runtime_error(SystemReason(path, error));
    }
}

}  // namespace

FaultEntry FaultEntryOf(int index, int bit)
{
    const std::string_view text = FaultBitTable.at(static_cast<size_t>(index)).at(static_cast<size_t>(bit));
    std::string_view meaning = text.substr(text.find(" = ") + 3);
    std::string code;
    if (const size_t mark = meaning.rfind(kCodeMark); mark != std::string_view::npos) {
        code = meaning.substr(mark + kCodeMark.size());
        meaning = meaning.substr(0, mark);
    }
    return {code, std::string(meaning),
            std::string(kFaultCodeBytes.at(static_cast<size_t>(index)).Label) + " $" +
                ByteToHex(static_cast<uint8_t>(1u << bit))};
}

std::vector<FaultEntry> SetFaults(const std::array<uint8_t, 4>& bytes)
{
    std::vector<FaultEntry> entries;
    for (int index = 0; index < 4; ++index) {
        for (int bit = 0; bit < 8; ++bit) {
            if (bytes[static_cast<size_t>(index)] & (1u << bit))
                entries.push_back(FaultEntryOf(index, bit));
        }
    }
    return entries;
}

uint8_t AdaptiveCellAddress(int row, int column)
{
    if (row < 0 || row >= kAdaptiveRows || column < 0 || column >= kAdaptiveColumns)
        throw std::out_of_range("adaptive cell out of range");
    const auto& addresses = row == 0 ? kUpperRowAddresses : kLowerRowAddresses;
    return addresses[static_cast<size_t>(column)];
}

uint8_t AdaptiveCellValue(const AdaptivesReading& reading, int row, int column)
{
    return reading.Cells[static_cast<size_t>(AdaptiveCellAddress(row, column) - 0x50)];
}

AdaptiveBreakpoints LoadAdaptiveBreakpoints(const IniFile& ini)
{
    AdaptiveBreakpoints points;
    const auto load = [&](const std::string& key, std::string& point) {
        std::string text = ini.ReadString(kAdaptiveGridSection, key, "").substr(0, kMaxBreakpointText);
        const size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos)
            return;  // missing or blank: the name stays
        // Blanks go after the cut too, so a cut text never ends in one.
        point = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    };
    load("RPM0", points.Rpm[0]);
    load("R1", points.Rpm[1]);
    load("MAP0", points.Map[0]);
    for (size_t n = 1; n < points.Map.size(); ++n)
        load("MP" + std::to_string(n), points.Map[n]);
    return points;
}

std::string AdaptiveRowRange(int row, const AdaptiveBreakpoints& points, const std::string& gap)
{
    if (row < 0 || row >= kAdaptiveRows)
        throw std::out_of_range("adaptive row out of range");
    return row == 0 ? points.Rpm[1] + gap + "and up" : points.Rpm[0] + gap + "to " + points.Rpm[1];
}

std::string AdaptiveColumnRange(int column, const AdaptiveBreakpoints& points, const std::string& gap)
{
    if (column < 0 || column >= kAdaptiveColumns)
        throw std::out_of_range("adaptive column out of range");
    // The text grid names its vertical lines "MAP 0", "MP1" to "MP5"; a cell lies between two.
    const auto line = static_cast<size_t>(column);
    if (column == kAdaptiveColumns - 1)
        return points.Map[line] + gap + "and up";
    return points.Map[line] + gap + "to " + points.Map[line + 1];
}

double FuelTrimPercent(uint8_t raw)
{
    return (raw - 128) * 100.0 / 128.0;
}

std::string FuelTrimText(uint8_t raw)
{
    char text[16];
    std::snprintf(text, sizeof text, raw == 0x80 ? "%.1f %%" : "%+.1f %%", FuelTrimPercent(raw));
    return text;
}

CellColour TrimColour(uint8_t raw)
{
    const double trim = FuelTrimPercent(raw);
    const double share = std::min(std::abs(trim) / kFullColourTrim, 1.0);
    if (trim < 0)
        return {Mix(255, 100, share), Mix(255, 150, share), 255};
    return {255, Mix(255, 120, share), Mix(255, 100, share)};
}

std::string FaultCodesText(const FaultCodesReading& reading)
{
    std::vector<std::string> lines{"Fault codes read " + reading.ReadAtText};
    for (int index = 0; index < 4; ++index) {
        for (std::string& line : FaultBlockLines(index, reading.Bytes[static_cast<size_t>(index)]))
            lines.push_back(std::move(line));
    }
    return Lines(lines);
}

std::string FaultCodesCsv(const FaultCodesReading& reading)
{
    std::string csv = CsvRow({"Read at", "Byte", "Address", "Value", "Bit", "Mask", "Code", "Meaning"});
    for (int index = 0; index < 4; ++index) {
        const uint8_t value = reading.Bytes[static_cast<size_t>(index)];
        const FaultCodeByte& byte = kFaultCodeBytes[static_cast<size_t>(index)];
        const std::vector<std::string> start{reading.ReadAtText, std::string(byte.Label), ByteToHex(byte.Address),
                                             ByteToHex(value)};
        if (value == 0)
            csv += CsvRow({start[0], start[1], start[2], start[3], "", "", "", ""});
        for (int bit = 0; bit < 8; ++bit) {
            if (!(value & (1u << bit)))
                continue;
            const FaultEntry entry = FaultEntryOf(index, bit);
            csv += CsvRow({start[0], start[1], start[2], start[3], std::to_string(bit),
                           ByteToHex(static_cast<uint8_t>(1u << bit)), entry.Code, entry.Meaning});
        }
    }
    return csv;
}

std::string AdaptivesText(const AdaptivesReading& reading)
{
    return Lines({AdaptivesTitleLine(reading.ReadAtText), std::string(kAdaptivesRule), AdaptiveIdleLine(reading.Idle),
                  std::string(kAdaptivesBlankLine), std::string(kGridTopLine), GridRowText(reading, 0),
                  std::string(kGridMiddleLine), GridRowText(reading, 1), std::string(kGridBottomLine),
                  std::string(kGridColumnLabels)});
}

std::string AdaptivesCsv(const AdaptivesReading& reading)
{
    std::string csv = CsvRow({"Read at", "Cell", "Address", "Engine speed", "MAP", "Value", "Fuel trim (%)"});
    const auto trim = [](uint8_t raw) {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", FuelTrimPercent(raw));
        return std::string(text);
    };
    for (int cell = 0; cell < 12; ++cell) {
        const int row = (cell % 2 == 1) ? 0 : 1;
        const int column = cell / 2;
        const uint8_t value = reading.Cells[static_cast<size_t>(cell)];
        csv += CsvRow({reading.ReadAtText, std::to_string(cell), ByteToHex(static_cast<uint8_t>(0x50 + cell)),
                       AdaptiveRowRange(row, reading.Points), AdaptiveColumnRange(column, reading.Points),
                       ByteToHex(value), trim(value)});
    }
    csv += CsvRow({reading.ReadAtText, "12", ByteToHex(kAdaptiveIdleAddress), "idle", "", ByteToHex(reading.Idle),
                   trim(reading.Idle)});
    return csv;
}

std::array<std::string, 2> SaveReportFiles(const std::string& programFolder, const std::string& kind,
                                           std::chrono::system_clock::time_point readAt, const std::string& text,
                                           const std::string& csv)
{
    const std::string folder = WithSlash(programFolder) + "logs/";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error(SystemReason(folder, ec.value()));
    const std::string stem = folder + FileTimeStamp(readAt) + "_" + kind;
    for (int n = 1; n <= kMaxSuffix; ++n) {
        const std::string base = n == 1 ? stem : stem + "_" + std::to_string(n);
        std::array<std::string, 2> paths{base + ".txt", base + ".csv"};
        UniqueFd txt;
        UniqueFd table;
        if (const int error = CreateNew(paths[0], txt); error == EEXIST)
            continue;
        else if (error != 0)
            throw std::runtime_error(SystemReason(paths[0], error));
        if (const int error = CreateNew(paths[1], table); error != 0) {
            txt.Reset();
            ::unlink(paths[0].c_str());
            if (error == EEXIST)
                continue;
            throw std::runtime_error(SystemReason(paths[1], error));
        }
        WriteNew(paths[0], txt, text);
        try {
            WriteNew(paths[1], table, csv);
        } catch (...) {
            ::unlink(paths[0].c_str());  // the two files of a reading go together
            throw;
        }
        return paths;
    }
    throw std::runtime_error(SystemReason(stem + ".txt", EEXIST));
}

}  // namespace tessek
