#pragma once
// The decoder of the text streams (aem, text): one number a line, ending in CR LF (a CR or
// an LF alone ends a line too; empty lines are skipped). Of tab-separated fields the first
// counts. A value below 2 is lambda, otherwise AFR; the other follows from the fuel's
// stoichiometric ratio. Every line gives a valid reading or is rejected: a value that is
// not a number, one whose lambda is below kMinLambda or whose AFR is above kMaxAfr
// (whichever of them it was sent as), and a line longer than kMaxLine bytes. What comes before the first line end is
// thrown away, since the stream may have been joined in the middle of a line; so is everything after a Reset up to the
// next line end. Memory stays within kMaxLine bytes whatever comes.
#include "wideband/WidebandDecoder.h"

#include <optional>
#include <string>
#include <string_view>

namespace tessek {

class TextDecoder final : public WidebandDecoder {
public:
    static constexpr int32_t kAemBaud = 9600;
    static constexpr size_t kMaxLine = 64;
    static constexpr double kLambdaBelow = 2.0;  // values below are lambda, the rest AFR
    static constexpr double kMinLambda = 0.3;
    static constexpr double kMaxAfr = 40.0;

    // `stoich`: the fuel's stoichiometric AFR, greater than 0.
    explicit TextDecoder(double stoich) : stoich_(stoich) {}

    void Feed(const uint8_t* data, size_t size, uint32_t timeMs, std::vector<WidebandReading>& out) override;
    void Reset() override;

    // The reading of one line (without its line end), nothing when it is rejected. Pure.
    static std::optional<WidebandReading> DecodeLine(std::string_view line, double stoich, uint32_t timeMs);

private:
    double stoich_;
    std::string line_;
    bool skipping_ = true;  // until the next line end: a line joined late, or too long
};

}  // namespace tessek
