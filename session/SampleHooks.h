#pragma once
// Columns that a run or a playback adds to every sample after the logged ones: the
// calculated channels of section [Calculated] (and further inputs, such as a wideband
// controller). Both the logging session and playback pass each sample through their
// hooks, in order, before anyone else sees it, so the data logs, the alarms and the windows
// all see the same columns. Window thread only.
#include "logging/CalculatedChannels.h"
#include "logging/RunRecord.h"

#include <string>
#include <vector>

namespace tessek {

// Adds columns to every sample of a playback (or of a run).
class SampleHook {
public:
    virtual ~SampleHook() = default;
    // At every (re)start of the samples: the columns it adds after `logged`.
    virtual std::vector<RunColumn> Start(const std::vector<RunColumn>& logged) = 0;
    // Appends the values of its columns to `sample`, which holds the logged columns' values.
    virtual void Add(RunSample& sample) = 0;
};

// The calculated channels of section [Calculated] of `settingsFile` (read again at every
// start, so edited formulas apply from the next start), skipping those whose name a logged
// column has already (a log written with them). Each value is shown with kDecimals.
class CalculatedColumns final : public SampleHook {
public:
    static constexpr int kDecimals = 2;

    explicit CalculatedColumns(std::string settingsFile) : settingsFile_(std::move(settingsFile)) {}
    std::vector<RunColumn> Start(const std::vector<RunColumn>& logged) override;
    void Add(RunSample& sample) override;

private:
    std::string settingsFile_;
    CalculatedChannels channels_;
    size_t inputs_ = 0;
};

}  // namespace tessek
