#include "plots/LiveWindow.h"

#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <chrono>
#include <exception>

namespace tessek {
namespace {

constexpr int kReadoutWidth = 170;  // px
const QColor kStripColours[] = {
    QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),   QColor(255, 127, 14),  QColor(148, 103, 189),
    QColor(23, 190, 207), QColor(140, 86, 75), QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34),
};

std::string SettingsPath()
{
    return ProgramFolder() + kSettingsFileName;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int pointSize, bool bold, const QColor& colour)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

// The frame paints everything it changed before it returns, like the plot: a repaint left
// for later would land at some other moment of the run.
void ShowNow(QLabel* label, const std::string& text)
{
    const QString shown = QString::fromStdString(text);
    if (label->text() == shown)
        return;
    label->setText(shown);
    label->repaint();
}

}  // namespace

LiveWindow::LiveWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), plot_(new QCustomPlot(this)), readouts_(new QWidget(this)), status_(new QLabel(this))
{
    setWindowTitle("Tessek Live");
    resize(960, 800);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* charts = new QHBoxLayout;
    charts->setSpacing(0);
    charts->addWidget(plot_, 1);
    // The readouts are widgets of their own beside the plot, placed level with their strips
    // after each frame: inside the plot, every frame would measure and lay out their texts.
    readouts_->setFixedWidth(kReadoutWidth);
    readouts_->setAutoFillBackground(true);
    QPalette panel = readouts_->palette();
    panel.setColor(QPalette::Window, Qt::white);  // the plot's background
    readouts_->setPalette(panel);
    charts->addWidget(readouts_);
    layout->addLayout(charts, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    // Units of the chart, new data logs and the viewer, kept in Tessek.ini.
    auto* units = new QComboBox(this);
    units->setObjectName("cbxUnits");
    units->addItems({"Imperial", "Metric"});
    units->setCurrentIndex(ReadUnitSystem(IniFile(SettingsPath())) == UnitSystem::Metric ? 1 : 0);
    model_.SetUnits(units->currentIndex() == 1 ? UnitSystem::Metric : UnitSystem::Imperial);
    connect(units, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetUnits(index == 1 ? UnitSystem::Metric : UnitSystem::Imperial); });
    bottom->addWidget(units);
    auto* viewLog = new QPushButton("&View Log", this);
    viewLog->setObjectName("btnViewLog");
    connect(viewLog, &QPushButton::clicked, this, &LiveWindow::ViewLogRequested);
    bottom->addWidget(viewLog);
    layout->addLayout(bottom);
    // Tick labels come from a pixmap cache; each line is one polyline without antialiasing
    // (the raster engine draws that faster than QCustomPlot's segment by segment "fast
    // polylines"); with no selection rectangle there is no overlay buffer to clear and draw
    // in every frame.
    plot_->setPlottingHints(QCP::phCacheLabels);
    plot_->setNotAntialiasedElements(QCP::aePlottables | QCP::aeGrid | QCP::aeAxes);
    plot_->setAutoAddPlottableToLegend(false);
    plot_->removeLayer(plot_->layer("overlay"));
    timer_.setInterval(kFrameIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &LiveWindow::Redraw);
    BuildStrips();
    status_->setText(QString::fromStdString(model_.StatusText()));
}

LiveWindow::~LiveWindow() = default;

void LiveWindow::RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started)
{
    try {
        failed_ = false;
        model_.Start(columns, started);
        BuildStrips();
        UpdateTimer();
    } catch (const std::exception& e) {
        Fail(e.what());
    } catch (...) {
        Fail("unknown error");
    }
}

void LiveWindow::SampleLogged(const RunSample& sample)
{
    if (failed_)
        return;
    try {
        model_.Add(sample);
    } catch (const std::exception& e) {
        Fail(e.what());
    } catch (...) {
        Fail("unknown error");
    }
}

void LiveWindow::RunEnded()
{
    try {
        model_.End();
        // The last samples and "Not logging" are drawn at once: the timer stops here.
        if (isVisible())
            Redraw();
        UpdateTimer();
    } catch (const std::exception& e) {
        Fail(e.what());
    } catch (...) {
        Fail("unknown error");
    }
}

void LiveWindow::Redraw()
{
    if (failed_ || !isVisible() || model_.Generation() == drawn_)
        return;
    try {
        DrawFrame();
    } catch (const std::exception& e) {
        Fail(e.what());
    } catch (...) {
        Fail("unknown error");
    }
}

void LiveWindow::SetUnits(UnitSystem units)
{
    try {
        IniFile ini(SettingsPath());
        WriteUnitSystem(ini, units);
    } catch (const std::exception& e) {
        // The chart still changes; only the choice is not kept.
        status_->setText(QString("Units not saved: %1").arg(e.what()));
    }
    model_.SetUnits(units);
    BuildStrips();
    Redraw();
}

QString LiveWindow::StatusText() const
{
    return status_->text();
}

void LiveWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    UpdateTimer();
    // After the window is on the screen, so that the frame has its real size.
    QTimer::singleShot(0, this, &LiveWindow::Redraw);
}

void LiveWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    UpdateTimer();
}

void LiveWindow::BuildStrips()
{
    for (const Strip& strip : strips_)
        delete strip.Readout;
    strips_.clear();
    plot_->clearGraphs();
    plot_->plotLayout()->clear();
    delete marginGroup_;
    marginGroup_ = new QCPMarginGroup(plot_);
    QCPLayoutGrid* grid = plot_->plotLayout();
    grid->setRowSpacing(2);
    const auto& channels = model_.Channels();
    if (channels.empty()) {
        if (model_.Running())
            grid->addElement(0, 0, new QCPTextElement(plot_, "No values to chart in this run"));
        return;
    }
    QFont tickFont = font();
    tickFont.setPointSize(8);
    for (size_t i = 0; i < channels.size(); ++i) {
        const auto& channel = channels[i];
        const QColor colour = kStripColours[i % std::size(kStripColours)];
        const bool last = i + 1 == channels.size();
        Strip strip;
        strip.Rect = new QCPAxisRect(plot_);
        grid->addElement(static_cast<int>(i), 0, strip.Rect);
        strip.Rect->setMarginGroup(QCP::msLeft | QCP::msRight, marginGroup_);
        strip.Rect->setAutoMargins(last ? QCP::msLeft | QCP::msRight | QCP::msBottom : QCP::msLeft | QCP::msRight);
        strip.Rect->setMargins(QMargins(0, 4, 0, 4));
        QCPAxis* time = strip.Rect->axis(QCPAxis::atBottom);
        QCPAxis* value = strip.Rect->axis(QCPAxis::atLeft);
        time->setTickLabels(last);
        time->setTickLabelFont(tickFont);
        if (last)
            time->setLabel("Time since the first sample (s)");
        value->setTickLabelFont(tickFont);
        value->ticker()->setTickCount(3);
        value->setLabel(QString::fromStdString(channel.Unit));
        value->setLabelFont(tickFont);
        strip.Graph = plot_->addGraph(time, value);
        strip.Graph->setPen(QPen(colour, 1));
        // The points are decimated already.
        strip.Graph->setAdaptiveSampling(false);

        strip.Readout = new QWidget(readouts_);
        auto* box = new QVBoxLayout(strip.Readout);
        box->setContentsMargins(8, 0, 4, 0);
        box->setSpacing(0);
        box->addStretch(1);
        strip.Name = MakeLabel(strip.Readout, QString::fromStdString(channel.Name), 9, false,
                               palette().color(QPalette::WindowText));
        box->addWidget(strip.Name);
        auto* number = new QHBoxLayout;
        number->setSpacing(6);
        strip.Value = MakeLabel(strip.Readout, "---", 20, true, colour);
        strip.Unit = MakeLabel(strip.Readout, QString::fromStdString(channel.Unit), 9, false, Qt::darkGray);
        number->addWidget(strip.Value);
        number->addWidget(strip.Unit, 1, Qt::AlignBottom);
        box->addLayout(number);
        box->addStretch(1);
        strip.Readout->show();
        strips_.push_back(strip);
    }
    // The strip with the time labels is as tall as the others plus those labels.
    grid->setRowStretchFactor(static_cast<int>(channels.size()) - 1, 1.3);
}

void LiveWindow::PlaceReadouts()
{
    const int offset = plot_->y() - readouts_->y();
    for (const Strip& strip : strips_) {
        const QRect outer = strip.Rect->outerRect();
        const QRect place(0, outer.top() + offset, readouts_->width(), outer.height());
        if (strip.Readout->geometry() != place)
            strip.Readout->setGeometry(place);
    }
}

void LiveWindow::DrawFrame()
{
    const auto begin = std::chrono::steady_clock::now();
    const TimeWindow shown = model_.Shown();
    const auto& channels = model_.Channels();
    for (size_t i = 0; i < strips_.size(); ++i) {
        const LiveModel::Channel& channel = channels[i];
        const Strip& strip = strips_[i];
        strip.Rect->axis(QCPAxis::atBottom)->setRange(shown.From, shown.To);
        const ValueRange range = PaddedRange(channel.Series.Range(shown.From, shown.To), channel.Decimals);
        strip.Rect->axis(QCPAxis::atLeft)->setRange(range.Lower, range.Upper);
    }
    // The decimation needs the strips' width, which they get from the layout only when
    // drawn: before the first frame of new strips, lay them out now.
    if (!strips_.empty() && strips_[0].Rect->width() <= 0) {
        for (auto phase : {QCPLayoutElement::upPreparation, QCPLayoutElement::upMargins, QCPLayoutElement::upLayout})
            plot_->plotLayout()->update(phase);
    }
    for (size_t i = 0; i < strips_.size(); ++i) {
        const Strip& strip = strips_[i];
        points_.clear();
        // One bucket per two pixel columns: the line still reaches every peak and dip, with
        // half the points to draw.
        for (const PlotPoint& p : channels[i].Series.Points(shown.From, shown.To, strip.Rect->width() / 2))
            points_.append(QCPGraphData(p.Time, p.Value));
        strip.Graph->data()->set(points_, true);
    }
    plot_->replot(QCustomPlot::rpImmediateRefresh);
    PlaceReadouts();
    for (size_t i = 0; i < strips_.size(); ++i)
        ShowNow(strips_[i].Value, ReadoutText(channels[i].Series.Latest(), channels[i].Decimals));
    ShowNow(status_, model_.StatusText());
    drawn_ = model_.Generation();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    ++frames_.Frames;
    frames_.TotalMs += ms;
    frames_.WorstMs = std::max(frames_.WorstMs, ms);
}

void LiveWindow::UpdateTimer()
{
    if (!failed_ && model_.Running() && isVisible())
        timer_.start();
    else
        timer_.stop();
}

void LiveWindow::Fail(const char* what) noexcept
{
    failed_ = true;
    timer_.stop();
    try {
        status_->setText(QString("The live chart stopped: %1").arg(what));
    } catch (...) {
        // Nothing more to tell; the logging run goes on without the chart.
    }
}

}  // namespace tessek
