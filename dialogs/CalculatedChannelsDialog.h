#pragma once
// The dialog that edits the calculated channels (section [Calculated] of the settings file,
// logging/CalculatedChannels.h): a list of the channels; for the selected one its name as a
// data log's header writes it ("Boost (bar)") and its formula, which completes a channel
// name after "["; the formula's value on the current sample; and, when a formula does not
// compile, the library's message with its position. OK is enabled only while every formula
// compiles, and then replaces the section. Window thread only.
#include "logging/CalculatedChannels.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCompleter;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStringListModel;
class QTimer;

namespace tessek {

class CalculatedChannelsDialog : public QDialog {
    Q_OBJECT
public:
    // The current sample, its values in the order of the input names; nothing while there is none.
    using CurrentSample = std::function<std::optional<ChannelSample>()>;

    // `inputNames`: the columns the formulas may read. `current` is asked for the sample a
    // few times a second while the dialog is open (may be empty).
    CalculatedChannelsDialog(std::string settingsFile, std::vector<std::string> inputNames, CurrentSample current = {},
                             QWidget* parent = nullptr);

    // Opens the dialog, modal, over the columns of a run or a log (`columns`, their names):
    // the formulas may read every column but those named as a channel of [Calculated], which
    // the run or the viewer computed from the others. `current` gives a sample's values by
    // column (may be empty). True when OK replaced the channels.
    static bool EditOverColumns(const std::string& settingsFile, const std::vector<std::string>& columns,
                                CurrentSample current, QWidget* parent);

    QListWidget* List() const { return list_; }
    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* FormulaEdit() const { return formula_; }
    QLabel* ResultLabel() const { return result_; }
    QLabel* ErrorLabel() const { return error_; }
    QPushButton* OkButton() const { return ok_; }
    QCompleter* Completer() const { return completer_; }
    const std::vector<CalculatedChannel>& Channels() const { return set_.Channels(); }

    void accept() override;

private:
    void Select(int row);
    void Edited();
    void Add();
    void Remove();
    void Move(int by);
    // Compiles `channels` and shows the result in the list and for the selection.
    void Rebuild(std::vector<CalculatedChannel> channels);
    // The selected channel's completion names, error and value; OK's state.
    void ShowSelection();
    void ShowValue();
    void CompleteName();
    void InsertName(const QString& name);

    std::string settingsFile_;
    std::vector<std::string> inputNames_;
    CurrentSample current_;
    CalculatedChannels set_;
    std::optional<double> fedTime_;  // the time of the last sample given to set_
    std::vector<std::optional<double>> values_;
    std::string loadProblem_;
    bool loading_ = false;  // the fields are being filled from the selection, not edited

    QListWidget* list_;
    QLineEdit* name_;
    QLineEdit* formula_;
    QLabel* result_;
    QLabel* error_;
    QPushButton* ok_;
    QCompleter* completer_;
    QStringListModel* names_;
    QTimer* timer_;
};

}  // namespace tessek
