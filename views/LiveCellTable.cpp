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
    data_ = LogData{};
    data_.TimeName = kTimeColumn;
    columns_.clear();
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].Name == kSkipTitle)
            continue;
        data_.Channels.push_back({columns[i].Name, columns[i].Unit, false, columns[i].Decimals, {}});
        columns_.push_back(i);
    }
    shown_ = 0;
    view_->SetLog(&data_);
}

void LiveCellTable::Add(const RunSample& sample)
{
    if (data_.Time.size() >= maxSamples_) {
        const auto half = static_cast<std::ptrdiff_t>(maxSamples_ / 2);
        data_.Time.erase(data_.Time.begin(), data_.Time.begin() + half);
        for (LogChannel& c : data_.Channels)
            c.Values.erase(c.Values.begin(), c.Values.begin() + half);
        shown_ = 0;
        view_->Recompute();
    }
    data_.Time.push_back(sample.Time);
    for (size_t c = 0; c < columns_.size(); ++c) {
        const size_t i = columns_[c];
        const std::optional<double> v = i < sample.Values.size() ? sample.Values[i] : std::nullopt;
        data_.Channels[c].Values.push_back(v.value_or(std::numeric_limits<double>::quiet_NaN()));
    }
}

void LiveCellTable::Reset()
{
    data_.Time.clear();
    for (LogChannel& c : data_.Channels)
        c.Values.clear();
    shown_ = 0;
    view_->Recompute();
}

void LiveCellTable::Refresh()
{
    if (!isVisible() || shown_ == data_.Time.size())
        return;
    view_->RowsAdded();
    shown_ = data_.Time.size();
}

}  // namespace tessek
