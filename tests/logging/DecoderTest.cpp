#include "link/LmLink.h"
#include "logging/Decoders.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace tessek {
namespace {

struct TextCase {
    const char* name;
    std::function<std::string()> text;
    std::string expected;
};

void ExpectTexts(const std::vector<TextCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text(), c.expected);
    }
}

TEST(DecoderText, OneByteDecoders)
{
    ExpectTexts({
        {"knock 80", [] { return KnockText(0x80); }, "2.50v "},
        {"knock 00", [] { return KnockText(0x00); }, "0.00v "},
        {"knock FF", [] { return KnockText(0xFF); }, "4.98v "},
        {"tps FF", [] { return TpsText(0xFF); }, " 99.6% "},
        {"tps 00", [] { return TpsText(0x00); }, "  0.0% "},
        {"tps 80", [] { return TpsText(0x80); }, " 50.0% "},
        {"o2 00", [] { return O2Text(0x00); }, "0.045v(00) "},
        {"o2 80", [] { return O2Text(0x80); }, "2.528v(80) "},
        {"o2 FF", [] { return O2Text(0xFF); }, "4.992v(FF) "},
        {"retard FF keeps six bits", [] { return RetardText(0xFF); }, "31deg "},
        {"retard 41 is zero", [] { return RetardText(0x41); }, " 0deg "},
        {"retard 3E", [] { return RetardText(0x3E); }, "31deg "},
        {"retard 03 drops the half", [] { return RetardText(0x03); }, " 1deg "},
        {"retard C4", [] { return RetardText(0xC4); }, " 2deg "},
        {"coolant 9A", [] { return CoolantText(0x9A); }, "131.9F (9A) "},
        {"coolant 00", [] { return CoolantText(0x00); }, "-60.0F (00) "},
        {"coolant 30 just below zero", [] { return CoolantText(0x30); }, "-0.2F (30) "},
        {"coolant FF", [] { return CoolantText(0xFF); }, "257.8F (FF) "},
        {"spark 00", [] { return SparkText(0x00); }, "0.0deg "},
        {"spark 01", [] { return SparkText(0x01); }, "0.5deg "},
        {"spark 15", [] { return SparkText(0x15); }, "10.5deg "},
        {"spark FF", [] { return SparkText(0xFF); }, "127.5deg "},
        {"raw 5A", [] { return RawText(0x5A); }, " 5A "},
        {"raw 00", [] { return RawText(0x00); }, " 00 "},
        {"raw AB upper case", [] { return RawText(0xAB); }, " AB "},
    });
}

TEST(DecoderText, MapAgainstBaroReference)
{
    const double map3Bar = 0.172266;
    ExpectTexts({
        {"at baro", [&] { return MapText(0x64, 100.0f, map3Bar); }, " 0.00psi "},
        {"one count above", [&] { return MapText(0x65, 100.0f, map3Bar); }, " 0.17psi "},
        {"ten counts below", [&] { return MapText(0x5A, 100.0f, map3Bar); }, " 3.51hg  "},
        {"top of range", [&] { return MapText(0xFF, 100.0f, map3Bar); }, "26.70psi "},
        {"bottom of range", [&] { return MapText(0x00, 100.0f, map3Bar); }, "35.07hg  "},
        {"hand-edited factor used as it is", [] { return MapText(0x6E, 100.0f, 0.1); }, " 1.00psi "},
        {"baro zero", [&] { return MapText(0x00, 0.0f, map3Bar); }, " 0.00psi "},
    });
}

TEST(DecoderText, TwoByteDecoders)
{
    EXPECT_EQ(RpmValue(0x40, 0x1F), 2000);
    EXPECT_EQ(RpmValue(0x1F, 0x40), 4103);  // lo and hi are not interchangeable
    EXPECT_EQ(RpmValue(0x03, 0x00), 0);     // remainder dropped
    EXPECT_EQ(RpmValue(0xFF, 0xFF), 16383);
    EXPECT_DOUBLE_EQ(MphValue(0x80, 0x0C), 50.0);
    EXPECT_DOUBLE_EQ(MphValue(0x0C, 0x80), 512.1875);
    EXPECT_DOUBLE_EQ(MphValue(0x01, 0x00), 0.015625);  // unrounded
    ExpectTexts({
        {"rpm 2000", [] { return RpmText(2000); }, "2000rpm "},
        {"rpm 0 prints a digit", [] { return RpmText(0); }, "   0rpm "},
        {"rpm 1", [] { return RpmText(1); }, "   1rpm "},
        {"rpm wider than the field", [] { return RpmText(16383); }, "16383rpm "},
        {"mph 50", [] { return MphText(50.0); }, " 50.00mph "},
        {"mph small", [] { return MphText(MphValue(0x03, 0x00)); }, "  0.05mph "},
        {"mph top", [] { return MphText(MphValue(0xFF, 0xFF)); }, "1023.98mph "},
    });
}

TEST(DecoderText, ChargeTemperatureTable)
{
    // Raw byte, degrees as the table gives them with its decimal constants, text.
    struct Row {
        uint8_t raw;
        double degrees;
        std::string text;
    };
    const std::vector<Row> rows = {
        {0, 335.0, "335.0F (00) "},      {16, 252.71424, "252.7F (10) "},  {17, 284.0, "284.0F (11) "},
        {25, 254.66664, "254.7F (19) "}, {26, 215.0, "215.0F (1A) "},      {88, 131.34898, "131.3F (58) "},
        {89, 130.0, "130.0F (59) "},     {143, 92.69086, " 92.7F (8F) "},  {144, 92.0, " 92.0F (90) "},
        {232, 10.9212, " 10.9F (E8) "},  {233, 10.0, " 10.0F (E9) "},      {236, 1.66666, "  1.7F (EC) "},
        {237, -1.11112, " -1.1F (ED) "}, {255, -51.11116, "-51.1F (FF) "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.raw));
        // Tight enough to tell 5.14286 from 36/7 and 3.66667 from 11/3.
        EXPECT_NEAR(ChargeTempF(row.raw), row.degrees, 1e-9);
        EXPECT_EQ(ChargeTempText(row.raw), row.text);
    }
}

TEST(DecoderText, BarometricHeaderNumber)
{
    EXPECT_EQ(BaroText(0.0f, 0.172266), " 30.00");
    EXPECT_EQ(BaroText(50.0f, 0.172266), " 12.46");
    EXPECT_EQ(BaroText(100.0f, 0.172266), " -5.07");
    EXPECT_EQ(BaroText(100.0f, 0.057422), " 18.31");
}

TEST(DecoderText, FixedFormatPadsAndRounds)
{
    EXPECT_EQ(FormatFixed(2.5, 4, 2), "2.50");
    EXPECT_EQ(FormatFixed(-0.1875, 4, 1), "-0.2");
    EXPECT_EQ(FormatFixed(12345.678, 5, 1), "12345.7");
    EXPECT_EQ(FormatFixed(0.0, 7, 3), "  0.000");
}

TEST(DecoderDispatch, AddressesGoToTheirDecoders)
{
    struct Row {
        uint8_t address;
        TDecoderKind kind;
    };
    const std::vector<Row> rows = {
        {0x12, TDecoderKind::Skip},        {0x5D, TDecoderKind::ChargeTemp0}, {0x69, TDecoderKind::Mph},
        {0x72, TDecoderKind::Spark},       {0x86, TDecoderKind::Map},         {0x8F, TDecoderKind::Rpm},
        {0x98, TDecoderKind::Tps},         {0x9A, TDecoderKind::Coolant},     {0x9C, TDecoderKind::O2},
        {0x9D, TDecoderKind::ChargeTemp1}, {0xA0, TDecoderKind::Knock},       {0xCE, TDecoderKind::Retard},
        {0xCF, TDecoderKind::Retard},      {0xD0, TDecoderKind::Retard},      {0xD1, TDecoderKind::Retard},
        {0x73, TDecoderKind::Raw},         {0x81, TDecoderKind::Raw},         {0x9B, TDecoderKind::Raw},
        {0xDD, TDecoderKind::Raw},         {0xCD, TDecoderKind::Raw},         {0xD2, TDecoderKind::Raw},
        {0x6A, TDecoderKind::Raw},         {0x90, TDecoderKind::Raw},         {0x00, TDecoderKind::Raw},
        {0xFF, TDecoderKind::Raw},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(ByteToHex(row.address));
        EXPECT_EQ(DecoderFor(row.address), row.kind);
    }
}

}  // namespace
}  // namespace tessek
