#pragma once
// The "Wideband..." dialog: the wideband controller's port (the serial ports as Com Setup
// lists them, or "(none)"; a path may be typed), its protocol, the fuel's stoichiometric
// ratio, the rate of a text controller, and a live line of how the session's wideband input
// is doing ("12.4 AFR, valid"; "warming up"; "no data for 2 s"), refreshed twice a second.
//
// Apply and OK check a changed port name as Com Setup does (a refused one is said in
// lbProblem and nothing is applied), store section [Wideband] of "Tessek.ini" and start the
// session's wideband input with the new settings (a port that cannot be opened is said in
// lbProblem; the settings are kept). OK then closes. Window thread only.
#include "wideband/WidebandSettings.h"

#include <QDialog>
#include <QTimer>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tessek {

class LoggingSession;

class WidebandDialog : public QDialog {
    Q_OBJECT
public:
    explicit WidebandDialog(LoggingSession& session, QWidget* owner = nullptr);

    QComboBox* cbPort = nullptr;
    QComboBox* cbProtocol = nullptr;
    QDoubleSpinBox* edStoich = nullptr;
    QSpinBox* edBaud = nullptr;  // enabled for the text protocol
    QLabel* lbStatus = nullptr;  // the input's state
    QLabel* lbProblem = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;

    // The settings as the dialog shows them.
    WidebandSettings Entered() const;
    // Checks, stores and starts them; false (with lbProblem said) when the name is refused
    // or the file cannot be written.
    bool Apply();
    void accept() override;

private:
    void ShowStatus();

    LoggingSession& session_;
    QTimer refresh_;
};

// Runs the dialog modally; true after OK.
bool ShowWidebandDialog(LoggingSession& session, QWidget* owner = nullptr);

}  // namespace tessek
