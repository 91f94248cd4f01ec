// The texts a sample line is made of (value decoders, time field, performance figures),
// the units and the logging settings as "Tessek.ini" holds them.
#include "logging/Decoders.h"
#include "logging/LogSettings.h"
#include "logging/Performance.h"
#include "logging/Units.h"
#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

// The texts `decoder` gives for each of `inputs`, each ended by "|".
template <typename Decoder>
std::string Texts(Decoder decoder, std::initializer_list<int32_t> inputs)
{
    std::string texts;
    for (const int32_t input : inputs)
        texts += decoder(input) + "|";
    return texts;
}

// The text of the row of `address` for a reply byte, or a two-byte value hi * 256 + lo.
auto Text(uint8_t address, DecodeContext context = {})
{
    return [address, context](int32_t v) {
        return DecoderText(ParameterFor(address), static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8),
                           context);
    };
}

TEST(DecoderText, EveryFieldAtItsBoundaries)
{
    EXPECT_EQ(Texts(Text(kKnockAddress), {0x00, 0xFF}), "0.00v |4.98v |");
    EXPECT_EQ(Texts(Text(kTpsAddress), {0x00, 0xFF}), "  0.0% | 99.6% |");
    EXPECT_EQ(Texts(Text(kO2Address), {0x00, 0xFF}), "0.045v(00) |4.992v(FF) |");
    // Each cylinder's retard: six bits, the half degree dropped.
    for (int cylinder = 0; cylinder < 4; ++cylinder)
        EXPECT_EQ(Texts(Text(static_cast<uint8_t>(kRetardAddress + cylinder)), {0xFF, 0x41, 0xC4}),
                  "31deg | 0deg | 2deg |")
            << cylinder;
    EXPECT_EQ(Texts(Text(kCoolantAddress), {0x00, 0x30, 0xFF}), "-60.0F (00) |-0.2F (30) |257.8F (FF) |");
    EXPECT_EQ(Texts(Text(kSparkAddress), {0x01, 0xFF}), "0.5deg |127.5deg |");
    // The rows shown as their byte, and an address that has no row.
    for (const uint8_t address :
         {kBaroAddress, kThrottleFlagAddress, kBattTempAddress, kKnockCountAddress, uint8_t{0x40}})
        EXPECT_EQ(Texts(Text(address), {0xAB}), " AB |") << int{address};
    EXPECT_EQ(Texts(Text(kChargeTempAddress), {0x00, 0xFF}), "335.0F (00) |-51.1F (FF) |");
    EXPECT_EQ(Texts(SampleTimeText, {0, 123456, 1234567}), "  0.000 |123.456 |1234.567 |");
    // MAP against a BaroRef of 100 (0x64): psi of boost from BaroRef up, inches of mercury below.
    const double map3Bar = 0.172266;
    EXPECT_EQ(Texts(Text(kMapAddress, {100.0f, map3Bar}), {0x64, 0x65, 0x5A, 0xFF, 0x00}),
              " 0.00psi | 0.17psi | 3.51hg  |26.70psi |35.07hg  |");
    EXPECT_EQ(Texts([&](float baroRef) { return BaroText(baroRef, map3Bar); }, {0, 100}), " 30.00| -5.07|");
    // Two-byte values (hi * 256 + lo); the remainder of the rpm is dropped.
    EXPECT_EQ(Texts(Text(kRpmHiAddress), {0x1F40, 0x0003, 0xFFFF}), "2000rpm |   0rpm |16383rpm |");
    EXPECT_EQ(Texts(Text(kMphHiAddress), {0x0C80, 0x0003, 0xFFFF}), " 50.00mph |  0.05mph |1023.98mph |");
    // The charge temperature table on both sides of each of its boundaries.
    EXPECT_EQ(Texts(Text(kRawChargeTempAddress), {16, 17, 25, 26, 88, 89, 143, 144, 232, 233, 236, 237}),
              "252.7F (10) |284.0F (11) |254.7F (19) |215.0F (1A) |131.3F (58) |130.0F (59) | 92.7F (8F) | 92.0F (90) "
              "| 10.9F (E8) | 10.0F (E9) |  1.7F (EC) | -1.1F (ED) |");
}

// MAP on one linear scale beside the window's: boost in psi (negative is vacuum) and the
// absolute pressure in kPa, with the barometric byte of 85 the three-bar sensor reads at sea
// level: the open air is 0.00 psi and 101.0 kPa, an idle vacuum of 18 inHg is -8.79 psi.
TEST(DecodeValue, MapGivesTheWindowsNumberBoostAndAbsolutePressure)
{
    const std::tuple<uint8_t, double, double, double> rows[] = {
        {85, 0.0, 0.0, 101.0},    {34, -17.89, -8.79, 40.4},  {155, 12.06, 12.06, 184.1},
        {0, -29.81, -14.64, 0.0}, {255, 29.29, 29.29, 302.9},
    };
    for (const auto& [v, window, boost, absolute] : rows) {
        SCOPED_TRACE(int{v});
        const DecodedValue value = DecodeValue(ParameterFor(kMapAddress), v, 0, {85.0f, 0.172266}).value();
        EXPECT_EQ(std::tuple(value.Value, value.DerivedCount, value.Derived[0], value.Derived[1]),
                  std::tuple(window, 2, boost, absolute));
    }
}

TEST(Performance, FiguresFromTwoSamples)
{
    const auto text = [](int32_t t, int32_t prevT, float mph, float prevMph, float rpm, float prevRpm, int32_t weight) {
        const auto figures = ComputePerformance(t, prevT, mph, prevMph, rpm, prevRpm, weight);
        return figures ? PerformanceText(*figures) : "none";
    };
    EXPECT_EQ(text(1234, 1234, 50, 40, 3000, 2000, 2500), "none");  // no time has passed
    EXPECT_EQ(text(1000, 0, 50, 40, 3000, 2000, 2500), " 0.46G  152.78HP  320.83lb/ft ");
    // Zero mean rpm (no RPM slot) gives no torque, and no inf or nan.
    EXPECT_EQ(text(1000, 0, 10, 0, 0, 0, 2500), " 0.46G   30.56HP     ---lb/ft ");
    // Only the previous sample had an engine speed: the mean is 1000, not 0.
    EXPECT_EQ(text(1000, 0, 50, 40, 0, 2000, 2500), " 0.46G  152.78HP  802.09lb/ft ");
    // Up to 1.5 g either way is a figure (1.4988 g here, printed 1.50); beyond it no figures.
    EXPECT_EQ(text(2000, 1000, 72.7f, 40, 3000, 2000, 2500), " 1.50G  726.40HP 1525.43lb/ft ");
    EXPECT_EQ(text(2000, 1000, 40, 72.7f, 3000, 2000, 2500), "-1.50G -399.67HP -839.30lb/ft ");
    EXPECT_EQ(text(2000, 1000, 72.8f, 40, 3000, 2000, 2500), "none");
}

TEST(LogSettings, SlotsAndMapTypes)
{
    // Empty gives FF; anything but two hexadecimal digits first gives 00.
    const std::pair<std::string, uint8_t> hex[] = {
        {"8f", 0x8F}, {"A0", 0xA0}, {"8Fxyz", 0x8F}, {"", 0xFF},   {"8", 0x00},   {"$8F", 0x00}, {"G1", 0x00},
        {":0", 0x00}, {"0:", 0x00}, {"g1", 0x00},    {"/1", 0x00}, {" 8F", 0x00}, {"0x8F", 0x00}};
    for (const auto& [text, value] : hex)
        EXPECT_EQ(HexToByte(text), value) << '"' << text << '"';
    // A factor within 1e-7 of a type's factor is that type; anything else is the three-bar sensor.
    const std::pair<double, int> types[] = {
        {0.114844 + 9e-8, 0}, {0.057422 - 9e-8, 2}, {0.143555, 3}, {0.114844 + 2e-7, 1}, {0.0, 1}};
    for (const auto& [factor, type] : types)
        EXPECT_EQ(MapTypeForFactor(factor), type) << factor;
    EXPECT_DOUBLE_EQ(MapFactorForType(4), 0.172266);
}

// Each unit both ways: a value converted to metric and back is the value it was. (The
// choice kept in Tessek.ini: the live window's and the viewer's tests.)
TEST(Units, ConversionsBothWaysAndARunsOnlyToMetric)
{
    const std::tuple<const char*, double, const char*, double> rows[] = {
        {"mph", 50, "km/h", 80.4672}, {"F", -40, "°C", -40},     {"F", 212, "°C", 100},         {"°F", 32, "°C", 0},
        {"psi", 14.7, "kPa", 101.35}, {"hp", 100, "kW", 74.570}, {"lb-ft", 100, "N·m", 135.58},
    };
    for (const auto& [imperial, value, metric, converted] : rows) {
        SCOPED_TRACE(imperial);
        const auto there = ConversionTo(imperial, UnitSystem::Metric);
        ASSERT_TRUE(there);
        EXPECT_EQ(there->Unit, metric);
        EXPECT_NEAR(there->Apply(value), converted, 0.01);
        const auto back = ConversionTo(metric, UnitSystem::Imperial);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Unit, std::string_view(imperial) == "°F" ? "F" : imperial);
        EXPECT_NEAR(back->Apply(there->Apply(value)), value, 1e-9);
    }
    // Already in the system, the same in both, or unknown: nothing to convert.
    for (const char* unit : {"g", "rpm", "%", "v", "deg", "psi/-inHg", "", "MPH", "kPa"})
        EXPECT_FALSE(ConversionTo(unit, UnitSystem::Metric)) << unit;
    // A run's values are converted to metric, never back: its absolute MAP stays in kPa.
    EXPECT_FALSE(RunConversionTo("kPa", UnitSystem::Imperial));
    EXPECT_EQ(RunConversionTo("psi", UnitSystem::Metric)->Unit, "kPa");
}

TEST(LogSettings, LoadReadsEveryKey)
{
    test::TempFolder folder;
    folder.Write("Tessek.ini",
                 "[AutoSave]\nSaveNum=42\n[CurrentSet]\n1=69\n2=8f\n3=\n4=8\n8=DD\nMapFunction=0.1\n"
                 "Performance=1\nCarWeight=-5\n");
    LoggingSettings settings;
    settings.Load(IniFile(folder.File("Tessek.ini")));
    EXPECT_EQ(std::tuple(settings.MapFunction, settings.Performance, settings.CarWeight, settings.SaveNum),
              std::tuple(0.1, true, -5, 42));
    EXPECT_EQ(settings.LogAddrs, (std::array<uint8_t, 9>{0x12, 0x69, 0x8F, 0xFF, 0x00, 0x12, 0x12, 0x12, 0xDD}));

    // A MAP factor no sensor has would make infinite values: the default is used.
    const std::pair<const char*, double> factors[] = {
        {"1e-300", kDefaultMapFunction}, {"1.5", kDefaultMapFunction}, {"0.057422", 0.057422}};
    for (const auto& [text, factor] : factors) {
        folder.Write("Tessek.ini", std::string("[CurrentSet]\nMapFunction=") + text + "\n");
        settings.Load(IniFile(folder.File("Tessek.ini")));
        EXPECT_EQ(settings.MapFunction, factor) << text;
    }
}

}  // namespace
}  // namespace tessek
