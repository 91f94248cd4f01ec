#pragma once
// What every wideband decoder must hold whatever bytes come: the readings do not depend on
// how the bytes were cut into reads (all at once, byte by byte, or in the pieces the
// input's first byte chooses), a Reset forgets everything, and every reading passes
// `plausible`. A failure aborts.
#include "wideband/WidebandDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace tessek::fuzz {

inline bool SameReadings(const std::vector<WidebandReading>& a, const std::vector<WidebandReading>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].Status != b[i].Status || a[i].Afr != b[i].Afr || a[i].Lambda != b[i].Lambda ||
            a[i].Detail != b[i].Detail || a[i].Aux != b[i].Aux)
            return false;
    }
    return true;
}

inline void CheckDecoder(const std::function<std::unique_ptr<WidebandDecoder>()>& make,
                         const std::function<bool(const WidebandReading&)>& plausible, const uint8_t* data, size_t size)
{
    std::vector<WidebandReading> whole, bytewise, pieces, afterReset;
    make()->Feed(data, size, 0, whole);

    const auto one = make();
    for (size_t i = 0; i < size; ++i)
        one->Feed(data + i, 1, 0, bytewise);

    const auto cut = make();
    const size_t step = size > 0 ? 1 + data[0] % 13 : 1;
    for (size_t at = 0; at < size; at += step)
        cut->Feed(data + at, std::min(step, size - at), 0, pieces);

    // A decoder that has seen the input and was reset reads it as a fresh one does.
    const auto reused = make();
    std::vector<WidebandReading> ignored;
    reused->Feed(data, size, 0, ignored);
    reused->Reset();
    reused->Feed(data, size, 0, afterReset);

    if (!SameReadings(whole, bytewise) || !SameReadings(whole, pieces) || !SameReadings(whole, afterReset))
        std::abort();
    for (const WidebandReading& r : whole) {
        if (!plausible(r))
            std::abort();
    }
}

}  // namespace tessek::fuzz
