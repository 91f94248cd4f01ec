#pragma once
// The millisecond tick counter every wait and time stamp is measured with.
#include <cstdint>
#include <functional>

namespace tessek {

// Milliseconds from a monotonic clock, truncated to 32 bits (wraps after ~49.7 days).
uint32_t GetTickCount();

// Elapsed time between two tick readings: |int32(now - start)|, so a wrap of the
// counter does not stretch a wait.
inline uint32_t TickElapsed(uint32_t start, uint32_t now)
{
    const auto diff = static_cast<int32_t>(now - start);
    return diff < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(diff)) : static_cast<uint32_t>(diff);
}

// A clock that tests can replace: the link's waits read time only through this.
using TickSource = std::function<uint32_t()>;

}  // namespace tessek
