#include "lm/ParameterTable.h"

#include <cmath>

namespace tessek {

double BoostPsi(uint8_t v, const DecodeContext& context)
{
    return (v - double{context.BaroRef}) * context.MapFunction;
}

double MapAbsoluteKpa(uint8_t v, const DecodeContext& context)
{
    return (double{context.BaroRef} * context.MapFunction + BoostPsi(v, context)) * kKpaPerPsi;
}

double ChargeTempF(uint8_t t)
{
    const double x = t;
    if (t < 17)
        return 335.0 - x * 5.14286;
    if (t < 26)
        return 284.0 - (x - 17.0) * 3.66667;
    if (t < 89)
        return 215.0 - (x - 26.0) * 1.34921;
    if (t < 144)
        return 130.0 - (x - 89.0) * 0.69091;
    if (t < 233)
        return 92.0 - (x - 144.0) * 0.92135;
    return 10.0 - (x - 233.0) * 2.77778;
}

double ParameterValue(const ParameterRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context)
{
    switch (row.Kind) {
        case DecoderKind::Skip:
            return 0;
        case DecoderKind::Raw:
            return lo;
        case DecoderKind::ChargeTemp:
            return ChargeTempF(lo);
        case DecoderKind::Map:
            // Boost in psi from BaroRef up; below it minus the vacuum in inches of mercury
            // (strictly negative, so the text can tell the two apart by the sign).
            if (lo >= context.BaroRef)
                return BoostPsi(lo, context);
            return -((double{context.BaroRef} - lo) * context.MapFunction * kInHgPerPsi);
        case DecoderKind::Scaled:
            break;
    }
    const double raw = row.LowAddress ? hi * 256.0 + lo : static_cast<double>(lo & row.Mask);
    const double value = raw * row.Scale + row.Offset;
    return row.Whole ? std::trunc(value) : value;
}

}  // namespace tessek
