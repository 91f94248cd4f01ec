#include "views/CellTableView.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/LogStatistics.h"
#include "analysis/LogViewModel.h"

namespace tessek {
namespace {

QString Title(const LogChannel& c)
{
    return QString::fromStdString(ChannelTitle(c));
}

QString Number(double v, int decimals)
{
    return QString::number(v, 'f', std::clamp(decimals, 0, 6));
}

}  // namespace

QColor CellColour(double t)
{
    t = std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.5;
    const QColor stops[] = {QColor(150, 190, 255), QColor(160, 230, 160), QColor(255, 150, 140)};
    const int i = t < 0.5 ? 0 : 1;
    const double f = t < 0.5 ? t * 2 : t * 2 - 1;
    const auto mix = [&](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * f)); };
    return QColor(mix(stops[i].red(), stops[i + 1].red()), mix(stops[i].green(), stops[i + 1].green()),
                  mix(stops[i].blue(), stops[i + 1].blue()));
}

CellTableView::CellTableView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    controls_ = new QHBoxLayout;
    const auto addCombo = [&](const QString& label, const char* name) {
        controls_->addWidget(new QLabel(label, this));
        auto* box = new QComboBox(this);
        box->setObjectName(name);
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        controls_->addWidget(box);
        return box;
    };
    x_ = addCombo(tr("X:"), "cellX");
    y_ = addCombo(tr("Y:"), "cellY");
    z_ = addCombo(tr("Value:"), "cellZ");
    statistic_ = addCombo(tr("Show:"), "cellStatistic");
    statistic_->addItems({tr("Mean"), tr("Minimum"), tr("Maximum"), tr("Count")});
    auto* copy = new QPushButton(tr("Copy"), this);
    copy->setObjectName("cellCopy");
    copy->setToolTip(tr("Puts the table on the clipboard as tab-separated text"));
    controls_->addWidget(copy);
    controls_->addStretch(1);
    layout->addLayout(controls_);

    auto* edges = new QFormLayout;
    xEdges_ = new QLineEdit(this);
    xEdges_->setObjectName("cellXEdges");
    yEdges_ = new QLineEdit(this);
    yEdges_->setObjectName("cellYEdges");
    for (QLineEdit* e : {xEdges_, yEdges_})
        e->setToolTip(tr("Bin edges, ascending, separated by spaces: n + 1 edges make n bins"));
    edges->addRow(tr("X edges:"), xEdges_);
    edges->addRow(tr("Y edges:"), yEdges_);
    layout->addLayout(edges);

    grid_ = new QTableWidget(this);
    grid_->setObjectName("cellGrid");
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(grid_, 1);
    summary_ = new QLabel(this);
    summary_->setObjectName("cellSummary");
    layout->addWidget(summary_);

    connect(x_, &QComboBox::currentIndexChanged, this, [this] { ChannelChosen(true); });
    connect(y_, &QComboBox::currentIndexChanged, this, [this] { ChannelChosen(false); });
    connect(z_, &QComboBox::currentIndexChanged, this, &CellTableView::Recompute);
    connect(statistic_, &QComboBox::currentIndexChanged, this, &CellTableView::ShowTable);
    // Recompute reads the edges; text that cannot be read is marked and sorts nothing.
    connect(xEdges_, &QLineEdit::editingFinished, this, &CellTableView::Recompute);
    connect(yEdges_, &QLineEdit::editingFinished, this, &CellTableView::Recompute);
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(CopyText()); });
}

void CellTableView::AddControl(QWidget* widget)
{
    controls_->insertWidget(controls_->count() - 1, widget);
}

void CellTableView::SetLog(const LogData* log)
{
    SetLiveLog(log, nullptr);
}

void CellTableView::SetLiveLog(const LogData* channels, const std::vector<std::vector<float>>* values)
{
    log_ = channels;
    floats_ = values;
    FillChannelChoices();
    Recompute();
}

size_t CellTableView::RowCount() const
{
    if (!log_)
        return 0;
    if (!floats_)
        return log_->Time.size();
    return floats_->empty() ? 0 : floats_->front().size();
}

void CellTableView::SetRange(std::optional<std::pair<double, double>> range)
{
    if (range == range_)
        return;
    range_ = range;
    Recompute();
}

void CellTableView::FillChannelChoices()
{
    const QSignalBlocker bx(x_), by(y_), bz(z_);
    for (QComboBox* box : {x_, y_, z_})
        box->clear();
    if (!log_)
        return;
    for (size_t c = 0; c < log_->Channels.size(); ++c) {
        if (log_->Channels[c].Raw)
            continue;
        for (QComboBox* box : {x_, y_, z_})
            box->addItem(Title(log_->Channels[c]), static_cast<qulonglong>(c));
    }
    const CellChoice choice = DefaultCellChoice(*log_);
    x_->setCurrentIndex(x_->findData(static_cast<qulonglong>(choice.X)));
    y_->setCurrentIndex(y_->findData(static_cast<qulonglong>(choice.Y)));
    z_->setCurrentIndex(z_->findData(static_cast<qulonglong>(choice.Z)));
    ResetEdges(xEdges_, choice.X);
    ResetEdges(yEdges_, choice.Y);
}

size_t CellTableView::ChannelOf(const QComboBox* box) const
{
    const QVariant chosen = box->currentData();
    return chosen.isValid() && log_ ? static_cast<size_t>(chosen.toULongLong()) : SIZE_MAX;
}

void CellTableView::ResetEdges(QLineEdit* edit, size_t channel)
{
    if (!log_ || channel >= log_->Channels.size()) {
        edit->clear();
        return;
    }
    const LogChannel& c = log_->Channels[channel];
    RangeStats s;
    if (floats_) {
        for (const float v : (*floats_)[channel]) {
            if (!std::isnan(v)) {
                s.Min = std::isnan(s.Min) ? v : std::min<double>(s.Min, v);
                s.Max = std::isnan(s.Max) ? v : std::max<double>(s.Max, v);
            }
        }
    } else {
        s = StatsOver(log_->Time, c.Values, -INFINITY, INFINITY);
    }
    edit->setText(QString::fromStdString(EdgesText(DefaultEdges(c.Name, c.Unit, s.Min, s.Max))));
}

void CellTableView::ChannelChosen(bool xAxis)
{
    ResetEdges(xAxis ? xEdges_ : yEdges_, ChannelOf(xAxis ? x_ : y_));
    Recompute();
}

CellStatistic CellTableView::Statistic() const
{
    return static_cast<CellStatistic>(std::max(statistic_->currentIndex(), 0));
}

void CellTableView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (stale_)
        Recompute();
}

void CellTableView::Recompute()
{
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    stale_ = false;
    std::string xError, yError;
    std::vector<double> xe = ParseEdges(xEdges_->text().toStdString(), xError);
    std::vector<double> ye = ParseEdges(yEdges_->text().toStdString(), yError);
    xEdges_->setStyleSheet(xError.empty() ? QString() : QStringLiteral("color: #b00000;"));
    yEdges_->setStyleSheet(yError.empty() ? QString() : QStringLiteral("color: #b00000;"));
    xEdges_->setToolTip(xError.empty() ? tr("Bin edges, ascending, separated by spaces: n + 1 edges make n bins")
                                       : QString::fromStdString(xError));
    yEdges_->setToolTip(yError.empty() ? tr("Bin edges, ascending, separated by spaces: n + 1 edges make n bins")
                                       : QString::fromStdString(yError));
    table_ = CellTable(std::move(xe), std::move(ye));
    added_ = 0;
    RowsAdded();
}

void CellTableView::RowsAdded()
{
    if (stale_)
        return;
    const size_t x = ChannelOf(x_), y = ChannelOf(y_), z = ChannelOf(z_);
    if (log_ && x < log_->Channels.size() && y < log_->Channels.size() && z < log_->Channels.size()) {
        const size_t n = RowCount();
        if (added_ < n && floats_) {
            const std::vector<std::vector<float>>& v = *floats_;
            for (size_t i = added_; i < n; ++i)
                table_.Add(v[x][i], v[y][i], v[z][i]);
        } else if (added_ < n) {
            const auto part = [&](const std::vector<double>& v) {
                return std::span<const double>(v).subspan(added_, std::min(v.size(), n) - added_);
            };
            const auto [from, to] = range_.value_or(std::pair(-INFINITY, INFINITY));
            table_.AddRange(part(log_->Time), part(log_->Channels[x].Values), part(log_->Channels[y].Values),
                            part(log_->Channels[z].Values), from, to);
        }
        added_ = n;
    }
    ShowTable();
}

void CellTableView::ShowTable()
{
    const int columns = static_cast<int>(table_.Columns()), rows = static_cast<int>(table_.Rows());
    const CellStatistic statistic = Statistic();
    const size_t z = ChannelOf(z_);
    const int decimals = log_ && z < log_->Channels.size() ? log_->Channels[z].Decimals : 2;
    const int shownDecimals = statistic == CellStatistic::Count  ? 0
                              : statistic == CellStatistic::Mean ? std::min(decimals + 1, 6)
                                                                 : decimals;
    grid_->setUpdatesEnabled(false);
    if (grid_->columnCount() != columns || grid_->rowCount() != rows) {
        grid_->setColumnCount(columns);
        grid_->setRowCount(rows);
    }
    QStringList xLabels, yLabels;
    // "500–1000", and "-10 – -5" where a minus sign would run into the dash.
    const auto range = [](const std::vector<double>& e, size_t i) {
        const QString dash = e[i + 1] < 0 ? QStringLiteral(" \u2013 ") : QStringLiteral("\u2013");
        return QString::fromStdString(EdgesText({e[i]})) + dash + QString::fromStdString(EdgesText({e[i + 1]}));
    };
    for (int c = 0; c < columns; ++c)
        xLabels << range(table_.XEdges(), static_cast<size_t>(c));
    for (int r = 0; r < rows; ++r)
        yLabels << range(table_.YEdges(), static_cast<size_t>(rows - 1 - r));
    grid_->setHorizontalHeaderLabels(xLabels);
    grid_->setVerticalHeaderLabels(yLabels);
    const auto [lo, hi] = table_.Span(statistic);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const Cell& cell = table_.At(static_cast<size_t>(c), static_cast<size_t>(rows - 1 - r));
            QTableWidgetItem* item = grid_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignCenter);
                grid_->setItem(r, c, item);
            }
            if (cell.Count == 0) {
                item->setText({});
                item->setToolTip({});
                item->setBackground(QBrush());
                continue;
            }
            const double v = cell.Value(statistic);
            item->setText(Number(v, shownDecimals));
            item->setBackground(CellColour(hi > lo ? (v - lo) / (hi - lo) : 0.5));
            item->setToolTip(tr("%1 samples\nmean %2, min %3, max %4")
                                 .arg(cell.Count)
                                 .arg(Number(cell.Value(CellStatistic::Mean), std::min(decimals + 1, 6)))
                                 .arg(Number(cell.Min, decimals))
                                 .arg(Number(cell.Max, decimals)));
        }
    }
    grid_->setUpdatesEnabled(true);
    QString text = tr("%1 samples in cells").arg(table_.Hits());
    if (table_.Outside() > 0)
        text += tr(", %1 outside the edges").arg(table_.Outside());
    if (table_.NoValue() > 0)
        text += tr(", %1 without a value").arg(table_.NoValue());
    if (range_)
        text += tr(" (%1 s to %2 s)").arg(range_->first, 0, 'f', 1).arg(range_->second, 0, 'f', 1);
    summary_->setText(text);
}

QString CellTableView::CopyText() const
{
    const size_t x = ChannelOf(x_), y = ChannelOf(y_);
    std::string corner;
    if (log_ && x < log_->Channels.size() && y < log_->Channels.size())
        corner = log_->Channels[y].Name + " \\ " + log_->Channels[x].Name;
    const size_t z = ChannelOf(z_);
    const int decimals = log_ && z < log_->Channels.size() ? log_->Channels[z].Decimals : 2;
    const int shown = Statistic() == CellStatistic::Mean ? std::min(decimals + 1, 6) : decimals;
    return QString::fromStdString(table_.Tsv(Statistic(), shown, corner));
}

}  // namespace tessek
