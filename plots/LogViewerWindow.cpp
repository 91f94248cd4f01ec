#include "plots/LogViewerWindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>

#include "logging/Units.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "plots/CellTableTab.h"
#include "plots/ChannelsTab.h"
#include "plots/PowerCurveTab.h"
#include "plots/ScatterTab.h"
#include "plots/ChannelDisplay.h"

namespace tessek {
namespace {

std::string SettingsPath()
{
    return ProgramFolder() + kSettingsFileName;
}

// Reads a log, shown in the units chosen in Tessek.ini; whatever goes wrong, even running
// out of memory, ends up in Error.
LogReadResult Read(const QString& path)
{
    try {
        LogReadResult read = ReadLogFile(QFile::encodeName(path).toStdString());
        ShowInUnits(read.Data, ReadUnitSystem(IniFile(SettingsPath())));
        return read;
    } catch (const std::exception& e) {
        LogReadResult failed;
        failed.Error = e.what();
        return failed;
    }
}

}  // namespace

LogViewerWindow::LogViewerWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Tessek Log Viewer"));
    auto* layout = new QVBoxLayout(this);
    BuildMenu();
    tabs_ = new QTabWidget(this);
    channels_ = new ChannelsTab(model_);
    power_ = new PowerCurveTab;
    connect(power_, &PowerCurveTab::AddRunRequested, this, &LogViewerWindow::AddRunClick);
    tabs_->addTab(channels_, tr("Channels"));
    tabs_->addTab(power_, tr("Power curve"));
    cells_ = new CellTableTab(model_);
    tabs_->addTab(cells_, tr("Cell table"));
    connect(channels_, &ChannelsTab::VisibleRangeChanged, cells_, &CellTableTab::VisibleRangeChanged);
    scatter_ = new ScatterTab(model_);
    tabs_->addTab(scatter_, tr("Scatter"));
    connect(channels_, &ChannelsTab::VisibleRangeChanged, scatter_, &ScatterTab::VisibleRangeChanged);
    layout->addWidget(tabs_, 1);
    status_ = new QLabel(tr("No log open: File > Open..."), this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    layout->addWidget(status_);
    resize(1200, 760);
}

LogViewerWindow::~LogViewerWindow() = default;

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
    metric->setChecked(ReadUnitSystem(IniFile(SettingsPath())) == UnitSystem::Metric);
    connect(metric, &QAction::toggled, this, &LogViewerWindow::SetMetricUnits);
    file->addSeparator();
    QAction* close = file->addAction(tr("&Close"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    static_cast<QVBoxLayout*>(layout())->setMenuBar(bar);
}

bool LogViewerWindow::OpenFile(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    LogReadResult read = Read(path);
    if (!read.Ok()) {
        ShowProblem(name + ": " + QString::fromStdString(read.Error));
        return false;
    }
    lastFolder_ = QFileInfo(path).absolutePath();
    path_ = path;
    PowerCurve curve = ComputePowerCurve(read.Data);
    model_.SetLog(std::move(read.Data));
    setWindowTitle(tr("Tessek Log Viewer - %1").arg(name));
    status_->setStyleSheet({});
    status_->setText(name + ": " + QString::fromStdString(read.Report.Summary()));
    QStringList examples;
    for (const std::string& e : read.Report.Examples)
        examples << QString::fromStdString(e);
    status_->setToolTip(examples.join('\n'));
    cells_->LogOpened();
    scatter_->LogOpened();
    channels_->LogOpened();
    power_->SetRun(name, std::move(curve));
    return true;
}

bool LogViewerWindow::AddPowerRun(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    LogReadResult read = Read(path);
    if (!read.Ok()) {
        ShowProblem(name + ": " + QString::fromStdString(read.Error));
        return false;
    }
    PowerCurve curve = ComputePowerCurve(read.Data);
    if (!curve.Ok()) {
        ShowProblem(name + ": " + QString::fromStdString(curve.Problem));
        return false;
    }
    lastFolder_ = QFileInfo(path).absolutePath();
    power_->AddRun(name, std::move(curve));
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
        IniFile ini(SettingsPath());
        WriteUnitSystem(ini, metric ? UnitSystem::Metric : UnitSystem::Imperial);
    } catch (const std::exception& e) {
        ShowProblem(tr("Units not saved: %1").arg(e.what()));
        return;
    }
    if (!path_.isEmpty())
        OpenFile(path_);
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
