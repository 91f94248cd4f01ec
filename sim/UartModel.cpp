#include "sim/UartModel.h"

#include <cmath>

namespace tessek::sim {
namespace {

// Line level at time t, in units of the sender's bit time, with the start bit at [0, 1).
bool LevelAt(uint8_t value, double t)
{
    if (t < 0.0 || t >= 9.0)
        return true;  // idle line and stop bit are high
    if (t < 1.0)
        return false;  // start bit
    const int bit = static_cast<int>(t) - 1;
    return ((value >> bit) & 1) != 0;
}

// The first falling edge at or after time `from` (sender bit units), or a negative value.
double NextFallingEdge(uint8_t value, double from)
{
    for (int k = static_cast<int>(std::ceil(from)); k <= 9; ++k) {
        if (k < 0)
            continue;
        if (LevelAt(value, k - 0.5) && !LevelAt(value, k + 0.5))
            return k;
    }
    return -1.0;
}

}  // namespace

std::vector<uint8_t> ReceiveAtRate(uint8_t value, uint32_t sentBaud, uint32_t listenBaud)
{
    if (sentBaud == 0 || listenBaud == 0)
        return {};
    // One receiver bit time in sender bit times.
    const double bit = static_cast<double>(sentBaud) / static_cast<double>(listenBaud);
    std::vector<uint8_t> received;
    double edge = NextFallingEdge(value, 0.0);
    while (edge >= 0.0) {
        if (LevelAt(value, edge + 0.5 * bit)) {
            // A glitch, not a start bit: hunt for the next edge.
            edge = NextFallingEdge(value, edge + 0.5 * bit);
            continue;
        }
        uint8_t byte = 0;
        for (int i = 0; i < 8; ++i) {
            if (LevelAt(value, edge + (1.5 + i) * bit))
                byte = static_cast<uint8_t>(byte | (1u << i));
        }
        const bool stopHigh = LevelAt(value, edge + 9.5 * bit);
        received.push_back(stopHigh ? byte : uint8_t{0});
        edge = NextFallingEdge(value, edge + 9.5 * bit);
    }
    return received;
}

bool RatesMatch(uint32_t sentBaud, uint32_t listenBaud)
{
    if (sentBaud == 0 || listenBaud == 0)
        return false;
    const double ratio = static_cast<double>(sentBaud) / static_cast<double>(listenBaud);
    return std::fabs(ratio - 1.0) < 0.04;
}

}  // namespace tessek::sim
