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
void ReadGridRow(CommandHost& host, const std::array<uint8_t, kGridColumns>& addresses)
{
    for (int column = 0; column < kGridColumns; ++column) {
        const uint8_t value = host.ReadLmByte(addresses[static_cast<size_t>(column)], kReportReplies);
        host.MemoAppend(GridRowPiece(column, value));
    }
}

}  // namespace

void RunFaultCodeReport(CommandHost& host)
{
    if (host.Busy())
        return;
    if (!StartReport(host))
        return;
    for (size_t index = 0; index < kFaultCodeBytes.size(); ++index) {
        const uint8_t value = host.ReadLmByte(kFaultCodeBytes[index].Address, kReportReplies);
        for (const std::string& line : FaultBlockLines(static_cast<int>(index), value))
            host.MemoAddLine(line);
    }
    host.SetBusy(false);
}

void RunAdaptivesReport(CommandHost& host)
{
    if (host.Busy())
        return;
    if (!StartReport(host))
        return;
    const uint8_t idle = host.ReadLmByte(kAdaptiveIdleAddress, kReportReplies);
    // The report is dated when its first cell has been read, not when the button was hit.
    host.MemoAddLine(AdaptivesTitleLine(host.LocalDateTimeText()));
    host.MemoAddLine(std::string(kAdaptivesRule));
    host.MemoAddLine(AdaptiveIdleLine(idle));
    host.MemoAddLine(std::string(kAdaptivesBlankLine));
    host.MemoAddLine(std::string(kGridTopLine));
    ReadGridRow(host, kUpperRowAddresses);
    host.MemoAddLine(std::string(kGridMiddleLine));
    ReadGridRow(host, kLowerRowAddresses);
    host.MemoAddLine(std::string(kGridBottomLine));
    host.MemoAddLine(std::string(kGridColumnLabels));
    host.SetBusy(false);
}

}  // namespace tessek
