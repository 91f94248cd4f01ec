#pragma once
// What a serial receiver makes of one byte sent at another rate: the byte's waveform
// (start bit, eight data bits LSB first, stop bit, idle line around it) sampled by a
// receiver that starts at each falling edge and samples in the middle of its own bits.
// Pure functions; any thread.
#include <cstdint>
#include <vector>

namespace tessek::sim {

// The bytes a receiver listening at `listenBaud` takes from `value` sent at `sentBaud`.
// Equal rates give back `value`. A frame whose stop bit reads low arrives as 00, as the
// Linux terminal layer delivers a framing error in raw mode; a start bit that reads high
// in its middle is no frame at all, so the result may also be empty.
std::vector<uint8_t> ReceiveAtRate(uint8_t value, uint32_t sentBaud, uint32_t listenBaud);

// Whether a receiver at `listenBaud` reads bytes sent at `sentBaud` reliably: the rates
// differ by less than the few percent a UART's mid-bit sampling tolerates.
bool RatesMatch(uint32_t sentBaud, uint32_t listenBaud);

}  // namespace tessek::sim
