// The wideband decoders, fed as a port hands bytes over: in chunks, each with its time.
#include "wideband/MtsDecoder.h"
#include "wideband/TextDecoder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace tessek {
namespace {

using Status = WidebandStatus;

struct Expected {
    uint32_t time;
    Status status;
    double afr = 0;  // for Valid
    uint16_t detail = 0;
    std::vector<uint16_t> aux = {};
};

struct Row {
    const char* name;
    std::vector<std::string> chunks;  // chunk i arrives at 100 * i ms
    std::vector<Expected> readings;
    uint32_t rejected = 0;
};

std::vector<uint8_t> HexBytes(const std::string& text)
{
    std::istringstream in(text);
    std::vector<uint8_t> bytes;
    for (std::string hex; in >> hex;)
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
    return bytes;
}

void Check(WidebandDecoder& decoder, const Row& row, bool hex)
{
    SCOPED_TRACE(row.name);
    std::vector<WidebandReading> got;
    for (size_t i = 0; i < row.chunks.size(); ++i) {
        const std::string& chunk = row.chunks[i];
        const std::vector<uint8_t> bytes = hex ? HexBytes(chunk) : std::vector<uint8_t>(chunk.begin(), chunk.end());
        decoder.Feed(bytes.data(), bytes.size(), static_cast<uint32_t>(100 * i), got);
    }
    ASSERT_EQ(got.size(), row.readings.size());
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        const Expected& want = row.readings[i];
        EXPECT_EQ(got[i].TimeMs, want.time);
        EXPECT_EQ(StatusName(got[i].Status), std::string(StatusName(want.status)));
        EXPECT_NEAR(got[i].Afr, want.afr, 0.005);
        EXPECT_EQ(got[i].Detail, want.detail);
        EXPECT_EQ(got[i].Aux, want.aux);
    }
    EXPECT_EQ(decoder.Rejected(), row.rejected);
}

// The published example: AF 147, L 491, lambda 0.991, 14.57 AFR.
const std::string kValid = "B2 82 43 13 03 6B ";
const std::string kRich = "B2 82 43 13 02 3C ";  // L 316: lambda 0.816, 11.995 AFR
const std::string kLean = "B2 82 43 13 04 58 ";  // L 600: lambda 1.1, 16.17 AFR
const std::string kNext = "B2 82";               // the next packet's header
constexpr double kValidAfr = 0.991 * 14.7, kRichAfr = 0.816 * 14.7, kLeanAfr = 1.1 * 14.7;

TEST(MtsDecoderTest, PacketsCountWhenWholeAndFollowedByAHeader)
{
    const Row rows[] = {
        {"a valid packet, confirmed by the next header", {kValid + kNext}, {{0, Status::Valid, kValidAfr}}},
        {"a packet alone waits for the next header", {kValid}, {}},
        {"warming up and an error code",
         {kValid + "B2 82 53 13 03 42 " + "B2 82 5B 13 00 03 " + kNext},
         {{0, Status::Valid, kValidAfr}, {0, Status::WarmingUp, 0, 450}, {0, Status::Error, 0, 3}}},
        {"a packet split across reads keeps the time of its last byte",
         {"B2 82 43", "13 03", "6B B2 82", "43 13 02 3C", kNext},
         {{200, Status::Valid, kValidAfr}, {300, Status::Valid, kRichAfr}}},
        {"aux channels; an answer packet gives nothing",
         {"B2 84 43 13 03 6B 07 7F 00 05 A2 82 43 13 02 3C " + kNext},
         {{0, Status::Valid, kValidAfr, 0, {1023, 5}}}},
        {"garbage before a header, with bytes that look like header starts",
         {"05 A7 13 FF A7 " + kValid + kRich + kNext},
         {{0, Status::Valid, kValidAfr}, {0, Status::Valid, kRichAfr}},
         2},
        {"bytes lost in the middle: the broken packet is dropped, the next is found",
         {kValid + "B2 82 43 13 " + kRich + kLean + kNext},
         {{0, Status::Valid, kValidAfr}, {0, Status::Valid, kRichAfr}, {0, Status::Valid, kLeanAfr}},
         1},
        {"bytes lost with the next header: the packet that swallowed it is dropped",
         {kValid + "B2 82 43 13 03 " + "43 13 02 3C " + kLean + kNext},
         {{0, Status::Valid, kValidAfr}, {0, Status::Valid, kLeanAfr}},
         1},
        {"no header where the length says: resynchronised",
         {kValid + "00 11 " + kRich + kLean + kNext},
         {{0, Status::Valid, kRichAfr}, {0, Status::Valid, kLeanAfr}},
         1},
    };
    for (const Row& row : rows) {
        MtsDecoder decoder;
        Check(decoder, row, true);
    }
}

TEST(TextDecoderTest, OneNumberALineAsAfrOrLambda)
{
    const Row rows[] = {
        {"AFR lines", {"\r\n14.7\r\n12.3\r\n"}, {{0, Status::Valid, 14.7}, {0, Status::Valid, 12.3}}},
        {"lambda below 2, converted with the stoichiometric ratio", {"\r\n0.85\r\n"}, {{0, Status::Valid, 0.85 * 9.8}}},
        {"tab-separated: the first field", {"\r\n0.998\t14.67\t3\r\n"}, {{0, Status::Valid, 0.998 * 9.8}}},
        {"half lines: one joined late is dropped, one split across reads is joined",
         {"7\r\n14.", "7\r", "\n"},
         {{100, Status::Valid, 14.7}}},
        {"too large, too small (as lambda and as AFR), not a number, too long",
         {"\r\n99999\r\n0.1\r\n2.5\r\n12,5\r\n" + std::string(100, '1') + "\r\n13\r\n"},
         {{0, Status::Valid, 13.0}},
         5},
    };
    for (const Row& row : rows) {
        TextDecoder decoder(9.8);
        Check(decoder, row, false);
    }
    // Lambda and AFR go both ways through the ratio.
    const auto afr = TextDecoder::DecodeLine("12.25", 9.8, 0);
    ASSERT_TRUE(afr);
    EXPECT_DOUBLE_EQ(afr->Lambda, 1.25);
}

}  // namespace
}  // namespace tessek
