#include "logging/Performance.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

TEST(Performance, NoFiguresWhenNoTimePassed)
{
    EXPECT_FALSE(ComputePerformance(0, 0, 50.0f, 40.0f, 3000.0f, 2000.0f, 2500).has_value());
    EXPECT_FALSE(ComputePerformance(1234, 1234, 50.0f, 40.0f, 3000.0f, 2000.0f, 2500).has_value());
}

TEST(Performance, FiguresFromTwoSamples)
{
    struct Row {
        const char* name;
        int32_t t, prevT;
        float mph, prevMph, rpm, prevRpm;
        int32_t weight;
        double accel, hp, torque;
        std::string text;
    };
    const Row rows[] = {
        {"speeding up over one second", 1000, 0, 50, 40, 3000, 2000, 2500, 0.458334375, 152.77847222301133,
         320.8347916683238, " 0.46G  152.78HP  320.83lb/ft "},
        {"slowing down over a quarter second", 1250, 1000, 30, 40, 1500, 2500, 3000, -1.8333375, -440.0020000022727,
         -1155.0052500059658, "-1.83G -440.00HP -1155.01lb/ft "},
        {"steady speed", 2000, 1900, 60, 60, 2500, 2500, 2500, 0.0, 0.0, 0.0, " 0.00G    0.00HP    0.00lb/ft "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto figures =
            ComputePerformance(row.t, row.prevT, row.mph, row.prevMph, row.rpm, row.prevRpm, row.weight);
        ASSERT_TRUE(figures.has_value());
        EXPECT_NEAR(figures->Acceleration, row.accel, 1e-9);
        EXPECT_NEAR(figures->Horsepower, row.hp, 1e-7);
        ASSERT_TRUE(figures->Torque.has_value());
        EXPECT_NEAR(*figures->Torque, row.torque, 1e-7);
        EXPECT_EQ(PerformanceText(*figures), row.text);
    }
}

TEST(Performance, ZeroMeanRpmHasNoTorque)
{
    // The first sample after start-up with no RPM slot: both engine speeds are 0.
    const auto figures = ComputePerformance(50, 0, 10.0f, 0.0f, 0.0f, 0.0f, 2500);
    ASSERT_TRUE(figures.has_value());
    EXPECT_NEAR(figures->Acceleration, 9.1666875, 1e-9);
    EXPECT_NEAR(figures->Horsepower, 611.1138888920453, 1e-7);
    EXPECT_FALSE(figures->Torque.has_value());
    const std::string text = PerformanceText(*figures);
    EXPECT_EQ(text, " 9.17G  611.11HP     ---lb/ft ");
    EXPECT_EQ(text.find("inf"), std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
}

TEST(Performance, OneSidedRpmStillGivesTorque)
{
    // Only the previous sample had an engine speed: the mean is 1000, not 0.
    const auto figures = ComputePerformance(1000, 0, 50.0f, 40.0f, 0.0f, 2000.0f, 2500);
    ASSERT_TRUE(figures.has_value() && figures->Torque.has_value());
    EXPECT_NEAR(*figures->Torque, 152.77847222301133 * 5.25, 1e-7);
}

TEST(Performance, SampleTimeField)
{
    EXPECT_EQ(SampleTimeText(0), "  0.000 ");
    EXPECT_EQ(SampleTimeText(7), "  0.007 ");
    EXPECT_EQ(SampleTimeText(1234), "  1.234 ");
    EXPECT_EQ(SampleTimeText(123456), "123.456 ");
    EXPECT_EQ(SampleTimeText(1234567), "1234.567 ");
}

}  // namespace
}  // namespace tessek
