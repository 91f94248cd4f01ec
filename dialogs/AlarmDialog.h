#pragma once
// The live window's alarm limits as a small table: one row per channel (the defaults', the
// running log's and every decoded value's), with a switch, the upper and the lower limit
// (empty: none), and whether an alarm beeps. OK writes section [Alarms] of the settings
// file; a limit that is not a number is refused with a message naming it, and the dialog
// stays open. Window thread only.
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

class AlarmDialog : public QDialog {
    Q_OBJECT
public:
    AlarmDialog(std::string settingsFile, const std::vector<std::string>& runColumns, QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    QCheckBox* BeepBox() const { return beep_; }
    // The limits as the table holds them now; a cell that is not a number gives an error
    // message instead (with the channel's name).
    std::vector<AlarmLimit> Limits(std::string& error) const;

    void accept() override;

private:
    std::string settingsFile_;
    QTableWidget* table_;
    QCheckBox* beep_;
};

}  // namespace tessek
