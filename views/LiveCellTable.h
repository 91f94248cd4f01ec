#pragma once
// The live window's cell table: every sample of the running log sorted into cells as it
// comes in (CellTableView), with a Reset that starts the table over in the middle of a run.
// Nothing is kept until the table is first shown (its tab opened): a user who never looks
// at it pays nothing for it. From then on it keeps the run's values (not the raw bytes) as
// floats, so that a change of channel or edges sorts the whole run again; at most
// `maxSamples` of them (the newest: when full, the older half is dropped and the table
// sorted again), so a long run cannot use up the memory. Fed from the live window's
// RunObserver calls; the table on screen is brought up to date by Refresh (the window's
// frame timer) only while it is shown. Window thread only.
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "logfiles/LogFile.h"
#include "logging/RunRecord.h"
#include "logging/Units.h"

namespace tessek {

class CellTableView;

class LiveCellTable : public QWidget {
    Q_OBJECT
public:
    // 2^19 samples: 3.6 hours at 40 samples/s, about 23 MB with eight slots and the figures.
    static constexpr size_t kMaxSamples = size_t{1} << 19;

    explicit LiveCellTable(QWidget* parent = nullptr, size_t maxSamples = kMaxSamples);

    // A new run: forgets the last one's samples; the columns become the channels to choose.
    void Start(const std::vector<RunColumn>& columns);
    // Keeps the sample's values once the table has been shown; draws nothing.
    void Add(const RunSample& sample);
    // Shows the values in `units` (as the live chart does): the kept samples are converted
    // and the edges start again from the channels' defaults in the new unit.
    void SetUnits(UnitSystem units);
    // Forgets the samples so far (the Reset button).
    void Reset();
    // Sorts the samples that came since the last refresh, when the table is shown.
    void Refresh();

    // Samples kept.
    size_t Samples() const { return values_.empty() ? 0 : values_.front().size(); }
    CellTableView* View() const { return view_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    LogData channels_;                                        // the run's channels, without values
    std::vector<std::vector<float>> values_;                  // per channel
    std::vector<size_t> columns_;                             // per channel: its column in a sample
    std::vector<std::string> sourceUnits_;                    // per channel: the run's unit
    std::vector<std::optional<UnitConversion>> conversions_;  // per channel: run unit to shown
    UnitSystem units_ = UnitSystem::Imperial;
    CellTableView* view_;
    size_t maxSamples_;
    size_t shown_ = 0;     // samples sorted into the table on screen
    bool opened_ = false;  // shown since it was made
};

}  // namespace tessek
