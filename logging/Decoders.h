#pragma once
// Value decoders of the logging run: which decoder an LM address goes to, the addresses
// each decoder requests, and the conversion of the raw reply bytes into the text a
// sample line gets (value, unit and trailing blank) and into the number behind that text
// (for the data logs and the chart). Pure functions of the raw bytes; the exchanges with
// the LM are done by the logging run (logging/LogRun.h).
//
// Numbers are formatted as printf does in the C locale ("." separator) whatever the
// process locale, with one exception: the integer fields print 0 as "0".
#include <cstdint>
#include <optional>
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

// `value` rounded to `decimals` exactly as FormatFixed prints it: the number that text
// stands for, so that printing it again with `decimals` gives the same digits.
double RoundAsPrinted(double value, int decimals);

// The number behind a decoder's text.
struct DecodedValue {
    // The number the window's text shows, in its unit (rpm, mph, psi, F, %, v, deg; a raw
    // byte as a plain number), rounded as the text rounds it. MAP is a signed gauge value
    // in "psi/-inHg": the psi of boost at or above BaroRef, minus the inches of mercury of
    // vacuum below it; the text's digits either way, and 0 (never -0) where they are 0.
    double Value = 0;
    int Decimals = 0;  // decimals of the window's text
    int32_t Raw = 0;   // the reply byte; a two-byte value as hi * 256 + lo
};

// The value a slot of decoder `kind` shows for its reply: `v` is the reply byte, or the
// low byte (reply to 90 or 6A) of RPM and MPH, whose high byte (reply to 8F or 69) is
// `hi`; `hi` is ignored by the one-byte decoders. `baroRef` and `mapFunction` are used by
// MAP only. No value for Skip.
std::optional<DecodedValue> DecodeValue(DecoderKind kind, uint8_t v, uint8_t hi, float baroRef, double mapFunction);

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
