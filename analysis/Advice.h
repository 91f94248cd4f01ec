#pragma once
// Tuning advice from a data log: a fuel correction per engine speed x MAP cell from the
// wideband's AFR against a target AFR table, where to take spark out from the knock
// retard, and what the LM's own adaptive cells learned over the run. Suggestions only:
// nothing is written to the LM. Plain code, any thread.
//
// Fuel. Each AFR reading belongs to the engine state of a moment earlier (the exhaust's
// transport delay, a table over engine speed): it is matched with the sample nearest to
// (its time - delay), and dropped when no sample lies within kMatchTolerance of that
// moment. The matched sample counts only when the coolant is at least 160 F (where
// logged), the engine speed above 500 rpm, the throttle moves by at most 50 %/s (where
// logged), the AFR lies within 10 .. 19.5 and every value needed is there. Each sample
// weighs by its closeness to its cell's centre in both directions (1 at the centre, 1/2
// at an edge, the two directions multiplied). A cell of at least 20 samples gets
// correction % = (weighted mean AFR / target AFR - 1) x 100, positive meaning lean: add
// that much fuel; at most +-20 %, a clipped cell says so. A cell of fewer samples has only
// its count.
//
// Spark. Per cell (the sample's own engine speed and MAP, no delay): the largest knock
// retard of any cylinder, the samples with a retard above 0, and the whole degrees to take
// out (the largest retard rounded up). Spark is never added.
//
// Settings in "Tessek.ini":
// - [AfrTarget]: Rpm (edges, rpm), Boost (edges, psi of boost, vacuum negative) and Row1 ..
//   RowN (the targets of each boost bin from the lowest up, one per rpm bin). A cell of
//   the advice takes the target of the stored cell that holds its centre (the nearest one
//   outside the table), whatever bins and pressure unit the advice uses.
// - [AdviceDelay]: Rpm and Seconds, two lists of equal length; the delay between two
//   points is interpolated, outside them it is the nearest point's.
#include <cmath>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logfiles/LogFile.h"
#include "reports/RunAdaptives.h"

namespace tessek {

class IniFile;

inline constexpr const char* kAfrTargetSection = "AfrTarget";
inline constexpr const char* kAdviceDelaySection = "AdviceDelay";

// Target AFR over engine speed x boost (psi above the barometric pressure).
struct AfrTargetTable {
    std::vector<double> RpmEdges;
    std::vector<double> BoostEdges;
    std::vector<double> Afr;  // row by row from the lowest boost bin: Afr[row * columns + column]

    size_t Columns() const { return RpmEdges.size() < 2 ? 0 : RpmEdges.size() - 1; }
    size_t Rows() const { return BoostEdges.size() < 2 ? 0 : BoostEdges.size() - 1; }
    // The target of the cell holding (rpm, boost), the nearest cell outside the table;
    // NaN for an empty table.
    double At(double rpm, double boostPsi) const;
};

// 0 .. 6000 rpm by 500 and -15 .. 15 psi by 2.5 (the cell table's bins): 14.7
// (stoichiometric) in vacuum and light load up to 0 psi, then richer with boost: 13.5
// from 0, 12.8 from 2.5, 12.3 from 5, 12.0 from 7.5, 11.8 from 10 and 11.5 from 12.5 psi.
AfrTargetTable DefaultAfrTargets();
// One target everywhere (the command line's --target).
AfrTargetTable UniformAfrTarget(double afr);

// The stored table; the defaults (and `problem` saying why) when the section is missing or
// malformed: edges as ParseEdges reads them, and as many rows of as many AFRs between 6
// and 25 as the edges make bins.
AfrTargetTable ReadAfrTargets(const IniFile& ini, std::string* problem = nullptr);
// Writes the whole section; throws as IniFile's writes do.
void WriteAfrTargets(IniFile& ini, const AfrTargetTable& table);

// The sensor's delay over engine speed.
struct DelayTable {
    std::vector<double> Rpm;      // ascending
    std::vector<double> Seconds;  // one per Rpm
    double At(double rpm) const;
};
// 0.8 s at 800 rpm, 0.45 s at 1500, 0.3 s at 2500, 0.2 s at 3500, 0.1 s at 5000.
DelayTable DefaultDelays();
// The stored table; the defaults (and `problem`) when missing or malformed: ascending
// engine speeds, delays from 0 to 5 s, lists of equal length (1 to 50 points).
DelayTable ReadDelays(const IniFile& ini, std::string* problem = nullptr);
void WriteDelays(IniFile& ini, const DelayTable& table);
// "800 1500" and "0.8 0.45" as the user edits them; none (and `problem`) when malformed.
std::optional<DelayTable> ParseDelays(std::string_view rpm, std::string_view seconds, std::string& problem);

struct AdviceLimits {
    double MinCoolantF = 160;
    double MinRpm = 500;
    double MaxThrottleRate = 50;  // %/s
    double MinAfr = 10, MaxAfr = 19.5;
    double MatchTolerance = 0.2;  // s between the moment sought and the nearest sample
    size_t MinSamples = 20;
    double ClipPercent = 20;
};

struct AdviceSettings {
    // Bin edges; empty: the cell table's defaults for the log's channels (DefaultEdges).
    std::vector<double> RpmEdges, MapEdges;
    AfrTargetTable Target = DefaultAfrTargets();
    DelayTable Delay = DefaultDelays();
    AdviceLimits Limits;
};

struct FuelCell {
    size_t Samples = 0;
    double Weight = 0;
    double MeanAfr = 0;    // weighted; 0 without samples
    double TargetAfr = 0;  // of the cell's centre
    // Points of percent to add (negative: to remove); NaN below the least samples.
    double Percent = 0;
    bool Clipped = false;
    bool Enough() const { return !std::isnan(Percent); }
};

struct SparkCell {
    size_t Samples = 0;  // with a retard value
    size_t Knocked = 0;  // with a retard above 0
    double MaxRetard = 0;
    int RemoveDegrees = 0;  // whole degrees to take out, 0 without knock
};

// Why readings were left out of the fuel advice, by the first reason that applies.
struct AdviceDrops {
    size_t NoValue = 0, NoMatch = 0, Cold = 0, SlowEngine = 0, Transient = 0, AfrRange = 0, Outside = 0;
};

struct Advice {
    // Empty when advice could be given; otherwise why not (no AFR, engine speed or MAP).
    std::string Problem;
    // The channels used and their units: "Engine Speed", "rpm", "Boost", "psi".
    std::string RpmName, RpmUnit, MapName, MapUnit;
    std::vector<double> RpmEdges, MapEdges;
    std::vector<FuelCell> Fuel;    // Fuel[row * columns + column], row 0 the lowest MAP bin
    std::vector<SparkCell> Spark;  // likewise; empty when the log has no retard column
    size_t Used = 0;               // readings in the fuel cells
    AdviceDrops Dropped;
    AdviceLimits Limits;

    size_t Columns() const { return RpmEdges.size() < 2 ? 0 : RpmEdges.size() - 1; }
    size_t Rows() const { return MapEdges.size() < 2 ? 0 : MapEdges.size() - 1; }
    const FuelCell& FuelAt(size_t column, size_t row) const { return Fuel[row * Columns() + column]; }
    const SparkCell& SparkAt(size_t column, size_t row) const { return Spark[row * Columns() + column]; }

    // The tables in the cell table's form, fields split by `separator`: a corner field
    // ("Boost (psi) \ Engine Speed (rpm)"), the rpm bins' lower edges ascending; then per MAP
    // bin from the highest down its lower edge and the cells. Fuel: the correction with one
    // decimal, empty below the least samples. Spark: the change in whole degrees (-3, or 0
    // without knock), empty for a cell without samples.
    std::string FuelTable(char separator) const;
    std::string SparkTable(char separator) const;
    // One line: readings used and left out, by reason.
    std::string Summary() const;

private:
    // The corner, the rpm edges, then per MAP bin from the highest down its edge and the
    // text of each cell.
    std::string GridText(char separator, const std::function<std::string(size_t, size_t)>& cell) const;
};

// The AFR column of `log` ("AFR", else "Lambda" times 14.7 where no AFR is logged), its
// engine speed and its MAP ("Boost", else "MAP abs", else the logged MAP).
Advice ComputeAdvice(const LogData& log, const AdviceSettings& settings);

// Boost in psi (vacuum negative) of a value of a MAP channel as the advice uses it:
// "Boost" in psi, kPa or bar, "MAP abs" (taken against 14.7 psi of air), the logged MAP
// (psi of boost, -inHg of vacuum).
double BoostPsiOf(std::string_view name, std::string_view unit, double value);

// What the LM's adaptive cells learned over a run: each grid cell's fuel trim at the start
// and at the end and the change, in percent (positive: the LM added fuel).
struct AdaptivesChange {
    bool HasStart = false, HasEnd = false;
    AdaptivesReading Start, End;
    // Change of cell (row, column) of the report's grid (row 0 the upper row), and of the
    // idle cell; NaN without both readings.
    double Change(int row, int column) const;
    double IdleChange() const;
    // The grids as text, in the cell table's form: a corner, the MAP ranges, then per row
    // its rpm range and the trims ("start", "end" and "change", one decimal).
    std::string Table(char separator) const;
};
AdaptivesChange AdaptivesOfRun(const RunAdaptives& run);
// The readings a run kept beside the log at `logPath` (RunAdaptivesPath); neither when
// there is no such file or it cannot be read. The grid's ranges are named by the
// breakpoints of `ini`'s [AdaptiveGrid] where it is given.
AdaptivesChange AdaptivesBeside(const std::string& logPath, const IniFile* ini = nullptr);

}  // namespace tessek
