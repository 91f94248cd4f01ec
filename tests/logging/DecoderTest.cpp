// The value decoders, the sample time field and the performance figures.
#include "logging/Decoders.h"
#include "logging/Performance.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

std::string Figures(int32_t t, int32_t prevT, float mph, float prevMph, float rpm, float prevRpm, int32_t weight)
{
    return PerformanceText(ComputePerformance(t, prevT, mph, prevMph, rpm, prevRpm, weight).value());
}

TEST(DecoderText, EveryFieldAtItsBoundaries)
{
    const double map3Bar = 0.172266;
    const std::pair<std::string, std::string> rows[] = {
        {KnockText(0x00), "0.00v "},
        {KnockText(0x80), "2.50v "},
        {KnockText(0xFF), "4.98v "},
        {TpsText(0x00), "  0.0% "},
        {TpsText(0x80), " 50.0% "},
        {TpsText(0xFF), " 99.6% "},
        {O2Text(0x00), "0.045v(00) "},
        {O2Text(0x80), "2.528v(80) "},
        {O2Text(0xFF), "4.992v(FF) "},
        // Six bits of retard, the half degree dropped.
        {RetardText(0xFF), "31deg "},
        {RetardText(0x41), " 0deg "},
        {RetardText(0x3E), "31deg "},
        {RetardText(0x03), " 1deg "},
        {RetardText(0xC4), " 2deg "},
        {CoolantText(0x00), "-60.0F (00) "},
        {CoolantText(0x30), "-0.2F (30) "},
        {CoolantText(0x9A), "131.9F (9A) "},
        {CoolantText(0xFF), "257.8F (FF) "},
        {SparkText(0x00), "0.0deg "},
        {SparkText(0x01), "0.5deg "},
        {SparkText(0x15), "10.5deg "},
        {SparkText(0xFF), "127.5deg "},
        {RawText(0x00), " 00 "},
        {RawText(0xAB), " AB "},
        {MapText(0x64, 100.0f, map3Bar), " 0.00psi "},
        {MapText(0x65, 100.0f, map3Bar), " 0.17psi "},
        {MapText(0x5A, 100.0f, map3Bar), " 3.51hg  "},
        {MapText(0xFF, 100.0f, map3Bar), "26.70psi "},
        {MapText(0x00, 100.0f, map3Bar), "35.07hg  "},
        {MapText(0x6E, 100.0f, 0.1), " 1.00psi "},
        {MapText(0x00, 0.0f, map3Bar), " 0.00psi "},
        {BaroText(0.0f, map3Bar), " 30.00"},
        {BaroText(50.0f, map3Bar), " 12.46"},
        {BaroText(100.0f, map3Bar), " -5.07"},
        {BaroText(100.0f, 0.057422), " 18.31"},
        // Two-byte values: the remainder of the rpm is dropped, the mph is not rounded.
        {RpmText(RpmValue(0x40, 0x1F)), "2000rpm "},
        {RpmText(RpmValue(0x1F, 0x40)), "4103rpm "},
        {RpmText(RpmValue(0x03, 0x00)), "   0rpm "},
        {RpmText(RpmValue(0xFF, 0xFF)), "16383rpm "},
        {MphText(MphValue(0x80, 0x0C)), " 50.00mph "},
        {MphText(MphValue(0x0C, 0x80)), "512.19mph "},
        {MphText(MphValue(0x03, 0x00)), "  0.05mph "},
        {MphText(MphValue(0xFF, 0xFF)), "1023.98mph "},
        {SampleTimeText(0), "  0.000 "},
        {SampleTimeText(7), "  0.007 "},
        {SampleTimeText(123456), "123.456 "},
        {SampleTimeText(1234567), "1234.567 "},
        // The charge temperature table on both sides of each of its boundaries.
        {ChargeTempText(0), "335.0F (00) "},
        {ChargeTempText(16), "252.7F (10) "},
        {ChargeTempText(17), "284.0F (11) "},
        {ChargeTempText(25), "254.7F (19) "},
        {ChargeTempText(26), "215.0F (1A) "},
        {ChargeTempText(88), "131.3F (58) "},
        {ChargeTempText(89), "130.0F (59) "},
        {ChargeTempText(143), " 92.7F (8F) "},
        {ChargeTempText(144), " 92.0F (90) "},
        {ChargeTempText(232), " 10.9F (E8) "},
        {ChargeTempText(233), " 10.0F (E9) "},
        {ChargeTempText(236), "  1.7F (EC) "},
        {ChargeTempText(237), " -1.1F (ED) "},
        {ChargeTempText(255), "-51.1F (FF) "},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(text, expected);
    EXPECT_DOUBLE_EQ(MphValue(0x01, 0x00), 0.015625);
    // Tight enough to tell 5.14286 from 36/7 and 3.66667 from 11/3.
    const std::pair<uint8_t, double> degrees[] = {
        {16, 252.71424}, {25, 254.66664}, {88, 131.34898}, {143, 92.69086},
        {232, 10.9212},  {236, 1.66666},  {237, -1.11112}, {255, -51.11116},
    };
    for (const auto& [raw, value] : degrees)
        EXPECT_NEAR(ChargeTempF(raw), value, 1e-9) << int{raw};
}

TEST(Performance, FiguresFromTwoSamples)
{
    EXPECT_FALSE(ComputePerformance(0, 0, 50.0f, 40.0f, 3000.0f, 2000.0f, 2500).has_value());  // T = prevT
    EXPECT_FALSE(ComputePerformance(1234, 1234, 50.0f, 40.0f, 3000.0f, 2000.0f, 2500).has_value());
    const PerformanceFigures figures = ComputePerformance(1000, 0, 50.0f, 40.0f, 3000.0f, 2000.0f, 2500).value();
    EXPECT_NEAR(figures.Acceleration, 0.458334375, 1e-9);
    EXPECT_NEAR(figures.Horsepower, 152.77847222301133, 1e-7);
    EXPECT_NEAR(figures.Torque.value(), 320.8347916683238, 1e-7);
    EXPECT_EQ(Figures(1000, 0, 50, 40, 3000, 2000, 2500), " 0.46G  152.78HP  320.83lb/ft ");
    EXPECT_EQ(Figures(1250, 1000, 30, 40, 1500, 2500, 3000), "-1.83G -440.00HP -1155.01lb/ft ");
    EXPECT_EQ(Figures(2000, 1900, 60, 60, 2500, 2500, 2500), " 0.00G    0.00HP    0.00lb/ft ");
    // Zero mean rpm (no RPM slot) gives no torque, and no inf or nan.
    EXPECT_FALSE(ComputePerformance(50, 0, 10.0f, 0.0f, 0.0f, 0.0f, 2500).value().Torque.has_value());
    EXPECT_EQ(Figures(50, 0, 10, 0, 0, 0, 2500), " 9.17G  611.11HP     ---lb/ft ");
    // Only the previous sample had an engine speed: the mean is 1000, not 0.
    EXPECT_NEAR(ComputePerformance(1000, 0, 50, 40, 0, 2000, 2500).value().Torque.value(), 802.0869791708095, 1e-7);
}

}  // namespace
}  // namespace tessek
