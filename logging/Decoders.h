#pragma once
// The texts and numbers a logging run makes of a slot's replies, read from the slot's row
// of the parameter table (lm/ParameterTable.h). Pure functions of the raw bytes; the
// exchanges with the LM are done by the logging run (logging/LogRun.h).
//
// Numbers are formatted as printf does in the C locale ("." separator) whatever the
// process locale, with one exception: the integer fields print 0 as "0".
#include "lm/ParameterTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tessek {

// The text a row appends to the sample line for its replies (lo, and hi of a two-byte
// value); "" for Skip.
std::string DecoderText(const ParameterRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context);

// `value` in fixed point with `decimals` decimals, right-aligned in at least `width`
// characters ("%<width>.<decimals>f" in the C locale).
std::string FormatFixed(double value, int width, int decimals);

// `value` rounded to `decimals` exactly as FormatFixed prints it: the number that text
// stands for, so that printing it again with `decimals` gives the same digits.
double RoundAsPrinted(double value, int decimals);

// The number behind a row's text.
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

// The value a slot of `row` shows for its replies; `hi` is ignored by the one-byte rows.
// No value for Skip.
std::optional<DecodedValue> DecodeValue(const ParameterRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context);

// The number of the barometric header line (inches of mercury, "%6.2f").
std::string BaroText(float baroRef, double mapFunction);

}  // namespace tessek
