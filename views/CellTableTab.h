#pragma once
// The log viewer's Cell table tab: the opened log sorted into cells (CellTableView), over
// the whole run or, when chosen, over the time range visible in the Channels tab. Window
// thread only.
#include <QWidget>

#include "views/ViewerTab.h"

class QCheckBox;

namespace tessek {

class CellTableView;
class LogViewModel;

class CellTableTab : public QWidget, public ViewerTab {
    Q_OBJECT
public:
    explicit CellTableTab(const LogViewModel& model, QWidget* parent = nullptr);

    void LogOpened(const OpenedLog& log) override;
    void VisibleRangeChanged() override;

    CellTableView* View() const { return view_; }

private:
    void ApplyRange();

    const LogViewModel& model_;
    CellTableView* view_;
    QCheckBox* visibleOnly_;
};

}  // namespace tessek
