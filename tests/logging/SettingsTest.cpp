// The logging settings as "Tessek.ini" holds them: defaults, malformed values, the slot
// text conversion and the MAP sensor types.
#include "logging/LogSettings.h"
#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

TEST(HexToByte, ReadsTwoDigitsAndFallsBackOnAnythingElse)
{
    struct Case {
        const char* text;
        uint8_t expected;
    };
    const Case cases[] = {
        {"8f", 0x8F}, {"8F", 0x8F}, {"12", 0x12},  {"00", 0x00},    {"ff", 0xFF}, {"FF", 0xFF},  {"69", 0x69},
        {"A0", 0xA0}, {"a0", 0xA0}, {"8F9", 0x8F}, {"8Fxyz", 0x8F}, {"8", 0x00},  {"", 0xFF},    {"$8F", 0x00},
        {"G1", 0x00}, {":0", 0x00}, {"0:", 0x00},  {"g1", 0x00},    {"/1", 0x00}, {" 8F", 0x00}, {"0x8F", 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        EXPECT_EQ(HexToByte(c.text), c.expected);
    }
}

TEST(MapTypes, FactorOfEachTypeAndBack)
{
    const double factors[] = {0.114844, 0.172266, 0.057422, 0.143555};
    for (int type = 0; type < kMapTypeCount; ++type) {
        SCOPED_TRACE(type);
        EXPECT_DOUBLE_EQ(MapFactorForType(type), factors[type]);
        EXPECT_EQ(MapTypeForFactor(factors[type]), type);
    }
    for (const int other : {-1, 4, 100}) {
        SCOPED_TRACE(other);
        EXPECT_DOUBLE_EQ(MapFactorForType(other), 0.172266);
    }
}

TEST(MapTypes, NearFactorsMatchAndOthersShowAsThreeBar)
{
    struct Case {
        double value;
        int type;
    };
    const Case cases[] = {
        {0.114844 + 0.00000009, 0},
        {0.057422 - 0.00000009, 2},
        {0.143555, 3},
        {0.114844 + 0.0000002, 1},
        {0.1, 1},
        {0.0, 1},
        {-0.114844, 1},
        {1e300, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(MapTypeForFactor(c.value), c.type);
    }
}

TEST(LogSettingsLoad, NoFileGivesTheDefaults)
{
    test::TempFolder folder;
    TLogSettings settings;
    settings.LogAddrs.fill(0);
    settings.MapFunction = 9;
    settings.Performance = true;
    settings.CarWeight = 1;
    settings.SaveNum = 77;
    settings.Load(TIniFile(folder.File("Tessek.ini")));
    for (int slot = 1; slot <= 8; ++slot)
        EXPECT_EQ(settings.LogAddrs[static_cast<size_t>(slot)], 0x12) << "slot " << slot;
    EXPECT_DOUBLE_EQ(settings.MapFunction, 0.172266);
    EXPECT_EQ(MapTypeForFactor(settings.MapFunction), 1);
    EXPECT_FALSE(settings.Performance);
    EXPECT_EQ(settings.CarWeight, 2500);
    EXPECT_EQ(settings.SaveNum, 1);
    EXPECT_FALSE(folder.Exists("Tessek.ini"));
}

TEST(LogSettingsLoad, ReadsEveryKey)
{
    test::TempFolder folder;
    folder.Write("Tessek.ini",
                 "[autosave]\r\nsavenum=42\r\n"
                 "[CurrentSet]\r\n1=69\r\n2=8f\r\n3=\r\n4=8\r\n5=$8F\r\n6=G1\r\n8=DD\r\n"
                 "MapFunction=0.1\r\nPerformance=1\r\nCarWeight=$10\r\n");
    TLogSettings settings;
    settings.Load(TIniFile(folder.File("Tessek.ini")));
    const std::array<uint8_t, 9> expected{0x12, 0x69, 0x8F, 0xFF, 0x00, 0x00, 0x00, 0x12, 0xDD};
    EXPECT_EQ(settings.LogAddrs, expected);
    EXPECT_DOUBLE_EQ(settings.MapFunction, 0.1);
    EXPECT_EQ(MapTypeForFactor(settings.MapFunction), 1);
    EXPECT_TRUE(settings.Performance);
    EXPECT_EQ(settings.CarWeight, 16);
    EXPECT_EQ(settings.SaveNum, 42);
}

TEST(LogSettingsLoad, MalformedNumbersGiveTheDefaults)
{
    struct Case {
        const char* name;
        const char* mapFunction;
        const char* performance;
        const char* carWeight;
        const char* saveNum;
        double expectedMap;
        bool expectedPerformance;
        int32_t expectedWeight;
        int32_t expectedSaveNum;
    };
    const Case cases[] = {
        {"letters", "abc", "yes", "heavy", "x1", 0.172266, false, 2500, 1},
        {"out of range", "1e400", "99999999999", "99999999999", "1e3", 0.172266, false, 2500, 1},
        {"empty", "", "", "", "", 0.172266, false, 2500, 1},
        {"trailing text", "0.1x", "1 2", "2500kg", "3.5", 0.172266, false, 2500, 1},
        {"other true value", "0.057422", "-1", "-5", "0x10", 0.057422, true, -5, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder folder;
        folder.Write("Tessek.ini", std::string("[AutoSave]\nSaveNum=") + c.saveNum +
                                       "\n[CurrentSet]\nMapFunction=" + c.mapFunction +
                                       "\nPerformance=" + c.performance + "\nCarWeight=" + c.carWeight + "\n");
        TLogSettings settings;
        settings.Load(TIniFile(folder.File("Tessek.ini")));
        EXPECT_DOUBLE_EQ(settings.MapFunction, c.expectedMap);
        EXPECT_EQ(settings.Performance, c.expectedPerformance);
        EXPECT_EQ(settings.CarWeight, c.expectedWeight);
        EXPECT_EQ(settings.SaveNum, c.expectedSaveNum);
    }
}

}  // namespace
}  // namespace tessek
