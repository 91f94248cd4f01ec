#pragma once
// The log viewer's Advice tab: the tuning advice of the opened log (analysis/Advice.h) on
// pages of its own: the fuel corrections per cell, coloured by sign and size (a cell of
// too few samples shows only its count in parentheses, a clipped one a "*"), the spark to
// take out, the target AFR table and the sensor's delay (both edited here and kept in
// Tessek.ini), and what the LM's adaptive cells learned over the run where the run kept
// them beside its log. Copy puts the page shown on the clipboard as tab-separated text in
// the cell table's form; Export writes it as CSV. Window thread only.
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "views/ViewerTab.h"

class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;
class QTableWidgetItem;

namespace tessek {

class LogViewModel;
struct Advice;
struct AdaptivesChange;

class AdviceTab : public QWidget, public ViewerTab {
    Q_OBJECT
public:
    explicit AdviceTab(const LogViewModel& model, QWidget* parent = nullptr);
    ~AdviceTab() override;

    // Advice over the whole run with the cell table's default bins (for a log read again:
    // the bins as edited), the targets and delays of Tessek.ini, and the adaptives kept
    // beside the log.
    void LogOpened(const OpenedLog& log) override;

    const Advice& Result() const;
    const AdaptivesChange& Adaptives() const;
    // The page shown as text, in the cell table's form, fields split by `separator`.
    QString PageText(char separator) const;
    // Writes the page shown as CSV to `path`; the reason when it cannot.
    std::string ExportCsv(const std::string& path) const;

private:
    void Recompute();
    void ShowFuel();
    void ShowSpark();
    void ShowTargets();
    void ShowAdaptives();
    void TargetEdited(QTableWidgetItem* item);
    void DelayEdited();
    void ExportClick();
    // Keeps a setting; a write that fails is said in the summary line.
    template <class Write>
    void Keep(Write write);

    // The settings and results, apart: the reports' types they hold would clash with the
    // views' own names where Qt's generated code includes every header of the folder.
    struct State;
    const LogViewModel& model_;
    std::unique_ptr<State> state_;
    QString settingsProblem_;
    QLineEdit* rpmEdges_ = nullptr;
    QLineEdit* mapEdges_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QTableWidget* fuel_ = nullptr;
    QTableWidget* spark_ = nullptr;
    QTableWidget* targets_ = nullptr;
    QTableWidget* adaptivesGrid_ = nullptr;
    QLabel* adaptivesNote_ = nullptr;
    QLineEdit* delayRpm_ = nullptr;
    QLineEdit* delaySeconds_ = nullptr;
    QLabel* summary_ = nullptr;
};

}  // namespace tessek
