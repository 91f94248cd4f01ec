#include "analysis/CellTable.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "analysis/LogViewModel.h"
#include "logging/ColumnNames.h"

namespace tessek {
namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The smallest of 1, 2, 2.5 and 5 times a power of ten that is at least `raw`.
double RoundStep(double raw)
{
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0})
        if (m * power >= raw * (1 - 1e-9))
            return m * power;
    return 10 * power;
}

std::string Number(double v, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 9), v);
    return text;
}

// Shortest text that reads back as `v` for edges: "2.5", "500", "-15".
std::string EdgeText(double v)
{
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace

double Cell::Value(CellStatistic statistic) const
{
    if (statistic == CellStatistic::Count)
        return static_cast<double>(Count);
    if (Count == 0)
        return std::numeric_limits<double>::quiet_NaN();
    switch (statistic) {
        case CellStatistic::Minimum:
            return Min;
        case CellStatistic::Maximum:
            return Max;
        default:
            return Sum / static_cast<double>(Count);
    }
}

int BinOf(std::span<const double> edges, double v)
{
    if (edges.size() < 2 || !(v >= edges.front()) || !(v <= edges.back()))
        return -1;
    const auto after = std::upper_bound(edges.begin(), edges.end(), v);
    // The upper edge belongs to the last bin.
    const auto bin = (after == edges.end() ? edges.end() - 1 : after) - edges.begin() - 1;
    return static_cast<int>(bin);
}

std::vector<double> EvenEdges(double from, double step, int count)
{
    std::vector<double> edges;
    // Rounded to nine decimals, so that 0.1 + 2 * 0.1 is the 0.3 a user would type.
    for (int i = 0; i <= count; ++i)
        edges.push_back(std::round((from + step * i) * 1e9) / 1e9);
    return edges;
}

std::vector<double> DefaultEdges(std::string_view name, std::string_view unit, double lo, double hi)
{
    const std::string n = Lower(name), u = Lower(unit);
    if (n == Lower(kEngineSpeedColumn) || n == Lower(kOtherRpmColumn) || u == Lower(kEngineSpeedUnit))
        return EvenEdges(0, 500, 12);
    // Pressures by the unit they are shown in: a metric log's Boost is in kPa.
    if (n == Lower(kBoostColumn) || n == Lower(kMapAbsoluteColumn)) {
        const bool boost = n == Lower(kBoostColumn);
        if (u == "psi")
            return boost ? EvenEdges(-15, 2.5, 12) : EvenEdges(0, 2.5, 12);
        if (u == "bar")
            return boost ? EvenEdges(-1, 0.2, 10) : EvenEdges(0.2, 0.2, 9);
        if (u == "kpa")
            return boost ? EvenEdges(-100, 20, 10) : EvenEdges(20, 20, 9);
    }
    if (n == Lower(kMapColumn) && u == Lower(kMapMixedUnit))
        return {-30, -25, -20, -15, -10, -5, 0, 2, 4, 6, 8, 10, 12, 14, 16};
    if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo)
        return {0, 1};
    if (hi - lo < 1e-9) {
        const double step = RoundStep(std::max(std::abs(lo) / 10, 1e-3));
        const double from = std::floor(lo / step) * step;
        return {from, from + step};
    }
    const double step = RoundStep((hi - lo) / 10);
    const double from = std::floor(lo / step + 1e-9) * step;
    const int count = std::max(1, static_cast<int>(std::ceil((hi - from) / step - 1e-9)));
    return EvenEdges(from, step, count);
}

std::string EdgesText(const std::vector<double>& edges)
{
    std::string text;
    for (double e : edges) {
        if (!text.empty())
            text += ' ';
        text += EdgeText(e);
    }
    return text;
}

std::vector<std::string_view> ListWords(std::string_view text)
{
    constexpr std::string_view kBetween = " ,;\t";
    std::vector<std::string_view> words;
    for (size_t i = text.find_first_not_of(kBetween); i != std::string_view::npos;
         i = text.find_first_not_of(kBetween, i)) {
        const size_t end = std::min(text.find_first_of(kBetween, i), text.size());
        words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

std::vector<double> ParseEdges(std::string_view text, std::string& error)
{
    std::vector<double> edges;
    const std::vector<std::string_view> all = ListWords(text);
    const size_t words = all.size();
    for (size_t w = 0; w < words && w <= kMaxBins; ++w) {  // beyond: only counted, for the reason
        const std::string_view word = all[w];
        double v = 0;
        const auto [stop, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
        if (ec != std::errc() || stop != word.data() + word.size() || !std::isfinite(v)) {
            error = '"';
            error += word;
            error += "\" is not a number";
            return {};
        }
        if (!edges.empty() && v <= edges.back()) {
            error = "the edges must go up: " + EdgeText(v) + " after " + EdgeText(edges.back());
            return {};
        }
        edges.push_back(v);
    }
    if (words > kMaxBins + 1) {
        error = "at most " + std::to_string(kMaxBins) + " bins (" + std::to_string(kMaxBins + 1) +
                " edges) are allowed, not " + std::to_string(words - 1);
        return {};
    }
    if (edges.size() < 2) {
        error = "at least two edges are needed";
        return {};
    }
    error.clear();
    return edges;
}

CellChoice DefaultCellChoice(const LogData& log)
{
    const size_t none = log.Channels.size();
    CellChoice choice{FindChannel(log, {kEngineSpeedColumn, kOtherRpmColumn}),
                      FindChannel(log, {kBoostColumn, kMapAbsoluteColumn, kMapColumn}),
                      FindChannel(log, {kAfrColumn, kO2Column})};
    const auto firstFree = [&](std::initializer_list<size_t> taken) {
        for (size_t c = 0; c < none; ++c)
            if (!log.Channels[c].Raw && std::find(taken.begin(), taken.end(), c) == taken.end())
                return c;
        return none;
    };
    if (choice.X == none)
        choice.X = firstFree({choice.Y, choice.Z});
    if (choice.Y == none)
        choice.Y = firstFree({choice.X, choice.Z});
    if (choice.Z == none)
        choice.Z = firstFree({choice.X, choice.Y});
    return choice;
}

CellTable::CellTable(std::vector<double> xEdges, std::vector<double> yEdges)
    : xEdges_(std::move(xEdges)), yEdges_(std::move(yEdges))
{
    cells_.assign(Columns() * Rows(), Cell{});
}

void CellTable::Add(double x, double y, double z)
{
    if (std::isnan(x) || std::isnan(y) || std::isnan(z)) {
        ++noValue_;
        return;
    }
    const int cx = BinOf(xEdges_, x), cy = BinOf(yEdges_, y);
    if (cx < 0 || cy < 0) {
        ++outside_;
        return;
    }
    Cell& cell = cells_[static_cast<size_t>(cy) * Columns() + static_cast<size_t>(cx)];
    ++cell.Count;
    cell.Sum += z;
    cell.Min = std::min(cell.Min, z);
    cell.Max = std::max(cell.Max, z);
    ++hits_;
}

void CellTable::AddRange(std::span<const double> time, std::span<const double> x, std::span<const double> y,
                         std::span<const double> z, double from, double to)
{
    const size_t n = std::min({time.size(), x.size(), y.size(), z.size()});
    const auto first = static_cast<size_t>(std::lower_bound(time.begin(), time.begin() + n, from) - time.begin());
    const auto last = static_cast<size_t>(std::upper_bound(time.begin(), time.begin() + n, to) - time.begin());
    for (size_t i = first; i < last; ++i)
        Add(x[i], y[i], z[i]);
}

void CellTable::Clear()
{
    cells_.assign(cells_.size(), Cell{});
    hits_ = outside_ = noValue_ = 0;
}

std::pair<double, double> CellTable::Span(CellStatistic statistic) const
{
    double lo = std::numeric_limits<double>::quiet_NaN(), hi = lo;
    for (const Cell& c : cells_) {
        if (c.Count == 0)
            continue;
        const double v = c.Value(statistic);
        lo = std::isnan(lo) ? v : std::min(lo, v);
        hi = std::isnan(hi) ? v : std::max(hi, v);
    }
    return {lo, hi};
}

std::string CellTable::Tsv(CellStatistic statistic, int decimals, const std::string& corner) const
{
    std::string text = corner;
    for (size_t x = 0; x < Columns(); ++x)
        text += '\t' + EdgeText(xEdges_[x]);
    text += '\n';
    for (size_t r = Rows(); r-- > 0;) {
        text += EdgeText(yEdges_[r]);
        for (size_t x = 0; x < Columns(); ++x) {
            const Cell& c = At(x, r);
            text += '\t';
            if (c.Count > 0)
                text += Number(c.Value(statistic), statistic == CellStatistic::Count ? 0 : decimals);
        }
        text += '\n';
    }
    return text;
}

}  // namespace tessek
