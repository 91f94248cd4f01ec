#pragma once
// The run's markers on the live chart: a vertical line through every strip at each marker's
// time within the shown window, and its number at the top of the first strip. The items are
// kept and reused from frame to frame. Window thread only.
#include "analysis/LiveModel.h"

#include <vector>

class QCPAxisRect;
class QCPItemStraightLine;
class QCPItemText;
class QCustomPlot;

namespace tessek {

class MarkerLines {
public:
    explicit MarkerLines(QCustomPlot* plot) : plot_(plot) {}

    // Forgets the items; call before the plot's axis rects are deleted.
    void Clear();
    // Places the markers inside `shown` on `rects` (the strips, top first); hides the rest.
    void Update(const std::vector<QCPAxisRect*>& rects, const std::vector<LiveMarker>& markers, TimeWindow shown);
    // Markers drawn by the last Update.
    int Shown() const { return shown_; }

private:
    QCustomPlot* plot_;
    std::vector<std::vector<QCPItemStraightLine*>> lines_;  // per marker slot, one per strip
    std::vector<QCPItemText*> labels_;                      // per marker slot
    int shown_ = 0;
};

}  // namespace tessek
