#include "reports/RunAdaptives.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace tessek {
namespace {

constexpr int kCells = 13;

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t from = 0;
    for (;;) {
        const size_t comma = line.find(',', from);
        fields.push_back(line.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
        if (comma == std::string_view::npos)
            return fields;
        from = comma + 1;
    }
}

std::optional<uint8_t> HexByte(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 0xFF)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

std::string Row(const char* kind, const AdaptivesReading& reading)
{
    // A comma in the date text would shift the cells; the viewer only shows it.
    std::string when = reading.ReadAtText;
    for (char& c : when)
        if (c == ',' || c == '\r' || c == '\n')
            c = ' ';
    std::string row = std::string(kind) + ',' + when;
    for (int cell = 0; cell < kCells; ++cell) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", cell < 12 ? reading.Cells[static_cast<size_t>(cell)] : reading.Idle);
        row += ',';
        row += hex;
    }
    return row + "\r\n";
}

}  // namespace

std::string RunAdaptivesPath(const std::string& logPath)
{
    const size_t slash = logPath.rfind('/');
    const size_t dot = logPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return logPath.substr(0, hasExtension ? dot : logPath.size()) + "-adaptives.csv";
}

std::string RunAdaptivesCsv(const RunAdaptives& run)
{
    std::string csv = "Reading,Read at";
    for (int cell = 0; cell < kCells; ++cell) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", 0x50 + cell);
        csv += ',';
        csv += hex;
    }
    csv += "\r\n";
    if (run.Start)
        csv += Row("start", *run.Start);
    if (run.End)
        csv += Row("end", *run.End);
    return csv;
}

RunAdaptives ParseRunAdaptives(std::string_view text)
{
    RunAdaptives run;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.size() != 2 + kCells || (fields[0] != "start" && fields[0] != "end"))
            continue;
        AdaptivesReading reading;
        reading.ReadAtText = std::string(fields[1]);
        bool whole = true;
        for (int cell = 0; cell < kCells && whole; ++cell) {
            const std::optional<uint8_t> value = HexByte(fields[2 + static_cast<size_t>(cell)]);
            whole = value.has_value();
            if (value && cell < 12)
                reading.Cells[static_cast<size_t>(cell)] = *value;
            else if (value)
                reading.Idle = *value;
        }
        if (whole)
            (fields[0] == "start" ? run.Start : run.End) = reading;
    }
    return run;
}

double TrimChange(uint8_t start, uint8_t end)
{
    return FuelTrimPercent(end) - FuelTrimPercent(start);
}

}  // namespace tessek
