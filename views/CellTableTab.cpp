#include "views/CellTableTab.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "analysis/LogViewModel.h"
#include "views/CellTableView.h"

namespace tessek {

CellTableTab::CellTableTab(const LogViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model), view_(new CellTableView(this)), visibleOnly_(new QCheckBox(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    visibleOnly_->setText(tr("Visible range only"));
    visibleOnly_->setObjectName("cellVisibleOnly");
    visibleOnly_->setToolTip(tr("Only the samples in the time range the Channels tab shows"));
    view_->AddControl(visibleOnly_);
    connect(visibleOnly_, &QCheckBox::toggled, this, &CellTableTab::ApplyRange);
}

void CellTableTab::LogOpened(const OpenedLog& /*log*/)
{
    view_->SetRange(std::nullopt);
    view_->SetLog(&model_.Log());
    ApplyRange();
}

void CellTableTab::VisibleRangeChanged()
{
    if (visibleOnly_->isChecked())
        ApplyRange();
}

void CellTableTab::ApplyRange()
{
    if (visibleOnly_->isChecked() && !model_.Empty())
        view_->SetRange(std::pair(model_.From(), model_.To()));
    else
        view_->SetRange(std::nullopt);
}

}  // namespace tessek
