#pragma once
// A log's markers in one strip of the log viewer, as one plot item however many there are:
// a dashed vertical line at each marker's time and, in a numbered strip (the top one), the
// marker's number at the top. Only the markers inside the visible time range are drawn, and
// a number only where it leaves the one before readable. Window thread only.
#include <qcustomplot.h>

#include <vector>

#include "logfiles/LogFile.h"

namespace tessek {

class LogMarkerLines : public QCPAbstractItem {
public:
    // Draws `markers` (in time order) in `strip`, clipped to it, on the plot's current layer.
    LogMarkerLines(QCustomPlot* plot, QCPAxisRect* strip, const std::vector<LogMarker>& markers, bool numbered);

    // Never selected: a click on a marker line reaches the strip below it.
    double selectTest(const QPointF& pos, bool onlySelectable, QVariant* details = nullptr) const override;

    QCPAxisRect* Strip() const { return strip_; }
    const std::vector<double>& Times() const { return times_; }
    bool Numbered() const { return numbered_; }

protected:
    void draw(QCPPainter* painter) override;

private:
    QCPAxisRect* strip_;
    std::vector<double> times_;
    std::vector<int> numbers_;
    bool numbered_;
};

}  // namespace tessek
