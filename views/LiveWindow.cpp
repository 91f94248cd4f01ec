#include "views/LiveWindow.h"

#include "dialogs/AlarmDialog.h"
#include "dialogs/CalculatedChannelsDialog.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "views/DashWindow.h"
#include "views/LiveCellTable.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <chrono>
#include <exception>

namespace tessek {
namespace {

constexpr int kReadoutWidth = 170;  // px
const QColor kAlarmColour(210, 0, 0);
const QColor kAlarmBackground(255, 225, 225);

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

LiveWindow::LiveWindow(LiveAlarms& alarms, QWidget* parent)
    : QWidget(parent, Qt::Window),
      plot_(new QCustomPlot(this)),
      stack_(plot_),
      readouts_(new QWidget(this)),
      status_(new QLabel(this)),
      alarmLine_(new QLabel(this)),
      lostLine_(new QLabel("Connection lost", this)),
      alarms_(alarms),
      markers_(plot_),
      dash_(new DashWindow(model_, alarms_, this))
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
    // The live cell table is a tab beside the strips.
    auto* chart = new QWidget(this);
    charts->setContentsMargins(0, 0, 0, 0);
    chart->setLayout(charts);
    cells_ = new LiveCellTable(this);
    auto* tabs = new QTabWidget(this);
    tabs->addTab(chart, "Chart");
    tabs->addTab(cells_, "Cell table");
    connect(tabs, &QTabWidget::currentChanged, cells_, &LiveCellTable::Refresh);
    layout->addWidget(tabs, 1);
    alarmLine_->setObjectName("AlarmLine");
    alarmLine_->setWordWrap(true);
    layout->addWidget(alarmLine_);
    lostLine_->setObjectName("LostLine");
    QPalette lostPalette = lostLine_->palette();
    lostPalette.setColor(QPalette::WindowText, kAlarmColour);
    lostLine_->setPalette(lostPalette);
    QFont lostFont = lostLine_->font();
    lostFont.setBold(true);
    lostLine_->setFont(lostFont);
    lostLine_->hide();
    layout->addWidget(lostLine_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    // Units of the chart, new data logs and the viewer, kept in Tessek.ini.
    auto* units = new QComboBox(this);
    units->setObjectName("cbxUnits");
    units->setAccessibleName("Units");
    units->addItems({"Imperial", "Metric"});
    auto* unitsLabel = new QLabel("Units:", this);
    unitsLabel->setBuddy(units);
    bottom->addWidget(unitsLabel);
    units->setCurrentIndex(ReadUnitSystem(IniFile(SettingsFilePath())) == UnitSystem::Metric ? 1 : 0);
    model_.SetUnits(units->currentIndex() == 1 ? UnitSystem::Metric : UnitSystem::Imperial);
    model_.SetSmoothing(ReadLiveSmoothing(IniFile(SettingsFilePath())));
    cells_->SetUnits(model_.Units());
    alarms_.SetUnits(model_.Units());
    connect(units, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetUnits(index == 1 ? UnitSystem::Metric : UnitSystem::Imperial); });
    bottom->addWidget(units);
    const auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        bottom->addWidget(b);
        return b;
    };
    connect(button("btnLog", "&Log"), &QPushButton::clicked, this, &LiveWindow::LogRequested);
    connect(button("btnMark", "&Mark"), &QPushButton::clicked, this, [this] { emit MarkRequested("Manual"); });
    connect(button("btnAlarms", "&Alarms..."), &QPushButton::clicked, this, &LiveWindow::EditAlarms);
    connect(button("btnFormulas", "&Formulas..."), &QPushButton::clicked, this, &LiveWindow::EditFormulas);
    connect(button("btnDash", "Dash (F11)"), &QPushButton::clicked, this, &LiveWindow::ToggleDash);
    auto* markKey = new QShortcut(QKeySequence(Qt::Key_M), this);
    connect(markKey, &QShortcut::activated, this, [this] { emit MarkRequested("Manual"); });
    // Plain M is a letter in a list, a text or a number box: there it marks nothing (Alt+M,
    // the button's, always marks).
    connect(qApp, &QApplication::focusChanged, markKey, [markKey](QWidget*, QWidget* now) {
        markKey->setEnabled(!qobject_cast<QComboBox*>(now) && !qobject_cast<QLineEdit*>(now) &&
                            !qobject_cast<QAbstractSpinBox*>(now));
    });
    auto* dashKey = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(dashKey, &QShortcut::activated, this, &LiveWindow::ToggleDash);
    connect(dash_, &DashWindow::MarkRequested, this, [this] { emit MarkRequested("Manual"); });
    connect(dash_, &DashWindow::LogRequested, this, &LiveWindow::LogRequested);
    auto* viewLog = new QPushButton("&View Log", this);
    viewLog->setObjectName("btnViewLog");
    connect(viewLog, &QPushButton::clicked, this, &LiveWindow::ViewLogRequested);
    bottom->addWidget(viewLog);
    auto* wideband = new QPushButton("&Wideband...", this);
    wideband->setObjectName("btnWideband");
    wideband->hide();
    connect(wideband, &QPushButton::clicked, this, &LiveWindow::WidebandRequested);
    bottom->addWidget(wideband);
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

LiveWindow::~LiveWindow()
{
    // The dash reads the model and the alarms, which go before the window's children do.
    delete dash_;
}

void LiveWindow::RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started)
{
    try {
        failed_ = false;
        model_.Start(columns, started);
        cells_->Start(columns);
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
        cells_->Add(sample);
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
        alarms_.End();
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
        cells_->Refresh();
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
        IniFile ini(SettingsFilePath());
        WriteUnitSystem(ini, units);
    } catch (const std::exception& e) {
        // The chart still changes; only the choice is not kept.
        status_->setText(QString("Units not saved: %1").arg(e.what()));
    }
    model_.SetUnits(units);
    cells_->SetUnits(units);
    alarms_.SetUnits(units);
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
    // A window of its own: hiding this one would leave it open (minimizing does not close it).
    if (!event->spontaneous())
        dash_->close();
    UpdateTimer();
}

void LiveWindow::BuildStrips()
{
    for (const Strip& strip : strips_)
        delete strip.Readout;
    strips_.clear();
    markers_.Clear();
    const auto& channels = model_.Channels();
    std::vector<StripLook> looks;
    for (size_t i = 0; i < channels.size(); ++i)
        looks.push_back({{}, QString::fromStdString(channels[i].Unit), PaletteColour(i)});
    StripStyle style;
    style.TickPointSize = 8;
    style.TimeLabel = "Time since the first sample (s)";
    const std::vector<StripParts> parts = stack_.Build(looks, style);
    if (channels.empty()) {
        if (model_.Running())
            plot_->plotLayout()->addElement(0, 0, new QCPTextElement(plot_, "No values to chart in this run"));
        return;
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        const auto& channel = channels[i];
        const QColor colour = looks[i].Colour;
        Strip strip;
        strip.Colour = colour;
        strip.Rect = parts[i].Rect;
        strip.Graph = parts[i].Graph;
        // The points are decimated already.
        strip.Graph->setAdaptiveSampling(false);

        strip.Readout = new QWidget(readouts_);
        auto* box = new QVBoxLayout(strip.Readout);
        box->setContentsMargins(8, 0, 4, 0);
        box->setSpacing(0);
        box->addStretch(1);
        QString name = QString::fromStdString(channel.Name);
        if (channel.Mean)
            name += QString(" (%1 s mean)").arg(model_.Smoothing());
        strip.Name = MakeLabel(strip.Readout, name, 9, false, palette().color(QPalette::WindowText));
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
    std::vector<QCPAxisRect*> rects;
    for (const Strip& strip : strips_)
        rects.push_back(strip.Rect);
    markers_.Update(rects, model_.Markers(), shown);
    ShowAlarms();
    plot_->replot(QCustomPlot::rpImmediateRefresh);
    PlaceReadouts();
    for (size_t i = 0; i < strips_.size(); ++i) {
        Strip& strip = strips_[i];
        ShowNow(strip.Value, ReadoutText(channels[i].Series.Latest(), channels[i].Decimals));
        if (channels[i].Series.Stale() != strip.Stale) {
            strip.Stale = channels[i].Series.Stale();
            PaintReadout(strip);
        }
    }
    if (alarms_.Generation() != alarmsDrawn_) {
        alarmsDrawn_ = alarms_.Generation();
        ShowNow(alarmLine_, alarms_.Text());
    }
    ShowNow(status_, StatusLine());
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

void LiveWindow::SetPlayback(const QString& file, QWidget* controls)
{
    playback_ = "Playback of " + file;
    setWindowTitle("Tessek Live - " + playback_);
    auto* box = static_cast<QVBoxLayout*>(layout());
    auto* banner = new QLabel(playback_, this);
    banner->setObjectName("PlaybackLine");
    banner->setStyleSheet("background: #fff3c4; color: #5a4300; font-weight: bold; padding: 4px;");
    box->insertWidget(0, banner);
    if (controls)
        box->insertWidget(box->count() - 1, controls);
    if (auto* log = findChild<QPushButton*>("btnLog"))
        log->hide();
    dash_->SetPlayback(playback_);
    status_->setText(QString::fromStdString(StatusLine()));
}

std::string LiveWindow::StatusLine() const
{
    if (playback_.isEmpty())
        return model_.StatusText();
    return playback_.toStdString() + (model_.Running() ? "" : " (not playing)");
}

void LiveWindow::SetSettingsFile(const std::string& path)
{
    alarms_.SettingsFile = path;
}

QString LiveWindow::AlarmText() const
{
    return alarmLine_->text();
}

void LiveWindow::ToggleDash()
{
    if (dash_->isVisible()) {
        dash_->close();
        return;
    }
    // On this window's screen; the size is for platforms without a window manager.
    if (QScreen* own = screen())
        dash_->setGeometry(own->geometry());
    dash_->showFullScreen();
    dash_->raise();
    dash_->activateWindow();
}

void LiveWindow::OfferWidebandSettings()
{
    if (auto* wideband = findChild<QPushButton*>("btnWideband"))
        wideband->show();
}

void LiveWindow::EditAlarms()
{
    std::vector<RunColumn> columns;
    for (const auto& channel : model_.Channels())
        columns.push_back({channel.Name, channel.SourceUnit, channel.Decimals, false});
    AlarmDialog dialog(alarms_.SettingsFile, columns, model_.Units(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    alarms_.Reload();
    alarmsDrawn_ = ~0u;
    drawn_ = ~uint64_t{0};  // a frame is due: the strips may change colour
    Redraw();
}

void LiveWindow::EditFormulas()
{
    std::vector<std::string> names;
    for (const RunColumn& column : model_.Columns())
        names.push_back(column.Name);
    const auto current = [this]() -> std::optional<ChannelSample> {
        if (!model_.LatestTime())
            return std::nullopt;
        return ChannelSample{*model_.LatestTime(), model_.LatestValues()};
    };
    const std::string file = alarms_.SettingsFile.empty() ? SettingsFilePath() : alarms_.SettingsFile;
    CalculatedChannelsDialog::EditOverColumns(file, names, current, this);
}

// A channel in alarm: its line, its readout and its strip's background in red.
void LiveWindow::ShowAlarms()
{
    const auto& channels = model_.Channels();
    const bool raised = alarms_.Raised();
    QPalette line = alarmLine_->palette();
    line.setColor(QPalette::WindowText, raised ? kAlarmColour : palette().color(QPalette::WindowText));
    alarmLine_->setPalette(line);
    QFont font = alarmLine_->font();
    if (font.bold() != raised) {
        font.setBold(raised);
        alarmLine_->setFont(font);
    }
    for (size_t i = 0; i < strips_.size(); ++i) {
        Strip& strip = strips_[i];
        const bool alarm = alarms_.Monitor().Active(channels[i].Column);
        if (alarm == strip.Alarm)
            continue;
        strip.Alarm = alarm;
        const QColor colour = alarm ? kAlarmColour : strip.Colour;
        strip.Graph->setPen(QPen(colour, alarm ? 2 : 1));
        strip.Rect->setBackground(alarm ? QBrush(kAlarmBackground) : QBrush(Qt::NoBrush));
        PaintReadout(strip);
    }
}

void LiveWindow::PaintReadout(Strip& strip)
{
    // A value the LM did not send this time stays readable, dimmed.
    QColor colour = strip.Alarm ? kAlarmColour : strip.Colour;
    if (strip.Stale)
        colour = QColor(160, 160, 160);
    QPalette value = strip.Value->palette();
    value.setColor(QPalette::WindowText, colour);
    strip.Value->setPalette(value);
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

void LiveWindow::ShowConnectionLost(bool lost)
{
    if (lost == lost_)
        return;
    lost_ = lost;
    lostLine_->setVisible(lost);
    // The last values stay readable, but plainly not the engine's of now.
    if (lost) {
        auto* dim = new QGraphicsOpacityEffect(readouts_);
        dim->setOpacity(0.35);
        readouts_->setGraphicsEffect(dim);
        QApplication::beep();
    } else {
        readouts_->setGraphicsEffect(nullptr);
    }
    dash_->ShowConnectionLost(lost);
}

}  // namespace tessek
