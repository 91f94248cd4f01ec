#include "views/LogMarkerLines.h"

#include <algorithm>

namespace tessek {
namespace {

const QColor kMarkerColour(200, 80, 0);

}  // namespace

LogMarkerLines::LogMarkerLines(QCustomPlot* plot, QCPAxisRect* strip, const std::vector<LogMarker>& markers,
                               bool numbered)
    : QCPAbstractItem(plot), strip_(strip), numbered_(numbered)
{
    setClipAxisRect(strip);
    setSelectable(false);
    times_.reserve(markers.size());
    numbers_.reserve(markers.size());
    for (const LogMarker& m : markers) {
        times_.push_back(m.Time);
        numbers_.push_back(m.Number);
    }
}

double LogMarkerLines::selectTest(const QPointF&, bool, QVariant*) const
{
    return -1;
}

void LogMarkerLines::draw(QCPPainter* painter)
{
    const QCPAxis* time = strip_->axis(QCPAxis::atBottom);
    const QCPRange range = time->range();
    const auto first = std::lower_bound(times_.begin(), times_.end(), range.lower);
    const auto last = std::upper_bound(first, times_.end(), range.upper);
    const QRect area = strip_->rect();
    QVector<QLineF> lines;
    lines.reserve(static_cast<qsizetype>(last - first));
    for (auto t = first; t != last; ++t) {
        const double x = time->coordToPixel(*t);
        lines.append(QLineF(x, area.top(), x, area.bottom()));
    }
    painter->setPen(QPen(kMarkerColour, 1.5, Qt::DashLine));
    painter->drawLines(lines);
    if (!numbered_)
        return;
    painter->setFont(mParentPlot->font());
    const QFontMetrics metrics(painter->font());
    double freeFrom = -1e9;  // where the last number drawn ends
    for (auto t = first; t != last; ++t) {
        const double x = time->coordToPixel(*t);
        if (x < freeFrom)
            continue;
        const QString text = QString::number(numbers_[static_cast<size_t>(t - times_.begin())]);
        const QRectF box(x, area.top(), metrics.horizontalAdvance(text) + 4, metrics.height());
        painter->fillRect(box, kMarkerColour);
        painter->setPen(Qt::white);
        painter->drawText(box, Qt::AlignCenter, text);
        freeFrom = box.right() + 2;
    }
}

}  // namespace tessek
