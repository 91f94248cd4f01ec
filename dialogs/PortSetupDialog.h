#pragma once
// The port settings dialog, TComSetupFrm: port name, rate, data bits, stop bits, parity
// and flow control of one serial port, each in a TComComboBox bound to the port.
// ShowSetupDialog runs it and, on OK, applies all six values to the port in one
// reconfiguration.
//
// The port list is editable: any device path may be typed (a pseudo-terminal, /dev/rfcomm0).
// OK checks a port name that differs from the port's own (it must exist, be a character
// device and not be the system console); a refused name is said in lbPortProblem and the
// dialog stays open, so nothing is applied or stored for it.
//
// Window thread only. Errors are the port's EComPort: any failure to apply the chosen
// values after OK (listing the ports reads sysfs and cannot fail).
#include "dialogs/PortSettingCombos.h"

#include <QDialog>

#include <array>

class QGroupBox;
class QLabel;
class QPushButton;

namespace tessek {

class TCustomComPort;

class TComSetupFrm : public QDialog {
    Q_OBJECT
public:
    explicit TComSetupFrm(QWidget* owner = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    TComComboBox* Combo1 = nullptr;   // cpPort
    TComComboBox* Combo2 = nullptr;   // cpBaudRate
    TComComboBox* Combo3 = nullptr;   // cpDataBits
    TComComboBox* Combo4 = nullptr;   // cpStopBits
    TComComboBox* Combo5 = nullptr;   // cpParity
    TComComboBox* Combo6 = nullptr;   // cpFlowControl
    QPushButton* Button1 = nullptr;   // OK
    QPushButton* Button2 = nullptr;   // Cancel
    QLabel* lbPortProblem = nullptr;  // why a typed port name is refused; hidden until then

    // Combo1 to Combo6 in their order.
    std::array<TComComboBox*, 6> Combos() const { return {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6}; }

    // Translates the captions through the "cport" catalogue; the lists keep their texts.
    void FormCreate();

    // The port name in Combo1: the value of the item shown, or the text typed there.
    std::string PortNameEntered() const;

    // OK: checks a changed port name first (see above), then closes the dialog.
    void accept() override;
};

// Runs the dialog modally for `port`; OK applies the six selections between BeginUpdate
// and EndUpdate (EndUpdate also when an apply raises; the error then goes on), Cancel
// applies nothing. The dialog is gone when this returns, in every case. True after OK.
bool ShowSetupDialog(TCustomComPort& port);

}  // namespace tessek
