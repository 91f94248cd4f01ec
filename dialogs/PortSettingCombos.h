#pragma once
// Drop-down lists bound to one property of a serial port: TComComboBox shows the
// possible values of its ComProperty and selects the port's current one; TComSelect,
// which it owns, fills the list and converts between list texts and property values by
// the texts of the stored port settings. Each item keeps the value it stands for as its
// data; the port list shows what each port is ("ttyUSB0 — FTDI FT232R USB UART
// (A600dOYP)") while the value, Text and what is applied stay the bare port name.
//
// Window thread only. ApplySelection writes through the port's setters, so it raises the
// port's EComPort when an open port refuses the value. The port list is read from sysfs
// and cannot fail (no sysfs: no devices listed).
#include "serial/ComTypes.h"

#include <QComboBox>

#include <functional>
#include <string>

namespace tessek {

class TCustomComPort;

enum TComProperty : uint8_t { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

class TComSelect {
public:
    // `items` is the list this selector fills and selects in; it must outlive the selector.
    explicit TComSelect(QComboBox& items) : items_(items) {}
    ~TComSelect();
    TComSelect(const TComSelect&) = delete;
    TComSelect& operator=(const TComSelect&) = delete;

    TComProperty ComProperty() const { return property_; }
    // Refills the list; then selects the bound port's value, or the first item unbound.
    void SetComProperty(TComProperty value);
    TCustomComPort* ComPort() const { return port_; }
    // Binds `value` (null unbinds) and selects its current value. The binding ends by
    // itself when the port is destroyed.
    void SetComPort(TCustomComPort* value);
    bool AutoApply() const { return autoApply_; }
    void SetAutoApply(bool value) { autoApply_ = value; }

    // Selects the item showing the bound port's current value and takes it as the
    // selected value; with no such item nothing is selected and the value stays, except
    // in the port list, which then gains an item for the port's name ("NAME (not
    // present)" when no device is behind it) and selects it.
    void RefreshSelection();
    // Writes the selected value into the bound port. An empty port name (no port was
    // ever selected) leaves the port's name as it is.
    void ApplySelection();
    // The user selected `text`: it becomes the selected value (an unknown text gives the
    // stored settings' fallback), written to the port at once with AutoApply.
    void SelectionChanged(const std::string& text);

    // The selected value of each kind of property.
    const std::string& PortName() const { return portName_; }
    TBaudRate BaudRate() const { return baudRate_; }
    TDataBits DataBits() const { return dataBits_; }
    TStopBits StopBits() const { return stopBits_; }
    TParityBits Parity() const { return parity_; }
    TFlowControl FlowControl() const { return flowControl_; }

private:
    // The bound port is going away: forget it and select the first item.
    void PortDestroyed();
    std::string CurrentPortText() const;
    void TakeValue(const std::string& text);

    QComboBox& items_;
    TComProperty property_ = cpNone;
    TCustomComPort* port_ = nullptr;
    int portNotification_ = 0;  // key of our destruction notice at port_
    bool autoApply_ = false;
    std::string portName_;
    TBaudRate baudRate_ = TBaudRate(0);
    TDataBits dataBits_ = TDataBits(0);
    TStopBits stopBits_ = TStopBits(0);
    TParityBits parity_ = TParityBits(0);
    TFlowControl flowControl_ = TFlowControl(0);
};

class TComComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComComboBox(QWidget* parent = nullptr);

    TCustomComPort* ComPort() const { return select_.ComPort(); }
    void SetComPort(TCustomComPort* value) { select_.SetComPort(value); }
    TComProperty ComProperty() const { return select_.ComProperty(); }
    void SetComProperty(TComProperty value) { select_.SetComProperty(value); }
    bool AutoApply() const { return select_.AutoApply(); }
    void SetAutoApply(bool value) { select_.SetAutoApply(value); }
    // The selected item's value (a port's name, not its description), "" when nothing is
    // selected.
    std::string Text() const;
    // Selects the item whose value equals `value` without regard to letter case; no
    // match changes nothing. The selected value is not touched: only the user's choice
    // sets it.
    void SetText(const std::string& value);

    void ApplySelection() { select_.ApplySelection(); }
    void RefreshSelection() { select_.RefreshSelection(); }

    TComSelect& Select() { return select_; }
    const TComSelect& Select() const { return select_; }

    // Called after the user changed the selection and the value has been taken.
    std::function<void(TComComboBox* Sender)> OnChange;

private:
    TComSelect select_;
};

}  // namespace tessek
