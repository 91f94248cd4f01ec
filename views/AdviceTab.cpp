#include "views/AdviceTab.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

#include "analysis/Advice.h"
#include "analysis/CellTable.h"
#include "analysis/LogViewModel.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextNumbers.h"

namespace tessek {
namespace {

QString EdgeText(double v)
{
    return QString::fromStdString(EdgesText({v}));
}

// "500–1000", and "-10 – -5" where a minus sign would run into the dash.
QString Range(const std::vector<double>& e, size_t i)
{
    const QString dash = e[i + 1] < 0 ? QStringLiteral(" \u2013 ") : QStringLiteral("\u2013");
    return EdgeText(e[i]) + dash + EdgeText(e[i + 1]);
}

// White at 0, deeper with the size, full at `full`: red where the engine ran lean (fuel to
// add), blue where it ran rich (fuel to take out).
QColor SignColour(double v, double full)
{
    const int fade = static_cast<int>(std::lround(std::min(std::abs(v) / full, 1.0) * 140));
    return v >= 0 ? QColor(255, 255 - fade, 255 - fade) : QColor(255 - fade, 255 - fade / 2, 255);
}

QTableWidget* NewGrid(QWidget* parent, const char* name)
{
    auto* grid = new QTableWidget(parent);
    grid->setObjectName(name);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    return grid;
}

// Sizes the grid and labels its columns by `columns` and its rows by `rows` from the
// highest down.
void Shape(QTableWidget* grid, const std::vector<double>& columns, const std::vector<double>& rows)
{
    const int nc = columns.size() < 2 ? 0 : static_cast<int>(columns.size() - 1);
    const int nr = rows.size() < 2 ? 0 : static_cast<int>(rows.size() - 1);
    grid->clearContents();
    grid->setColumnCount(nc);
    grid->setRowCount(nr);
    QStringList xLabels, yLabels;
    for (int c = 0; c < nc; ++c)
        xLabels << Range(columns, static_cast<size_t>(c));
    for (int r = nr - 1; r >= 0; --r)
        yLabels << Range(rows, static_cast<size_t>(r));
    grid->setHorizontalHeaderLabels(xLabels);
    grid->setVerticalHeaderLabels(yLabels);
}

QTableWidgetItem* Put(QTableWidget* grid, int row, int column, const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    grid->setItem(row, column, item);
    return item;
}

}  // namespace

struct AdviceTab::State {
    AdviceSettings Settings;
    Advice Result;
    AdaptivesChange Adaptives;
};

AdviceTab::~AdviceTab() = default;

const Advice& AdviceTab::Result() const
{
    return state_->Result;
}

const AdaptivesChange& AdviceTab::Adaptives() const
{
    return state_->Adaptives;
}

AdviceTab::AdviceTab(const LogViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), state_(std::make_unique<State>())
{
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    const QString edgesTip = tr("Bin edges, ascending, separated by spaces: n + 1 edges make n bins");
    const auto addEdges = [&](const QString& label, const char* name) {
        controls->addWidget(new QLabel(label, this));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setToolTip(edgesTip);
        controls->addWidget(edit, 1);
        connect(edit, &QLineEdit::editingFinished, this, &AdviceTab::Recompute);
        return edit;
    };
    rpmEdges_ = addEdges(tr("Engine speed edges:"), "adviceRpmEdges");
    mapEdges_ = addEdges(tr("MAP edges:"), "adviceMapEdges");
    auto* copy = new QPushButton(tr("Copy"), this);
    copy->setObjectName("adviceCopy");
    copy->setToolTip(tr("Puts the page shown on the clipboard as tab-separated text"));
    auto* exportCsv = new QPushButton(tr("Export CSV..."), this);
    exportCsv->setObjectName("adviceExport");
    controls->addWidget(copy);
    controls->addWidget(exportCsv);
    layout->addLayout(controls);

    pages_ = new QTabWidget(this);
    pages_->setObjectName("advicePages");
    fuel_ = NewGrid(this, "adviceFuel");
    auto* fuelPage = new QWidget(this);
    auto* fuelLayout = new QVBoxLayout(fuelPage);
    fuelLayout->addWidget(fuel_, 1);
    auto* legend = new QLabel(tr("Fuel to add in % (red: ran lean) or take out (blue: ran rich) against the target "
                                 "AFR. (n): only n samples, too few for a number; *: clipped at the limit. Each "
                                 "cell's tooltip gives its samples and mean AFR."),
                              fuelPage);
    legend->setWordWrap(true);
    fuelLayout->addWidget(legend);
    pages_->addTab(fuelPage, tr("Fuel"));
    spark_ = NewGrid(this, "adviceSpark");
    pages_->addTab(spark_, tr("Spark"));
    targets_ = NewGrid(this, "adviceTargets");
    targets_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed);
    targets_->setToolTip(tr("Target AFR per engine speed (across) and boost in psi (down); edit a cell to change it"));
    pages_->addTab(targets_, tr("Target AFR"));
    auto* delayPage = new QWidget(this);
    auto* delayForm = new QFormLayout(delayPage);
    delayRpm_ = new QLineEdit(delayPage);
    delayRpm_->setObjectName("adviceDelayRpm");
    delaySeconds_ = new QLineEdit(delayPage);
    delaySeconds_->setObjectName("adviceDelaySeconds");
    delayForm->addRow(tr("Engine speeds (rpm):"), delayRpm_);
    delayForm->addRow(tr("Delays (s):"), delaySeconds_);
    auto* delayNote = new QLabel(tr("The wideband reads the exhaust of a moment earlier: each AFR reading is matched "
                                    "with the sample this long before it. Between the points the delay is "
                                    "interpolated."),
                                 delayPage);
    delayNote->setWordWrap(true);
    delayForm->addRow(delayNote);
    connect(delayRpm_, &QLineEdit::editingFinished, this, &AdviceTab::DelayEdited);
    connect(delaySeconds_, &QLineEdit::editingFinished, this, &AdviceTab::DelayEdited);
    pages_->addTab(delayPage, tr("Sensor delay"));
    auto* adaptivesPage = new QWidget(this);
    auto* adaptivesLayout = new QVBoxLayout(adaptivesPage);
    adaptivesGrid_ = NewGrid(adaptivesPage, "adviceAdaptives");
    adaptivesNote_ = new QLabel(adaptivesPage);
    adaptivesNote_->setWordWrap(true);
    adaptivesLayout->addWidget(adaptivesGrid_, 1);
    adaptivesLayout->addWidget(adaptivesNote_);
    pages_->addTab(adaptivesPage, tr("LM adaptives"));
    layout->addWidget(pages_, 1);
    summary_ = new QLabel(this);
    summary_->setObjectName("adviceSummary");
    summary_->setWordWrap(true);
    layout->addWidget(summary_);

    connect(targets_, &QTableWidget::itemChanged, this, &AdviceTab::TargetEdited);
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(PageText('\t')); });
    connect(exportCsv, &QPushButton::clicked, this, &AdviceTab::ExportClick);
}

void AdviceTab::LogOpened(const OpenedLog& log)
{
    settingsProblem_.clear();
    std::optional<IniFile> ini;
    try {
        ini.emplace(SettingsFilePath());
        std::string targetProblem, delayProblem;
        state_->Settings.Target = ReadAfrTargets(*ini, &targetProblem);
        state_->Settings.Delay = ReadDelays(*ini, &delayProblem);
        settingsProblem_ = QString::fromStdString(targetProblem + (delayProblem.empty() ? "" : " " + delayProblem));
    } catch (const std::exception& e) {
        settingsProblem_ = QString::fromStdString(e.what());
    }
    // The grid's ranges named as the settings file names them, where it could be read.
    state_->Adaptives = AdaptivesBeside(log.NativePath, ini ? &*ini : nullptr);
    if (!log.Reloaded) {
        rpmEdges_->clear();
        mapEdges_->clear();
    }
    delayRpm_->setText(QString::fromStdString(EdgesText(state_->Settings.Delay.Rpm)));
    QStringList seconds;
    for (double s : state_->Settings.Delay.Seconds)
        seconds << QString::fromStdString(FormatFloat(s));
    delaySeconds_->setText(seconds.join(' '));
    ShowTargets();
    ShowAdaptives();
    Recompute();
}

void AdviceTab::Recompute()
{
    // Edges that cannot be read are marked and the bins before them stay.
    for (auto [edit, edges] :
         {std::pair{rpmEdges_, &state_->Settings.RpmEdges}, {mapEdges_, &state_->Settings.MapEdges}}) {
        std::string error;
        std::vector<double> parsed = ParseEdges(edit->text().toStdString(), error);
        if (edit->text().trimmed().isEmpty())
            edges->clear();
        else if (error.empty())
            *edges = std::move(parsed);
        edit->setStyleSheet(error.empty() || edit->text().trimmed().isEmpty() ? QString()
                                                                              : QStringLiteral("color: #b00000;"));
    }
    state_->Result = model_.Empty() ? Advice{} : ComputeAdvice(model_.Log(), state_->Settings);
    // An empty field shows the default bins chosen; text the user typed stays as it is.
    if (state_->Result.Problem.empty() && !model_.Empty()) {
        if (rpmEdges_->text().trimmed().isEmpty())
            rpmEdges_->setText(QString::fromStdString(EdgesText(state_->Result.RpmEdges)));
        if (mapEdges_->text().trimmed().isEmpty())
            mapEdges_->setText(QString::fromStdString(EdgesText(state_->Result.MapEdges)));
    }
    ShowFuel();
    ShowSpark();
    QString text = state_->Result.Problem.empty() ? QString::fromStdString(state_->Result.Summary()) + '.'
                                                  : QString::fromStdString(state_->Result.Problem);
    if (!settingsProblem_.isEmpty())
        text += ' ' + settingsProblem_;
    summary_->setText(text);
}

void AdviceTab::ShowFuel()
{
    Shape(fuel_, state_->Result.RpmEdges, state_->Result.MapEdges);
    const int rows = fuel_->rowCount();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < fuel_->columnCount(); ++c) {
            const FuelCell& cell = state_->Result.FuelAt(static_cast<size_t>(c), static_cast<size_t>(rows - 1 - r));
            if (cell.Samples == 0)
                continue;
            const QString samples = tr("%1 samples, mean AFR %2, target %3")
                                        .arg(cell.Samples)
                                        .arg(cell.MeanAfr, 0, 'f', 2)
                                        .arg(cell.TargetAfr, 0, 'f', 1);
            if (!cell.Enough()) {
                QTableWidgetItem* item = Put(fuel_, r, c, QStringLiteral("(%1)").arg(cell.Samples));
                item->setForeground(QColor(120, 120, 120));
                item->setToolTip(samples + tr("; at least %1 are needed").arg(state_->Result.Limits.MinSamples));
                continue;
            }
            const QString number = QString::number(std::abs(cell.Percent) < 0.05 ? 0.0 : cell.Percent, 'f', 1);
            QTableWidgetItem* item =
                Put(fuel_, r, c,
                    (cell.Percent >= 0.05 ? "+" : "") + number + (cell.Clipped ? QStringLiteral("*") : QString()));
            item->setBackground(SignColour(cell.Percent, state_->Result.Limits.ClipPercent));
            item->setForeground(Qt::black);
            item->setToolTip(samples + (cell.Clipped ? tr("\nclipped at %1 %: correct this and log again")
                                                           .arg(state_->Result.Limits.ClipPercent, 0, 'f', 0)
                                                     : QString()));
            if (cell.Clipped) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
        }
    }
}

void AdviceTab::ShowSpark()
{
    Shape(spark_, state_->Result.RpmEdges, state_->Result.MapEdges);
    if (state_->Result.Spark.empty())
        return;
    const int rows = spark_->rowCount();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < spark_->columnCount(); ++c) {
            const SparkCell& cell = state_->Result.SparkAt(static_cast<size_t>(c), static_cast<size_t>(rows - 1 - r));
            if (cell.Samples == 0)
                continue;
            QTableWidgetItem* item = Put(spark_, r, c, QString::number(-cell.RemoveDegrees));
            item->setBackground(SignColour(-cell.RemoveDegrees, 6));
            item->setForeground(Qt::black);
            item->setToolTip(tr("%1 samples, %2 with knock retard, the largest %3 degrees: take %4 degrees out")
                                 .arg(cell.Samples)
                                 .arg(cell.Knocked)
                                 .arg(cell.MaxRetard, 0, 'f', 1)
                                 .arg(cell.RemoveDegrees));
        }
    }
}

void AdviceTab::ShowTargets()
{
    const QSignalBlocker block(targets_);
    const AfrTargetTable& t = state_->Settings.Target;
    Shape(targets_, t.RpmEdges, t.BoostEdges);
    const int rows = targets_->rowCount();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < targets_->columnCount(); ++c)
            Put(targets_, r, c,
                QString::number(t.Afr[static_cast<size_t>(rows - 1 - r) * t.Columns() + static_cast<size_t>(c)], 'f',
                                1));
}

void AdviceTab::TargetEdited(QTableWidgetItem* item)
{
    AfrTargetTable& t = state_->Settings.Target;
    const std::optional<double> afr = ParseFloat(item->text().toStdString());
    const size_t row = static_cast<size_t>(targets_->rowCount() - 1 - item->row());
    double& cell = t.Afr[row * t.Columns() + static_cast<size_t>(item->column())];
    if (afr && *afr >= 6 && *afr <= 25) {
        cell = *afr;
        Keep([&](IniFile& ini) { WriteAfrTargets(ini, t); });
        Recompute();
    }
    const QSignalBlocker block(targets_);
    item->setText(QString::number(cell, 'f', 1));
}

void AdviceTab::DelayEdited()
{
    std::string problem;
    const std::optional<DelayTable> delay =
        ParseDelays(delayRpm_->text().toStdString(), delaySeconds_->text().toStdString(), problem);
    for (QLineEdit* edit : {delayRpm_, delaySeconds_}) {
        edit->setStyleSheet(delay ? QString() : QStringLiteral("color: #b00000;"));
        edit->setToolTip(QString::fromStdString(problem));
    }
    if (!delay || (delay->Rpm == state_->Settings.Delay.Rpm && delay->Seconds == state_->Settings.Delay.Seconds))
        return;
    state_->Settings.Delay = *delay;
    Keep([&](IniFile& ini) { WriteDelays(ini, state_->Settings.Delay); });
    Recompute();
}

template <class Write>
void AdviceTab::Keep(Write write)
{
    try {
        IniFile ini(SettingsFilePath());
        write(ini);
        settingsProblem_.clear();
    } catch (const std::exception& e) {
        settingsProblem_ = tr("Not kept: %1").arg(QString::fromStdString(e.what()));
    }
}

void AdviceTab::ShowAdaptives()
{
    const AdaptivesChange& a = state_->Adaptives;
    adaptivesGrid_->clear();
    adaptivesGrid_->setRowCount(0);
    adaptivesGrid_->setColumnCount(0);
    if (!a.HasStart && !a.HasEnd) {
        adaptivesNote_->setText(
            tr("This run kept no reading of the LM's adaptive cells: set Read=1 in the section "
               "[RunAdaptives] of Tessek.ini before logging, and each run reads them at its "
               "start and end."));
        return;
    }
    // The grid as text, then each field in its cell: one source for screen, Copy and CSV.
    const QStringList lines = QString::fromStdString(a.Table('\t')).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const QStringList header = lines.value(0).split('\t');
    adaptivesGrid_->setColumnCount(static_cast<int>(header.size()) - 1);
    adaptivesGrid_->setRowCount(static_cast<int>(lines.size()) - 1);
    adaptivesGrid_->setHorizontalHeaderLabels(header.mid(1));
    QStringList rowLabels;
    for (int r = 1; r < lines.size(); ++r) {
        const QStringList fields = lines[r].split('\t');
        rowLabels << fields.value(0);
        const bool change = fields.value(0).endsWith(QStringLiteral("change"));
        for (int c = 1; c < fields.size(); ++c) {
            if (fields[c].isEmpty())
                continue;
            QTableWidgetItem* item = Put(adaptivesGrid_, r - 1, c - 1, fields[c]);
            item->setBackground(SignColour(fields[c].toDouble(), change ? 10 : 25));
            item->setForeground(Qt::black);
        }
    }
    adaptivesGrid_->setVerticalHeaderLabels(rowLabels);
    adaptivesNote_->setText(
        tr("Fuel trims the LM learned, in %: positive where it added fuel. %1")
            .arg(a.HasEnd ? tr("Where no wideband was fitted, the end reading's trims are the correction for the "
                               "closed-loop cells: carry them into the calibration.")
                          : QString()));
}

QString AdviceTab::PageText(char separator) const
{
    const QWidget* page = pages_->currentWidget();
    if (page && page->isAncestorOf(adaptivesGrid_))
        return QString::fromStdString(state_->Adaptives.Table(separator));
    if (page == spark_)
        return QString::fromStdString(state_->Result.SparkTable(separator));
    return QString::fromStdString(state_->Result.FuelTable(separator));
}

std::string AdviceTab::ExportCsv(const std::string& path) const
{
    try {
        WriteFileAtomically(path, PageText(',').toStdString());
        return {};
    } catch (const std::exception& e) {
        return e.what();
    }
}

void AdviceTab::ExportClick()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export the page as CSV"), {}, tr("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    const std::string problem = ExportCsv(QFile::encodeName(path).toStdString());
    if (!problem.empty())
        summary_->setText(QString::fromStdString(problem));
}

}  // namespace tessek
