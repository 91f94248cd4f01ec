#pragma once
// "Tessek Reports": the reports read in this session in a readable form, beside their
// text in the main window. The fault codes as a list (code, meaning, flag, when read;
// newest reading first) and the latest adaptive cells as a grid of fuel trims with the
// ranges of engine speed and manifold pressure each cell covers, coloured lean or rich,
// and the idle cell. The data and texts come from reports/ReportReadings.h; this window
// only shows them. A line at the bottom says where the reading was saved (or why not).
//
// Window thread only.
#include "reports/ReportReadings.h"

#include <QWidget>
#include <string>

class QLabel;
class QTabWidget;
class QTableWidget;
class QTreeWidget;

namespace tessek {

class ReportsWindow : public QWidget {
    Q_OBJECT
public:
    explicit ReportsWindow(QWidget* parent = nullptr);

    // Adds a fault code reading to the list and turns to it; `saved` is the line shown
    // below (where the files went, or why they were not written).
    void AddFaultCodes(const FaultCodesReading& reading, const std::string& saved);
    // Shows an adaptives reading in the grid and turns to it.
    void ShowAdaptives(const AdaptivesReading& reading, const std::string& saved);

    QTabWidget* Tabs;
    QTreeWidget* FaultList;    // columns: Code, Meaning, Flag, Read at
    QTableWidget* Grid;        // 2 × 6 cells, upper row first
    QLabel* AdaptivesHeading;  // when the cells shown were read
    QLabel* IdleCell;
    QLabel* Saved;

private:
    void LabelAxes(const AdaptiveBreakpoints& points);
};

}  // namespace tessek
