#include "dialogs/PortSettingCombos.h"

#include "platform/ErrorDisplay.h"
#include "platform/Text.h"
#include "serial/ComPort.h"
#include "serial/SerialDevice.h"
#include "serial/SettingsText.h"

#include <QAbstractItemView>

namespace tessek {

namespace {

// The items of a list: the value each stands for (stored, compared, applied) and what it
// shows. Only ports show more than their value: what the device is.
std::vector<SerialPortInfo> Items(TComProperty property)
{
    const auto plain = [](const std::vector<std::string>& texts) {
        std::vector<SerialPortInfo> items;
        items.reserve(texts.size());
        for (const std::string& text : texts)
            items.push_back({text, text});
        return items;
    };
    switch (property) {
        case cpNone:
            return {};
        case cpPort:
            return ListSerialPortInfos();
        case cpBaudRate:
            return plain(BaudRateTexts());
        case cpDataBits:
            return plain(DataBitsTexts());
        case cpStopBits:
            return plain(StopBitsTexts());
        case cpParity:
            return plain(ParityTexts());
        case cpFlowControl:
            return plain(FlowControlTexts());
    }
    return {};
}

std::string ValueAt(const QComboBox& items, int index)
{
    return items.itemData(index).toString().toStdString();
}

}  // namespace

void TComSelect::SetComProperty(TComProperty value)
{
    property_ = value;
    items_.clear();
    for (const SerialPortInfo& item : Items(value))
        items_.addItem(QString::fromStdString(item.Description), QString::fromStdString(item.Name));
    if (items_.count() == 0)
        return;
    // The closed list is as narrow as the dialog lays it out; the open one shows all.
    items_.view()->setMinimumWidth(items_.view()->sizeHintForColumn(0) + items_.view()->frameWidth() * 2);
    if (port_)
        RefreshSelection();
    else
        items_.setCurrentIndex(0);
}

TComSelect::~TComSelect()
{
    if (port_)
        port_->RemoveFreeNotification(portNotification_);
}

void TComSelect::SetComPort(TCustomComPort* value)
{
    if (value == port_)
        return;
    if (port_)
        port_->RemoveFreeNotification(portNotification_);
    port_ = value;
    if (port_)
        portNotification_ = port_->AddFreeNotification([this] { PortDestroyed(); });
    RefreshSelection();
}

void TComSelect::PortDestroyed()
{
    port_ = nullptr;
    if (items_.count() > 0)
        items_.setCurrentIndex(0);
}

std::string TComSelect::CurrentPortText() const
{
    switch (property_) {
        case cpNone:
            return {};
        case cpPort:
            return port_->Port();
        case cpBaudRate:
            return BaudRateToText(port_->BaudRate());
        case cpDataBits:
            return DataBitsToText(port_->DataBits());
        case cpStopBits:
            return StopBitsToText(port_->StopBits());
        case cpParity:
            return ParityToText(port_->Parity().Bits());
        case cpFlowControl:
            return FlowControlToText(port_->FlowControl().FlowControl());
    }
    return {};
}

void TComSelect::RefreshSelection()
{
    if (!port_ || property_ == cpNone)
        return;
    const std::string current = CurrentPortText();
    for (int index = 0; index < items_.count(); ++index) {
        const std::string item = ValueAt(items_, index);
        if (SameText(item, current)) {
            TakeValue(item);
            items_.setCurrentIndex(index);
            return;
        }
    }
    // A port that is not listed (a typed path, an adapter that is unplugged) is still the
    // port's name: shown as it is, and said to be absent when it is, rather than a blank.
    if (property_ == cpPort && !current.empty()) {
        const std::string shown = PortPresent(current) ? current : current + " (not present)";
        items_.addItem(QString::fromStdString(shown), QString::fromStdString(current));
        TakeValue(current);
        items_.setCurrentIndex(items_.count() - 1);
        return;
    }
    items_.setCurrentIndex(-1);
}

void TComSelect::TakeValue(const std::string& text)
{
    switch (property_) {
        case cpNone:
            break;
        case cpPort:
            portName_ = text;
            break;
        case cpBaudRate:
            baudRate_ = TextToBaudRate(text);
            break;
        case cpDataBits:
            dataBits_ = TextToDataBits(text);
            break;
        case cpStopBits:
            stopBits_ = TextToStopBits(text);
            break;
        case cpParity:
            parity_ = TextToParity(text);
            break;
        case cpFlowControl:
            flowControl_ = TextToFlowControl(text);
            break;
    }
}

void TComSelect::SelectionChanged(const std::string& text)
{
    TakeValue(text);
    if (autoApply_)
        ApplySelection();
}

void TComSelect::ApplySelection()
{
    if (!port_)
        return;
    switch (property_) {
        case cpNone:
            break;
        case cpPort:
            // Applying an empty name would close an open port and fail to reopen it.
            if (!portName_.empty())
                port_->SetPort(portName_);
            break;
        case cpBaudRate:
            port_->SetBaudRate(baudRate_);
            break;
        case cpDataBits:
            port_->SetDataBits(dataBits_);
            break;
        case cpStopBits:
            port_->SetStopBits(stopBits_);
            break;
        case cpParity:
            port_->Parity().SetBits(parity_);
            break;
        case cpFlowControl:
            port_->FlowControl().SetFlowControl(flowControl_);
            break;
    }
}

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent), select_(*this)
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int index) {
        RunGuarded([this, index] {
            select_.SelectionChanged(ValueAt(*this, index));
            if (OnChange)
                OnChange(this);
        });
    });
}

std::string TComComboBox::Text() const
{
    return currentIndex() < 0 ? std::string() : ValueAt(*this, currentIndex());
}

void TComComboBox::SetText(const std::string& value)
{
    for (int index = 0; index < count(); ++index) {
        if (SameText(ValueAt(*this, index), value)) {
            setCurrentIndex(index);
            return;
        }
    }
}

}  // namespace tessek
