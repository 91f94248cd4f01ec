#include "analysis/Advice.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>

#include "analysis/CellTable.h"
#include "analysis/LogViewModel.h"
#include "logging/ColumnNames.h"
#include "platform/IniFile.h"
#include "platform/TextNumbers.h"

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kStoichAfr = 14.7;
constexpr double kAirPsi = 14.7;
constexpr double kMinTargetAfr = 6, kMaxTargetAfr = 25;
constexpr double kMaxDelaySeconds = 5;
constexpr size_t kMaxDelayPoints = 50;
// The delay is only known roughly: a throttle movement this close (s) to the matched
// sample still makes the reading a transient's.
constexpr double kTransientWindow = 0.3;

// Numbers of a list as the user types them (spaces, commas or semicolons between);
// none when a word is not a number.
std::optional<std::vector<double>> Numbers(std::string_view text)
{
    std::vector<double> numbers;
    for (const std::string_view word : ListWords(text)) {
        const std::optional<double> v = ParseFloat(word);
        if (!v || numbers.size() > kMaxBins)
            return std::nullopt;
        numbers.push_back(*v);
    }
    return numbers;
}

std::string NumbersText(const std::vector<double>& numbers)
{
    std::string text;
    for (double v : numbers) {
        if (!text.empty())
            text += ' ';
        text += FormatFloat(v);
    }
    return text;
}

// One decimal, without "-0.0".
std::string OneDecimal(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::abs(v) < 0.05 ? 0.0 : v);
    return text;
}

size_t Clamped(int bin, size_t count, double v, const std::vector<double>& edges)
{
    if (bin >= 0)
        return static_cast<size_t>(bin);
    return v < edges.front() ? 0 : count - 1;
}

bool Celsius(std::string_view unit)
{
    return unit == "°C" || unit == "C";
}

std::string HeaderOf(const std::string& name, const std::string& unit)
{
    return ColumnHeaderText({name, unit});
}

}  // namespace

double AfrTargetTable::At(double rpm, double boostPsi) const
{
    if (Columns() == 0 || Rows() == 0 || Afr.size() != Columns() * Rows() || std::isnan(rpm) || std::isnan(boostPsi))
        return kNaN;
    const size_t column = Clamped(BinOf(RpmEdges, rpm), Columns(), rpm, RpmEdges);
    const size_t row = Clamped(BinOf(BoostEdges, boostPsi), Rows(), boostPsi, BoostEdges);
    return Afr[row * Columns() + column];
}

AfrTargetTable DefaultAfrTargets()
{
    AfrTargetTable table{EvenEdges(0, 500, 12), EvenEdges(-15, 2.5, 12), {}};
    for (size_t row = 0; row < table.Rows(); ++row) {
        const double boost = table.BoostEdges[row];
        const double afr = boost < 0      ? 14.7
                           : boost < 2.5  ? 13.5
                           : boost < 5    ? 12.8
                           : boost < 7.5  ? 12.3
                           : boost < 10   ? 12.0
                           : boost < 12.5 ? 11.8
                                          : 11.5;
        table.Afr.insert(table.Afr.end(), table.Columns(), afr);
    }
    return table;
}

AfrTargetTable UniformAfrTarget(double afr)
{
    return AfrTargetTable{{0, 1e6}, {-1e6, 1e6}, {afr}};
}

AfrTargetTable ReadAfrTargets(const IniFile& ini, std::string* problem)
{
    const auto fail = [&](const std::string& why) {
        if (problem)
            *problem = "[AfrTarget] " + why + "; the default targets are used";
        return DefaultAfrTargets();
    };
    if (problem)
        problem->clear();
    const std::string rpmText = ini.ReadString(kAfrTargetSection, "Rpm", "");
    const std::string boostText = ini.ReadString(kAfrTargetSection, "Boost", "");
    if (rpmText.empty() && boostText.empty())
        return DefaultAfrTargets();
    std::string error;
    AfrTargetTable table;
    table.RpmEdges = ParseEdges(rpmText, error);
    if (!error.empty())
        return fail("Rpm: " + error);
    table.BoostEdges = ParseEdges(boostText, error);
    if (!error.empty())
        return fail("Boost: " + error);
    for (size_t row = 0; row < table.Rows(); ++row) {
        const std::string key = "Row" + std::to_string(row + 1);
        const std::optional<std::vector<double>> afr = Numbers(ini.ReadString(kAfrTargetSection, key, ""));
        if (!afr || afr->size() != table.Columns())
            return fail(key + " needs " + std::to_string(table.Columns()) + " numbers");
        for (double v : *afr)
            if (v < kMinTargetAfr || v > kMaxTargetAfr)
                return fail(key + ": a target AFR lies between 6 and 25");
        table.Afr.insert(table.Afr.end(), afr->begin(), afr->end());
    }
    return table;
}

void WriteAfrTargets(IniFile& ini, const AfrTargetTable& table)
{
    std::vector<std::pair<std::string, std::string>> entries = {{"Rpm", EdgesText(table.RpmEdges)},
                                                                {"Boost", EdgesText(table.BoostEdges)}};
    for (size_t row = 0; row < table.Rows(); ++row) {
        const auto first = table.Afr.begin() + static_cast<std::ptrdiff_t>(row * table.Columns());
        entries.emplace_back("Row" + std::to_string(row + 1),
                             NumbersText({first, first + static_cast<std::ptrdiff_t>(table.Columns())}));
    }
    ini.WriteSection(kAfrTargetSection, entries);
}

double DelayTable::At(double rpm) const
{
    if (Rpm.empty() || Rpm.size() != Seconds.size() || std::isnan(rpm))
        return kNaN;
    if (rpm <= Rpm.front())
        return Seconds.front();
    if (rpm >= Rpm.back())
        return Seconds.back();
    const size_t after = static_cast<size_t>(std::upper_bound(Rpm.begin(), Rpm.end(), rpm) - Rpm.begin());
    const double f = (rpm - Rpm[after - 1]) / (Rpm[after] - Rpm[after - 1]);
    return Seconds[after - 1] + (Seconds[after] - Seconds[after - 1]) * f;
}

DelayTable DefaultDelays()
{
    return DelayTable{{800, 1500, 2500, 3500, 5000}, {0.8, 0.45, 0.25, 0.15, 0.1}};
}

std::optional<DelayTable> ParseDelays(std::string_view rpm, std::string_view seconds, std::string& problem)
{
    const std::optional<std::vector<double>> r = Numbers(rpm), s = Numbers(seconds);
    if (!r || !s || r->empty() || r->size() != s->size() || r->size() > kMaxDelayPoints) {
        problem = "the delay needs as many engine speeds as delays (1 to 50 numbers each)";
        return std::nullopt;
    }
    for (size_t i = 0; i < r->size(); ++i) {
        if (i > 0 && (*r)[i] <= (*r)[i - 1]) {
            problem = "the engine speeds of the delay must go up";
            return std::nullopt;
        }
        if ((*s)[i] < 0 || (*s)[i] > kMaxDelaySeconds) {
            problem = "a delay lies between 0 and 5 s";
            return std::nullopt;
        }
    }
    problem.clear();
    return DelayTable{*r, *s};
}

DelayTable ReadDelays(const IniFile& ini, std::string* problem)
{
    if (problem)
        problem->clear();
    const std::string rpm = ini.ReadString(kAdviceDelaySection, "Rpm", "");
    const std::string seconds = ini.ReadString(kAdviceDelaySection, "Seconds", "");
    if (rpm.empty() && seconds.empty())
        return DefaultDelays();
    std::string why;
    if (std::optional<DelayTable> table = ParseDelays(rpm, seconds, why))
        return *table;
    if (problem)
        *problem = "[AdviceDelay] " + why + "; the default delays are used";
    return DefaultDelays();
}

void WriteDelays(IniFile& ini, const DelayTable& table)
{
    ini.WriteSection(kAdviceDelaySection, {{"Rpm", NumbersText(table.Rpm)}, {"Seconds", NumbersText(table.Seconds)}});
}

double BoostPsiOf(std::string_view name, std::string_view unit, double value)
{
    const auto lower = [](std::string_view s) {
        std::string out(s);
        for (char& c : out)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    const std::string n = lower(name), u = lower(unit);
    double psi = value;
    if (u == "kpa")
        psi = value / kKpaPerPsi;
    else if (u == "bar")
        psi = value * 100 / kKpaPerPsi;  // 100 kPa to the bar
    if (n == lower(kMapAbsoluteColumn))
        return psi - kAirPsi;
    if (n == lower(kMapColumn) && unit == kMapMixedUnit && value < 0)
        return value / kInHgPerPsi;
    return psi;
}

Advice ComputeAdvice(const LogData& log, const AdviceSettings& settings)
{
    Advice advice;
    advice.Limits = settings.Limits;
    const AdviceLimits& limits = settings.Limits;
    const size_t none = log.Channels.size();
    const size_t rpmC = FindChannel(log, {kEngineSpeedColumn, kOtherRpmColumn});
    const size_t mapC = FindChannel(log, {kBoostColumn, kMapAbsoluteColumn, kMapColumn});
    const size_t afrC = FindChannel(log, {kAfrColumn});
    const size_t lambdaC = afrC == none ? FindChannel(log, {kLambdaColumn}) : none;
    if (afrC == none && lambdaC == none)
        advice.Problem = "The log has no AFR (or Lambda) column.";
    else if (rpmC == none)
        advice.Problem = "The log has no engine speed column.";
    else if (mapC == none)
        advice.Problem = "The log has no MAP (Boost, MAP abs or MAP) column.";
    if (!advice.Problem.empty())
        return advice;

    const LogChannel& rpmChannel = log.Channels[rpmC];
    const LogChannel& mapChannel = log.Channels[mapC];
    advice.RpmName = rpmChannel.Name;
    advice.RpmUnit = rpmChannel.Unit;
    advice.MapName = mapChannel.Name;
    advice.MapUnit = mapChannel.Unit;
    const auto edgesFor = [](const LogChannel& c, const std::vector<double>& given) {
        if (!given.empty())
            return given;
        double lo = kNaN, hi = kNaN;
        for (double v : c.Values) {
            lo = std::isnan(lo) || v < lo ? v : lo;
            hi = std::isnan(hi) || v > hi ? v : hi;
        }
        return DefaultEdges(c.Name, c.Unit, lo, hi);
    };
    advice.RpmEdges = edgesFor(rpmChannel, settings.RpmEdges);
    advice.MapEdges = edgesFor(mapChannel, settings.MapEdges);
    const size_t columns = advice.Columns(), rows = advice.Rows();
    advice.Fuel.assign(columns * rows, FuelCell{});

    const std::vector<double>& time = log.Time;
    const std::vector<double>& rpm = rpmChannel.Values;
    const std::vector<double>& map = mapChannel.Values;
    const size_t coolC = FindChannel(log, {kCoolantColumn});
    const size_t tpsC = FindChannel(log, {kThrottleColumn});
    const std::vector<double>* coolant = coolC == none ? nullptr : &log.Channels[coolC].Values;
    const std::vector<double>* throttle = tpsC == none ? nullptr : &log.Channels[tpsC].Values;
    const double minCoolant =
        coolC != none && Celsius(log.Channels[coolC].Unit) ? (limits.MinCoolantF - 32) * 5 / 9 : limits.MinCoolantF;
    const auto afrAt = [&](size_t i) {
        return afrC != none ? log.Channels[afrC].Values[i] : log.Channels[lambdaC].Values[i] * kStoichAfr;
    };
    // The fastest throttle movement (%/s) between any two neighbouring samples within
    // kTransientWindow of sample i; NaN when a value there is missing.
    const auto throttleRate = [&](size_t i) {
        const std::vector<double>& tps = *throttle;
        size_t from = i, to = i;
        while (from > 0 && time[i] - time[from - 1] <= kTransientWindow)
            --from;
        while (to + 1 < time.size() && time[to + 1] - time[i] <= kTransientWindow)
            ++to;
        from = from == i && i > 0 ? i - 1 : from;
        to = to == i && i + 1 < time.size() ? i + 1 : to;
        double rate = 0;
        for (size_t k = from; k < to; ++k) {
            const double dt = time[k + 1] - time[k];
            if (dt > 0 && !std::isnan(tps[k]) && !std::isnan(tps[k + 1]))
                rate = std::max(rate, std::abs(tps[k + 1] - tps[k]) / dt);
        }
        return std::isnan(tps[i]) ? kNaN : rate;
    };
    // The weight of a value at `v` in bin `bin` of `edges`: 1 at the centre, 1/2 at an edge.
    const auto closeness = [](const std::vector<double>& edges, size_t bin, double v) {
        const double width = edges[bin + 1] - edges[bin];
        return 1.0 - std::abs(v - (edges[bin] + edges[bin + 1]) / 2) / width;
    };

    std::vector<double> weightedAfr(columns * rows, 0.0);
    AdviceDrops& dropped = advice.Dropped;
    for (size_t j = 0; j < time.size(); ++j) {
        const double afr = afrAt(j);
        if (std::isnan(afr) || std::isnan(rpm[j])) {
            ++dropped.NoValue;
            continue;
        }
        const double moment = time[j] - settings.Delay.At(rpm[j]);
        size_t i = static_cast<size_t>(std::lower_bound(time.begin(), time.end(), moment) - time.begin());
        if (i == time.size() || (i > 0 && moment - time[i - 1] < time[i] - moment))
            i = i == 0 ? 0 : i - 1;
        if (!(std::abs(time[i] - moment) <= limits.MatchTolerance)) {
            ++dropped.NoMatch;
            continue;
        }
        const double rate = throttle ? throttleRate(i) : 0;
        if (std::isnan(rpm[i]) || std::isnan(map[i]) || (coolant && std::isnan((*coolant)[i])) || std::isnan(rate)) {
            ++dropped.NoValue;
            continue;
        }
        if (coolant && (*coolant)[i] < minCoolant) {
            ++dropped.Cold;
            continue;
        }
        if (!(rpm[i] > limits.MinRpm)) {
            ++dropped.SlowEngine;
            continue;
        }
        if (rate > limits.MaxThrottleRate) {
            ++dropped.Transient;
            continue;
        }
        if (afr < limits.MinAfr || afr > limits.MaxAfr) {
            ++dropped.AfrRange;
            continue;
        }
        const int x = BinOf(advice.RpmEdges, rpm[i]), y = BinOf(advice.MapEdges, map[i]);
        if (x < 0 || y < 0) {
            ++dropped.Outside;
            continue;
        }
        const auto cx = static_cast<size_t>(x), cy = static_cast<size_t>(y);
        const double weight = closeness(advice.RpmEdges, cx, rpm[i]) * closeness(advice.MapEdges, cy, map[i]);
        FuelCell& cell = advice.Fuel[cy * columns + cx];
        ++cell.Samples;
        cell.Weight += weight;
        weightedAfr[cy * columns + cx] += weight * afr;
        ++advice.Used;
    }
    for (size_t cy = 0; cy < rows; ++cy) {
        for (size_t cx = 0; cx < columns; ++cx) {
            FuelCell& cell = advice.Fuel[cy * columns + cx];
            const double centreRpm = (advice.RpmEdges[cx] + advice.RpmEdges[cx + 1]) / 2;
            const double centreMap = (advice.MapEdges[cy] + advice.MapEdges[cy + 1]) / 2;
            cell.TargetAfr = settings.Target.At(centreRpm, BoostPsiOf(advice.MapName, advice.MapUnit, centreMap));
            cell.MeanAfr = cell.Weight > 0 ? weightedAfr[cy * columns + cx] / cell.Weight : 0;
            cell.Percent = kNaN;
            if (cell.Samples < std::max<size_t>(limits.MinSamples, 1) || !(cell.TargetAfr > 0))
                continue;
            const double percent = (cell.MeanAfr / cell.TargetAfr - 1) * 100;
            cell.Clipped = std::abs(percent) > limits.ClipPercent;
            cell.Percent = std::clamp(percent, -limits.ClipPercent, limits.ClipPercent);
        }
    }

    std::vector<size_t> retards;
    for (std::string_view name : kRetardColumns)
        if (const size_t c = FindChannel(log, {name}); c != none)
            retards.push_back(c);
    if (retards.empty())
        return advice;
    advice.Spark.assign(columns * rows, SparkCell{});
    for (size_t i = 0; i < time.size(); ++i) {
        double retard = kNaN;
        for (size_t c : retards)
            if (const double v = log.Channels[c].Values[i]; !std::isnan(v))
                retard = std::isnan(retard) ? v : std::max(retard, v);
        if (std::isnan(retard) || !(rpm[i] > limits.MinRpm))
            continue;
        const int x = BinOf(advice.RpmEdges, rpm[i]), y = BinOf(advice.MapEdges, map[i]);
        if (x < 0 || y < 0)
            continue;
        SparkCell& cell = advice.Spark[static_cast<size_t>(y) * columns + static_cast<size_t>(x)];
        ++cell.Samples;
        if (retard > 0) {
            ++cell.Knocked;
            cell.MaxRetard = std::max(cell.MaxRetard, retard);
            cell.RemoveDegrees = static_cast<int>(std::ceil(cell.MaxRetard - 1e-9));
        }
    }
    return advice;
}

std::string Advice::GridText(char separator, const std::function<std::string(size_t, size_t)>& cell) const
{
    std::string text = HeaderOf(MapName, MapUnit) + " \\ " + HeaderOf(RpmName, RpmUnit);
    for (size_t x = 0; x < Columns(); ++x)
        text += separator + EdgesText({RpmEdges[x]});
    text += "\r\n";
    for (size_t y = Rows(); y-- > 0;) {
        text += EdgesText({MapEdges[y]});
        for (size_t x = 0; x < Columns(); ++x)
            text += separator + cell(x, y);
        text += "\r\n";
    }
    return text;
}

std::string Advice::FuelTable(char separator) const
{
    return GridText(separator, [this](size_t x, size_t y) {
        return FuelAt(x, y).Enough() ? OneDecimal(FuelAt(x, y).Percent) : std::string();
    });
}

std::string Advice::SparkTable(char separator) const
{
    return GridText(separator, [this](size_t x, size_t y) {
        return !Spark.empty() && SparkAt(x, y).Samples > 0 ? std::to_string(-SparkAt(x, y).RemoveDegrees)
                                                           : std::string();
    });
}

std::string Advice::Summary() const
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "%zu AFR readings used; left out: %zu without a value, %zu without a sample at the sensor's delay, "
                  "%zu cold, %zu at %.0f rpm or less, %zu with the throttle moving, %zu AFR outside %.1f-%.1f, "
                  "%zu outside the cells",
                  Used, Dropped.NoValue, Dropped.NoMatch, Dropped.Cold, Dropped.SlowEngine, Limits.MinRpm,
                  Dropped.Transient, Dropped.AfrRange, Limits.MinAfr, Limits.MaxAfr, Dropped.Outside);
    return text;
}

double AdaptivesChange::Change(int row, int column) const
{
    if (!HasStart || !HasEnd)
        return kNaN;
    return TrimChange(AdaptiveCellValue(Start, row, column), AdaptiveCellValue(End, row, column));
}

double AdaptivesChange::IdleChange() const
{
    return HasStart && HasEnd ? TrimChange(Start.Idle, End.Idle) : kNaN;
}

std::string AdaptivesChange::Table(char separator) const
{
    std::string text = "Adaptive cells (fuel trim %)";
    for (int c = 0; c < kAdaptiveColumns; ++c)
        text += separator + AdaptiveColumnRange(c, Start.Points);
    text += separator + std::string("Idle cell") + "\r\n";
    const auto line = [&](int row, const char* what, auto value) {
        text += AdaptiveRowRange(row, Start.Points) + ' ' + what;
        for (int c = 0; c < kAdaptiveColumns; ++c)
            text += separator + OneDecimal(value(row, c));
        // The idle cell has no row of the grid: its figure stands on the upper row's lines.
        text += separator + (row == 0 ? OneDecimal(value(-1, 0)) : std::string()) + "\r\n";
    };
    const auto trim = [](const AdaptivesReading& r) {
        return [&r](int row, int c) { return FuelTrimPercent(row < 0 ? r.Idle : AdaptiveCellValue(r, row, c)); };
    };
    for (int row = 0; row < kAdaptiveRows; ++row) {
        if (HasStart)
            line(row, "start", trim(Start));
        if (HasEnd)
            line(row, "end", trim(End));
        if (HasStart && HasEnd)
            line(row, "change", [this](int r, int c) { return r < 0 ? IdleChange() : Change(r, c); });
    }
    return text;
}

AdaptivesChange AdaptivesOfRun(const RunAdaptives& run)
{
    AdaptivesChange change;
    change.HasStart = run.Start.has_value();
    change.HasEnd = run.End.has_value();
    if (run.Start)
        change.Start = *run.Start;
    if (run.End)
        change.End = *run.End;
    return change;
}

AdaptivesChange AdaptivesBeside(const std::string& logPath, const IniFile* ini)
{
    // The file holds a header and two rows; a larger one is not this program's.
    constexpr std::streamsize kMostBytes = 4096;
    std::ifstream in(RunAdaptivesPath(logPath), std::ios::binary);
    std::string text(static_cast<size_t>(kMostBytes), '\0');
    in.read(text.data(), kMostBytes);
    text.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    AdaptivesChange change = AdaptivesOfRun(ParseRunAdaptives(text));
    if (ini)
        change.Start.Points = change.End.Points = LoadAdaptiveBreakpoints(*ini);
    return change;
}

}  // namespace tessek
