#pragma once
// Calculated channels: formulas (logging/Formula.h) over the columns of a sample, kept in
// section [Calculated] of the settings file and computed sample by sample.
//
// Settings: one key per channel, in order, named as a data log's header names a column,
// "Name (unit)" or "Name"; the value is the formula:
//   [Calculated]
//   Boost (bar)=[Boost] * 0.0689476
//   Knock=[Cyl 1 Retard] + [Cyl 2 Retard] + [Cyl 3 Retard] + [Cyl 4 Retard]
// A formula names the columns it reads and the channels above its own by name (without
// the unit), letter case aside.
//
// Computing: a CalculatedChannels is made from the names of the columns a sample has (the
// inputs) and the channels, and then fed every sample in order. It keeps what prev, rate
// and smooth need of each channel they read (at most kMaxSmoothSamples samples). A channel
// that does not compile (its Error() says why) is always empty and stops no other; at run
// time a missing input, a division by zero or any result that is not a finite number gives
// an empty value for that sample. Used by one thread at a time.
#include "logging/Formula.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tessek {

class IniFile;

inline constexpr const char* kCalculatedSection = "Calculated";

struct CalculatedChannel {
    std::string Name;     // "Boost"
    std::string Unit;     // "bar"; empty for none
    std::string Formula;  // "[Boost] * 0.0689476"

    bool operator==(const CalculatedChannel&) const = default;
};

// The channels of section [Calculated], in the file's order. Throws as IniFile's reads do.
std::vector<CalculatedChannel> LoadCalculatedChannels(const IniFile& ini);
// Replaces the keys of [Calculated] with `channels`. Throws as IniFile's writes do.
void SaveCalculatedChannels(IniFile& ini, const std::vector<CalculatedChannel>& channels);

// One sample's values by input column, and its time in seconds.
struct ChannelSample {
    double Time = 0;
    std::vector<std::optional<double>> Values;
};

class CalculatedChannels {
public:
    CalculatedChannels() = default;
    // Compiles every channel: `inputNames` are the sample's columns, in the order Evaluate
    // gets their values. A channel needs a name that no input and no channel above has and
    // that holds no "[", "]" or "="; its formula may use the inputs and the channels above.
    CalculatedChannels(std::vector<std::string> inputNames, std::vector<CalculatedChannel> channels);

    const std::vector<std::string>& InputNames() const { return inputNames_; }
    const std::vector<CalculatedChannel>& Channels() const { return channels_; }
    // Why channel `index` cannot be computed; nothing when it compiled.
    const std::optional<FormulaError>& Error(size_t index) const { return errors_[index]; }
    // "Boost: Unknown channel "[Bost]" at position 0"; "" when the channel compiled.
    std::string ErrorText(size_t index) const;
    bool AllCompiled() const;
    // The names channel `index`'s formula may use: the inputs, then the channels above it.
    std::vector<std::string> NamesFor(size_t index) const;

    // Computes every channel for the sample at `time` (seconds; a time before the previous
    // sample's starts afresh, as Reset does). `inputs` holds one value per input name (a
    // shorter span leaves the rest missing). Returns one value per channel, valid until the
    // next call.
    std::span<const std::optional<double>> Evaluate(double time, std::span<const std::optional<double>> inputs);
    // Forgets every earlier sample (a new run, a jump in playback).
    void Reset();

private:
    // A channel's latest samples, as many as the formulas reading it need.
    struct History {
        size_t Depth = 0;
        std::deque<std::pair<double, std::optional<double>>> Samples;  // time, value
    };

    std::optional<double> Read(const FormulaInput& input) const;

    std::vector<std::string> inputNames_;
    std::vector<CalculatedChannel> channels_;
    std::vector<std::optional<Formula>> formulas_;
    std::vector<std::optional<FormulaError>> errors_;
    std::vector<std::optional<double>> current_;  // inputs, then channels
    std::vector<History> history_;                // likewise
    std::vector<double> arguments_;
    std::optional<double> lastTime_;
};

}  // namespace tessek
