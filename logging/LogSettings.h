#pragma once
// The logging settings the main window holds and "Tessek.ini" keeps: the eight logged
// LM addresses, the MAP sensor factor, the performance option, the car weight and the
// number of the next automatic log file.
#include "lm/ParameterTable.h"

#include <array>
#include <cstdint>
#include <string>

namespace tessek {

class IniFile;

struct LoggingSettings {
    std::array<uint8_t, 9> LogAddrs{0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12};  // slots 1..8 ([0] unused)
    double MapFunction = kDefaultMapFunction;  // psi per count of the raw MAP or baro byte
    bool Performance = false;
    int32_t CarWeight = 2500;
    int32_t SaveNum = 1;

    // Reads every key (defaults for missing or malformed ones) from sections "AutoSave"
    // and "CurrentSet". A MapFunction outside kMapFunctionRange is taken as malformed: the
    // decoders would turn it into infinite or undefined values.
    void Load(const IniFile& ini);
    void SetPerformance(bool value) { Performance = value; }
};

// Where the number of the next automatic log is kept.
inline constexpr const char* kAutoSaveSection = "AutoSave";
inline constexpr const char* kSaveNumKey = "SaveNum";
// Writes `saveNum` to its key (the only place that writes it); throws as IniFile does.
void StoreSaveNum(IniFile& ini, int32_t saveNum);

// An address byte from its settings text: empty text gives FF; when either of the first
// two characters lies outside "0".."f" (a one-character text has no second one) or is
// not a hexadecimal digit ("G1", ":0"), 00; otherwise their value ("8f" gives 8F).
// Characters after the second are ignored.
uint8_t HexToByte(const std::string& text);

// The MAP sensor types of the Data Setup dialog: 0 "2 Bar (stock)", 1 "3 Bar ",
// 2 "1 Bar", 3 "2.5 Bar (your speical)".
constexpr int kMapTypeCount = 4;
// psi per count that a MAP sensor can have: from a tenth of the 1 bar sensor's to 255 psi
// over the byte's range.
struct MapFunctionRange {
    double Min, Max;
};
constexpr MapFunctionRange kMapFunctionRange{0.005, 1.0};
// The factor of a type; any other index gives the "3 Bar " factor 0.172266.
double MapFactorForType(int index);
// The first type whose factor lies within 0.0000001 of `value`; 1 ("3 Bar ") when none.
int MapTypeForFactor(double value);

}  // namespace tessek
