#include "views/LiveCellTable.h"

#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstddef>
#include <limits>

#include "logging/ColumnNames.h"
#include "views/CellTableView.h"

namespace tessek {

LiveCellTable::LiveCellTable(QWidget* parent, size_t maxSamples)
    : QWidget(parent), view_(new CellTableView(this)), maxSamples_(std::max<size_t>(maxSamples, 2))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    auto* reset = new QPushButton(tr("Reset"), this);
    reset->setObjectName("cellReset");
    reset->setToolTip(tr("Starts the table over from the next sample"));
    connect(reset, &QPushButton::clicked, this, &LiveCellTable::Reset);
    view_->AddControl(reset);
}

void LiveCellTable::Start(const std::vector<RunColumn>& columns)
{
    channels_ = LogData{};
    channels_.TimeName = kTimeColumn;
    values_.clear();
    columns_.clear();
    sourceUnits_.clear();
    conversions_.clear();
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].Name == kSkipTitle)
            continue;
        const std::optional<UnitConversion> conversion = RunConversionTo(columns[i].Unit, units_);
        channels_.Channels.push_back({columns[i].Name,
                                      conversion ? std::string(conversion->Unit) : columns[i].Unit,
                                      false,
                                      columns[i].Decimals,
                                      {}});
        columns_.push_back(i);
        sourceUnits_.push_back(columns[i].Unit);
        conversions_.push_back(conversion);
    }
    values_.resize(columns_.size());
    shown_ = 0;
    view_->SetLiveLog(&channels_, &values_);
}

void LiveCellTable::Add(const RunSample& sample)
{
    if (!opened_ || values_.empty())
        return;
    if (Samples() >= maxSamples_) {
        const auto half = static_cast<std::ptrdiff_t>(maxSamples_ / 2);
        for (std::vector<float>& v : values_)
            v.erase(v.begin(), v.begin() + half);
        shown_ = 0;
        view_->Recompute();
    }
    for (size_t c = 0; c < columns_.size(); ++c) {
        const size_t i = columns_[c];
        const std::optional<double> v = i < sample.Values.size() ? sample.Values[i] : std::nullopt;
        const std::optional<double> shown = v && conversions_[c] ? conversions_[c]->Apply(*v) : v;
        values_[c].push_back(shown ? static_cast<float>(*shown) : std::numeric_limits<float>::quiet_NaN());
    }
}

void LiveCellTable::SetUnits(UnitSystem units)
{
    units_ = units;
    for (size_t c = 0; c < columns_.size(); ++c) {
        const UnitConversion from = conversions_[c].value_or(UnitConversion{});
        const std::optional<UnitConversion> to = RunConversionTo(sourceUnits_[c], units);
        const UnitConversion target = to.value_or(UnitConversion{});
        for (float& v : values_[c])
            v = static_cast<float>(target.Apply((v - from.Offset) / from.Scale));
        channels_.Channels[c].Unit = to ? std::string(to->Unit) : sourceUnits_[c];
        conversions_[c] = to;
    }
    shown_ = 0;
    view_->SetLiveLog(&channels_, &values_);
}

void LiveCellTable::Reset()
{
    for (std::vector<float>& v : values_)
        v.clear();
    shown_ = 0;
    view_->Recompute();
}

void LiveCellTable::Refresh()
{
    if (!isVisible() || shown_ == Samples())
        return;
    view_->RowsAdded();
    shown_ = Samples();
}

void LiveCellTable::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    opened_ = true;
}

}  // namespace tessek
