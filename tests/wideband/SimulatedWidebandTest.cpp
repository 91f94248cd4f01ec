// The simulated wideband: the mixture it reports, when the sensor sees it, planted fuel
// errors, and its stream as the decoders read it.
#include "platform/Termios2.h"
#include "platform/UniqueFd.h"
#include "sim/SimulatedWideband.h"
#include "wideband/MtsDecoder.h"
#include "wideband/TextDecoder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace tessek::sim {
namespace {

using std::chrono::milliseconds;

EngineState Steady(double rpm, double mapPsiAbs, double o2Volts)
{
    EngineState s;
    s.rpm = rpm;
    s.mapPsiAbs = mapPsiAbs;
    s.baroPsiAbs = 14.7;
    s.tpsPercent = 10;
    s.throttleClosed = false;
    s.o2Volts = o2Volts;
    return s;
}

TEST(WidebandSignalTest, TheMixtureReachesTheSensorOneExhaustDelayLaterLongerAtLowFlow)
{
    const struct {
        const char* name;
        double rpm, map;
        int64_t least, most;  // ms
    } rows[] = {{"idle", 850, 5.86, 790, 810}, {"cruise", 2400, 10.8, 120, 300}, {"full load", 5500, 26.7, 100, 110}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // Rich until 10 s, then lean, at one flow.
        const WidebandSignal signal(
            [&row](milliseconds t) { return Steady(row.rpm, row.map, t < milliseconds(10000) ? 0.8 : 0.1); }, 0.0);
        int64_t seen = 10000;
        while (signal.SensorAfr(milliseconds(seen)) < kStoichAfr && seen < 12000)
            ++seen;
        EXPECT_GE(seen - 10000, row.least);
        EXPECT_LE(seen - 10000, row.most);
    }
}

TEST(WidebandSignalTest, APlantedFuelErrorShowsWhereTheEngineRanInItsCellAndNowhereElse)
{
    const std::optional<FuelError> cell = ParseFuelError("3000-5000:8-14:+15");
    ASSERT_TRUE(cell);
    const WidebandSignal plain(ScenarioState, 0.0), noisy;
    WidebandSignal planted(ScenarioState, 0.0);
    planted.Plant(*cell);
    int inside = 0, outside = 0, leanUnderBoost = 0;
    for (int64_t ms = 1000; ms < 120000; ms += 10) {
        const milliseconds t(ms);
        // In (or out of) the cell, and under boost, for at least the longest exhaust delay.
        bool allIn = true, allOut = true, boosted = true;
        for (int back = 0; back <= 800; back += 20) {
            const EngineState s = ScenarioState(t - milliseconds(back));
            allIn = allIn && cell->Contains(s);
            allOut = allOut && !cell->Contains(s);
            boosted = boosted && s.mapPsiAbs - s.baroPsiAbs > 2.0;
        }
        const double ratio = planted.SensorAfr(t) / plain.SensorAfr(t);
        if (allIn || allOut) {
            ASSERT_NEAR(ratio, allIn ? 1.15 : 1.0, 1e-9) << ms << " ms";
            ++(allIn ? inside : outside);
        }
        if (boosted) {
            ASSERT_LE(noisy.SensorAfr(t), 12.5) << "the unplanted engine runs lean under boost at " << ms << " ms";
            leanUnderBoost += planted.SensorAfr(t) > 12.5;
        }
    }
    EXPECT_GT(inside, 100);
    EXPECT_GT(outside, 5000);
    EXPECT_GT(leanUnderBoost, 0) << "the planted error is lean enough to be seen under boost";

    const char* malformed[] = {"3000-2000:0-5:10", "2500-3500:4-8", "a-b:1-2:3", "2500-3500:4-8:-100", "2500:4-8:5"};
    for (const char* text : malformed)
        EXPECT_FALSE(ParseFuelError(text)) << text;
    const auto vacuum = ParseFuelError("800-1200:-10--5:-6");
    ASSERT_TRUE(vacuum);
    EXPECT_EQ(vacuum->BoostFrom, -10);
    EXPECT_EQ(vacuum->BoostTo, -5);
    EXPECT_EQ(vacuum->Percent, -6);
}

// The readings of what the controller sends while the slave listens at `baud` for `ms`.
std::vector<WidebandReading> Listen(const SimulatedWideband& controller, uint32_t baud, WidebandDecoder& decoder,
                                    int ms)
{
    UniqueFd fd(::open(controller.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    EXPECT_TRUE(fd.Valid() && SetRawAtRate(fd.Get(), baud));
    // The open wakes the controller, which may send its first packet before the rate is
    // set: what comes in the first 150 ms is not listened to.
    std::vector<WidebandReading> readings;
    const auto begin = std::chrono::steady_clock::now();
    for (pollfd p{fd.Get(), POLLIN, 0}; std::chrono::steady_clock::now() < begin + milliseconds(ms);) {
        uint8_t bytes[64];
        if (::poll(&p, 1, 20) == 1) {
            const ssize_t n = ::read(fd.Get(), bytes, sizeof bytes);
            if (std::chrono::steady_clock::now() > begin + milliseconds(150))
                decoder.Feed(bytes, n > 0 ? static_cast<size_t>(n) : 0, 0, readings);
        }
    }
    return readings;
}

TEST(SimulatedWidebandTest, SendsTheProtocolItsRateAsksForAndGarbleAtAnother)
{
    // The scenario idles for its first 15 s: closed loop around stoichiometric.
    const auto start = std::chrono::steady_clock::now();
    const SimulatedWideband byRate(WidebandSimProtocol::ByRate, start);
    const SimulatedWideband mts(WidebandSimProtocol::Mts, start);
    const struct {
        const char* name;
        const SimulatedWideband& controller;
        uint32_t baud;
        bool mtsDecoder, readable;
    } rows[] = {
        {"MTS at 19200", byRate, 19200, true, true},
        {"text at 9600", byRate, 9600, false, true},
        {"MTS heard at 9600", mts, 9600, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MtsDecoder mtsDecoder;
        TextDecoder textDecoder(kStoichAfr);
        WidebandDecoder& decoder = row.mtsDecoder ? static_cast<WidebandDecoder&>(mtsDecoder) : textDecoder;
        const auto readings = Listen(row.controller, row.baud, decoder, 750);
        if (!row.readable) {
            EXPECT_TRUE(readings.empty());
            continue;
        }
        ASSERT_GE(readings.size(), 3u);
        for (const WidebandReading& r : readings) {
            EXPECT_TRUE(r.Valid());
            EXPECT_NEAR(r.Afr, kStoichAfr, 0.4);
        }
    }
}

}  // namespace
}  // namespace tessek::sim
