#pragma once
// Value decoders of the logging run, as one table: for each decoder the LM addresses it
// serves, the addresses it requests (in order), the column it fills in the data logs (label
// and unit), its text format, its conversion and whether the raw reply comes with it.
// Adding a parameter is adding a row. Pure functions of the raw bytes; the exchanges with
// the LM are done by the logging run (logging/LogRun.h).
//
// Numbers are formatted as printf does in the C locale ("." separator) whatever the
// process locale, with one exception: the integer fields print 0 as "0".
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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

// What a conversion may need besides the reply bytes.
struct DecodeContext {
    float BaroRef = 0;       // raw barometric byte read at the start of the run
    double MapFunction = 0;  // psi per count of the MAP sensor
};

// A column a decoder's replies fill besides its own: a figure on another scale.
struct DerivedColumn {
    std::string_view Label;
    std::string_view Unit;
    int Decimals = 0;
    double (*Convert)(uint8_t lo, uint8_t hi, const DecodeContext& context) = nullptr;
};

inline constexpr int kMaxDerivedColumns = 2;

struct DecoderRow {
    DecoderKind Kind;
    // The slot addresses that pick this decoder (none for Skip's and Raw's rows, which are
    // the address 12 and every address no other row serves).
    uint8_t FirstAddress = 0, LastAddress = 0;
    // The addresses requested, in order; an entry of kSlotAddress asks for the slot's own
    // address. The first reply is `lo` of the conversion, a second one `hi`.
    std::array<uint8_t, 2> Requests{};
    int RequestCount = 0;
    // The data log column: its name ("#" stands for the cylinder of a retard address; an
    // empty name takes the catalogue's display text) and unit.
    std::string_view Label{};
    std::string_view Unit{};
    // The window's text: the value right-aligned in Width characters with Decimals
    // decimals, then TextUnit; a negative value is printed without its sign and followed by
    // NegativeTextUnit where the row has one; with RawInText "(XX) " follows; with HexText
    // the text is only " XX ".
    int Width = 0;
    int Decimals = 0;
    std::string_view TextUnit{};
    std::string_view NegativeTextUnit{};
    bool RawInText = false;
    bool HexText = false;
    // The engineering value from the replies, unrounded.
    double (*Convert)(uint8_t lo, uint8_t hi, const DecodeContext& context) = nullptr;
    // The data log has a "<label> raw" column with the reply (a two-byte value as hi * 256 + lo).
    bool HasRaw = true;
    // Columns that follow this one (and its raw column) in the data logs.
    std::array<DerivedColumn, kMaxDerivedColumns> Derived{};
    int DerivedCount = 0;
};

// Marks a request of the slot's own address in DecoderRow::Requests.
inline constexpr uint8_t kSlotAddress = 0x00;

// Every row, Skip's first, Raw's last.
std::span<const DecoderRow> DecoderTable();
const DecoderRow& RowOf(DecoderKind kind);
const DecoderRow& DecoderRowFor(uint8_t address);
inline DecoderKind DecoderFor(uint8_t address)
{
    return DecoderRowFor(address).Kind;
}

// The text a decoder appends to the sample line for its replies (lo, and hi of a two-byte
// value); "" for Skip.
std::string DecoderText(const DecoderRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context);

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
    // The values of the row's derived columns, rounded to their decimals.
    std::array<double, kMaxDerivedColumns> Derived{};
    int DerivedCount = 0;
};

// The value a slot of decoder `kind` shows for its replies; `hi` is ignored by the
// one-byte decoders. No value for Skip.
std::optional<DecodedValue> DecodeValue(DecoderKind kind, uint8_t lo, uint8_t hi, float baroRef, double mapFunction);

// Charge air temperature in degrees Fahrenheit from the raw byte: a piecewise-linear
// table, applied as it is, jumps between 16/17 and 25/26 included; not clamped.
double ChargeTempF(uint8_t t);

// Boost in psi on one linear scale, (raw - BaroRef) * MapFunction: negative is vacuum.
double BoostPsi(uint8_t v, float baroRef, double mapFunction);
// Absolute manifold pressure in kPa: the barometric pressure of the run (BaroRef, the MAP
// sensor's reading of the open air at the start of the run) plus the boost.
double MapAbsoluteKpa(uint8_t v, float baroRef, double mapFunction);
inline constexpr double kKpaPerPsi = 6.894757;

// Engine speed in rpm from the replies to 90 (lo) and 8F (hi).
int32_t RpmValue(uint8_t lo, uint8_t hi);
// Vehicle speed in mph from the replies to 6A (lo) and 69 (hi), unrounded.
double MphValue(uint8_t lo, uint8_t hi);

// The number of the barometric header line (inches of mercury, "%6.2f").
std::string BaroText(float baroRef, double mapFunction);

}  // namespace tessek
