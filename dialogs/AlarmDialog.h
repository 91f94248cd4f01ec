#pragma once
// The live window's alarm limits as a small table: one row per channel (the defaults', the
// running log's and every decoded value's), with a switch, the upper and the lower limit
// (empty: none) in the unit shown (`units`: the live chart's), that unit, the condition on
// a second channel ("Boost above 2", in that channel's shown unit; empty: none), and
// whether an alarm beeps; the limits are kept in the run's units (Alarms.h). OK writes
// section [Alarms] of the settings file; a limit that is not a number, or a condition that
// is not one, is refused with a message naming it, and the dialog stays open. Window
// thread only.
#include "analysis/Alarms.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QTableWidget;

namespace tessek {

// The channels the table offers: the defaults', then `runColumns`, then the other values
// the decoders name, each once.
std::vector<std::string> AlarmChannels(const std::vector<std::string>& runColumns);
// The run's unit of a channel: its unit in `runColumns`, else the decoders' unit, else "".
std::string AlarmChannelUnit(const std::string& channel, const std::vector<RunColumn>& runColumns);

class AlarmDialog : public QDialog {
    Q_OBJECT
public:
    AlarmDialog(std::string settingsFile, const std::vector<RunColumn>& runColumns, UnitSystem units,
                QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    QCheckBox* BeepBox() const { return beep_; }
    // The limits as the table holds them now; a cell that is not a number gives an error
    // message instead (with the channel's name).
    std::vector<AlarmLimit> Limits(std::string& error) const;

    void accept() override;

private:
    std::string settingsFile_;
    UnitSystem units_;
    std::vector<RunColumn> runColumns_;
    std::vector<std::string> runUnits_;  // per row: the channel's unit in the run
    std::vector<AlarmLimit> shown_;      // per row: the limits as they were shown
    QTableWidget* table_;
    QCheckBox* beep_;
};

}  // namespace tessek
