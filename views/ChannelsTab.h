#pragma once
// The log viewer's Channels tab: a table of the log's channels (check box, value at the
// cursor, min, max and mean over the visible time range, a check box that draws the strip
// as its moving mean) and one strip per checked channel,
// each with its own value scale, all on one time axis. The wheel zooms the time axis around
// the pointer, dragging pans, a double click shows the whole run; a cursor line follows the
// pointer. With the strips focused (a click, or Tab from the table), + and - zoom around
// the cursor, Left and Right pan by a quarter of the view, Home shows the whole run, and
// "," and "." move the cursor back and on by one sample. The log's markers are vertical lines with their numbers, and a
// list under the table shows them: a click centres the view on one. Each strip draws a min/max thinning of its channel
// (one bucket per pixel column), so no peak is lost at any zoom. Everything it shows comes from the LogViewModel, which
// the window owns. Window thread only.
#include <QSplitter>
#include <memory>
#include <string>
#include <vector>

#include "views/StripPalette.h"
#include "views/ViewerTab.h"

class QCPAxisRect;
class QCPGraph;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QListWidget;
class QMouseEvent;
class QTableWidget;
class QTableWidgetItem;

namespace tessek {

class LogViewModel;

class ChannelsTab : public QSplitter, public ViewerTab {
    Q_OBJECT
public:
    explicit ChannelsTab(LogViewModel& model, QWidget* parent = nullptr);
    ~ChannelsTab() override;

    // A table row per channel of the model's log, the start channels checked; for the log
    // shown read again, the channels checked before stay checked, each in its colour, and
    // the model's visible range and cursor are shown.
    void LogOpened(const OpenedLog& log) override;
    // The names of the checked channels, in table order.
    std::vector<std::string> CheckedChannels() const;
    // Shows the time range `from`..`to` (s), as the model keeps it, in every strip.
    void ShowRange(double from, double to);
    void ShowWholeRun();
    // Puts the cursor at `t` seconds and shows every channel's value there.
    void SetCursorTime(double t);
    // Centres the visible range on the log's marker `index` (in time order), keeping its
    // width, with the cursor on it.
    void JumpToMarker(size_t index);

signals:
    // The model's visible time range changed (a zoom, a pan, a new log).
    void RangeChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Strip;

    // A table row per channel of the model's log, checked where `shown`; the marker list.
    void FillTable(const std::vector<bool>& shown);
    void RebuildStrips();
    // Shows the model's visible range in every strip; redraws them and tells the other tabs
    // when it `changed`.
    void ApplyRange(bool changed);
    void RefreshVisibleRange();
    void RefreshCursorColumn();
    void OnPlotMouseMove(QMouseEvent* event);
    void OnChannelItemChanged(QTableWidgetItem* item);

    LogViewModel& model_;
    std::vector<std::string> names_;  // of the channels in the table
    QTableWidget* table_ = nullptr;
    QLabel* markersLabel_ = nullptr;
    QListWidget* markers_ = nullptr;
    QCustomPlot* plot_;
    StripStack stack_;
    PaletteSlots palette_;
    std::vector<std::unique_ptr<Strip>> strips_;
    bool syncing_ = false;
};

}  // namespace tessek
