#include "views/StripPalette.h"

#include <qcustomplot.h>
#include <algorithm>
#include <limits>

namespace tessek {
namespace {

// Told apart by hue and lightness on white, and none of them the grey of the grid or the
// cursor.
const QColor kPalette[kPaletteSize] = {
    QColor(31, 119, 180),   // blue
    QColor(214, 39, 40),    // red
    QColor(44, 160, 44),    // green
    QColor(255, 127, 14),   // orange
    QColor(148, 103, 189),  // violet
    QColor(23, 190, 207),   // cyan
    QColor(140, 86, 75),    // brown
    QColor(227, 119, 194),  // pink
    QColor(188, 189, 34),   // olive
    QColor(0, 0, 0),        // black
    QColor(0, 45, 130),     // navy
    QColor(130, 0, 50),     // wine
};

constexpr size_t kNone = std::numeric_limits<size_t>::max();
constexpr int kTitleHeight = 15;  // px above each strip's data
// The least height of a strip's data: sixteen strips, their titles and the time axis still
// fit a 768 px screen (with QCustomPlot's own least, ten strips made the viewer 875 px tall).
constexpr int kLeastDataHeight = 10;

}  // namespace

QColor PaletteColour(size_t slot)
{
    return kPalette[slot % kPaletteSize];
}

std::vector<size_t> PaletteSlots::Assign(const std::vector<size_t>& shown)
{
    std::vector<size_t> kept(slots_.size(), kNone);
    for (size_t channel : shown)
        if (channel < slots_.size())
            kept[channel] = slots_[channel];
    slots_ = std::move(kept);
    std::vector<size_t> result;
    result.reserve(shown.size());
    for (size_t channel : shown) {
        if (channel >= slots_.size())
            slots_.resize(channel + 1, kNone);
        if (slots_[channel] == kNone) {
            // The lowest slot held by the fewest shown channels: a free one while there is one.
            std::vector<size_t> uses(kPaletteSize, 0);
            for (size_t s : slots_)
                if (s != kNone)
                    ++uses[s % kPaletteSize];
            slots_[channel] = static_cast<size_t>(std::min_element(uses.begin(), uses.end()) - uses.begin());
        }
        result.push_back(slots_[channel]);
    }
    return result;
}

std::vector<StripParts> StripStack::Build(const std::vector<StripLook>& looks, const StripStyle& style)
{
    plot_->clearItems();
    plot_->clearPlottables();
    plot_->plotLayout()->clear();
    delete group_;
    group_ = style.FixedMargins ? nullptr : new QCPMarginGroup(plot_);
    QCPLayoutGrid* grid = plot_->plotLayout();
    grid->setRowSpacing(style.FixedMargins ? 0 : 2);
    QFont tickFont = plot_->font();
    if (style.TickPointSize > 0)
        tickFont.setPointSize(style.TickPointSize);
    std::vector<StripParts> strips;
    for (size_t i = 0; i < looks.size(); ++i) {
        const StripLook& look = looks[i];
        const bool last = i + 1 == looks.size();
        StripParts strip;
        strip.Rect = new QCPAxisRect(plot_);
        strip.Rect->setMinimumSize(50, kLeastDataHeight);
        grid->addElement(static_cast<int>(i), 0, strip.Rect);
        const int top = look.Title.isEmpty() ? 4 : kTitleHeight;
        if (style.FixedMargins) {
            strip.Rect->setAutoMargins(last ? QCP::msBottom : QCP::msNone);
            strip.Rect->setMargins(QMargins(style.Left, top, style.Right, 3));
        } else {
            strip.Rect->setMarginGroup(QCP::msLeft | QCP::msRight, group_);
            strip.Rect->setAutoMargins(last ? QCP::msLeft | QCP::msRight | QCP::msBottom : QCP::msLeft | QCP::msRight);
            strip.Rect->setMargins(QMargins(0, top, 0, 4));
        }
        strip.Time = strip.Rect->axis(QCPAxis::atBottom);
        strip.Value = strip.Rect->axis(QCPAxis::atLeft);
        strip.Time->setTickLabels(last);
        strip.Time->setTickLabelFont(tickFont);
        if (last)
            strip.Time->setLabel(style.TimeLabel);
        strip.Value->setTickLabelFont(tickFont);
        strip.Value->ticker()->setTickCount(3);
        strip.Value->setLabel(look.Unit);
        strip.Value->setLabelFont(tickFont);
        strip.Graph = plot_->addGraph(strip.Time, strip.Value);
        strip.Graph->setPen(QPen(look.Colour, 1));
        if (!look.Title.isEmpty()) {
            // In the strip's top margin: above the data, never over the trace.
            auto* title = new QCPItemText(plot_);
            title->setClipToAxisRect(false);
            title->position->setType(QCPItemPosition::ptAxisRectRatio);
            title->position->setAxisRect(strip.Rect);
            title->position->setCoords(0, 0);
            title->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
            title->setPadding(QMargins(2, 0, 2, 1));
            title->setText(look.Title);
            title->setColor(look.Colour.darker(120));
            QFont titleFont = tickFont;
            titleFont.setBold(true);
            title->setFont(titleFont);
        }
        strips.push_back(strip);
    }
    // The strip with the time labels is as tall as the others plus those labels.
    if (!looks.empty())
        grid->setRowStretchFactor(static_cast<int>(looks.size()) - 1, 1.3);
    return strips;
}

}  // namespace tessek
