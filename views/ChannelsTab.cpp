#include "views/ChannelsTab.h"

#include <qcustomplot.h>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/LogViewModel.h"
#include "logging/MovingMean.h"
#include "views/LogMarkerLines.h"
#include "views/StripPalette.h"

namespace tessek {
namespace {

enum Column { kColChannel, kColCursor, kColMin, kColMax, kColMean, kColSmooth, kColumnCount };

// Fewest thinning buckets, for a plot not laid out yet.
constexpr int kMinColumns = 200;
// Fixed, not fitted to the tick labels: a margin that follows the labels would shift the
// time axis while zooming, away from the point under the pointer.
constexpr int kLeftMargin = 72;
constexpr int kRightMargin = 14;

QString FormatValue(double v, int decimals)
{
    return std::isnan(v) ? QStringLiteral("\u2014") : QString::number(v, 'f', decimals);
}

QString Title(const LogChannel& c)
{
    return QString::fromStdString(ChannelTitle(c));
}

QTableWidgetItem* ReadOnlyItem()
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

}  // namespace

struct ChannelsTab::Strip {
    size_t Channel = 0;
    QCPAxisRect* Rect = nullptr;
    QCPGraph* Graph = nullptr;
    QCPItemStraightLine* Cursor = nullptr;
};

ChannelsTab::ChannelsTab(LogViewModel& model, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent), model_(model), plot_(new QCustomPlot), stack_(plot_)
{
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    table_ = new QTableWidget(0, kColumnCount, left);
    leftLayout->addWidget(table_, 1);
    markersLabel_ = new QLabel(tr("Markers (click to show):"), left);
    leftLayout->addWidget(markersLabel_);
    markers_ = new QListWidget(left);
    markers_->setObjectName("markerList");
    markers_->setMaximumHeight(120);
    leftLayout->addWidget(markers_);
    connect(markers_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { JumpToMarker(static_cast<size_t>(markers_->row(item))); });
    connect(markers_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { JumpToMarker(static_cast<size_t>(markers_->row(item))); });
    table_->setObjectName("channelTable");
    table_->setHorizontalHeaderLabels({tr("Channel"), tr("Cursor"), tr("Min"), tr("Max"), tr("Mean"), tr("Smooth")});
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    // Tab goes on to the next control; the arrows move from cell to cell.
    table_->setTabKeyNavigation(false);
    table_->horizontalHeader()->setSectionResizeMode(kColChannel, QHeaderView::Stretch);
    for (int c = kColCursor; c < kColumnCount; ++c)
        table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    for (int c : {kColMin, kColMax, kColMean})
        table_->horizontalHeaderItem(c)->setToolTip(tr("Over the visible time range"));
    table_->horizontalHeaderItem(kColSmooth)
        ->setToolTip(tr("Draws the channel's strip as its mean over %1 s").arg(kDefaultSmoothingSeconds));
    connect(table_, &QTableWidget::itemChanged, this, &ChannelsTab::OnChannelItemChanged);

    addWidget(plot_);
    plot_->setObjectName("channelPlot");
    plot_->setMouseTracking(true);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->setNoAntialiasingOnDrag(true);
    plot_->plotLayout()->clear();
    plot_->addLayer("cursor", plot_->layer("main"), QCustomPlot::limAbove);
    plot_->layer("cursor")->setMode(QCPLayer::lmBuffered);
    connect(plot_, &QCustomPlot::mouseMove, this, &ChannelsTab::OnPlotMouseMove);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] { ShowWholeRun(); });
    plot_->setFocusPolicy(Qt::StrongFocus);
    plot_->installEventFilter(this);
    plot_->setAccessibleName(tr("Channel strips"));
    plot_->setAccessibleDescription(
        tr("Plus and minus zoom, Left and Right pan, Home shows the whole run, "
           "comma and period move the cursor by one sample"));

    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    setSizes({440, 760});
}

ChannelsTab::~ChannelsTab() = default;

void ChannelsTab::LogOpened(const OpenedLog& opened)
{
    if (!opened.Reloaded) {
        FillTable(model_.StartChannels());
        palette_.Clear();
    } else {
        const std::vector<std::string> checked = CheckedChannels();
        std::vector<std::string> smoothed;
        for (size_t c = 0; c < names_.size() && static_cast<int>(c) < table_->rowCount(); ++c)
            if (table_->item(static_cast<int>(c), kColSmooth)->checkState() == Qt::Checked)
                smoothed.push_back(names_[c]);
        const LogData& log = model_.Log();
        std::vector<bool> shown(log.Channels.size(), false);
        for (size_t c = 0; c < shown.size(); ++c)
            shown[c] = std::find(checked.begin(), checked.end(), log.Channels[c].Name) != checked.end();
        FillTable(shown);
        // The log read again keeps the channels drawn smoothed.
        const QSignalBlocker block(table_);
        for (size_t c = 0; c < log.Channels.size(); ++c) {
            if (std::find(smoothed.begin(), smoothed.end(), log.Channels[c].Name) != smoothed.end()) {
                table_->item(static_cast<int>(c), kColSmooth)->setCheckState(Qt::Checked);
                model_.SetSmoothing(c, kDefaultSmoothingSeconds);
            }
        }
    }
    RebuildStrips();
    emit RangeChanged();
}

std::vector<std::string> ChannelsTab::CheckedChannels() const
{
    std::vector<std::string> checked;
    for (size_t c = 0; c < names_.size() && static_cast<int>(c) < table_->rowCount(); ++c)
        if (table_->item(static_cast<int>(c), kColChannel)->checkState() == Qt::Checked)
            checked.push_back(names_[c]);
    return checked;
}

void ChannelsTab::FillTable(const std::vector<bool>& shown)
{
    const LogData& log = model_.Log();
    names_.clear();
    for (const LogChannel& c : log.Channels)
        names_.push_back(c.Name);
    {
        const QSignalBlocker block(table_);
        table_->setRowCount(static_cast<int>(log.Channels.size()));
        for (size_t c = 0; c < log.Channels.size(); ++c) {
            const int row = static_cast<int>(c);
            auto* item = new QTableWidgetItem(Title(log.Channels[c]));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(shown[c] ? Qt::Checked : Qt::Unchecked);
            table_->setItem(row, kColChannel, item);
            for (int col = kColCursor; col <= kColMean; ++col)
                table_->setItem(row, col, ReadOnlyItem());
            auto* smooth = new QTableWidgetItem;
            smooth->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            smooth->setCheckState(Qt::Unchecked);
            table_->setItem(row, kColSmooth, smooth);
        }
    }
    markers_->clear();
    for (const LogMarker& m : log.Markers) {
        QString text = tr("%1 at %2 s").arg(m.Number).arg(m.Time, 0, 'f', 2);
        if (!m.Text.empty())
            text += ": " + QString::fromStdString(m.Text);
        markers_->addItem(text);
    }
    markersLabel_->setVisible(!log.Markers.empty());
    markers_->setVisible(!log.Markers.empty());
}

void ChannelsTab::RebuildStrips()
{
    strips_.clear();
    const LogData& log = model_.Log();
    std::vector<size_t> shown;
    for (size_t c = 0; c < log.Channels.size(); ++c)
        if (table_->item(static_cast<int>(c), kColChannel)->checkState() == Qt::Checked)
            shown.push_back(c);
    const std::vector<size_t> paletteSlot = palette_.Assign(shown);
    std::vector<StripLook> looks;
    for (size_t k = 0; k < shown.size(); ++k)
        looks.push_back({Title(log.Channels[shown[k]]), {}, PaletteColour(paletteSlot[k])});
    StripStyle style;
    style.FixedMargins = true;
    style.Left = kLeftMargin;
    style.Right = kRightMargin;
    style.TimeLabel = tr("Time (s)");
    const std::vector<StripParts> parts = stack_.Build(looks, style);

    // The table shows each shown channel's colour.
    {
        const QSignalBlocker block(table_);
        QPixmap none(10, 10);
        none.fill(Qt::transparent);
        for (size_t c = 0; c < log.Channels.size(); ++c)
            table_->item(static_cast<int>(c), kColChannel)->setIcon(QIcon(none));
        for (size_t k = 0; k < shown.size(); ++k) {
            QPixmap swatch(10, 10);
            swatch.fill(looks[k].Colour);
            table_->item(static_cast<int>(shown[k]), kColChannel)->setIcon(QIcon(swatch));
        }
    }

    for (size_t k = 0; k < parts.size(); ++k) {
        auto strip = std::make_unique<Strip>();
        strip->Channel = shown[k];
        strip->Rect = parts[k].Rect;
        strip->Graph = parts[k].Graph;
        strip->Rect->setRangeDrag(Qt::Horizontal);
        strip->Rect->setRangeZoom(Qt::Horizontal);
        QCPAxis* x = parts[k].Time;
        QCPAxis* y = parts[k].Value;
        x->setRange(model_.From(), model_.To());

        strip->Cursor = new QCPItemStraightLine(plot_);
        strip->Cursor->setLayer("cursor");
        strip->Cursor->setClipAxisRect(strip->Rect);
        strip->Cursor->setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
        strip->Cursor->point1->setAxes(x, y);
        strip->Cursor->point2->setAxes(x, y);
        strip->Cursor->point1->setCoords(model_.Cursor(), 0);
        strip->Cursor->point2->setCoords(model_.Cursor(), 1);
        connect(x, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
                [this](const QCPRange& r) { ShowRange(r.lower, r.upper); });
        if (!log.Markers.empty())
            new LogMarkerLines(plot_, strip->Rect, log.Markers, k == 0);
        strips_.push_back(std::move(strip));
    }
    RefreshVisibleRange();
    RefreshCursorColumn();
    plot_->replot();
}

void ChannelsTab::JumpToMarker(size_t index)
{
    const std::vector<LogMarker>& markers = model_.Log().Markers;
    if (index >= markers.size())
        return;
    const double t = markers[index].Time;
    ApplyRange(model_.JumpTo(t));
    SetCursorTime(t);
}

void ChannelsTab::ShowWholeRun()
{
    const auto [first, last] = model_.RunBounds();
    ShowRange(first, last);
}

// A zoom or pan in one strip moves them all, to the range the model keeps.
void ChannelsTab::ShowRange(double from, double to)
{
    if (syncing_ || model_.Empty())
        return;
    ApplyRange(model_.SetVisible(from, to));
}

void ChannelsTab::ApplyRange(bool changed)
{
    syncing_ = true;
    for (const auto& s : strips_)
        s->Rect->axis(QCPAxis::atBottom)->setRange(model_.From(), model_.To());
    syncing_ = false;
    if (!changed)
        return;
    RefreshVisibleRange();
    plot_->replot(QCustomPlot::rpQueuedReplot);
    emit RangeChanged();
}

void ChannelsTab::RefreshVisibleRange()
{
    const int columns = std::max(plot_->width(), kMinColumns);
    for (const auto& s : strips_) {
        QVector<QCPGraphData> drawn;
        const std::vector<PlotPoint> points = model_.Points(s->Channel, columns);
        drawn.reserve(static_cast<qsizetype>(points.size()));
        for (const PlotPoint& p : points)
            drawn.append(QCPGraphData(p.Time, p.Value));
        s->Graph->data()->set(drawn, true);
        const ValueRange scale = model_.Scale(s->Channel);
        s->Rect->axis(QCPAxis::atLeft)->setRange(scale.Lower, scale.Upper);
    }
    const QSignalBlocker block(table_);
    const LogData& log = model_.Log();
    for (size_t c = 0; c < log.Channels.size(); ++c) {
        const int row = static_cast<int>(c);
        const int decimals = log.Channels[c].Decimals;
        const RangeStats& st = model_.Visible(c);
        table_->item(row, kColMin)->setText(FormatValue(st.Min, decimals));
        table_->item(row, kColMax)->setText(FormatValue(st.Max, decimals));
        table_->item(row, kColMean)->setText(FormatValue(st.Mean, std::min(decimals + 1, 6)));
    }
}

void ChannelsTab::RefreshCursorColumn()
{
    const QSignalBlocker block(table_);
    table_->horizontalHeaderItem(kColCursor)->setText(tr("At %1 s").arg(model_.Cursor(), 0, 'f', 3));
    const LogData& log = model_.Log();
    for (size_t c = 0; c < log.Channels.size(); ++c)
        table_->item(static_cast<int>(c), kColCursor)
            ->setText(FormatValue(model_.CursorValue(c), log.Channels[c].Decimals));
}

void ChannelsTab::SetCursorTime(double t)
{
    model_.SetCursor(t);
    for (const auto& s : strips_) {
        s->Cursor->point1->setCoords(t, 0);
        s->Cursor->point2->setCoords(t, 1);
    }
    RefreshCursorColumn();
    plot_->layer("cursor")->replot();
}

bool ChannelsTab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != plot_ || event->type() != QEvent::KeyPress || model_.Empty())
        return QSplitter::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return QSplitter::eventFilter(watched, event);
    switch (key->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ApplyRange(model_.Zoom(0.5));
            return true;
        case Qt::Key_Minus:
            ApplyRange(model_.Zoom(2.0));
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
            ApplyRange(model_.Pan(key->key() == Qt::Key_Left ? -0.25 : 0.25));
            return true;
        case Qt::Key_Home:
            ShowWholeRun();
            return true;
        case Qt::Key_Comma:
        case Qt::Key_Period:
            ApplyRange(model_.StepCursor(key->key() == Qt::Key_Comma ? -1 : 1));
            SetCursorTime(model_.Cursor());
            return true;
        default:
            return QSplitter::eventFilter(watched, event);
    }
}

void ChannelsTab::OnPlotMouseMove(QMouseEvent* event)
{
    if (strips_.empty())
        return;
    const double t = strips_.front()->Rect->axis(QCPAxis::atBottom)->pixelToCoord(event->position().x());
    SetCursorTime(std::clamp(t, model_.From(), model_.To()));
}

void ChannelsTab::OnChannelItemChanged(QTableWidgetItem* item)
{
    if (item->column() == kColChannel) {
        RebuildStrips();
    } else if (item->column() == kColSmooth) {
        model_.SetSmoothing(static_cast<size_t>(item->row()),
                            item->checkState() == Qt::Checked ? kDefaultSmoothingSeconds : 0);
        RefreshVisibleRange();
        plot_->replot();
    }
}

}  // namespace tessek
