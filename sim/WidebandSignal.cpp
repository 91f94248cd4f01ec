#include "sim/WidebandSignal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace tessek::sim {

namespace {

constexpr double kWotTps = 80.0;        // % throttle from which the engine enriches for power
constexpr double kWotAfr = 12.3;        // at full throttle without boost
constexpr double kFullBoostAfr = 11.2;  // at full throttle and kFullBoostPsi
constexpr double kFullBoostPsi = 12.0;
constexpr double kLoopSwing = 0.02;  // the closed loop's swing around stoichiometric (2 %)
constexpr double kFuelCutRpm = 1100.0;
// The flow (rpm x psi absolute) of the scenario's idle, which takes kLongestDelay.
constexpr double kIdleFlow = 850.0 * 5.86;
constexpr std::chrono::milliseconds kLongestDelay{800};
constexpr std::chrono::milliseconds kShortestDelay{100};

// A fixed pseudo-random value in [-1, 1] for each millisecond.
double Jitter(int64_t ms)
{
    uint64_t x = static_cast<uint64_t>(ms) + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    return static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

std::optional<double> Number(std::string_view text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// "A-B" where each may be negative ("-10--5"): the separator is the first '-' after the
// first character.
std::optional<std::pair<double, double>> Range(std::string_view text)
{
    const size_t dash = text.size() > 1 ? text.find('-', 1) : std::string_view::npos;
    if (dash == std::string_view::npos)
        return std::nullopt;
    const auto from = Number(text.substr(0, dash));
    const auto to = Number(text.substr(dash + 1));
    if (!from || !to || *from >= *to)
        return std::nullopt;
    return std::make_pair(*from, *to);
}

}  // namespace

double BurnedAfr(const EngineState& s)
{
    if (s.throttleClosed && s.mph > 0 && s.rpm > kFuelCutRpm)
        return kFuelCutAfr;
    if (s.tpsPercent >= kWotTps) {
        const double boost = std::clamp((s.mapPsiAbs - s.baroPsiAbs) / kFullBoostPsi, 0.0, 1.0);
        return kWotAfr + (kFullBoostAfr - kWotAfr) * boost;
    }
    // Closed loop: the narrowband's swing between rich (high volts) and lean follows the
    // mixture's small swing around stoichiometric.
    return kStoichAfr * (1.0 + kLoopSwing * std::clamp((0.45 - s.o2Volts) / 0.35, -1.0, 1.0));
}

std::chrono::milliseconds ExhaustDelay(const EngineState& s)
{
    const double flow = s.rpm * s.mapPsiAbs;
    if (flow <= 0)
        return kLongestDelay;
    const auto ms = std::chrono::milliseconds(std::lround(kLongestDelay.count() * kIdleFlow / flow));
    return std::clamp(ms, kShortestDelay, kLongestDelay);
}

bool FuelError::Contains(const EngineState& s) const
{
    const double boost = s.mapPsiAbs - s.baroPsiAbs;
    return s.rpm >= RpmFrom && s.rpm < RpmTo && boost >= BoostFrom && boost < BoostTo;
}

std::optional<FuelError> ParseFuelError(std::string_view text)
{
    const size_t first = text.find(':');
    const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const auto rpm = Range(text.substr(0, first));
    const auto boost = Range(text.substr(first + 1, second - first - 1));
    std::string_view percentText = text.substr(second + 1);
    if (!percentText.empty() && percentText.front() == '+')
        percentText.remove_prefix(1);
    const auto percent = Number(percentText);
    if (!rpm || !boost || !percent || *percent <= -100.0)
        return std::nullopt;
    return FuelError{rpm->first, rpm->second, boost->first, boost->second, *percent};
}

WidebandSignal::WidebandSignal(EngineTimeline engine, double noiseAfr) : engine_(std::move(engine)), noiseAfr_(noiseAfr)
{
}

void WidebandSignal::Plant(const FuelError& error)
{
    planted_.push_back(error);
}

double WidebandSignal::BurnedAt(std::chrono::milliseconds elapsed) const
{
    const EngineState s = engine_(elapsed);
    double afr = BurnedAfr(s);
    for (const FuelError& error : planted_) {
        if (error.Contains(s))
            afr *= 1.0 + error.Percent / 100.0;
    }
    return afr;
}

double WidebandSignal::SensorAfr(std::chrono::milliseconds elapsed) const
{
    const auto burned = elapsed - ExhaustDelay(engine_(elapsed));
    return BurnedAt(std::max(burned, std::chrono::milliseconds::zero())) + noiseAfr_ * Jitter(elapsed.count());
}

std::string MtsPacket(int function, int value)
{
    constexpr int kFactor = 147;  // AFR = lambda x 14.7 (gasoline)
    const int l = std::clamp(value, 0, 0x1FFF);
    const char bytes[] = {
        '\xB2',  // header: not recording, a data packet, ...
        '\x82',  // ... of two words
        static_cast<char>(0x42 | ((function & 0x07) << 2) | (kFactor >> 7)),
        static_cast<char>(kFactor & 0x7F),
        static_cast<char>((l >> 7) & 0x3F),
        static_cast<char>(l & 0x7F),
    };
    return std::string(bytes, sizeof bytes);
}

std::string MtsPacket(double afr)
{
    return MtsPacket(0, static_cast<int>(std::lround((afr / kStoichAfr - 0.5) * 1000.0)));
}

std::string AemLine(double afr, bool lambdaMode)
{
    char text[32];
    if (lambdaMode)
        std::snprintf(text, sizeof text, "%.3f\r\n", afr / kStoichAfr);
    else
        std::snprintf(text, sizeof text, "%.1f\r\n", afr);
    return text;
}

}  // namespace tessek::sim
