// The address catalogue and the logging settings as "Tessek.ini" holds them.
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace tessek {
namespace {

TEST(ParamCatalogue, NineteenEntriesInAddressOrderAndWholeNameLookups)
{
    const Catalogue catalogue;
    std::string lines;
    for (const auto& line : catalogue.Lines())
        lines += line + "|";
    EXPECT_EQ(lines,
              "$12=Skip value|$5D=Charge Air Temp|$69=MPH|$72=SPK Advance|$73=Baro|$81=Throttle Flg|$86=MAP|$8F=RPM|"
              "$98=TPS%|$9A=Coolant Temp|$9B=Raw Batt Temp|$9C=O2|$9D=Raw Charge Temp|$A0=Knock|$CE=Cyl 1 Retard|"
              "$CF=Cyl 2 Retard|$D0=Cyl 3 Retard|$D1=Cyl 4 Retard|$DD=(DTLKNK)|");
    EXPECT_EQ(catalogue.Name(18) + "=" + catalogue.Value(18), "$DD=(DTLKNK)");
    const std::tuple<std::string, int, std::string> lookups[] = {
        {"$8F", 7, "RPM"},
        {"$8f", 7, "RPM"},
        {"$5d", 1, "Charge Air Temp"},
        {"$12", 0, "Skip value"},
        {"$dd", 18, "(DTLKNK)"},
        {"$8", -1, ""},
        {"8F", -1, ""},
        {"$8F0", -1, ""},
        {"$8F=RPM", -1, ""},
        {"", -1, ""},
        {"$00", -1, ""},
    };
    for (const auto& [name, index, text] : lookups) {
        EXPECT_EQ(catalogue.IndexOfName(name), index) << name;
        EXPECT_EQ(catalogue.DisplayText(name), text) << name;
    }
}

TEST(LogSettings, HexToByteAndMapTypes)
{
    const std::pair<std::string, uint8_t> hex[] = {
        {"8f", 0x8F}, {"8F", 0x8F}, {"12", 0x12},  {"00", 0x00},    {"ff", 0xFF}, {"FF", 0xFF},  {"69", 0x69},
        {"A0", 0xA0}, {"a0", 0xA0}, {"8F9", 0x8F}, {"8Fxyz", 0x8F}, {"8", 0x00},  {"", 0xFF},    {"$8F", 0x00},
        {"G1", 0x00}, {":0", 0x00}, {"0:", 0x00},  {"g1", 0x00},    {"/1", 0x00}, {" 8F", 0x00}, {"0x8F", 0x00},
    };
    for (const auto& [text, value] : hex)
        EXPECT_EQ(HexToByte(text), value) << '"' << text << '"';
    const double factors[] = {0.114844, 0.172266, 0.057422, 0.143555};
    for (int type = 0; type < kMapTypeCount; ++type) {
        EXPECT_DOUBLE_EQ(MapFactorForType(type), factors[type]);
        EXPECT_EQ(MapTypeForFactor(factors[type]), type);
    }
    EXPECT_DOUBLE_EQ(MapFactorForType(-1), 0.172266);
    EXPECT_DOUBLE_EQ(MapFactorForType(4), 0.172266);
    // Factors within 1e-7 match their type; anything else shows as the three-bar sensor.
    const std::pair<double, int> near[] = {
        {0.114844 + 0.00000009, 0},
        {0.057422 - 0.00000009, 2},
        {0.114844 + 0.0000002, 1},
        {0.1, 1},
        {0.0, 1},
        {-0.114844, 1},
        {1e300, 1},
    };
    for (const auto& [value, type] : near)
        EXPECT_EQ(MapTypeForFactor(value), type) << value;
}

TEST(LogSettings, LoadReadsEveryKeyAndDefaultsMissingOrMalformedOnes)
{
    test::TempFolder folder;
    LoggingSettings settings{{}, 9, true, 1, 77};
    auto load = [&](const std::optional<std::string>& content) {
        if (content)
            folder.Write("Tessek.ini", *content);
        settings.Load(IniFile(folder.File("Tessek.ini")));
        return std::tuple(settings.MapFunction, settings.Performance, settings.CarWeight, settings.SaveNum);
    };
    const auto defaults = std::tuple(0.172266, false, 2500, 1);
    EXPECT_EQ(load(std::nullopt), defaults);
    EXPECT_EQ(settings.LogAddrs, (std::array<uint8_t, 9>{0, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12}));
    EXPECT_FALSE(folder.Exists("Tessek.ini"));
    // Key names in any case; a hand-edited factor is used as it is.
    EXPECT_EQ(load("[autosave]\r\nsavenum=42\r\n[CurrentSet]\r\n1=69\r\n2=8f\r\n3=\r\n4=8\r\n5=$8F\r\n6=G1\r\n8=DD\r\n"
                   "MapFunction=0.1\r\nPerformance=-1\r\nCarWeight=$10\r\n"),
              std::tuple(0.1, true, 16, 42));
    EXPECT_EQ(settings.LogAddrs, (std::array<uint8_t, 9>{0, 0x69, 0x8F, 0xFF, 0x00, 0x00, 0x00, 0x12, 0xDD}));
    // MapFunction, Performance, CarWeight, SaveNum.
    const std::array<std::string, 4> malformed[] = {
        {"abc", "yes", "heavy", "x1"},
        {"1e400", "99999999999", "99999999999", "1e3"},
        {"", "", "", ""},
        {"0.1x", "1 2", "2500kg", "3.5"},
    };
    for (const auto& [map, performance, weight, saveNum] : malformed)
        EXPECT_EQ(load("[AutoSave]\nSaveNum=" + saveNum + "\n[CurrentSet]\nMapFunction=" + map +
                       "\nPerformance=" + performance + "\nCarWeight=" + weight + "\n"),
                  defaults)
            << map;
    EXPECT_EQ(load("[CurrentSet]\nMapFunction=0.057422\nPerformance=1\nCarWeight=-5\n[AutoSave]\nSaveNum=0x10\n"),
              std::tuple(0.057422, true, -5, 16));
}

}  // namespace
}  // namespace tessek
