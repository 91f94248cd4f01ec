#pragma once
// What a logging run reports through logging/RunRecord.h: the columns of a run (a name
// and unit per logged slot, then the performance figures) and the numbers of one sample
// line, taken from the same values the window's line prints. Pure functions.
#include "logging/Decoders.h"
#include "logging/ParamCatalogue.h"
#include "logging/Performance.h"
#include "logging/RunRecord.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessek {

// Decimals of a sample's time in seconds, as the line's time field prints it.
inline constexpr int kSampleTimeDecimals = 3;

// A slot's column before it is made unique within the run.
struct ColumnLabel {
    std::string Name;  // "Engine Speed"
    std::string Unit;  // "rpm"; empty for a raw LM byte
};

// The label of a slot logging `address` (not 12, which has no column): the column of the
// address's row in the parameter table; raw bytes are named by the catalogue's display
// text for "$XX" ("Baro") or, when the catalogue has none, "$XX".
ColumnLabel SlotColumnLabel(uint8_t address, const DisplayTextLookup& displayText);

// The columns of a run logging `slotAddresses` (slots 1 to 8 in order): one per slot that
// is not "Skip value", each followed by its row's derived columns (MAP: Boost in psi
// and MAP abs in kPa), then, with `performance`, Acceleration (g), Power (hp) and Torque
// (lb-ft) with 2 decimals. A name an earlier column has already taken gets " 2", " 3", ...
// A raw-byte slot has no raw column of its own: its value is that byte.
std::vector<RunColumn> RunColumnsFor(std::span<const uint8_t> slotAddresses, const DisplayTextLookup& displayText,
                                     bool performance);

// What one slot of a sample gave: its value, when every request behind it was answered.
struct SlotReading {
    std::optional<DecodedValue> Value;
    int DerivedCount = 0;              // the row's derived columns, missing with the value
    std::optional<double> AnsweredAt;  // seconds on the sample's clock
};

// The numbers of one sample line for the columns above: `t` is the line's time in ms,
// `slots` the decoded values of the slots not skipped, in slot order, `figures` what the
// performance text shows (no value: the line has no figures). A slot without a value
// (an unanswered request) gives no value in its columns. With `performance`, the
// three figures follow, rounded as the line prints them; a figure the line shows as "---"
// or not at all has no value.
RunSample MakeRunSample(int32_t t, const std::vector<SlotReading>& slots, bool performance,
                        const std::optional<PerformanceFigures>& figures, int requests, int missed = 0);

}  // namespace tessek
