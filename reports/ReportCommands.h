#pragma once
// The two diagnostic report commands behind the Codes and Adaptives buttons: each makes
// the handshake, reads its LM bytes one by one and writes its report into the text area.
//
// Window thread only; each runs as one long operation whose waits pump window events.
// A port error (EComPort, e.g. a write on a closed port) ends the command at once: the
// lines written so far stay and the busy mark stays set, as for every command.
#include "lm/CommandHost.h"
#include "reports/ReportReadings.h"

#include <optional>

#include <string_view>

namespace tessek {

// Shown when the LM did not confirm the high rate; two blanks after "LM.".
inline constexpr std::string_view kReportHandshakeFailure =
    "Failed to establish high baud mode with LM.  Baud set back to LOWBAUD";

// Reads the four fault code bytes and prints one block per byte; returns what it read,
// dated when the last byte was in. Ignored (nothing returned) while another command holds
// the busy mark: its requests would interleave with that command's exchanges and corrupt
// both. Nothing is returned after a failed handshake either.
std::optional<FaultCodesReading> RunFaultCodeReport(CommandHost& host);

// Reads the idle cell and the twelve grid cells and prints them as a grid, each cell as
// soon as it has been read; returns what it read, dated as the report's title. Ignored
// while another command holds the busy mark.
std::optional<AdaptivesReading> RunAdaptivesReport(CommandHost& host);

// Reads the idle cell and the twelve grid cells without a word in the text area, for the
// readings a logging run keeps at its start and end (RunAdaptives.h). Nothing while
// another command holds the busy mark, after a failed handshake (the port is set back to
// the low rate) or when a cell's reply does not come.
std::optional<AdaptivesReading> ReadAdaptiveCells(CommandHost& host);

}  // namespace tessek
