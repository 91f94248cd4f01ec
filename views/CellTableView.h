#pragma once
// A cell table on screen, for the log viewer's Cell table tab and the live window: the
// choice of X, Y and Z channels and of the statistic, the bin edges of X and Y as editable
// text, and the grid (highest Y on top), each cell showing the statistic on a colour scale
// from the smallest to the largest shown, with its hit count and all its figures in its
// tooltip; empty cells stay blank. Copy puts the table on the clipboard as tab-separated
// text. While the view is hidden, sorting waits until it is shown, so a log opens without
// the cost of a table nobody looks at. Window thread only.
#include <QWidget>
#include <optional>
#include <utility>
#include <vector>

#include "analysis/CellTable.h"
#include "logfiles/LogFile.h"

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace tessek {

class CellTableView : public QWidget {
    Q_OBJECT
public:
    explicit CellTableView(QWidget* parent = nullptr);

    // The log to sort, kept alive (and only appended to) by the caller until the next call;
    // chooses the default channels and their edges.
    void SetLog(const LogData* log);
    // The same for a live run kept as floats: `channels` names the channels (their values
    // unused), `values` holds each channel's values, all of one length.
    void SetLiveLog(const LogData* channels, const std::vector<std::vector<float>>* values);
    // Only the samples in [from, to] (s), or all of them.
    void SetRange(std::optional<std::pair<double, double>> range);
    // Sorts the rows appended to the log since the table was last filled (a live run).
    void RowsAdded();
    // Sorts the whole log (within the range) again; when hidden, once it is shown.
    void Recompute();

    // Puts a widget at the end of the controls row (the caller's own choices).
    void AddControl(QWidget* widget);
    const CellTable& Table() const { return table_; }
    CellStatistic Statistic() const;
    // The table as the Copy button puts it on the clipboard.
    QString CopyText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillChannelChoices();
    void ChannelChosen(bool xAxis);
    void ShowTable();
    size_t ChannelOf(const QComboBox* box) const;
    void ResetEdges(QLineEdit* edit, size_t channel);

    // The samples to sort: rows of the log, or of `floats_` where it is set.
    size_t RowCount() const;

    const LogData* log_ = nullptr;
    const std::vector<std::vector<float>>* floats_ = nullptr;
    std::optional<std::pair<double, double>> range_;
    size_t added_ = 0;    // rows of the log in the table
    bool stale_ = false;  // to be sorted again when shown
    CellTable table_;
    QComboBox* x_ = nullptr;
    QComboBox* y_ = nullptr;
    QComboBox* z_ = nullptr;
    QComboBox* statistic_ = nullptr;
    QLineEdit* xEdges_ = nullptr;
    QLineEdit* yEdges_ = nullptr;
    QHBoxLayout* controls_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QLabel* summary_ = nullptr;
};

// The colour of a cell whose value lies at `t` (0 .. 1) of the shown span: light blue over
// light green to light red, so that the number stays readable.
QColor CellColour(double t);

}  // namespace tessek
