#include "reports/Adaptives.h"

#include "platform/Hex.h"

#include <stdexcept>

namespace tessek {

std::string FormatAdaptive(uint8_t value)
{
    return (value < 0x80 ? "lean " : "rich ") + ByteToHex(value);
}

std::string GridRowPiece(int column, uint8_t value)
{
    if (column < 0 || column >= kGridColumns)
        throw std::out_of_range("grid column out of range");
    std::string piece(column == 0 ? kRowStart : kCellSeparator);
    piece += FormatAdaptive(value);
    if (column == kGridColumns - 1)
        piece += kRowEnd;
    return piece;
}

std::string AdaptivesTitleLine(const std::string& dateTime)
{
    return std::string(kAdaptivesTitle) + dateTime;
}

std::string AdaptiveIdleLine(uint8_t idle)
{
    return std::string(kAdaptiveIdlePrefix) + FormatAdaptive(idle);
}

}  // namespace tessek
