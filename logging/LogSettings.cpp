#include "logging/LogSettings.h"

#include "platform/IniFile.h"

#include <cmath>

namespace tessek {

namespace {

constexpr double kMapFactors[kMapTypeCount] = {0.114844, 0.172266, 0.057422, 0.143555};

// Value of a hexadecimal digit, or -1.
int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

uint8_t HexToByte(const std::string& text)
{
    if (text.empty())
        return 0xFF;
    if (text.size() < 2)
        return 0x00;
    const int high = DigitValue(text[0]);
    const int low = DigitValue(text[1]);
    if (high < 0 || low < 0)
        return 0x00;
    return static_cast<uint8_t>(high * 16 + low);
}

double MapFactorForType(int index)
{
    if (index < 0 || index >= kMapTypeCount)
        return kDefaultMapFunction;
    return kMapFactors[index];
}

int MapTypeForFactor(double value)
{
    for (int i = 0; i < kMapTypeCount; ++i) {
        if (std::fabs(kMapFactors[i] - value) < 0.0000001)
            return i;
    }
    return 1;
}

void LoggingSettings::Load(const IniFile& ini)
{
    SaveNum = ini.ReadInteger(kAutoSaveSection, kSaveNumKey, 1);
    for (int slot = 1; slot <= 8; ++slot)
        LogAddrs[static_cast<size_t>(slot)] = HexToByte(ini.ReadString("CurrentSet", std::to_string(slot), "12"));
    MapFunction = ini.ReadFloat("CurrentSet", "MapFunction", kDefaultMapFunction);
    if (!(MapFunction >= kMapFunctionRange.Min && MapFunction <= kMapFunctionRange.Max))
        MapFunction = kDefaultMapFunction;
    SetPerformance(ini.ReadBool("CurrentSet", "Performance", false));
    CarWeight = ini.ReadInteger("CurrentSet", "CarWeight", 2500);
}

void StoreSaveNum(IniFile& ini, int32_t saveNum)
{
    ini.WriteInteger(kAutoSaveSection, kSaveNumKey, saveNum);
}

}  // namespace tessek
