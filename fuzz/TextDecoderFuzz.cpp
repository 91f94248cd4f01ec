// The text decoder (aem, text): see DecoderFuzz.h. Every reading is valid, within the
// accepted range, and its AFR and lambda agree through the ratio.
#include "fuzz/DecoderFuzz.h"
#include "wideband/TextDecoder.h"

#include <cmath>

namespace {
constexpr double kStoich = 14.7;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const auto plausible = [](const WidebandReading& r) {
        return r.Valid() && r.Lambda >= TextDecoder::kMinLambda && r.Afr <= TextDecoder::kMaxAfr &&
               std::abs(r.Afr - r.Lambda * kStoich) <= 1e-9 * r.Afr;
    };
    fuzz::CheckDecoder([] { return std::make_unique<TextDecoder>(kStoich); }, plausible, data, size);
    return 0;
}
