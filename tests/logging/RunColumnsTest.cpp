// The columns a logging run reports and the numbers of one sample line.
#include "logging/ParamCatalogue.h"
#include "logging/Performance.h"
#include "logging/RunColumns.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessek {
namespace {

std::string Described(const RunColumn& c)
{
    return c.Name + "|" + c.Unit + "|" + std::to_string(c.Decimals) + (c.HasRaw ? "|raw" : "");
}

std::vector<std::string> Described(const std::vector<RunColumn>& columns)
{
    std::vector<std::string> out;
    for (const RunColumn& c : columns)
        out.push_back(Described(c));
    return out;
}

TEST(RunColumns, NamesUnitsAndDecimalsOfEverySlotKind)
{
    const Catalogue catalogue;
    const DisplayTextLookup lookup = [&](const std::string& name) { return catalogue.DisplayText(name); };
    const std::vector<uint8_t> slots = {0x8F, 0x69, 0x86, 0x9A, 0x5D, 0x9D, 0x98, 0x9C, 0xA0,
                                        0x72, 0xCE, 0xCF, 0xD0, 0xD1, 0x73, 0xDD, 0x4A, 0x12};
    const std::vector<std::string> expected = {
        "Engine Speed|rpm|0|raw",
        "Road Speed|mph|2|raw",
        "MAP|psi/-inHg|2|raw",
        "Coolant Temp|F|1|raw",
        "Charge Air Temp|F|1|raw",
        "Raw Charge Temp|F|1|raw",
        "Throttle|%|1|raw",
        "O2|v|3|raw",
        "Knock|v|2|raw",
        "Spark Advance|deg|1|raw",
        "Cyl 1 Retard|deg|0|raw",
        "Cyl 2 Retard|deg|0|raw",
        "Cyl 3 Retard|deg|0|raw",
        "Cyl 4 Retard|deg|0|raw",
        "Baro||0",
        "(DTLKNK)||0",
        "$4A||0",
    };
    EXPECT_EQ(Described(RunColumnsFor(slots, lookup, false)), expected);
    // Without a catalogue every raw byte is named by its address.
    EXPECT_EQ(Described(RunColumnsFor(std::vector<uint8_t>{0x73}, {}, false)), std::vector<std::string>{"$73||0"});
}

TEST(RunColumns, SkippedSlotsRepeatedSlotsAndPerformanceFigures)
{
    const std::vector<uint8_t> allSkipped(8, 0x12);
    EXPECT_TRUE(RunColumnsFor(allSkipped, {}, false).empty());
    EXPECT_EQ(Described(RunColumnsFor(allSkipped, {}, true)),
              (std::vector<std::string>{"Acceleration|g|2", "Power|hp|2", "Torque|lb-ft|2"}));

    const std::vector<uint8_t> repeated = {0x8F, 0x12, 0x8F, 0x69, 0x8F, 0x4A, 0x4A, 0x12};
    std::vector<std::string> names;
    for (const RunColumn& c : RunColumnsFor(repeated, {}, true))
        names.push_back(c.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Engine Speed", "Engine Speed 2", "Road Speed", "Engine Speed 3", "$4A",
                                               "$4A 2", "Acceleration", "Power", "Torque"}));
}

TEST(RunColumns, SampleHoldsWhatTheLineShows)
{
    const std::vector<DecodedValue> slots = {*DecodeValue(DecoderKind::Rpm, 0x40, 0x1F, 0, 0),
                                             *DecodeValue(DecoderKind::Map, 0x5A, 0, 100.0f, 0.172266)};
    // The figures the line prints: "%5.2f" "G " "%7.2f" "HP " "%7.2f" "lb/ft " (DecoderTest).
    struct Row {
        const char* name;
        int32_t t, prevT;
        float mph, prevMph, rpm, prevRpm;
        int32_t weight;
        const char* figures;  // "-": none
    };
    const Row rows[] = {
        {"figures", 1000, 0, 50, 40, 3000, 2000, 2500, "0.46 152.78 320.83"},
        {"negative figures", 1250, 1000, 30, 40, 1500, 2500, 3000, "-1.83 -440.00 -1155.01"},
        {"no torque without engine speed (---)", 50, 0, 10, 0, 0, 0, 2500, "9.17 611.11 -"},
        {"no figures without elapsed time", 0, 0, 10, 0, 0, 0, 2500, "- - -"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto figures =
            ComputePerformance(row.t, row.prevT, row.mph, row.prevMph, row.rpm, row.prevRpm, row.weight);
        const RunSample sample = MakeRunSample(row.t, slots, true, figures, 4);
        EXPECT_EQ(sample.Time, row.t / 1000.0);
        EXPECT_EQ(sample.Requests, 4);
        ASSERT_EQ(sample.Values.size(), 5u);
        ASSERT_EQ(sample.Raw.size(), 5u);
        EXPECT_EQ(sample.Values[0], 2000.0);
        EXPECT_EQ(sample.Values[1], -3.51);  // 3.51 inches of mercury of vacuum
        EXPECT_EQ(sample.Raw[0], 0x1F40);
        EXPECT_EQ(sample.Raw[1], 0x5A);
        std::string printed;
        for (size_t i = 2; i < 5; ++i) {
            EXPECT_FALSE(sample.Raw[i].has_value());
            if (i > 2)
                printed += ' ';
            printed += sample.Values[i] ? FormatFixed(*sample.Values[i], 0, 2) : "-";
        }
        EXPECT_EQ(printed, row.figures);
    }
    // Without the option a sample has the slots' values only.
    EXPECT_EQ(MakeRunSample(10, slots, false, std::nullopt, 4).Values.size(), 2u);
}

}  // namespace
}  // namespace tessek
