#include "app/ReportsWindow.h"

#include "platform/Hex.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tessek {

namespace {

constexpr int kColumnGap = 16;  // pixels

QColor ToQColor(const CellColour& colour)
{
    return {colour.Red, colour.Green, colour.Blue};
}

QString CellText(uint8_t raw)
{
    return QString::fromStdString(FuelTrimText(raw) + "\n" + ByteToHex(raw) + " hex");
}

}  // namespace

ReportsWindow::ReportsWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("frmReports");
    setWindowTitle("Tessek Reports");
    resize(760, 420);

    auto* layout = new QVBoxLayout(this);
    Tabs = new QTabWidget(this);
    layout->addWidget(Tabs, 1);

    FaultList = new QTreeWidget(Tabs);
    FaultList->setObjectName("FaultList");
    FaultList->setRootIsDecorated(false);
    FaultList->setHeaderLabels({"Code", "Meaning", "Flag", "Read at"});
    FaultList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    FaultList->header()->setStretchLastSection(false);
    Tabs->addTab(FaultList, "&Fault codes");

    auto* adaptives = new QWidget(Tabs);
    auto* column = new QVBoxLayout(adaptives);
    AdaptivesHeading = new QLabel("No adaptive cells read yet: press Adaptives in the main window.", adaptives);
    column->addWidget(AdaptivesHeading);
    Grid = new QTableWidget(kAdaptiveRows, kAdaptiveColumns, adaptives);
    Grid->setObjectName("AdaptivesGrid");
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionMode(QAbstractItemView::NoSelection);
    Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    LabelAxes({});
    column->addWidget(Grid, 1);
    IdleCell = new QLabel(adaptives);
    IdleCell->setObjectName("IdleCell");
    column->addWidget(IdleCell);
    auto* legend = new QLabel(
        "Each cell as a fuel trim: 80 hex is 0 %, one step 0.78 %. Cells below 80 hex are lean (blue), "
        "cells from 80 hex up rich (red), as in the text report; the deeper the colour, the larger the trim.",
        adaptives);
    legend->setWordWrap(true);
    column->addWidget(legend);
    Tabs->addTab(adaptives, "&Adaptives");

    Saved = new QLabel(this);
    Saved->setObjectName("Saved");
    Saved->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Saved->setWordWrap(true);
    layout->addWidget(Saved);
}

void ReportsWindow::LabelAxes(const AdaptiveBreakpoints& points)
{
    // Each range in two lines, so six columns fit a small screen.
    for (int c = 0; c < kAdaptiveColumns; ++c)
        Grid->setHorizontalHeaderItem(
            c, new QTableWidgetItem(QString::fromStdString(AdaptiveColumnRange(c, points, "\n"))));
    for (int r = 0; r < kAdaptiveRows; ++r)
        Grid->setVerticalHeaderItem(r, new QTableWidgetItem(QString::fromStdString(AdaptiveRowRange(r, points, "\n"))));
}

void ReportsWindow::AddFaultCodes(const FaultCodesReading& reading, const std::string& saved)
{
    // The date and time are the text area's one byte per character (Latin-1).
    const QString when = QString::fromLatin1(reading.ReadAtText);
    std::vector<FaultEntry> entries = SetFaults(reading.Bytes);
    if (entries.empty())
        entries.push_back({"", "No fault flag set", ""});
    // Newest reading on top, its flags in the report's order.
    int row = 0;
    for (const FaultEntry& entry : entries) {
        auto* item = new QTreeWidgetItem({QString::fromStdString(entry.Code), QString::fromStdString(entry.Meaning),
                                          QString::fromStdString(entry.Flag), when});
        FaultList->insertTopLevelItem(row++, item);
    }
    // Fitted to their texts with a gap, so the flag does not run into the time beside it.
    for (int c : {0, 2, 3}) {
        FaultList->resizeColumnToContents(c);
        FaultList->setColumnWidth(c, FaultList->columnWidth(c) + kColumnGap);
    }
    Saved->setText(QString::fromStdString(saved));
    Tabs->setCurrentIndex(0);
}

void ReportsWindow::ShowAdaptives(const AdaptivesReading& reading, const std::string& saved)
{
    AdaptivesHeading->setText("Adaptive cells read " + QString::fromLatin1(reading.ReadAtText) +
                              ": rows by engine speed, columns by manifold pressure (MAP)");
    LabelAxes(reading.Points);
    for (int r = 0; r < kAdaptiveRows; ++r) {
        for (int c = 0; c < kAdaptiveColumns; ++c) {
            const uint8_t raw = AdaptiveCellValue(reading, r, c);
            auto* item = new QTableWidgetItem(CellText(raw));
            item->setTextAlignment(Qt::AlignCenter);
            item->setBackground(ToQColor(TrimColour(raw)));
            item->setForeground(QBrush(Qt::black));
            item->setToolTip(QString::fromStdString("Cell " + std::to_string(AdaptiveCellAddress(r, c) - 0x50) +
                                                    ", LM address " + ByteToHex(AdaptiveCellAddress(r, c))));
            Grid->setItem(r, c, item);
        }
    }
    IdleCell->setText(QString::fromStdString("Idle cell (12): " + FuelTrimText(reading.Idle) + " (" +
                                             ByteToHex(reading.Idle) + " hex)"));
    const QColor idle = ToQColor(TrimColour(reading.Idle));
    IdleCell->setStyleSheet(QString("QLabel { background: %1; color: black; padding: 4px; }").arg(idle.name()));
    Saved->setText(QString::fromStdString(saved));
    Tabs->setCurrentIndex(1);
}

}  // namespace tessek
