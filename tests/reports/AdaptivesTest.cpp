#include "reports/Adaptives.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessek {
namespace {

TEST(FormatAdaptive, LeanBelow80RichFrom80)
{
    const struct {
        uint8_t value;
        const char* text;
    } cases[] = {
        {0x00, "lean 00"}, {0x7F, "lean 7F"}, {0x80, "rich 80"}, {0xFF, "rich FF"},
        {0x12, "lean 12"}, {0x7D, "lean 7D"}, {0xA5, "rich A5"}, {0x0A, "lean 0A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.value));
        EXPECT_EQ(FormatAdaptive(c.value), c.text);
    }
}

std::string Row(const std::vector<uint8_t>& cells)
{
    std::string row;
    for (int column = 0; column < kGridColumns; ++column)
        row += GridRowPiece(column, cells[static_cast<size_t>(column)]);
    return row;
}

TEST(GridRowPiece, PiecesMakeTheRowOfTheExample)
{
    EXPECT_EQ(GridRowPiece(0, 0x7E), "      | lean 7E");
    EXPECT_EQ(GridRowPiece(3, 0x80), " | rich 80");
    EXPECT_EQ(GridRowPiece(5, 0x81), " | rich 81 |");
    EXPECT_EQ(Row({0x7E, 0x80, 0x85, 0x80, 0x6F, 0x81}),
              "      | lean 7E | rich 80 | rich 85 | rich 80 | lean 6F | rich 81 |");
    EXPECT_THROW(GridRowPiece(6, 0), std::out_of_range);
    EXPECT_THROW(GridRowPiece(-1, 0), std::out_of_range);
}

// The grid only lines up when every line is 67 wide with its bars in the same columns.
void ExpectGridShape(std::string_view line)
{
    ASSERT_EQ(line.size(), 67u);
    for (size_t column = 0; column < line.size(); ++column) {
        const bool barColumn = column >= 6 && (column - 6) % 10 == 0;
        const char c = line[column];
        if (barColumn)
            EXPECT_TRUE(c == '+' || c == '|') << "column " << column << " holds '" << c << "'";
        else
            EXPECT_TRUE(c != '+' && c != '|') << "column " << column << " holds '" << c << "'";
    }
}

TEST(AdaptivesGrid, LinesAndRowsAre67WideWithBarsEveryTenColumnsFrom6)
{
    for (std::string_view line : {kGridTopLine, kGridMiddleLine, kGridBottomLine}) {
        SCOPED_TRACE(std::string(line));
        ExpectGridShape(line);
    }
    for (const auto& cells : std::vector<std::vector<uint8_t>>{
             {0, 0, 0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x7F, 0x80, 0x12, 0xA0, 0x01, 0xFE}}) {
        const std::string row = Row(cells);
        SCOPED_TRACE(row);
        ExpectGridShape(row);
        EXPECT_EQ(row.substr(row.size() - 2), " |");
    }
}

TEST(AdaptivesGrid, ColumnLabelsStandUnderTheVerticalLines)
{
    const std::string_view labels = kGridColumnLabels;
    EXPECT_EQ(labels.substr(2, 5), "MAP 0");
    EXPECT_EQ(labels[6], '0');
    for (int n = 1; n <= 5; ++n) {
        const size_t column = 6 + 10 * static_cast<size_t>(n);
        SCOPED_TRACE(n);
        EXPECT_EQ(labels.substr(column - 1, 3), "MP" + std::to_string(n));
    }
    EXPECT_EQ(labels.size(), 58u);
}

TEST(AdaptivesTexts, FixedLinesAreExact)
{
    EXPECT_EQ(kAdaptivesRule, std::string(69, '-') + " ");
    EXPECT_EQ(AdaptivesTitleLine("5/12/2026 13:07:24"), "Adaptives Report   5/12/2026 13:07:24");
    EXPECT_EQ(AdaptiveIdleLine(0x7D), " Adaptive Idle Cell (12) = lean 7D");
    EXPECT_EQ(AdaptiveIdleLine(0x80), " Adaptive Idle Cell (12) = rich 80");
    EXPECT_EQ(kAdaptivesBlankLine, " ");
}

}  // namespace
}  // namespace tessek
