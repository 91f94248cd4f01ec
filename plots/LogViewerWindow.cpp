#include "plots/LogViewerWindow.h"

#include <qcustomplot.h>
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <tuple>

#include "platform/ProgramFolder.h"
#include "plots/Decimate.h"
#include "plots/LogLoader.h"
#include "plots/LogStatistics.h"

namespace tessek {
namespace {

const QColor kColours[] = {
    QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),   QColor(148, 103, 189), QColor(255, 127, 14),
    QColor(23, 190, 207), QColor(140, 86, 75), QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34),
};
constexpr size_t kColourCount = sizeof kColours / sizeof kColours[0];

enum Column { kColChannel, kColCursor, kColMin, kColMax, kColMean, kColumnCount };

// Narrowest visible time range (s), and the width given to a run without duration.
constexpr double kMinSpan = 1e-3;
constexpr double kSinglePointSpan = 1.0;
// Fewest thinning buckets, for a plot not laid out yet.
constexpr int kMinColumns = 200;
// Fixed, not fitted to the tick labels: a margin that follows the labels would shift the
// time axis while zooming, away from the point under the pointer.
constexpr int kLeftMargin = 72;
constexpr int kRightMargin = 14;
// Most channels checked when a log opens: another program's log with a hundred columns
// would otherwise start with strips too thin to read.
constexpr int kMaxStartStrips = 12;
// How often the progress of a read is shown, and how often the file is looked at for
// growth (ms); the steps of the progress bar.
constexpr int kProgressIntervalMs = 50;
constexpr int kWatchIntervalMs = 1000;
constexpr int kReloadCostFactor = 10;
constexpr int kProgressSteps = 1000;
// A read this short (ms) keeps the window waiting without showing any progress.
constexpr int kQuickReadMs = 100;

QColor ColourOf(size_t index)
{
    return kColours[index % kColourCount];
}

QString FormatValue(double v, int decimals)
{
    return std::isnan(v) ? QStringLiteral("\u2014") : QString::number(v, 'f', decimals);
}

QString Title(const LogChannel& c)
{
    const QString name = QString::fromStdString(c.Name);
    return c.Unit.empty() ? name : name + " (" + QString::fromStdString(c.Unit) + ")";
}

QTableWidgetItem* ReadOnlyItem()
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

}  // namespace

struct LogViewerWindow::Strip {
    size_t Channel = 0;
    QCPAxisRect* Rect = nullptr;
    QCPGraph* Graph = nullptr;
    QCPItemStraightLine* Cursor = nullptr;
};

LogViewerWindow::LogViewerWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Tessek Log Viewer"));
    auto* layout = new QVBoxLayout(this);
    BuildMenu();
    auto* tabs = new QTabWidget(this);
    tabs->addTab(BuildChannelsTab(), tr("Channels"));
    tabs->addTab(BuildPowerTab(), tr("Power curve"));
    layout->addWidget(tabs, 1);
    status_ = new QLabel(tr("No log open: File > Open..."), this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    layout->addWidget(status_);
    auto* loading = new QHBoxLayout;
    progress_ = new QProgressBar(this);
    progress_->setObjectName("loadProgress");
    progress_->setRange(0, kProgressSteps);
    cancelLoad_ = new QPushButton(tr("Cancel"), this);
    cancelLoad_->setObjectName("cancelLoad");
    loading->addWidget(progress_, 1);
    loading->addWidget(cancelLoad_);
    layout->addLayout(loading);
    progress_->hide();
    cancelLoad_->hide();
    // A log still being written grows: while shown, it is read again, the view kept.
    auto* watchTimer = new QTimer(this);
    connect(watchTimer, &QTimer::timeout, this, [this] {
        if (isVisible() && shown_.isValid() && shown_.elapsed() >= reloadEveryMs_)
            ReloadIfChanged();
    });
    watchTimer->start(kWatchIntervalMs);
    resize(1200, 760);
}

LogViewerWindow::~LogViewerWindow()
{
    if (loading_)
        loading_->Cancel();
}

void LogViewerWindow::BuildMenu()
{
    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open..."));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &LogViewerWindow::OpenClick);
    QAction* add = file->addAction(tr("&Add run to power curve..."));
    connect(add, &QAction::triggered, this, &LogViewerWindow::AddRunClick);
    file->addSeparator();
    QAction* close = file->addAction(tr("&Close"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    static_cast<QVBoxLayout*>(layout())->setMenuBar(bar);
}

QWidget* LogViewerWindow::BuildChannelsTab()
{
    auto* splitter = new QSplitter(Qt::Horizontal);
    table_ = new QTableWidget(0, kColumnCount, splitter);
    table_->setObjectName("channelTable");
    table_->setHorizontalHeaderLabels({tr("Channel"), tr("Cursor"), tr("Min"), tr("Max"), tr("Mean")});
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->horizontalHeader()->setSectionResizeMode(kColChannel, QHeaderView::Stretch);
    for (int c = kColCursor; c < kColumnCount; ++c)
        table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    table_->horizontalHeaderItem(kColMin)->setToolTip(tr("Over the visible time range"));
    table_->horizontalHeaderItem(kColMax)->setToolTip(tr("Over the visible time range"));
    table_->horizontalHeaderItem(kColMean)->setToolTip(tr("Over the visible time range"));
    connect(table_, &QTableWidget::itemChanged, this, &LogViewerWindow::OnChannelItemChanged);

    plot_ = new QCustomPlot(splitter);
    plot_->setObjectName("channelPlot");
    plot_->setMouseTracking(true);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->setNoAntialiasingOnDrag(true);
    plot_->plotLayout()->clear();
    plot_->plotLayout()->setRowSpacing(0);
    plot_->addLayer("cursor", plot_->layer("main"), QCustomPlot::limAbove);
    plot_->layer("cursor")->setMode(QCPLayer::lmBuffered);
    connect(plot_, &QCustomPlot::mouseMove, this, &LogViewerWindow::OnPlotMouseMove);
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this] { ShowWholeRun(); });

    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({440, 760});
    return splitter;
}

QWidget* LogViewerWindow::BuildPowerTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    auto* add = new QPushButton(tr("Add run..."), page);
    add->setObjectName("addRun");
    connect(add, &QPushButton::clicked, this, &LogViewerWindow::AddRunClick);
    row->addWidget(add);
    row->addWidget(new QLabel(tr("Samples with positive acceleration, median of each 100 rpm, averaged over 3 "
                                 "neighbouring bins. Solid: power; dashed: torque."),
                              page),
                   1);
    layout->addLayout(row);
    powerPlot_ = new QCustomPlot(page);
    powerPlot_->setObjectName("powerPlot");
    powerPlot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    powerPlot_->xAxis->setLabel(tr("Engine speed (rpm)"));
    powerPlot_->yAxis->setLabel(tr("Power (hp), solid"));
    powerPlot_->yAxis2->setLabel(tr("Torque (lb-ft), dashed"));
    powerPlot_->yAxis2->setVisible(true);
    powerPlot_->legend->setVisible(true);
    powerPlot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(powerPlot_, 1);
    powerPeaks_ = new QLabel(page);
    powerPeaks_->setObjectName("powerPeaks");
    powerPeaks_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    powerPeaks_->setWordWrap(true);
    layout->addWidget(powerPeaks_);
    return page;
}

bool LogViewerWindow::OpenFile(const QString& path)
{
    return OpenNativeFile(QFile::encodeName(path).toStdString());
}

std::optional<LogReadResult> LogViewerWindow::Read(const std::string& nativePath)
{
    if (loading_)
        return std::nullopt;  // one read at a time; the window is still in the last one
    LogLoader loader(nativePath);
    loading_ = &loader;
    // The window may be closed and destroyed while the read goes on (its destructor
    // cancels the read); nothing of it is touched after that.
    const QPointer<LogViewerWindow> self(this);
    QEventLoop wait;
    QTimer tick;
    connect(&tick, &QTimer::timeout, &wait, [&] {
        if (!self || loader.Done()) {
            wait.quit();
            return;
        }
        progress_->setValue(static_cast<int>(loader.Progress() * kProgressSteps));
        progress_->setVisible(true);
        cancelLoad_->setVisible(true);
    });
    connect(cancelLoad_, &QPushButton::clicked, &wait, [&] { loader.Cancel(); });
    tick.start(kProgressIntervalMs);
    // Most logs are read within a moment; for the rest the window stays responsive.
    if (!loader.WaitFor(std::chrono::milliseconds(kQuickReadMs)))
        wait.exec();
    if (!self)
        return std::nullopt;
    progress_->hide();
    cancelLoad_->hide();
    loading_ = nullptr;
    return loader.Take();
}

bool LogViewerWindow::OpenNativeFile(const std::string& nativePath)
{
    return Show(nativePath, false);
}

void LogViewerWindow::ReloadIfChanged()
{
    if (watch_ && !loading_ && watch_->Changed())
        Show(nativePath_, true);
}

bool LogViewerWindow::Show(const std::string& nativePath, bool keepView)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(nativePath));
    const QString name = QFileInfo(path).fileName();
    QElapsedTimer cost;
    cost.start();
    // Taken before the read, so that rows added during it count as a change.
    auto watch = std::make_unique<LogFileWatch>(nativePath);
    std::optional<LogReadResult> read = Read(nativePath);
    if (!read)
        return false;
    if (!read->Ok()) {
        ShowProblem(name + ": " + QString::fromStdString(read->Error));
        // A read again that the user cancelled is not started over and over.
        if (keepView && read->Error == kCancelledText)
            watch_.reset();
        return false;
    }
    std::vector<std::string> checked;
    for (size_t c = 0; c < log_.Channels.size(); ++c)
        if (table_->item(static_cast<int>(c), kColChannel)->checkState() == Qt::Checked)
            checked.push_back(log_.Channels[c].Name);
    const double from = from_, to = to_, cursor = cursor_;
    nativePath_ = nativePath;
    watch_ = std::move(watch);
    lastFolder_ = QFileInfo(path).absolutePath();
    log_ = std::move(read->Data);
    compactTime_.assign(log_.Channels.size(), {});
    compactValues_.assign(log_.Channels.size(), {});
    compacted_.assign(log_.Channels.size(), false);
    for (size_t c = 0; c < log_.Channels.size(); ++c) {
        const std::vector<double>& v = log_.Channels[c].Values;
        if (std::none_of(v.begin(), v.end(), [](double x) { return std::isnan(x); }))
            continue;
        compacted_[c] = true;
        for (size_t i = 0; i < v.size(); ++i) {
            if (!std::isnan(v[i])) {
                compactTime_[c].push_back(log_.Time[i]);
                compactValues_[c].push_back(v[i]);
            }
        }
    }
    setWindowTitle(tr("Tessek Log Viewer - %1").arg(name));
    status_->setStyleSheet({});
    status_->setText(name + ": " + QString::fromStdString(read->Report.Summary()));
    QStringList examples;
    for (const std::string& e : read->Report.Examples)
        examples << QString::fromStdString(e);
    status_->setToolTip(examples.join('\n'));

    FillChannelTable();
    if (keepView) {
        const QSignalBlocker block(table_);
        for (size_t c = 0; c < log_.Channels.size(); ++c) {
            const bool on = std::find(checked.begin(), checked.end(), log_.Channels[c].Name) != checked.end();
            table_->item(static_cast<int>(c), kColChannel)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        }
        from_ = from;
        to_ = to;
        cursor_ = cursor;
    } else {
        cursor_ = log_.Time.front();
        std::tie(from_, to_) = RunBounds();
    }
    RebuildStrips();

    PowerRun run{name, ComputePowerCurve(log_)};
    if (!keepView || powerRuns_.empty())
        powerRuns_.clear();
    if (powerRuns_.empty())
        powerRuns_.push_back(std::move(run));
    else
        powerRuns_.front() = std::move(run);
    RedrawPowerCurve();
    // A long log growing during a run is read again less often, so that reading it takes
    // no more than a small share of the window's time.
    reloadEveryMs_ = std::max<qint64>(kWatchIntervalMs, kReloadCostFactor * cost.elapsed());
    shown_.start();
    return true;
}

bool LogViewerWindow::AddPowerRun(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    std::optional<LogReadResult> read = Read(QFile::encodeName(path).toStdString());
    if (!read)
        return false;
    if (!read->Ok()) {
        ShowProblem(name + ": " + QString::fromStdString(read->Error));
        return false;
    }
    PowerCurve curve = ComputePowerCurve(read->Data);
    if (!curve.Ok()) {
        ShowProblem(name + ": " + QString::fromStdString(curve.Problem));
        return false;
    }
    lastFolder_ = QFileInfo(path).absolutePath();
    powerRuns_.push_back({name, std::move(curve)});
    RedrawPowerCurve();
    return true;
}

void LogViewerWindow::FillChannelTable()
{
    const QSignalBlocker block(table_);
    table_->setRowCount(static_cast<int>(log_.Channels.size()));
    int shown = 0;
    for (size_t c = 0; c < log_.Channels.size(); ++c) {
        const int row = static_cast<int>(c);
        auto* item = new QTableWidgetItem(Title(log_.Channels[c]));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool show = !log_.Channels[c].Raw && shown < kMaxStartStrips;
        shown += show ? 1 : 0;
        item->setCheckState(show ? Qt::Checked : Qt::Unchecked);
        QPixmap swatch(10, 10);
        swatch.fill(ColourOf(c));
        item->setIcon(QIcon(swatch));
        table_->setItem(row, kColChannel, item);
        for (int col = kColCursor; col < kColumnCount; ++col)
            table_->setItem(row, col, ReadOnlyItem());
    }
}

void LogViewerWindow::RebuildStrips()
{
    plot_->clearItems();
    plot_->clearPlottables();
    plot_->plotLayout()->clear();
    strips_.clear();
    std::vector<size_t> shown;
    for (size_t c = 0; c < log_.Channels.size(); ++c)
        if (table_->item(static_cast<int>(c), kColChannel)->checkState() == Qt::Checked)
            shown.push_back(c);
    for (size_t k = 0; k < shown.size(); ++k) {
        const bool last = k + 1 == shown.size();
        auto strip = std::make_unique<Strip>();
        strip->Channel = shown[k];
        strip->Rect = new QCPAxisRect(plot_);
        plot_->plotLayout()->addElement(static_cast<int>(k), 0, strip->Rect);
        strip->Rect->setAutoMargins(last ? QCP::msBottom : QCP::msNone);
        strip->Rect->setMargins(QMargins(kLeftMargin, 3, kRightMargin, 3));
        strip->Rect->setRangeDrag(Qt::Horizontal);
        strip->Rect->setRangeZoom(Qt::Horizontal);
        QCPAxis* x = strip->Rect->axis(QCPAxis::atBottom);
        QCPAxis* y = strip->Rect->axis(QCPAxis::atLeft);
        x->setRange(from_, to_);
        x->setTickLabels(last);
        if (last)
            x->setLabel(tr("Time (s)"));
        y->ticker()->setTickCount(3);
        const QColor colour = ColourOf(shown[k]);
        strip->Graph = plot_->addGraph(x, y);
        strip->Graph->setPen(QPen(colour, 1));

        auto* title = new QCPItemText(plot_);
        title->setClipAxisRect(strip->Rect);
        title->position->setType(QCPItemPosition::ptAxisRectRatio);
        title->position->setAxisRect(strip->Rect);
        title->position->setCoords(0.005, 0.02);
        title->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        title->setText(Title(log_.Channels[shown[k]]));
        title->setColor(colour.darker(130));
        title->setBrush(QColor(255, 255, 255, 200));

        strip->Cursor = new QCPItemStraightLine(plot_);
        strip->Cursor->setLayer("cursor");
        strip->Cursor->setClipAxisRect(strip->Rect);
        strip->Cursor->setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
        strip->Cursor->point1->setAxes(x, y);
        strip->Cursor->point2->setAxes(x, y);
        strip->Cursor->point1->setCoords(cursor_, 0);
        strip->Cursor->point2->setCoords(cursor_, 1);
        connect(x, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
                [this](const QCPRange& r) { OnStripRangeChanged(r.lower, r.upper); });
        strips_.push_back(std::move(strip));
    }
    RefreshVisibleRange();
    RefreshCursorColumn();
    plot_->replot();
}

void LogViewerWindow::SetTimeRange(double from, double to)
{
    OnStripRangeChanged(from, to);
}

void LogViewerWindow::ShowWholeRun()
{
    if (log_.Time.empty())
        return;
    const auto [first, last] = RunBounds();
    OnStripRangeChanged(first, last);
}

std::pair<double, double> LogViewerWindow::RunBounds() const
{
    const double first = log_.Time.front(), last = log_.Time.back();
    if (last - first < kMinSpan)
        return {first - kSinglePointSpan / 2, last + kSinglePointSpan / 2};
    return {first, last};
}

// Keeps the range inside the run and not narrower than kMinSpan, then shows it in every
// strip: a zoom or pan in one strip moves them all.
void LogViewerWindow::OnStripRangeChanged(double lower, double upper)
{
    if (syncing_ || log_.Time.empty() || !std::isfinite(lower) || !std::isfinite(upper))
        return;
    const auto [first, last] = RunBounds();
    if (upper < lower)
        std::swap(lower, upper);
    const double width = std::clamp(upper - lower, kMinSpan, std::max(last - first, kMinSpan));
    lower = std::max(first, std::min(lower, last - width));
    from_ = lower;
    to_ = lower + width;
    syncing_ = true;
    for (const auto& s : strips_)
        s->Rect->axis(QCPAxis::atBottom)->setRange(from_, to_);
    syncing_ = false;
    RefreshVisibleRange();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void LogViewerWindow::RefreshVisibleRange()
{
    const int columns = std::max(plot_->width(), kMinColumns);
    const std::span<const double> time(log_.Time);
    std::vector<RangeStats> stats(log_.Channels.size());
    for (size_t c = 0; c < log_.Channels.size(); ++c)
        stats[c] = StatsOver(time, log_.Channels[c].Values, from_, to_);
    for (const auto& s : strips_) {
        const size_t c = s->Channel;
        const bool compact = compacted_[c];
        const std::vector<double>& t = compact ? compactTime_[c] : log_.Time;
        const std::vector<double>& v = compact ? compactValues_[c] : log_.Channels[c].Values;
        const std::vector<PlotPoint> points = DecimateMinMax(t.data(), v.data(), t.size(), from_, to_, columns);
        QVector<QCPGraphData> drawn;
        drawn.reserve(static_cast<qsizetype>(points.size()));
        for (const PlotPoint& p : points)
            drawn.append(QCPGraphData(p.Time, p.Value));
        s->Graph->data()->set(drawn, true);
        const RangeStats& st = stats[c];
        if (st.Count > 0) {
            const double pad = st.Max > st.Min ? (st.Max - st.Min) * 0.08 : std::max(std::abs(st.Max) * 0.05, 0.5);
            s->Rect->axis(QCPAxis::atLeft)->setRange(st.Min - pad, st.Max + pad);
        }
    }
    const QSignalBlocker block(table_);
    for (size_t c = 0; c < log_.Channels.size(); ++c) {
        const int row = static_cast<int>(c);
        const int decimals = log_.Channels[c].Decimals;
        table_->item(row, kColMin)->setText(FormatValue(stats[c].Min, decimals));
        table_->item(row, kColMax)->setText(FormatValue(stats[c].Max, decimals));
        table_->item(row, kColMean)->setText(FormatValue(stats[c].Mean, std::min(decimals + 1, 6)));
    }
}

void LogViewerWindow::RefreshCursorColumn()
{
    const QSignalBlocker block(table_);
    table_->horizontalHeaderItem(kColCursor)->setText(tr("At %1 s").arg(cursor_, 0, 'f', 3));
    const std::span<const double> time(log_.Time);
    for (size_t c = 0; c < log_.Channels.size(); ++c) {
        const LogChannel& ch = log_.Channels[c];
        table_->item(static_cast<int>(c), kColCursor)
            ->setText(FormatValue(ValueAt(time, ch.Values, cursor_), ch.Decimals));
    }
}

void LogViewerWindow::SetCursorTime(double t)
{
    cursor_ = t;
    for (const auto& s : strips_) {
        s->Cursor->point1->setCoords(t, 0);
        s->Cursor->point2->setCoords(t, 1);
    }
    RefreshCursorColumn();
    plot_->layer("cursor")->replot();
}

void LogViewerWindow::OnPlotMouseMove(QMouseEvent* event)
{
    if (strips_.empty())
        return;
    const double t = strips_.front()->Rect->axis(QCPAxis::atBottom)->pixelToCoord(event->position().x());
    SetCursorTime(std::clamp(t, from_, to_));
}

void LogViewerWindow::OnChannelItemChanged(QTableWidgetItem* item)
{
    if (item->column() == kColChannel)
        RebuildStrips();
}

void LogViewerWindow::RedrawPowerCurve()
{
    powerPlot_->clearGraphs();
    QStringList lines;
    size_t colour = 0;
    for (const PowerRun& run : powerRuns_) {
        if (!run.Curve.Ok()) {
            lines << run.Name + ": " + QString::fromStdString(run.Curve.Problem);
            continue;
        }
        const QColor c = ColourOf(colour++);
        QVector<double> rpm, power, torque;
        for (const PowerCurvePoint& p : run.Curve.Points) {
            rpm << p.Rpm;
            power << p.Power;
            torque << p.Torque;
        }
        QCPGraph* pg = powerPlot_->addGraph(powerPlot_->xAxis, powerPlot_->yAxis);
        pg->setName(run.Name);
        pg->setPen(QPen(c, 2));
        pg->setData(rpm, power, true);
        QCPGraph* tg = powerPlot_->addGraph(powerPlot_->xAxis, powerPlot_->yAxis2);
        tg->setPen(QPen(c, 2, Qt::DashLine));
        tg->setData(rpm, torque, true);
        tg->removeFromLegend();
        const PowerCurve& cv = run.Curve;
        lines << tr("%1: peak power %2 hp at %3 rpm, peak torque %4 lb-ft at %5 rpm (%6 samples)")
                     .arg(run.Name)
                     .arg(cv.PeakPower, 0, 'f', 1)
                     .arg(cv.PeakPowerRpm, 0, 'f', 0)
                     .arg(cv.PeakTorque, 0, 'f', 1)
                     .arg(cv.PeakTorqueRpm, 0, 'f', 0)
                     .arg(cv.Samples);
    }
    powerPlot_->rescaleAxes();
    powerPlot_->xAxis->scaleRange(1.05);
    powerPlot_->yAxis->scaleRange(1.1);
    powerPlot_->yAxis2->scaleRange(1.1);
    powerPeaks_->setText(lines.join('\n'));
    powerPlot_->replot();
}

void LogViewerWindow::ShowProblem(const QString& text)
{
    status_->setStyleSheet("color: #b00000;");
    status_->setText(text);
    status_->setToolTip({});
}

QString LogViewerWindow::AskForLogFile(const QString& caption)
{
    QString folder = lastFolder_;
    if (folder.isEmpty()) {
        const QString program = QString::fromStdString(ProgramFolder());
        folder = QDir(program + "logs").exists() ? program + "logs" : program;
    }
    return QFileDialog::getOpenFileName(this, caption, folder, tr("Data logs (*.csv *.msl);;All files (*)"));
}

void LogViewerWindow::OpenClick()
{
    const QString path = AskForLogFile(tr("Open data log"));
    if (!path.isEmpty())
        OpenFile(path);
}

void LogViewerWindow::AddRunClick()
{
    const QString path = AskForLogFile(tr("Add a run to the power curve"));
    if (!path.isEmpty())
        AddPowerRun(path);
}

}  // namespace tessek
