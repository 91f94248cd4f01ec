#pragma once
// The colours of the charts' traces, and a stacked-strip chart built from them, for both
// the live chart and the log viewer: one shared palette of kPaletteSize colours that stay
// apart on a white background, the choice of a colour per shown channel without repeats,
// and the strips themselves (one QCPAxisRect per channel on a shared time axis, the time's
// tick labels under the last strip only, each strip's title above its data, never over
// the trace). Window thread only.
#include <QColor>
#include <QString>
#include <cstddef>
#include <vector>

class QCPAxis;
class QCPAxisRect;
class QCPGraph;
class QCPMarginGroup;
class QCustomPlot;

namespace tessek {

constexpr size_t kPaletteSize = 12;

// Colour `slot` of the palette (taken modulo kPaletteSize).
QColor PaletteColour(size_t slot);

// Which palette slot each channel gets while a changing set of channels is shown: a channel
// keeps its slot while it stays shown, a newly shown one gets the lowest slot no shown
// channel holds, so that no two shown channels share a colour while at most kPaletteSize
// are shown (beyond that the slots go round again). Plain code.
class PaletteSlots {
public:
    // `shown` lists the shown channels; returns their slots in the same order.
    std::vector<size_t> Assign(const std::vector<size_t>& shown);
    void Clear() { slots_.clear(); }

private:
    std::vector<size_t> slots_;  // per channel number; kNone when it is not shown
};

struct StripLook {
    QString Title;  // drawn above the strip's data; empty for none
    QString Unit;   // the value axis' label; empty for none
    QColor Colour;
};

struct StripStyle {
    // Fixed left and right margins (px) keep the time axis still while zooming; otherwise
    // the strips share margins fitted to the widest tick labels.
    bool FixedMargins = false;
    int Left = 72, Right = 14;
    int TickPointSize = 0;  // 0: the plot's font
    QString TimeLabel;      // under the last strip
};

struct StripParts {
    QCPAxisRect* Rect = nullptr;
    QCPAxis* Time = nullptr;
    QCPAxis* Value = nullptr;
    QCPGraph* Graph = nullptr;
};

// Replaces whatever `plot` shows with one strip per look, top to bottom.
class StripStack {
public:
    explicit StripStack(QCustomPlot* plot) : plot_(plot) {}

    std::vector<StripParts> Build(const std::vector<StripLook>& looks, const StripStyle& style);

private:
    QCustomPlot* plot_;
    QCPMarginGroup* group_ = nullptr;
};

}  // namespace tessek
