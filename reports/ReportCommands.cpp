#include "reports/ReportCommands.h"

#include "lm/LmLink.h"
#include "reports/Adaptives.h"
#include "reports/FaultCodes.h"
#include "serial/ComPort.h"

#include <cstddef>

namespace tessek {
namespace {

constexpr int kReportReplies = 2;

// Common start of both reports. Returns false when the LM did not confirm the high rate;
// the failure is then reported and the command is over.
bool StartReport(CommandHost& host)
{
    TCustomComPort& port = host.Port();
    if (!port.Connected()) {
        // Only stored here: a closed port is not opened, and the first write will fail.
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(kLowBaud);
    }
    host.SetBusy(true);
    host.MemoClear();
    if (host.EstablishHighBaud())
        return true;
    host.MemoAddLine(std::string(kReportHandshakeFailure));
    port.SetCustomBaudRate(kLowBaud);
    host.SetBusy(false);
    return false;
}

// One grid row: each cell is shown as soon as its byte has arrived, so the row grows on
// screen. The row stays the unfinished last line (its first piece opens it after the
// finished grid line above) until the next added line ends it.
void ReadGridRow(CommandHost& host, const std::array<uint8_t, kGridColumns>& addresses, AdaptivesReading& reading)
{
    for (int column = 0; column < kGridColumns; ++column) {
        const uint8_t address = addresses[static_cast<size_t>(column)];
        host.ReadLmByte(address, kReportReplies);
        const uint8_t value = host.LastRxByte();
        reading.Cells[static_cast<size_t>(address - 0x50)] = value;
        host.MemoAppend(GridRowPiece(column, value));
    }
}

}  // namespace

std::optional<FaultCodesReading> RunFaultCodeReport(CommandHost& host)
{
    if (host.Busy())
        return std::nullopt;
    if (!StartReport(host))
        return std::nullopt;
    FaultCodesReading reading;
    for (size_t index = 0; index < kFaultCodeBytes.size(); ++index) {
        host.ReadLmByte(kFaultCodeBytes[index].Address, kReportReplies);
        const uint8_t value = host.LastRxByte();
        reading.Bytes[index] = value;
        for (const std::string& line : FaultBlockLines(static_cast<int>(index), value))
            host.MemoAddLine(line);
    }
    reading.ReadAt = std::chrono::system_clock::now();
    reading.ReadAtText = host.LocalDateTimeText();
    host.SetBusy(false);
    return reading;
}

std::optional<AdaptivesReading> RunAdaptivesReport(CommandHost& host)
{
    if (host.Busy())
        return std::nullopt;
    if (!StartReport(host))
        return std::nullopt;
    AdaptivesReading reading;
    host.ReadLmByte(kAdaptiveIdleAddress, kReportReplies);
    reading.Idle = host.LastRxByte();
    // The report is dated when its first cell has been read, not when the button was hit.
    reading.ReadAt = std::chrono::system_clock::now();
    reading.ReadAtText = host.LocalDateTimeText();
    host.MemoAddLine(AdaptivesTitleLine(reading.ReadAtText));
    host.MemoAddLine(std::string(kAdaptivesRule));
    host.MemoAddLine(AdaptiveIdleLine(reading.Idle));
    host.MemoAddLine(std::string(kAdaptivesBlankLine));
    host.MemoAddLine(std::string(kGridTopLine));
    ReadGridRow(host, kUpperRowAddresses, reading);
    host.MemoAddLine(std::string(kGridMiddleLine));
    ReadGridRow(host, kLowerRowAddresses, reading);
    host.MemoAddLine(std::string(kGridBottomLine));
    host.MemoAddLine(std::string(kGridColumnLabels));
    host.SetBusy(false);
    return reading;
}

std::optional<AdaptivesReading> ReadAdaptiveCells(CommandHost& host)
{
    if (host.Busy())
        return std::nullopt;
    TCustomComPort& port = host.Port();
    host.SetBusy(true);
    if (!host.EstablishHighBaud()) {
        port.SetCustomBaudRate(kLowBaud);
        host.SetBusy(false);
        return std::nullopt;
    }
    AdaptivesReading reading;
    reading.ReadAt = std::chrono::system_clock::now();
    reading.ReadAtText = host.LocalDateTimeText();
    bool answered = true;
    for (uint8_t address = 0x50; address <= kAdaptiveIdleAddress && answered; ++address) {
        const std::optional<LmAnswer> answer = host.ReadLmByte(address, kReportReplies);
        answered = answer.has_value();
        if (answer && address == kAdaptiveIdleAddress)
            reading.Idle = answer->Byte;
        else if (answer)
            reading.Cells[static_cast<size_t>(address - 0x50)] = answer->Byte;
    }
    host.SetBusy(false);
    return answered ? std::optional(reading) : std::nullopt;
}

}  // namespace tessek
