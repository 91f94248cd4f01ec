#pragma once
// The live window's cell table: every sample of the running log sorted into cells as it
// comes in (CellTableView), with a Reset that starts the table over in the middle of a run.
// It keeps the run's values (not the raw bytes), so that a change of channel or edges sorts
// the whole run again. Fed from the live window's RunObserver calls; the table on screen is
// brought up to date by Refresh (the window's frame timer) only while it is shown. Window
// thread only.
#include <QWidget>
#include <vector>

#include "logging/RunRecord.h"
#include "plots/LogFile.h"

namespace tessek {

class CellTableView;

class LiveCellTable : public QWidget {
    Q_OBJECT
public:
    explicit LiveCellTable(QWidget* parent = nullptr);

    // A new run: forgets the last one's samples; the columns become the channels to choose.
    void Start(const std::vector<RunColumn>& columns);
    // Keeps the sample's values; draws nothing.
    void Add(const RunSample& sample);
    // Forgets the samples so far (the Reset button).
    void Reset();
    // Sorts the samples that came since the last refresh, when the table is shown.
    void Refresh();

    const LogData& Data() const { return data_; }
    CellTableView* View() const { return view_; }

private:
    LogData data_;
    std::vector<size_t> columns_;  // per channel: its column in a sample
    CellTableView* view_;
    size_t shown_ = 0;  // samples sorted into the table on screen
};

}  // namespace tessek
