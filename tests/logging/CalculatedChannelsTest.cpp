#include "logging/CalculatedChannels.h"
#include "logging/MovingMean.h"
#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace tessek {
namespace {

using Values = std::vector<std::optional<double>>;
constexpr auto kNone = std::nullopt;

const std::vector<std::string> kInputs = {"Boost", "Cyl 1 Retard", "Cyl 2 Retard", "Lambda (WB) 2", "Speed"};
// Three samples half a second apart, one value per input.
const std::vector<Values> kSamples = {
    {10.0, 1.0, 0.0, 0.9, 0.0},
    {12.0, 2.0, 1.0, 1.0, 30.0},
    {16.0, 3.0, kNone, 1.1, 60.0},
};

// Each channel's values over the samples, one row per channel.
std::vector<Values> Compute(const std::vector<CalculatedChannel>& channels)
{
    CalculatedChannels set(kInputs, channels);
    std::vector<Values> rows(channels.size());
    for (size_t s = 0; s < kSamples.size(); ++s) {
        const auto values = set.Evaluate(0.5 * static_cast<double>(s), kSamples[s]);
        for (size_t c = 0; c < values.size(); ++c)
            rows[c].push_back(values[c]);
    }
    return rows;
}

void ExpectValues(const Values& actual, const Values& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE("value " + std::to_string(i));
        ASSERT_EQ(actual[i].has_value(), expected[i].has_value());
        if (expected[i]) {
            EXPECT_NEAR(*actual[i], *expected[i], 1e-9);
        }
    }
}

// Bracketed names, the history functions, and values that are no number. (The library's
// own operators, functions and constants are its business.)
TEST(CalculatedChannels, EachNameAndHistoryFunctionOverThreeSamples)
{
    const struct {
        const char* formula;
        Values expected;  // per sample
    } rows[] = {
        {"[Cyl 1 Retard] + [Cyl 2 Retard]", {1.0, 3.0, kNone}},
        {"[ lambda (wb) 2 ] * 14.7", {13.23, 14.7, 16.17}},
        {"prev([Boost])", {kNone, 10.0, 12.0}},
        {"rate([Boost])", {kNone, 4.0, 8.0}},
        {"rate([Cyl 2 Retard])", {kNone, 2.0, kNone}},
        {"smooth([Boost], 2)", {10.0, 11.0, 14.0}},
        {"smooth( [Cyl 2 Retard] , 3 )", {0.0, 0.5, 0.5}},
        {"[Boost] - prev([Boost]) + smooth([Boost],1)", {kNone, 14.0, 20.0}},
        {"sqrt([Boost] - 11)", {kNone, 1.0, std::sqrt(5.0)}},
        {"[Boost] / ([Cyl 1 Retard] - 1)", {kNone, 12.0, 8.0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.formula);
        ExpectValues(Compute({{"X", "", row.formula}}).at(0), row.expected);
    }
}

TEST(CalculatedChannels, AFormulaThatDoesNotCompileSaysWhyAndWhere)
{
    const struct {
        const char* formula;
        const char* message;
        int position;
    } rows[] = {
        {"[Bost] * 2", "Unknown channel \"[Bost]\" at position 0", 0},
        {"1 + foo(2)", "Unexpected token \"foo\" found at position 4.", 4},
        {"[Boost] [Cyl 1 Retard]", "Unexpected variable \"[Cyl 1 Retard]\" found at position 8", 8},
        {"[Boost] *", "Unexpected end of expression at position 9", 9},
        {"2 * [Boost", "\"[\" without \"]\" at position 4", 4},
        {"[]", "No channel name in \"[]\" at position 0", 0},
        {"Boost] ", "\"]\" without \"[\" at position 5", 5},
        {"1 + prev([Boost] + 1)", "prev needs a channel in brackets, as in prev([Boost]), at position 4", 4},
        {"smooth([Boost], 0)",
         "smooth needs a channel in brackets and a number of samples from 1 to 1000, as in smooth([Boost], 5), at "
         "position 0",
         0},
        {"rate [Boost]", nullptr, 0},
        {"__c0 + 1", "Unknown name \"__c0\" at position 0", 0},
        {"", "Expression is empty.", -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.formula);
        const CalculatedChannels set(kInputs, {{"X", "", row.formula}});
        ASSERT_TRUE(set.Error(0));
        if (row.message) {
            EXPECT_EQ(set.Error(0)->Message, row.message);
        }
        EXPECT_EQ(set.Error(0)->Position, row.position);
        EXPECT_FALSE(set.AllCompiled());
    }
}

TEST(CalculatedChannels, AChannelUsesThoseAboveAndABrokenOneStopsNoOther)
{
    const std::vector<CalculatedChannel> channels = {
        {"Knock", "deg", "[Cyl 1 Retard] + [Cyl 2 Retard]"},
        {"Forward", "", "[Later] + 1"},
        {"Self", "", "[self] * 2"},
        {"boost", "bar", "[Boost] * 0.0689476"},
        {"Later", "", "prev([Knock]) * 10 + [knock]"},
        {"Uses broken", "", "[Forward] + 1"},
        {"Bad = name", "", "1"},
    };
    const CalculatedChannels set(kInputs, channels);
    EXPECT_EQ(set.ErrorText(1),
              "Forward: \"[Later]\" comes below this channel; a formula can use only the channels above it at "
              "position 0");
    EXPECT_EQ(set.ErrorText(2), "Self: \"[self]\" is this channel itself at position 0");
    EXPECT_EQ(set.ErrorText(3), "boost: The name \"boost\" is already taken by another column");
    EXPECT_EQ(set.ErrorText(6), "Bad = name: A channel's name may not hold \"[\", \"]\" or \"=\"");
    EXPECT_EQ(set.ErrorText(4), "");
    EXPECT_EQ(set.NamesFor(2), (std::vector<std::string>{"Boost", "Cyl 1 Retard", "Cyl 2 Retard", "Lambda (WB) 2",
                                                         "Speed", "Knock", "Forward"}));

    const std::vector<Values> result = Compute(channels);
    for (const size_t broken : {1, 2, 3, 5, 6}) {
        SCOPED_TRACE(broken);
        ExpectValues(result[broken], {kNone, kNone, kNone});
    }
    ExpectValues(result[0], {1.0, 3.0, kNone});
    ExpectValues(result[4], {kNone, 13.0, kNone});
}

TEST(CalculatedChannels, HistoryStartsAfreshOnResetAndWhenTimeGoesBack)
{
    CalculatedChannels set({"A"}, {{"Rate", "", "rate([A])"}, {"Mean", "", "smooth([A], 3)"}});
    const auto at = [&](double time, double a) {
        const Values input = {a};
        const auto values = set.Evaluate(time, input);
        return Values(values.begin(), values.end());
    };
    at(0, 1);
    ExpectValues(at(1, 3), {2.0, 2.0});
    set.Reset();
    ExpectValues(at(2, 1), {kNone, 1.0});
    ExpectValues(at(3, 3), {2.0, 2.0});
    ExpectValues(at(0.5, 1), {kNone, 1.0});
}

TEST(CalculatedChannels, SectionKeepsOrderUnitsAndTheFilesOtherLines)
{
    test::TempFolder dir;
    dir.Write("Tessek.ini",
              "[Calculated]\r\n; formulas\r\nBoost bar=[Boost] * 0.0689476\r\n"
              "Boost (bar) = [Boost] * 0.0689476\r\nRetard (sum) all (deg)=[Cyl 1 Retard]\r\nboost bar=ignored\r\n"
              "\r\n[Alarms]\r\nBeep=0\r\n");
    IniFile ini(dir.File("Tessek.ini"));
    std::vector<CalculatedChannel> channels = LoadCalculatedChannels(ini);
    EXPECT_EQ(channels, (std::vector<CalculatedChannel>{{"Boost bar", "", "[Boost] * 0.0689476"},
                                                        {"Boost", "bar", "[Boost] * 0.0689476"},
                                                        {"Retard (sum) all", "deg", "[Cyl 1 Retard]"}}));

    std::swap(channels[0], channels[2]);
    channels.pop_back();
    SaveCalculatedChannels(ini, channels);
    EXPECT_EQ(dir.Read("Tessek.ini"),
              "[Calculated]\r\n; formulas\r\nRetard (sum) all (deg)=[Cyl 1 Retard]\r\n"
              "Boost (bar)=[Boost] * 0.0689476\r\n\r\n[Alarms]\r\nBeep=0\r\n");
    SaveCalculatedChannels(ini, {});
    EXPECT_EQ(dir.Read("Tessek.ini"), "[Calculated]\r\n; formulas\r\n\r\n[Alarms]\r\nBeep=0\r\n");
}

TEST(MovingMean, MeanOverTheWindowSkipsMissingValuesAndRestartsWhenTimeGoesBack)
{
    const std::vector<double> times = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 1.5, 0.0};
    const Values values = {1.0, 3.0, kNone, 8.0, NAN, 10.0, kNone, kNone, 7.0};
    // Window 0.25 s: the samples after t - 0.25, i.e. this one and the two before it.
    ExpectValues(SmoothSeries(times, values, 0.25), {1.0, 2.0, 2.0, 5.5, 8.0, 9.0, 10.0, kNone, 7.0});
    ExpectValues(SmoothSeries(times, values, 0), {1.0, 3.0, kNone, 8.0, kNone, 10.0, kNone, kNone, 7.0});
    ExpectValues(SmoothSeries(times, values), {1.0, 2.0, 2.0, 4.0, 4.0, 7.0, 9.0, kNone, 7.0});
}

}  // namespace
}  // namespace tessek
