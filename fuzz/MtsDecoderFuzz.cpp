// The MTS decoder: see DecoderFuzz.h. A valid reading's lambda lies within what 13 bits
// can say (0.5 to 8.691) and its AFR within what an 8-bit factor makes of it; aux counts
// have 10 bits; the other statuses carry no value.
#include "fuzz/DecoderFuzz.h"
#include "wideband/MtsDecoder.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const auto plausible = [](const WidebandReading& r) {
        if (std::any_of(r.Aux.begin(), r.Aux.end(), [](uint16_t a) { return a > 1023; }))
            return false;
        if (!r.Valid())
            return r.Afr == 0 && r.Lambda == 0 && r.Detail <= 0x1FFF;
        return r.Lambda >= 0.5 && r.Lambda <= 8.6915 && r.Afr >= 0 && r.Afr <= r.Lambda * 25.5 + 1e-9;
    };
    fuzz::CheckDecoder([] { return std::make_unique<MtsDecoder>(); }, plausible, data, size);
    return 0;
}
