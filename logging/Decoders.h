#pragma once
// Value decoders of the logging run: which decoder an LM address goes to, the addresses
// each decoder requests, and the conversion of the raw reply bytes into the text a
// sample line gets (value, unit and trailing blank). Pure functions of the raw bytes;
// the exchanges with the LM are done by the logging run (logging/LogRun.h).
//
// Numbers are formatted as printf does in the C locale ("." separator) whatever the
// process locale, with one exception: the integer fields print 0 as "0".
#include <cstdint>
#include <string>

namespace tessek {

// The decoder of a slot, chosen by the slot's LM address.
enum class DecoderKind {
    Skip,         // address 12: nothing is requested, nothing appended
    ChargeTemp0,  // 5D
    Mph,          // 69 (requests 6A, then 69)
    Spark,        // 72
    Map,          // 86
    Rpm,          // 8F (requests 90, then 8F)
    Tps,          // 98
    Coolant,      // 9A
    O2,           // 9C
    ChargeTemp1,  // 9D
    Knock,        // A0
    Retard,       // CE, CF, D0, D1 (requests the slot's address)
    Raw,          // any other address (requests the slot's address)
};

inline constexpr uint8_t kSkipAddress = 0x12;
inline constexpr uint8_t kBaroAddress = 0x73;
inline constexpr uint8_t kCoolantAddress = 0x9A;
inline constexpr uint8_t kMphHiAddress = 0x69;
inline constexpr uint8_t kMphLoAddress = 0x6A;
inline constexpr uint8_t kRpmHiAddress = 0x8F;
inline constexpr uint8_t kRpmLoAddress = 0x90;

DecoderKind DecoderFor(uint8_t address);

// `value` in fixed point with `decimals` decimals, right-aligned in at least `width`
// characters ("%<width>.<decimals>f" in the C locale).
std::string FormatFixed(double value, int width, int decimals);

// Charge air temperature in degrees Fahrenheit from the raw byte: a piecewise-linear
// table, applied as it is, jumps between 16/17 and 25/26 included; not clamped.
double ChargeTempF(uint8_t t);

// Engine speed in rpm from the replies to 90 (lo) and 8F (hi).
int32_t RpmValue(uint8_t lo, uint8_t hi);
// Vehicle speed in mph from the replies to 6A (lo) and 69 (hi), unrounded.
double MphValue(uint8_t lo, uint8_t hi);

// The texts each decoder appends to the sample line.
std::string KnockText(uint8_t v);
std::string MapText(uint8_t v, float baroRef, double mapFunction);
std::string O2Text(uint8_t v);
std::string RpmText(int32_t rpm);
std::string TpsText(uint8_t v);
std::string MphText(double mph);
std::string RetardText(uint8_t v);
std::string ChargeTempText(uint8_t v);
std::string CoolantText(uint8_t v);
std::string SparkText(uint8_t v);
std::string RawText(uint8_t v);

// The number of the barometric header line (inches of mercury, "%6.2f").
std::string BaroText(float baroRef, double mapFunction);

}  // namespace tessek
