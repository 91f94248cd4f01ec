#pragma once
// The LM parameters, one row per address the user can log: its address (and for a two-byte
// value the address of its low byte), the catalogue's text, the data log column and unit,
// how the window's text shows it, its conversion from the reply and whether the data log
// keeps the reply beside it. The catalogue, the logging run's texts and columns, the names
// the data log readers look for and the simulated LM all read these rows: a new parameter
// is a new row (and a row in the decoder tests). Constants and pure functions, any thread.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tessek {

// How a slot's replies become its value and text.
enum class DecoderKind {
    Skip,        // nothing is requested, nothing appended
    Scaled,      // the reply's Mask bits * Scale + Offset, in whole units where Whole is set
    ChargeTemp,  // the charge air temperature curve (ChargeTempF)
    Map,         // manifold pressure against the run's barometric byte and sensor factor
    Raw,         // the reply byte itself, shown in hexadecimal
};

// The addresses the program names. Cylinders 2 to 4's knock retard follow cylinder 1's.
inline constexpr uint8_t kSkipAddress = 0x12;
inline constexpr uint8_t kChargeTempAddress = 0x5D;
inline constexpr uint8_t kMphHiAddress = 0x69;
inline constexpr uint8_t kMphLoAddress = 0x6A;
inline constexpr uint8_t kSparkAddress = 0x72;
inline constexpr uint8_t kBaroAddress = 0x73;
inline constexpr uint8_t kThrottleFlagAddress = 0x81;
inline constexpr uint8_t kMapAddress = 0x86;
inline constexpr uint8_t kRpmHiAddress = 0x8F;
inline constexpr uint8_t kRpmLoAddress = 0x90;
inline constexpr uint8_t kTpsAddress = 0x98;
inline constexpr uint8_t kCoolantAddress = 0x9A;
inline constexpr uint8_t kBattTempAddress = 0x9B;
inline constexpr uint8_t kO2Address = 0x9C;
inline constexpr uint8_t kRawChargeTempAddress = 0x9D;
inline constexpr uint8_t kKnockAddress = 0xA0;
inline constexpr uint8_t kRetardAddress = 0xCE;
inline constexpr uint8_t kKnockCountAddress = 0xDD;

// psi per count of the MAP sensor (and of the barometric byte, the sensor's reading of the
// open air) for the three-bar sensor, the logging settings' default.
inline constexpr double kDefaultMapFunction = 0.172266;
inline constexpr double kInHgPerPsi = 2.036;
inline constexpr double kKpaPerPsi = 6.894757;

// What a conversion may need besides the reply bytes.
struct DecodeContext {
    float BaroRef = 0;       // raw barometric byte read at the start of the run
    double MapFunction = 0;  // psi per count of the MAP sensor
};

// Boost in psi on one linear scale, (raw - BaroRef) * MapFunction: negative is vacuum.
double BoostPsi(uint8_t v, const DecodeContext& context);
// Absolute manifold pressure in kPa: the barometric pressure of the run (BaroRef, the MAP
// sensor's reading of the open air at the start of the run) plus the boost.
double MapAbsoluteKpa(uint8_t v, const DecodeContext& context);
// Charge air temperature in degrees Fahrenheit from the raw byte: a piecewise-linear
// table, applied as it is, jumps between 16/17 and 25/26 included; not clamped.
double ChargeTempF(uint8_t t);

// A column a parameter's reply fills besides its own: a figure on another scale.
struct DerivedColumn {
    std::string_view Column;
    std::string_view Unit;
    int Decimals = 0;
    double (*Convert)(uint8_t v, const DecodeContext& context) = nullptr;
};

inline constexpr int kMaxDerivedColumns = 2;

struct ParameterRow {
    uint8_t Address = 0;
    // A two-byte value (hi * 256 + lo) has its low byte here; it is asked for first.
    std::optional<uint8_t> LowAddress{};
    // The catalogue's text: "$8F=RPM".
    std::string_view Text{};
    DecoderKind Kind = DecoderKind::Raw;
    // The data log column and its unit. A Raw row's column has no unit and no name of its
    // own: it takes the catalogue's text, as the run looks it up (logging/RunColumns.h).
    std::string_view Column{};
    std::string_view Unit{};
    // The window's text: the value right-aligned in Width characters with Decimals
    // decimals, then TextUnit; a negative value is printed without its sign and followed by
    // NegativeTextUnit where the row has one; with RawInText "(XX) " follows. A Raw row's
    // text is " XX ".
    int Width = 0;
    int Decimals = 0;
    std::string_view TextUnit{};
    std::string_view NegativeTextUnit{};
    bool RawInText = false;
    // The conversion of a Scaled row.
    double Scale = 1;
    double Offset = 0;
    uint8_t Mask = 0xFF;  // the bits of a one-byte reply that hold the value
    bool Whole = false;   // the value is cut to whole units
    // The data log has a "<column> raw" column with the reply.
    bool RawColumn = false;
    // Columns that follow this one (and its raw column) in the data logs.
    std::array<DerivedColumn, kMaxDerivedColumns> Derived{};
    int DerivedCount = 0;
};

// In ascending address order, the catalogue's order.
inline constexpr ParameterRow kParameterTable[] = {
    {.Address = kSkipAddress, .Text = "Skip value", .Kind = DecoderKind::Skip},
    {.Address = kChargeTempAddress,
     .Text = "Charge Air Temp",
     .Kind = DecoderKind::ChargeTemp,
     .Column = "Charge Air Temp",
     .Unit = "F",
     .Width = 5,
     .Decimals = 1,
     .TextUnit = "F ",
     .RawInText = true,
     .RawColumn = true},
    {.Address = kMphHiAddress,
     .LowAddress = kMphLoAddress,
     .Text = "MPH",
     .Kind = DecoderKind::Scaled,
     .Column = "Road Speed",
     .Unit = "mph",
     .Width = 6,
     .Decimals = 2,
     .TextUnit = "mph ",
     .Scale = 1.0 / 64,
     .RawColumn = true},
    {.Address = kSparkAddress,
     .Text = "SPK Advance",
     .Kind = DecoderKind::Scaled,
     .Column = "Spark Advance",
     .Unit = "deg",
     .Width = 2,
     .Decimals = 1,
     .TextUnit = "deg ",
     .Scale = 0.5,
     .RawColumn = true},
    {.Address = kBaroAddress, .Text = "Baro", .Kind = DecoderKind::Raw},
    {.Address = kThrottleFlagAddress, .Text = "Throttle Flg", .Kind = DecoderKind::Raw},
    // The window's mixed scale: psi of boost from BaroRef up, inches of mercury of vacuum
    // below it; kept for files already in use, with boost on one linear scale and the
    // absolute pressure after it.
    {.Address = kMapAddress,
     .Text = "MAP",
     .Kind = DecoderKind::Map,
     .Column = "MAP",
     .Unit = "psi/-inHg",
     .Width = 5,
     .Decimals = 2,
     .TextUnit = "psi ",
     .NegativeTextUnit = "hg  ",
     .RawColumn = true,
     .Derived = {{{.Column = "Boost", .Unit = "psi", .Decimals = 2, .Convert = BoostPsi},
                  {.Column = "MAP abs", .Unit = "kPa", .Decimals = 1, .Convert = MapAbsoluteKpa}}},
     .DerivedCount = 2},
    {.Address = kRpmHiAddress,
     .LowAddress = kRpmLoAddress,
     .Text = "RPM",
     .Kind = DecoderKind::Scaled,
     .Column = "Engine Speed",
     .Unit = "rpm",
     .Width = 4,
     .Decimals = 0,
     .TextUnit = "rpm ",
     .Scale = 0.25,
     .Whole = true,
     .RawColumn = true},
    {.Address = kTpsAddress,
     .Text = "TPS%",
     .Kind = DecoderKind::Scaled,
     .Column = "Throttle",
     .Unit = "%",
     .Width = 5,
     .Decimals = 1,
     .TextUnit = "% ",
     .Scale = 0.390625,
     .RawColumn = true},
    {.Address = kCoolantAddress,
     .Text = "Coolant Temp",
     .Kind = DecoderKind::Scaled,
     .Column = "Coolant Temp",
     .Unit = "F",
     .Width = 4,
     .Decimals = 1,
     .TextUnit = "F ",
     .RawInText = true,
     .Scale = 1.24609375,
     .Offset = -60.0,
     .RawColumn = true},
    {.Address = kBattTempAddress, .Text = "Raw Batt Temp", .Kind = DecoderKind::Raw},
    {.Address = kO2Address,
     .Text = "O2",
     .Kind = DecoderKind::Scaled,
     .Column = "O2",
     .Unit = "v",
     .Width = 5,
     .Decimals = 3,
     .TextUnit = "v",
     .RawInText = true,
     .Scale = 0.0194,
     .Offset = 0.0446,
     .RawColumn = true},
    {.Address = kRawChargeTempAddress,
     .Text = "Raw Charge Temp",
     .Kind = DecoderKind::ChargeTemp,
     .Column = "Raw Charge Temp",
     .Unit = "F",
     .Width = 5,
     .Decimals = 1,
     .TextUnit = "F ",
     .RawInText = true,
     .RawColumn = true},
    {.Address = kKnockAddress,
     .Text = "Knock",
     .Kind = DecoderKind::Scaled,
     .Column = "Knock",
     .Unit = "v",
     .Width = 4,
     .Decimals = 2,
     .TextUnit = "v ",
     .Scale = 5.0 / 256,
     .RawColumn = true},
    // Six bits of half degrees; the half degree is dropped.
    {.Address = kRetardAddress,
     .Text = "Cyl 1 Retard",
     .Kind = DecoderKind::Scaled,
     .Column = "Cyl 1 Retard",
     .Unit = "deg",
     .Width = 2,
     .Decimals = 0,
     .TextUnit = "deg ",
     .Scale = 0.5,
     .Mask = 0x3F,
     .Whole = true,
     .RawColumn = true},
    {.Address = kRetardAddress + 1,
     .Text = "Cyl 2 Retard",
     .Kind = DecoderKind::Scaled,
     .Column = "Cyl 2 Retard",
     .Unit = "deg",
     .Width = 2,
     .Decimals = 0,
     .TextUnit = "deg ",
     .Scale = 0.5,
     .Mask = 0x3F,
     .Whole = true,
     .RawColumn = true},
    {.Address = kRetardAddress + 2,
     .Text = "Cyl 3 Retard",
     .Kind = DecoderKind::Scaled,
     .Column = "Cyl 3 Retard",
     .Unit = "deg",
     .Width = 2,
     .Decimals = 0,
     .TextUnit = "deg ",
     .Scale = 0.5,
     .Mask = 0x3F,
     .Whole = true,
     .RawColumn = true},
    {.Address = kRetardAddress + 3,
     .Text = "Cyl 4 Retard",
     .Kind = DecoderKind::Scaled,
     .Column = "Cyl 4 Retard",
     .Unit = "deg",
     .Width = 2,
     .Decimals = 0,
     .TextUnit = "deg ",
     .Scale = 0.5,
     .Mask = 0x3F,
     .Whole = true,
     .RawColumn = true},
    {.Address = kKnockCountAddress, .Text = "(DTLKNK)", .Kind = DecoderKind::Raw},
};

// Any other address: its reply byte.
inline constexpr ParameterRow kOtherAddressRow{.Kind = DecoderKind::Raw};

inline std::span<const ParameterRow> ParameterTable()
{
    return kParameterTable;
}

// The row of `address`: its own, or kOtherAddressRow.
constexpr const ParameterRow& ParameterFor(uint8_t address)
{
    for (const ParameterRow& row : kParameterTable) {
        if (row.Address == address)
            return row;
    }
    return kOtherAddressRow;
}

// The value of a row for its replies (lo, and hi of a two-byte value), unrounded; 0 for Skip.
double ParameterValue(const ParameterRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context);

}  // namespace tessek
