#include "views/LiveMarkers.h"

#include <qcustomplot.h>

namespace tessek {
namespace {

const QColor kMarkerColour(90, 90, 90);

}  // namespace

void MarkerLines::Clear()
{
    // The plot deletes the items of axis rects it removes only when asked to.
    for (auto& slot : lines_) {
        for (QCPItemStraightLine* line : slot)
            plot_->removeItem(line);
    }
    for (QCPItemText* label : labels_)
        plot_->removeItem(label);
    lines_.clear();
    labels_.clear();
    shown_ = 0;
}

void MarkerLines::Update(const std::vector<QCPAxisRect*>& rects, const std::vector<LiveMarker>& markers,
                         TimeWindow shown)
{
    size_t used = 0;
    for (const LiveMarker& marker : markers) {
        if (marker.Time < shown.From || marker.Time > shown.To || rects.empty())
            continue;
        if (used == labels_.size()) {
            std::vector<QCPItemStraightLine*> slot;
            for (QCPAxisRect* rect : rects) {
                auto* line = new QCPItemStraightLine(plot_);
                line->setClipAxisRect(rect);
                line->setPen(QPen(kMarkerColour, 1, Qt::DashLine));
                for (QCPItemPosition* p : {line->point1, line->point2})
                    p->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
                slot.push_back(line);
            }
            lines_.push_back(slot);
            auto* label = new QCPItemText(plot_);
            label->setClipAxisRect(rects.front());
            label->position->setAxisRect(rects.front());
            label->position->setAxes(rects.front()->axis(QCPAxis::atBottom), rects.front()->axis(QCPAxis::atLeft));
            label->position->setTypeX(QCPItemPosition::ptPlotCoords);
            label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
            label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setColor(kMarkerColour);
            QFont font = label->font();
            font.setBold(true);
            label->setFont(font);
            labels_.push_back(label);
        }
        for (QCPItemStraightLine* line : lines_[used]) {
            line->point1->setCoords(marker.Time, 0);
            line->point2->setCoords(marker.Time, 1);
            line->setVisible(true);
        }
        // Markers set close together (an alarm on several cylinders) keep their numbers apart.
        labels_[used]->position->setCoords(marker.Time, 0.02 + 0.2 * static_cast<double>((marker.Number - 1) % 4));
        labels_[used]->setText(QString(" %1").arg(marker.Number));
        labels_[used]->setVisible(true);
        ++used;
    }
    for (size_t i = used; i < labels_.size(); ++i) {
        for (QCPItemStraightLine* line : lines_[i])
            line->setVisible(false);
        labels_[i]->setVisible(false);
    }
    shown_ = static_cast<int>(used);
}

}  // namespace tessek
