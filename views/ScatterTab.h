#pragma once
// The log viewer's Scatter tab: the samples of two channels against each other, each point
// coloured by a third channel on a colour scale; the point nearest the mouse pointer is
// ringed and its time and values are shown. The wheel zooms, dragging pans, a double
// click shows every point again. Over the whole run or, when chosen, over the
// time range visible in the Channels tab. The points are drawn again only while the tab is
// shown. Window thread only.
#include <QWidget>

#include "analysis/ScatterData.h"
#include "views/ViewerTab.h"

class QCheckBox;
class QComboBox;
class QCPColorScale;
class QCPGraph;
class QCustomPlot;
class QLabel;
class QMouseEvent;

namespace tessek {

class LogViewModel;

class ScatterTab : public QWidget, public ViewerTab {
    Q_OBJECT
public:
    static constexpr int kColourBins = 24;

    explicit ScatterTab(const LogViewModel& model, QWidget* parent = nullptr);

    void LogOpened(const OpenedLog& log) override;
    void VisibleRangeChanged() override;
    // Rings the point nearest to (x, y) in axis units and shows its time and values; none
    // when no point lies within a few pixels.
    void ShowNearest(double x, double y);

    const ScatterPoints& Points() const { return points_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillChoices();
    void Recompute();
    void Draw();
    // Sets the axes to show every point (a double click); the caller draws.
    void ShowAllPoints();
    void OnMouseMove(QMouseEvent* event);
    size_t ChannelOf(const QComboBox* box) const;
    QString ValueText(size_t channel, size_t row) const;

    const LogViewModel& model_;
    QComboBox* x_;
    QComboBox* y_;
    QComboBox* c_;
    QCheckBox* visibleOnly_;
    QCustomPlot* plot_;
    QCPColorScale* scale_;
    std::vector<QCPGraph*> graphs_;  // one per colour bin, then the points without a colour
    QCPGraph* nearest_;
    QLabel* readout_;
    ScatterPoints points_;
    bool dirty_ = false;
};

}  // namespace tessek
