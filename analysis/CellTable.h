#pragma once
// Sorting a log into cells, the way tuners read a run: each sample goes into the cell of
// its X value (columns, e.g. engine speed) and Y value (rows, e.g. MAP), and each cell
// keeps the count, sum, smallest and largest of a third channel Z (e.g. O2). Plain code,
// any thread; the viewer's and the live window's cell tables are views of it.
//
// Bins are given by their edges, ascending: n + 1 edges make n bins, each [edge, next edge),
// the last one including its upper edge. Samples outside the outer edges, or without an X,
// Y or Z value, are counted apart and go into no cell.
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logfiles/LogFile.h"

namespace tessek {

enum class CellStatistic { Mean, Minimum, Maximum, Count };

struct Cell {
    size_t Count = 0;
    double Sum = 0;
    double Min = std::numeric_limits<double>::infinity();
    double Max = -std::numeric_limits<double>::infinity();

    // The statistic of the cell; NaN for an empty cell (the count of an empty cell is 0).
    double Value(CellStatistic statistic) const;
};

// The bin of `v` for `edges`; -1 outside them (or for NaN, or fewer than two edges).
int BinOf(std::span<const double> edges, double v);

// `count` bins of `step` from `from`: count + 1 edges.
std::vector<double> EvenEdges(double from, double step, int count);

// Edges a tuner of this engine expects for a channel, by its name and unit: engine speed
// 0 .. 6000 rpm by 500; "Boost" (vacuum negative) -15 .. 15 psi by 2.5, -100 .. 100 kPa
// by 20 or -1 .. 1 bar by 0.2; "MAP abs" 20 .. 200 kPa by 20 (0.2 .. 2 bar, 0 .. 30 psi);
// the logged MAP (psi of boost, -inHg of vacuum) from 30 inHg of vacuum
// by 5 and from 0 to 16 psi by 2; otherwise ten bins over `lo` .. `hi` (the channel's
// values) on round numbers.
std::vector<double> DefaultEdges(std::string_view name, std::string_view unit, double lo, double hi);

// Most bins of an axis: more would not fit on a screen, and a table of 3000 x 3000 bins
// would take gigabytes.
inline constexpr size_t kMaxBins = 200;

// "0 500 1000": edges as the user edits them; reading takes spaces, commas or semicolons
// between numbers. Reading fails (empty result, `error` says why) unless there are at
// least two and at most kMaxBins + 1 ascending numbers.
std::string EdgesText(const std::vector<double>& edges);
// The words of a list as the user types it: blanks, tabs, commas or semicolons between.
std::vector<std::string_view> ListWords(std::string_view text);
std::vector<double> ParseEdges(std::string_view text, std::string& error);

// The channels a cell table of `log` starts with: X engine speed, Y the linear MAP where the
// log has one ("Boost", else "MAP abs"), else the logged MAP; Z the wideband's AFR where
// the log has it (the mean AFR per cell is what a tuner reads), else O2. A channel the log lacks
// is its first channel that is not raw and not already chosen (log.Channels.size() when
// there is none).
struct CellChoice {
    size_t X = 0, Y = 0, Z = 0;
};
CellChoice DefaultCellChoice(const LogData& log);

class CellTable {
public:
    CellTable() = default;
    CellTable(std::vector<double> xEdges, std::vector<double> yEdges);

    void Add(double x, double y, double z);
    // Adds the samples i of the columns (all of the same length) with from <= time[i] <= to.
    void AddRange(std::span<const double> time, std::span<const double> x, std::span<const double> y,
                  std::span<const double> z, double from, double to);
    void Clear();

    const std::vector<double>& XEdges() const { return xEdges_; }
    const std::vector<double>& YEdges() const { return yEdges_; }
    size_t Columns() const { return xEdges_.size() < 2 ? 0 : xEdges_.size() - 1; }
    size_t Rows() const { return yEdges_.size() < 2 ? 0 : yEdges_.size() - 1; }
    // Column `x` (of the X bins), row `y` (of the Y bins).
    const Cell& At(size_t x, size_t y) const { return cells_[y * Columns() + x]; }
    size_t Hits() const { return hits_; }
    size_t Outside() const { return outside_; }  // samples with values outside the edges
    size_t NoValue() const { return noValue_; }  // samples without an X, Y or Z value
    // The smallest and largest statistic over the cells that have samples; NaN without any.
    std::pair<double, double> Span(CellStatistic statistic) const;

    // The table as tab-separated text: a header row of the X bins' lower edges, then per Y
    // bin from the highest down its lower edge and the cells' statistic (empty for empty
    // cells), `decimals` after the mark. `corner` is the first field, e.g. "MAP \ rpm".
    std::string Tsv(CellStatistic statistic, int decimals, const std::string& corner) const;

private:
    std::vector<double> xEdges_, yEdges_;
    std::vector<Cell> cells_;
    size_t hits_ = 0, outside_ = 0, noValue_ = 0;
};

}  // namespace tessek
