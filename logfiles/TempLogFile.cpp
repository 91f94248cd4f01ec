#include "logfiles/TempLogFile.h"

#include "lm/ParameterTable.h"
#include "logging/ColumnNames.h"
#include "platform/DateTimeText.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tessek {
namespace {

constexpr std::string_view kStartLine = "Logging  Start at ";
constexpr size_t kMaxExamples = 5;
// Most decimals a channel is shown with, as for the other logs.
constexpr int kMaxDecimals = 6;
// Lines between two looks at the read's control.
constexpr size_t kLinesPerCheck = 4096;
constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
// Most of the start line's text kept: a date and time, or a few words of the file's own.
constexpr size_t kMaxStartText = 80;

// One value of a sample line: "2000rpm", "0.812v(2F)", "131.9F" with "(9A)", "5A".
struct Value {
    double Number = kNoValue;
    std::string Unit;
    int Decimals = 0;
    int RawByte = -1;      // the byte in parentheses after the value
    bool OnlyRaw = false;  // a raw byte on its own: the value is the byte
    std::string_view Text;
};

// What a slot's values are, learned from the first sample.
struct Slot {
    std::string Unit;          // "psi" for MAP either way
    std::string NegativeUnit;  // the unit of its values below zero, shown without their sign ("hg")
    bool OnlyRaw = false;
    bool HasRawByte = false;
    size_t Channel = 0;  // its value's channel; the raw byte's is the next one

    bool Negative(const std::string& unit) const { return !NegativeUnit.empty() && unit == NegativeUnit; }
};

std::optional<int> HexByte(std::string_view s)
{
    const auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    if (s.size() != 2 || digit(s[0]) < 0 || digit(s[1]) < 0)
        return std::nullopt;
    return digit(s[0]) * 16 + digit(s[1]);
}

std::optional<double> Number(std::string_view s)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// A value with its unit; "nan" (a torque without engine speed) is a value not known.
std::optional<Value> ParseValue(std::string_view token)
{
    Value v;
    if (const auto byte = HexByte(token)) {
        v.Number = *byte;
        v.OnlyRaw = true;
        return v;
    }
    size_t i = token.empty() || (token[0] != '-' && token[0] != '+') ? 0 : 1;
    const std::string_view rest = token.substr(i);
    if (rest.starts_with("nan") || rest.starts_with("inf")) {
        i += 3;
    } else {
        const size_t digits = i;
        size_t dot = std::string_view::npos;
        while (i < token.size() &&
               ((token[i] >= '0' && token[i] <= '9') || (token[i] == '.' && dot == std::string_view::npos))) {
            if (token[i] == '.')
                dot = i;
            ++i;
        }
        if (i == digits)
            return std::nullopt;
        v.Decimals = dot == std::string_view::npos ? 0 : std::min(static_cast<int>(i - dot - 1), kMaxDecimals);
        const auto number = Number(token.substr(0, i));
        if (!number)
            return std::nullopt;
        v.Number = *number;
    }
    std::string_view unit = token.substr(i);
    if (unit.size() >= 4 && unit.back() == ')' && unit[unit.size() - 4] == '(') {
        const auto byte = HexByte(unit.substr(unit.size() - 3, 2));
        if (!byte)
            return std::nullopt;
        v.RawByte = *byte;
        unit.remove_suffix(4);
    }
    if (unit.empty())
        return std::nullopt;
    v.Unit = std::string(unit);
    return v;
}

bool IsFigure(const Value& v)
{
    return v.Unit == "G" || v.Unit == "HP" || v.Unit == "lb/ft";
}

std::string_view TrimmedUnit(std::string_view unit)
{
    while (!unit.empty() && unit.back() == ' ')
        unit.remove_suffix(1);
    return unit;
}

// Whether `row`'s text shows a value in `unit`.
bool ShowsUnit(const ParameterRow& row, std::string_view unit)
{
    return (!row.TextUnit.empty() && TrimmedUnit(row.TextUnit) == unit) ||
           (!row.NegativeTextUnit.empty() && TrimmedUnit(row.NegativeTextUnit) == unit);
}

// The parameter whose text shows `unit` on one side of zero and another unit on the
// other (MAP: psi of boost, "hg" of vacuum), if any.
const ParameterRow* SignedUnitRow(std::string_view unit)
{
    for (const ParameterRow& row : ParameterTable()) {
        if (!row.NegativeTextUnit.empty() && ShowsUnit(row, unit))
            return &row;
    }
    return nullptr;
}

// The channel name and unit of a slot's value, by the parameter table: the column of the
// parameters whose text shows this unit, where they all have the same one; else of those
// that show a raw byte as this value does (or not), then of those with as many decimals;
// else the slot's title.
std::pair<std::string, std::string> Describe(const Value& v, const std::string& title)
{
    if (v.OnlyRaw)
        return {title, ""};
    std::vector<const ParameterRow*> rows;
    for (const ParameterRow& row : ParameterTable()) {
        if (ShowsUnit(row, v.Unit))
            rows.push_back(&row);
    }
    const auto oneColumn = [&] {
        return !rows.empty() && std::all_of(rows.begin(), rows.end(),
                                            [&](const ParameterRow* r) { return r->Column == rows[0]->Column; });
    };
    if (!oneColumn())
        std::erase_if(rows, [&](const ParameterRow* r) { return r->RawInText != (v.RawByte >= 0); });
    if (!oneColumn())
        std::erase_if(rows, [&](const ParameterRow* r) { return r->Decimals != v.Decimals; });
    if (!oneColumn())
        return {title, v.Unit};
    return {std::string(rows[0]->Column), std::string(rows[0]->Unit)};
}

std::pair<std::string, std::string> DescribeFigure(const std::string& unit)
{
    if (unit == "G")
        return {std::string(kAccelerationColumn), std::string(kAccelerationUnit)};
    if (unit == "HP")
        return {std::string(kPowerColumn), std::string(kPowerUnit)};
    return {std::string(kTorqueColumn), std::string(kTorqueUnit)};
}

// The blank-separated words of a line: the first `max` kept, the rest only counted, so a
// line of millions of values costs no more memory than one of `max`.
struct LineTokens {
    std::vector<std::string_view> Kept;
    size_t MoreValues = 0;   // values after the kept words (a raw byte "(9A)" is its value's)
    size_t MoreFigures = 0;  // of them, the performance figures that end the line
};

void SplitTokens(std::string_view line, size_t max, LineTokens& tokens)
{
    tokens.Kept.clear();
    tokens.MoreValues = tokens.MoreFigures = 0;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i == start)
            continue;
        const std::string_view token = line.substr(start, i - start);
        if (tokens.Kept.size() < max) {
            tokens.Kept.push_back(token);
        } else if (!(token.size() == 4 && token.front() == '(' && token.back() == ')')) {
            ++tokens.MoreValues;
            const std::optional<Value> v = ParseValue(token);
            tokens.MoreFigures = v && IsFigure(*v) ? tokens.MoreFigures + 1 : 0;
        }
    }
}

// LF (or CR LF), or CR alone where the text has no LF at all, as for the other logs.
char LineEndOf(std::string_view text)
{
    return text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos ? '\r' : '\n';
}

std::string FormatSeconds(double t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", t);
    return buf;
}

class TempLogParser {
public:
    TempLogParser(std::string_view text, const LogReadLimits& limits, bool cutShort, LogReadControl* control)
        : text_(text), limits_(limits), cutShort_(cutShort), control_(control)
    {
    }

    LogReadResult Run()
    {
        const char lineEnd = LineEndOf(text_);
        size_t pos = 0;
        size_t lineNo = 0;
        while (pos < text_.size()) {
            const size_t nl = text_.find(lineEnd, pos);
            const bool complete = nl != std::string_view::npos;
            std::string_view line = text_.substr(pos, complete ? nl - pos : std::string_view::npos);
            pos = complete ? nl + 1 : text_.size();
            ++lineNo;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (!complete && cutShort_)
                break;
            if (control_ && lineNo % kLinesPerCheck == 0) {
                control_->DoneBytes = pos;
                if (control_->Cancel) {
                    LogReadResult cancelled;
                    cancelled.Error = kCancelledText;
                    return cancelled;
                }
            }
            if (lineNo == 1) {
                SetStart(line.substr(kStartLine.size(), kMaxStartText));
                continue;
            }
            if (!TakeLine(line, lineNo))
                break;
        }
        if (!result_.Data.Time.empty() && result_.Data.Channels.empty())
            result_.Error = "Not a data log: its samples hold only their time, no value (every slot skipped).";
        if (result_.Data.Time.empty()) {
            const std::vector<std::string>& examples = result_.Report.Examples;
            result_.Error =
                examples.empty()
                    ? "The log holds no samples, only its header: the run that wrote it ended before its first sample."
                    : "Not a data log: a TempLog text file, but none of its lines could be read (" + examples.front() +
                          ").";
        }
        return std::move(result_);
    }

private:
    void SetStart(std::string_view text)
    {
        for (const QLocale& locale : {QLocale::system(), QLocale::c()}) {
            if (const auto at = ParseDateTimeText(locale, text)) {
                result_.Data.Start = at->toString("yyyy-MM-dd HH:mm:ss").toStdString();
                return;
            }
        }
        result_.Data.Start = std::string(text);
    }

    template <typename Why>
    void Skip(size_t line, Why why)
    {
        ++result_.Report.RowsSkipped;
        if (result_.Report.Examples.size() < kMaxExamples)
            result_.Report.Examples.push_back("line " + std::to_string(line) + ": " + why());
    }

    // False when the limit of values is reached.
    bool TakeLine(std::string_view line, size_t lineNo)
    {
        // Time, and a value and a raw byte for each column beyond: more cannot be read.
        SplitTokens(line, 2 * limits_.MaxColumns + 1, tokens_);
        const std::vector<std::string_view>& tokens = tokens_.Kept;
        if (tokens.empty())
            return true;
        const std::optional<double> time = Number(tokens[0]);
        if (!time) {
            if (tokens[0] == kTimeColumn && titles_.empty() && slots_.empty()) {
                ReadTitles(line);
                return true;
            }
            // The barometric line and the run's end lines are no samples, and no loss.
            const bool known = tokens[0] == "BARO" || line == "Cancel Logging" || line == "Done Logging";
            if (!known)
                Skip(lineNo, [] { return std::string("not a sample line"); });
            return true;
        }
        std::vector<Value> values;
        for (size_t i = 1; i < tokens.size(); ++i) {
            if (tokens[i].size() == 4 && tokens[i].front() == '(' && tokens[i].back() == ')' && !values.empty() &&
                values.back().RawByte < 0 && !values.back().OnlyRaw) {
                if (const auto byte = HexByte(tokens[i].substr(1, 2))) {
                    values.back().RawByte = *byte;
                    continue;
                }
            }
            std::optional<Value> v = ParseValue(tokens[i]);
            if (!v) {
                Skip(lineNo, [&] {
                    std::string why = "\"";
                    why.append(tokens[i].substr(0, 20)).append("\" is not a value with a unit");
                    return why;
                });
                return true;
            }
            v->Text = tokens[i];
            values.push_back(std::move(*v));
        }
        size_t slotCount = values.size();
        // The figures end the line: those among the kept values, when only figures follow.
        while (tokens_.MoreValues == tokens_.MoreFigures && slotCount > 0 && IsFigure(values[slotCount - 1]))
            --slotCount;
        const size_t allSlots = slotCount + tokens_.MoreValues - tokens_.MoreFigures;
        if (slots_.empty() && channels_ == 0)
            SetUpSlots(values, slotCount, allSlots);
        if (valuesCut_ && slotCount > slots_.size()) {
            // Beyond the limit of columns: the first values only, no figures.
            slotCount = slots_.size();
            values.resize(slotCount);
        }
        if (slotCount != slots_.size()) {
            Skip(lineNo, [&] {
                return std::to_string(allSlots) + " values where the first sample has " + std::to_string(slots_.size());
            });
            return true;
        }
        if (const size_t s = FirstMismatch(values); s < slotCount) {
            Skip(lineNo, [&] {
                std::string why = "value " + std::to_string(s + 1) + " is \"";
                why.append(values[s].Text.substr(0, 20)).append("\", unlike the first sample's");
                return why;
            });
            return true;
        }
        LogData& data = result_.Data;
        if (!data.Time.empty()) {
            const double last = data.Time.back();
            if (*time < last) {
                Skip(lineNo, [&] {
                    return "time goes back from " + FormatSeconds(last) + " s to " + FormatSeconds(*time) + " s";
                });
                return true;
            }
            if (*time == last)
                ++result_.Report.RepeatedTimes;
        }
        if (data.Time.size() >= maxRows_) {
            AddNote("Only the first " + std::to_string(maxRows_) + " rows were loaded (the viewer keeps at most " +
                    std::to_string(limits_.MaxCells) + " values).");
            return false;
        }
        data.Time.push_back(*time);
        for (LogChannel& c : data.Channels)
            c.Values.push_back(kNoValue);
        for (size_t s = 0; s < slotCount; ++s) {
            const Value& v = values[s];
            LogChannel& c = data.Channels[slots_[s].Channel];
            // Vacuum is minus inches of mercury, and 0 is never -0.
            c.Values.back() = slots_[s].Negative(v.Unit) && v.Number != 0 ? -v.Number : v.Number;
            c.Decimals = std::max(c.Decimals, v.Decimals);
            if (slots_[s].HasRawByte)
                data.Channels[slots_[s].Channel + 1].Values.back() = v.RawByte;
        }
        for (size_t f = slotCount; f < values.size(); ++f) {
            LogChannel& c = FigureChannel(values[f].Unit);
            c.Values.back() = values[f].Number;
            c.Decimals = std::max(c.Decimals, values[f].Decimals);
        }
        ++result_.Report.RowsRead;
        return true;
    }

    void AddNote(const std::string& note)
    {
        std::string& notes = result_.Report.LimitNote;
        notes += (notes.empty() ? "" : " ") + note;
    }

    void ReadTitles(std::string_view line)
    {
        line.remove_prefix(line.find(kTimeColumn) + kTimeColumn.size());
        size_t pos = 0;
        while (pos < line.size()) {
            size_t end = line.find(';', pos);
            if (end == std::string_view::npos)
                end = line.size();
            std::string_view title = line.substr(pos, end - pos);
            while (!title.empty() && title.front() == ' ')
                title.remove_prefix(1);
            while (!title.empty() && title.back() == ' ')
                title.remove_suffix(1);
            if (!title.empty() && title != kSkipTitle)
                titles_.emplace_back(title);
            pos = end + 1;
        }
    }

    size_t AddChannel(const std::string& name, const std::string& unit, bool raw)
    {
        std::vector<LogChannel>& channels = result_.Data.Channels;
        std::string unique = name;
        for (int n = 2;
             std::any_of(channels.begin(), channels.end(), [&](const LogChannel& c) { return c.Name == unique; }); ++n)
            unique = name + " " + std::to_string(n);
        LogChannel c;
        c.Name = unique;
        c.Unit = unit;
        c.Raw = raw;
        c.Values.assign(result_.Data.Time.size(), kNoValue);
        channels.push_back(std::move(c));
        return channels.size() - 1;
    }

    // `slotCount` of the first sample's `allSlots` values are in `values`.
    void SetUpSlots(const std::vector<Value>& values, size_t slotCount, size_t allSlots)
    {
        for (size_t s = 0; s < slotCount; ++s) {
            const Value& v = values[s];
            // Time, this slot's value (and raw byte) and the three figures must fit.
            if (result_.Data.Channels.size() + (v.RawByte >= 0 ? 2 : 1) + 3 + 1 > limits_.MaxColumns) {
                valuesCut_ = true;
                AddNote("Only the first " + std::to_string(s) + " of the " + std::to_string(allSlots) +
                        " values of each sample were read (the viewer reads at most " +
                        std::to_string(limits_.MaxColumns) + " columns).");
                break;
            }
            const std::string title = s < titles_.size() ? titles_[s] : "Slot " + std::to_string(s + 1);
            const auto [name, unit] = Describe(v, title);
            const ParameterRow* signedUnit = SignedUnitRow(v.Unit);
            Slot slot{signedUnit ? std::string(TrimmedUnit(signedUnit->TextUnit)) : v.Unit,
                      signedUnit ? std::string(TrimmedUnit(signedUnit->NegativeTextUnit)) : std::string(), v.OnlyRaw,
                      v.RawByte >= 0, AddChannel(name, unit, false)};
            if (slot.HasRawByte)
                AddChannel(result_.Data.Channels[slot.Channel].Name + std::string(kRawSuffix), "", true);
            slots_.push_back(std::move(slot));
        }
        // Room for the performance figures too, which the first sample may lack.
        channels_ = result_.Data.Channels.size() + 3;
        const size_t columns = channels_ + 1;
        const size_t fixed = columns * kCellsPerChannel;
        maxRows_ = limits_.MaxCells > fixed ? (limits_.MaxCells - fixed) / columns : 0;
    }

    // The first slot whose value is of another kind than the first sample's (slots_.size()
    // when none is).
    size_t FirstMismatch(const std::vector<Value>& values) const
    {
        for (size_t s = 0; s < slots_.size(); ++s) {
            const Slot& slot = slots_[s];
            const std::string& unit = values[s].Unit;
            if ((unit != slot.Unit && !slot.Negative(unit)) || values[s].OnlyRaw != slot.OnlyRaw ||
                (values[s].RawByte >= 0) != slot.HasRawByte)
                return s;
        }
        return slots_.size();
    }

    LogChannel& FigureChannel(const std::string& unit)
    {
        const auto [name, channelUnit] = DescribeFigure(unit);
        std::vector<LogChannel>& channels = result_.Data.Channels;
        for (size_t i = slots_.empty() ? 0 : slots_.back().Channel + 1; i < channels.size(); ++i) {
            if (channels[i].Name == name && !channels[i].Raw)
                return channels[i];
        }
        return channels[AddChannel(name, channelUnit, false)];
    }

    std::string_view text_;
    const LogReadLimits& limits_;
    bool cutShort_;
    LogReadControl* control_;
    LogReadResult result_;
    std::vector<std::string> titles_;
    std::vector<Slot> slots_;
    LineTokens tokens_;
    size_t channels_ = 0;
    size_t maxRows_ = 0;
    bool valuesCut_ = false;
};

}  // namespace

bool IsTempLogText(std::string_view text)
{
    return text.starts_with(kStartLine);
}

LogReadResult ParseTempLogText(std::string_view text, const LogReadLimits& limits, bool cutShort,
                               LogReadControl* control)
{
    LogReadResult result = TempLogParser(text, limits, cutShort, control).Run();
    result.Data.TimeName = kTimeColumn;
    return result;
}

}  // namespace tessek
