#pragma once
// The tests' own access to arbitrary line rates (kept apart from the simulator's, so a
// fault there cannot hide itself in the tests).
#include <cstdint>

namespace tessek::test {

// Raw 8N1 with separate input and output rates; false when the kernel refuses.
bool SetRawRates(int fd, uint32_t inputBaud, uint32_t outputBaud);

}  // namespace tessek::test
