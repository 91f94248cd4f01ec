// The fuel advice against a planted truth: a simulated drive that sweeps 40 engine speed x
// boost cells, each with its own planted fuel error, read by the simulated wideband one
// exhaust delay (the engine's own, over its flow) late. It starts cold, visiting cells
// before the coolant reaches 160 F, and stabs the throttle twice in every cell once warm.
// The advice must land within 2 points of each cell's planted error; and when the readings
// of the cold and the transient moments are made wrong (25 % rich), it still must, while
// either filter left off would take the wrong readings in.
//
// With TESSEK_ADVICE_DRIVE_CSV set to a path, the drive is also written there as a data
// log (the README's screenshot of the Advice tab shows it).
#include "analysis/Advice.h"
#include "analysis/CellTable.h"
#include "logging/ColumnNames.h"
#include "sim/WidebandSignal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>

namespace tessek {
namespace {

using std::chrono::milliseconds;

constexpr double kIdleRpm = 850, kIdleBoost = -12;
constexpr double kStabRamp = 0.2, kStabHold = 0.3;  // s
constexpr double kSampleSeconds = 0.05;

double Wave(double t, double period)
{
    return std::sin(2 * std::numbers::pi * t / period);
}

struct Point {
    double T, Rpm, Boost;
};

// The drive: the engine moves in straight lines between points (a cell's centre held,
// then a second to the next cell), wobbling inside the cell, with throttle stabs.
class Drive {
public:
    void Hold(double rpm, double boost, double seconds, bool stabs)
    {
        points_.push_back({end_, rpm, boost});
        if (stabs)
            stabs_.insert(stabs_.end(), {end_ + 1.0, end_ + 3.0});
        end_ += seconds;
        points_.push_back({end_, rpm, boost});
    }
    void Move(double seconds) { end_ += seconds; }
    double End() const { return end_; }

    static double Coolant(double t) { return std::min(190.0, 110 + 0.9 * t); }
    // The throttle is moving in a stab (up or down, 200 %/s).
    bool Transient(double t) const
    {
        for (double s : stabs_)
            if ((t >= s && t < s + kStabRamp) || (t >= s + kStabRamp + kStabHold && t < s + 2 * kStabRamp + kStabHold))
                return true;
        return false;
    }

    sim::EngineState operator()(milliseconds elapsed) const
    {
        const double t = static_cast<double>(elapsed.count()) / 1000;
        size_t i = 1;
        while (i + 1 < points_.size() && points_[i].T < t)
            ++i;
        const Point& a = points_[i - 1];
        const Point& b = points_[i];
        const double f = b.T > a.T ? std::clamp((t - a.T) / (b.T - a.T), 0.0, 1.0) : 1.0;
        const double boost = a.Boost + (b.Boost - a.Boost) * f + 0.375 * Wave(t, 1.7);
        sim::EngineState s;
        s.rpm = a.Rpm + (b.Rpm - a.Rpm) * f + 75 * Wave(t, 1.3);
        s.baroPsiAbs = 14.7;
        s.mapPsiAbs = 14.7 + boost;
        s.mph = s.rpm / 40;
        s.throttleClosed = false;
        double stab = 0;
        for (double start : stabs_) {
            const double u = t - start;
            stab = std::max(stab, u < 0                           ? 0.0
                                  : u < kStabRamp                 ? u / kStabRamp
                                  : u < kStabRamp + kStabHold     ? 1.0
                                  : u < 2 * kStabRamp + kStabHold ? (2 * kStabRamp + kStabHold - u) / kStabRamp
                                                                  : 0.0);
        }
        s.tpsPercent = std::clamp(25 + 3 * boost, 5.0, 60.0) + 40 * stab;
        s.coolantF = Coolant(t);
        s.o2Volts = 0.45 + 0.35 * Wave(t, 1.1);
        s.retardDeg[1] = boost > 5 ? 2 : 0;
        return s;
    }

private:
    std::vector<Point> points_;
    std::vector<double> stabs_;
    double end_ = 0;
};

struct PlantedCell {
    double Rpm, Boost, Percent;  // lower edges
};

// The cells swept, in a serpentine over engine speed so that each move crosses one edge:
// vacuum only below 2500 rpm (the turbo has not spooled), up to 7.5-10 psi above.
std::vector<PlantedCell> SweptCells()
{
    std::vector<PlantedCell> cells;
    for (int c = 0; c < 6; ++c) {
        const int rows = c < 2 ? 4 : 8;
        for (int k = 0; k < rows; ++k) {
            const int r = c % 2 == 0 ? k : rows - 1 - k;
            cells.push_back({1500.0 + 500 * c, -10 + 2.5 * r, 3.0 * c - 2.0 * r - 2});
        }
    }
    return cells;
}

Drive SweepDrive(const std::vector<PlantedCell>& cells)
{
    Drive d;
    d.Hold(kIdleRpm, kIdleBoost, 3, false);
    for (size_t i = 0; d.End() < 52; ++i) {  // cold
        d.Move(0.5);
        d.Hold(cells[i].Rpm + 250, cells[i].Boost + 1.25, 1.5, false);
    }
    d.Move(1);
    d.Hold(kIdleRpm, kIdleBoost, 62 - d.End(), false);
    for (const PlantedCell& c : cells) {  // warm
        d.Move(1);
        d.Hold(c.Rpm + 250, c.Boost + 1.25, 5, true);
    }
    d.Move(1);
    d.Hold(kIdleRpm, kIdleBoost, 3, false);
    return d;
}

// The drive as a data log sampled every 50 ms. With `poisoned`, each AFR reading whose
// mixture burned while the engine was cold or the throttle moving reads 25 % rich.
LogData DriveLog(const Drive& drive, const sim::WidebandSignal& wideband, bool poisoned)
{
    LogData log;
    for (auto [name, unit] : {std::pair{kEngineSpeedColumn, "rpm"},
                              {kBoostColumn, "psi"},
                              {kCoolantColumn, "F"},
                              {kThrottleColumn, "%"},
                              {kAfrColumn, ""},
                              {kRetardColumns[1], "deg"}})
        log.Channels.push_back({std::string(name), unit, false, 2, {}});
    for (double t = 0; t < drive.End(); t += kSampleSeconds) {
        const milliseconds ms(std::lround(t * 1000));
        const sim::EngineState s = drive(ms);
        const double burned = t - static_cast<double>(sim::ExhaustDelay(s).count()) / 1000;
        const bool wrong = poisoned && (Drive::Coolant(burned) < 160 || drive.Transient(burned));
        log.Time.push_back(t);
        const double values[] = {s.rpm,
                                 s.mapPsiAbs - s.baroPsiAbs,
                                 s.coolantF,
                                 s.tpsPercent,
                                 wideband.SensorAfr(ms) * (wrong ? 0.75 : 1.0),
                                 static_cast<double>(s.retardDeg[1])};
        for (size_t c = 0; c < log.Channels.size(); ++c)
            log.Channels[c].Values.push_back(values[c]);
    }
    return log;
}

double PlantedAt(const std::vector<PlantedCell>& cells, double rpm, double boost)
{
    const auto cell =
        std::ranges::find_if(cells, [&](const PlantedCell& c) { return c.Rpm == rpm && c.Boost == boost; });
    return cell == cells.end() ? 0 : cell->Percent;
}

// The cells whose advice is further than 2 points from the planted error; every swept cell
// must have enough samples.
size_t CellsOff(const Advice& advice, const std::vector<PlantedCell>& cells)
{
    size_t off = 0;
    for (size_t y = 0; y < advice.Rows(); ++y) {
        for (size_t x = 0; x < advice.Columns(); ++x) {
            const FuelCell& cell = advice.FuelAt(x, y);
            const double rpm = advice.RpmEdges[x], boost = advice.MapEdges[y];
            const double planted = PlantedAt(cells, rpm, boost);
            if (planted != 0) {
                EXPECT_TRUE(cell.Enough()) << rpm << " rpm, " << boost << " psi: " << cell.Samples << " samples";
            }
            if (!cell.Enough())
                continue;
            off += std::abs(cell.Percent - planted) > 2 ? 1 : 0;
        }
    }
    return off;
}

void WriteCsv(const LogData& log, const char* path)
{
    std::ofstream out(path);
    out << "Time (s)";
    for (const LogChannel& c : log.Channels)
        out << ',' << ColumnHeaderText({c.Name, c.Unit});
    out << '\n';
    for (size_t i = 0; i < log.Time.size(); ++i) {
        char field[32];
        std::snprintf(field, sizeof field, "%.3f", log.Time[i]);
        out << field;
        for (const LogChannel& c : log.Channels) {
            std::snprintf(field, sizeof field, "%.2f", c.Values[i]);
            out << ',' << field;
        }
        out << '\n';
    }
}

TEST(AdviceTruth, FuelAdviceFindsThePlantedErrorsAndIgnoresColdAndTransientReadings)
{
    const std::vector<PlantedCell> cells = SweptCells();
    const Drive drive = SweepDrive(cells);
    sim::WidebandSignal wideband([&drive](milliseconds t) { return drive(t); });
    for (const PlantedCell& c : cells)
        wideband.Plant({c.Rpm, c.Rpm + 500, c.Boost, c.Boost + 2.5, c.Percent});
    AdviceSettings settings;
    settings.Target = UniformAfrTarget(sim::kStoichAfr);  // the engine's closed loop aims at it everywhere

    const LogData clean = DriveLog(drive, wideband, false);
    const Advice advice = ComputeAdvice(clean, settings);
    ASSERT_EQ(advice.Problem, "");
    EXPECT_GT(advice.Dropped.Cold, 500u);
    EXPECT_GT(advice.Dropped.Transient, 500u);
    EXPECT_EQ(CellsOff(advice, cells), 0u);

    const LogData poisoned = DriveLog(drive, wideband, true);
    EXPECT_EQ(CellsOff(ComputeAdvice(poisoned, settings), cells), 0u);
    for (auto limit : {&AdviceLimits::MinCoolantF, &AdviceLimits::MaxThrottleRate}) {
        AdviceSettings unfiltered = settings;
        unfiltered.Limits.*limit = limit == &AdviceLimits::MinCoolantF ? -1e9 : 1e9;
        EXPECT_GT(CellsOff(ComputeAdvice(poisoned, unfiltered), cells), 3u);
    }
    if (const char* path = std::getenv("TESSEK_ADVICE_DRIVE_CSV"))
        WriteCsv(clean, path);
}

}  // namespace
}  // namespace tessek
