#include "sim/UartModel.h"

#include <gtest/gtest.h>

namespace tessek::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ReceiveAtRate, SameOrNearlySameRateGivesTheByteBack)
{
    const struct {
        uint32_t sent, heard;
    } pairs[] = {{977, 977}, {7680, 7680}, {9600, 9800}, {7680, 7500}};
    for (const auto& pair : pairs) {
        for (int value = 0; value < 256; ++value) {
            SCOPED_TRACE(testing::Message() << pair.sent << " -> " << pair.heard << " value " << value);
            ASSERT_EQ(ReceiveAtRate(static_cast<uint8_t>(value), pair.sent, pair.heard),
                      Bytes{static_cast<uint8_t>(value)});
        }
    }
}

TEST(ReceiveAtRate, SlowByteHeardByFastReceiver)
{
    // 977 heard at 7680: a receiver bit lasts 0.127 sender bits, so a frame sees the
    // sender's start bit as zeros; every falling edge of the slow byte starts a frame.
    const struct {
        const char* name;
        uint8_t value;
        Bytes heard;
    } rows[] = {
        // Low runs at start+d0, d2-d3, d5-d7: three frames with a low stop bit.
        {"handshake 12", 0x12, {0x00, 0x00, 0x00}},
        // d0 high: the first frame's last data bit and stop bit land on it.
        {"13", 0x13, {0x80, 0x00, 0x00}},
        // Only the start bit is low; its frame ends on the high d0.
        {"FF", 0xFF, {0x80}},
        // One long low run from the start bit through d7: one broken frame.
        {"00", 0x00, {0x00}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ReceiveAtRate(row.value, 977, 7680), row.heard);
    }
}

TEST(ReceiveAtRate, FastByteHeardBySlowReceiver)
{
    // 7680 heard at 977: the receiver checks its start bit 3.9 sender bits after the
    // edge (on d2); when that is low, it reads the idle line after the byte as ones.
    const struct {
        const char* name;
        uint8_t value;
        Bytes heard;
    } rows[] = {
        {"01: d2 low", 0x01, {0xFF}},
        {"00: d2 low", 0x00, {0xFF}},
        {"8F: d2 high, the edge after d3 checks high d7", 0x8F, {}},
        {"04: d2 high, the edge after it checks low d6", 0x04, {0xFF}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ReceiveAtRate(row.value, 7680, 977), row.heard);
    }
}

TEST(ReceiveAtRate, NoRateHearsNothing)
{
    EXPECT_EQ(ReceiveAtRate(0x55, 0, 977), Bytes{});
    EXPECT_EQ(ReceiveAtRate(0x55, 977, 0), Bytes{});
}

TEST(RatesMatch, WithinAUartsTolerance)
{
    const struct {
        uint32_t a, b;
        bool match;
    } rows[] = {
        {977, 977, true},   {977, 1000, true},  {7680, 7812, true}, {7680, 8100, false},
        {977, 7680, false}, {7680, 977, false}, {0, 0, false},      {9600, 9300, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.a << " vs " << row.b);
        EXPECT_EQ(RatesMatch(row.a, row.b), row.match);
    }
}

}  // namespace
}  // namespace tessek::sim
