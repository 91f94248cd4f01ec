#pragma once
// The logging settings the main window holds and "Tessek.ini" keeps: the eight logged
// LM addresses, the MAP sensor factor, the performance option, the car weight and the
// number of the next automatic log file.
#include <array>
#include <cstdint>

namespace tessek {

class TIniFile;

struct TLogSettings {
    std::array<uint8_t, 9> LogAddrs{0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12};  // slots 1..8 ([0] unused)
    double MapFunction = 0.172266;  // psi per count of the raw MAP or baro byte
    bool Performance = false;
    int32_t CarWeight = 2500;
    int32_t SaveNum = 1;

    // Reads every key (defaults for missing or malformed ones) from sections "AutoSave"
    // and "CurrentSet".
    void Load(const TIniFile& ini);
    void SetPerformance(bool value) { Performance = value; }
};

}  // namespace tessek
