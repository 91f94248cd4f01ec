// The simulated wideband: its stream as the decoders read it, in the protocol its rate
// asks for. (Its engine model serves the demo; the tests that use it show it working.)
#include "platform/Termios2.h"
#include "platform/UniqueFd.h"
#include "sim/SimulatedWideband.h"
#include "wideband/MtsDecoder.h"
#include "wideband/TextDecoder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace tessek::sim {
namespace {

using std::chrono::milliseconds;

// The readings of what the controller sends while the slave listens at `baud` for `ms`.
std::vector<WidebandReading> Listen(const SimulatedWideband& controller, uint32_t baud, WidebandDecoder& decoder,
                                    int ms)
{
    UniqueFd fd(::open(controller.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    EXPECT_TRUE(fd.Valid() && SetRawAtRate(fd.Get(), baud));
    // The open wakes the controller, which may send its first packet before the rate is
    // set: what comes in the first 150 ms is not listened to.
    std::vector<WidebandReading> readings;
    const auto begin = std::chrono::steady_clock::now();
    for (pollfd p{fd.Get(), POLLIN, 0}; std::chrono::steady_clock::now() < begin + milliseconds(ms);) {
        uint8_t bytes[64];
        if (::poll(&p, 1, 20) == 1) {
            const ssize_t n = ::read(fd.Get(), bytes, sizeof bytes);
            if (std::chrono::steady_clock::now() > begin + milliseconds(150))
                decoder.Feed(bytes, n > 0 ? static_cast<size_t>(n) : 0, 0, readings);
        }
    }
    return readings;
}

TEST(SimulatedWidebandTest, SendsTheProtocolItsRateAsksForAndGarbleAtAnother)
{
    // The scenario idles for its first 15 s: closed loop around stoichiometric.
    const auto start = std::chrono::steady_clock::now();
    const SimulatedWideband byRate(WidebandSimProtocol::ByRate, start);
    const SimulatedWideband mts(WidebandSimProtocol::Mts, start);
    const struct {
        const char* name;
        const SimulatedWideband& controller;
        uint32_t baud;
        bool mtsDecoder, readable;
    } rows[] = {
        {"MTS at 19200", byRate, 19200, true, true},
        {"text at 9600", byRate, 9600, false, true},
        {"MTS heard at 9600", mts, 9600, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MtsDecoder mtsDecoder;
        TextDecoder textDecoder(kStoichAfr);
        WidebandDecoder& decoder = row.mtsDecoder ? static_cast<WidebandDecoder&>(mtsDecoder) : textDecoder;
        const auto readings = Listen(row.controller, row.baud, decoder, 750);
        if (!row.readable) {
            EXPECT_TRUE(readings.empty());
            continue;
        }
        ASSERT_GE(readings.size(), 3u);
        for (const WidebandReading& r : readings) {
            EXPECT_TRUE(r.Valid());
            EXPECT_NEAR(r.Afr, kStoichAfr, 0.4);
        }
    }
}

}  // namespace
}  // namespace tessek::sim
