#include "views/LogViewerWindow.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>

#include "analysis/ChannelDisplay.h"
#include "dialogs/CalculatedChannelsDialog.h"
#include "logfiles/LogLoader.h"
#include "logging/Units.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "views/AdviceTab.h"
#include "views/CellTableTab.h"
#include "views/ChannelsTab.h"
#include "views/PlaybackWindow.h"
#include "views/PowerCurveTab.h"
#include "views/ScatterTab.h"
#include "views/ViewerTab.h"

namespace tessek {
namespace {

// How often the progress of a read is shown, and how often the file is looked at for
// growth (ms); the steps of the progress bar.
constexpr int kProgressIntervalMs = 50;
constexpr int kWatchIntervalMs = 1000;
constexpr int kReloadCostFactor = 10;
constexpr int kProgressSteps = 1000;
// A read this short (ms) keeps the window waiting without showing any progress.
constexpr int kQuickReadMs = 100;

}  // namespace

template <class Tab>
Tab* LogViewerWindow::AddTab(Tab* tab, const QString& title)
{
    tabs_->addTab(tab, title);
    viewerTabs_.push_back(tab);
    tab->UnitsChanged(ReadUnitSystem(IniFile(SettingsFilePath())));
    return tab;
}

LogViewerWindow::LogViewerWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Tessek Log Viewer"));
    auto* layout = new QVBoxLayout(this);
    BuildMenu();
    tabs_ = new QTabWidget(this);
    // The tabs, one line each.
    channels_ = AddTab(new ChannelsTab(model_), tr("Channels"));
    power_ = AddTab(new PowerCurveTab(model_), tr("Power curve"));
    AddTab(new CellTableTab(model_), tr("Cell table"));
    AddTab(new ScatterTab(model_), tr("Scatter"));
    AddTab(new AdviceTab(model_), tr("Advice"));
    connect(channels_, &ChannelsTab::RangeChanged, this, [this] {
        for (ViewerTab* tab : viewerTabs_)
            tab->VisibleRangeChanged();
    });
    connect(power_, &PowerCurveTab::AddRunRequested, this, &LogViewerWindow::AddRunClick);
    layout->addWidget(tabs_, 1);
    status_ = new QLabel(tr("No log open: File > Open..."), this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status_, 1);
    play_ = new QPushButton(tr("&Play"), this);
    play_->setObjectName("btnPlay");
    play_->setToolTip(tr("Plays the log back through Tessek Live and its dash"));
    play_->setEnabled(false);
    connect(play_, &QPushButton::clicked, this, &LogViewerWindow::PlayLog);
    statusRow->addWidget(play_);
    auto* formulas = new QPushButton(tr("F&ormulas..."), this);
    formulas->setObjectName("btnFormulas");
    formulas->setToolTip(tr("Edits the calculated channels, which every log shown gains"));
    connect(formulas, &QPushButton::clicked, this, &LogViewerWindow::EditFormulas);
    statusRow->addWidget(formulas);
    layout->addLayout(statusRow);
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
    // Units of the viewer, the live chart and new data logs, kept in Tessek.ini.
    QAction* metric = file->addAction(tr("&Metric units"));
    metric->setObjectName("actMetricUnits");
    metric->setCheckable(true);
    metric->setChecked(ReadUnitSystem(IniFile(SettingsFilePath())) == UnitSystem::Metric);
    connect(metric, &QAction::toggled, this, &LogViewerWindow::SetMetricUnits);
    file->addSeparator();
    QAction* close = file->addAction(tr("&Close"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    static_cast<QVBoxLayout*>(layout())->setMenuBar(bar);
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
    AddCalculated(read->Data);
    ShowInUnits(read->Data, ReadUnitSystem(IniFile(SettingsFilePath())));
    const double from = model_.From(), to = model_.To(), cursor = model_.Cursor();
    nativePath_ = nativePath;
    watch_ = std::move(watch);
    lastFolder_ = QFileInfo(path).absolutePath();
    model_.SetLog(std::move(read->Data));
    setWindowTitle(tr("Tessek Log Viewer - %1").arg(name));
    status_->setStyleSheet({});
    status_->setText(name + ": " + QString::fromStdString(read->Report.Summary()));
    QStringList examples;
    for (const std::string& e : read->Report.Examples)
        examples << QString::fromStdString(e);
    status_->setToolTip(examples.join('\n'));
    if (keepView) {
        model_.SetVisible(from, to);
        model_.SetCursor(cursor);
    }
    for (ViewerTab* tab : viewerTabs_)
        tab->LogOpened({name, keepView, nativePath});
    play_->setEnabled(true);
    FitOnScreen();
    // A long log growing during a run is read again less often, so that reading it takes
    // no more than a small share of the window's time.
    reloadEveryMs_ = std::max<qint64>(kWatchIntervalMs, kReloadCostFactor * cost.elapsed());
    shown_.start();
    return true;
}

void LogViewerWindow::AddCalculated(LogData& log)
{
    std::vector<CalculatedChannel> channels;
    try {
        channels = LoadCalculatedChannels(IniFile(SettingsFilePath()));
    } catch (const std::exception&) {
        return;  // settings that cannot be read add no channels; the log still shows
    }
    AddCalculatedChannels(log, std::move(channels));
}

void LogViewerWindow::EditFormulas()
{
    std::vector<std::string> names;
    std::vector<size_t> columns;
    for (size_t c = 0; c < model_.ChannelCount(); ++c) {
        if (!model_.Log().Channels[c].Raw) {
            names.push_back(model_.Log().Channels[c].Name);
            columns.push_back(c);
        }
    }
    const auto current = [this, columns]() -> std::optional<ChannelSample> {
        if (model_.Empty())
            return std::nullopt;
        ChannelSample sample{model_.Cursor(), {}};
        for (const size_t c : columns) {
            const double value = model_.CursorValue(c);
            sample.Values.push_back(std::isnan(value) ? std::nullopt : std::optional(value));
        }
        return sample;
    };
    // The log is read again, so that its channels follow the formulas as edited.
    if (CalculatedChannelsDialog::EditOverColumns(SettingsFilePath(), names, current, this) && !nativePath_.empty())
        Show(nativePath_, true);
}

void LogViewerWindow::FitOnScreen()
{
    QScreen* own = screen();
    if (!own || !isVisible() || isMaximized() || isFullScreen())
        return;
    const QRect room = own->availableGeometry();
    if (room.contains(frameGeometry()))
        return;
    const QSize border = frameGeometry().size() - size();
    resize(size().boundedTo(room.size() - border).expandedTo(minimumSize()));
    const QRect frame = frameGeometry();
    move(std::clamp(frame.left(), room.left(), std::max(room.left(), room.right() + 1 - frame.width())),
         std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() + 1 - frame.height())));
}

bool LogViewerWindow::PlayLog()
{
    if (nativePath_.empty())
        return false;
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(nativePath_))).fileName();
    // Read again: the view holds the log in the units shown, a playback converts as a run does.
    std::optional<LogReadResult> read = Read(nativePath_);
    if (!read)
        return false;
    if (!read->Ok()) {
        ShowProblem(name + ": " + QString::fromStdString(read->Error));
        return false;
    }
    auto* live = new PlaybackWindow(std::move(read->Data), name, SettingsFilePath(), this);
    live->setAttribute(Qt::WA_DeleteOnClose);
    connect(live, &LiveWindow::ViewLogRequested, this, [this] {
        raise();
        activateWindow();
    });
    live->show();
    live->Start();
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
    ShowInUnits(read->Data, ReadUnitSystem(IniFile(SettingsFilePath())));
    if (const std::string problem = power_->AddRun(name, read->Data); !problem.empty()) {
        ShowProblem(name + ": " + QString::fromStdString(problem));
        return false;
    }
    lastFolder_ = QFileInfo(path).absolutePath();
    return true;
}

void LogViewerWindow::SetTimeRange(double from, double to)
{
    channels_->ShowRange(from, to);
}

void LogViewerWindow::ShowWholeRun()
{
    channels_->ShowWholeRun();
}

void LogViewerWindow::SetCursorTime(double t)
{
    channels_->SetCursorTime(t);
}

void LogViewerWindow::SetMetricUnits(bool metric)
{
    try {
        IniFile ini(SettingsFilePath());
        WriteUnitSystem(ini, metric ? UnitSystem::Metric : UnitSystem::Imperial);
    } catch (const std::exception& e) {
        ShowProblem(tr("Units not saved: %1").arg(e.what()));
        return;
    }
    for (ViewerTab* tab : viewerTabs_)
        tab->UnitsChanged(metric ? UnitSystem::Metric : UnitSystem::Imperial);
    if (!nativePath_.empty())
        OpenNativeFile(nativePath_);
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
