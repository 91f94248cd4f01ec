#include "serial/SettingsText.h"

#include "platform/IniFile.h"
#include "platform/TextNumbers.h"
#include "serial/ComPort.h"

#include <cctype>

namespace tessek {

namespace {

std::string UpperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The ordinal of the first table text equal to `text` (letters upper-cased), or -1.
int FindText(const std::vector<std::string>& table, const std::string& text)
{
    const std::string wanted = UpperAscii(text);
    for (size_t i = 0; i < table.size(); ++i) {
        if (UpperAscii(table[i]) == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

template <class E>
E FromText(const std::vector<std::string>& table, const std::string& text, E fallback)
{
    const int i = FindText(table, text);
    return i < 0 ? fallback : static_cast<E>(i);
}

template <class E>
std::string ToText(const std::vector<std::string>& table, E value)
{
    const auto i = static_cast<size_t>(value);
    return i < table.size() ? table[i] : std::string();
}

}  // namespace

const std::vector<std::string>& BaudRateTexts()
{
    static const std::vector<std::string> texts = {"Custom", "110",    "300",    "600",   "1200",  "2400",
                                                   "4800",   "9600",   "14400",  "19200", "38400", "56000",
                                                   "57600",  "115200", "128000", "256000"};
    return texts;
}

const std::vector<std::string>& StopBitsTexts()
{
    static const std::vector<std::string> texts = {"1", "1.5", "2"};
    return texts;
}

const std::vector<std::string>& DataBitsTexts()
{
    static const std::vector<std::string> texts = {"5", "6", "7", "8"};
    return texts;
}

const std::vector<std::string>& ParityTexts()
{
    static const std::vector<std::string> texts = {"None", "Odd", "Even", "Mark", "Space"};
    return texts;
}

const std::vector<std::string>& FlowControlTexts()
{
    static const std::vector<std::string> texts = {"Hardware", "Software", "None", "Custom"};
    return texts;
}

const std::vector<std::string>& RTSTexts()
{
    static const std::vector<std::string> texts = {"Disable", "Enable", "Handshake", "Toggle"};
    return texts;
}

const std::vector<std::string>& DTRTexts()
{
    static const std::vector<std::string> texts = {"Disable", "Enable", "Handshake"};
    return texts;
}

std::string BaudRateToText(TBaudRate value)
{
    return ToText(BaudRateTexts(), value);
}

TBaudRate TextToBaudRate(const std::string& text)
{
    return FromText(BaudRateTexts(), text, br9600);
}

std::string StopBitsToText(TStopBits value)
{
    return ToText(StopBitsTexts(), value);
}

TStopBits TextToStopBits(const std::string& text)
{
    return FromText(StopBitsTexts(), text, sbOneStopBit);
}

std::string DataBitsToText(TDataBits value)
{
    return ToText(DataBitsTexts(), value);
}

TDataBits TextToDataBits(const std::string& text)
{
    return FromText(DataBitsTexts(), text, dbEight);
}

std::string ParityToText(TParityBits value)
{
    return ToText(ParityTexts(), value);
}

TParityBits TextToParity(const std::string& text)
{
    return FromText(ParityTexts(), text, prNone);
}

std::string FlowControlToText(TFlowControl value)
{
    return ToText(FlowControlTexts(), value);
}

TFlowControl TextToFlowControl(const std::string& text)
{
    return FromText(FlowControlTexts(), text, fcCustom);
}

std::string RTSToText(TRTSFlowControl value)
{
    return ToText(RTSTexts(), value);
}

TRTSFlowControl TextToRTS(const std::string& text)
{
    return FromText(RTSTexts(), text, rtsDisable);
}

std::string DTRToText(TDTRFlowControl value)
{
    return ToText(DTRTexts(), value);
}

TDTRFlowControl TextToDTR(const std::string& text)
{
    return FromText(DTRTexts(), text, dtrDisable);
}

std::string BoolToText(bool value)
{
    return value ? "Yes" : "No";
}

bool TextToBool(const std::string& text)
{
    return UpperAscii(text) == "YES";
}

std::string CharToText(uint8_t value)
{
    if (value >= 33 && value <= 127)
        return std::string(1, static_cast<char>(value));
    // Appended, not "#" + std::to_string(): GCC 12 at -O3 warns falsely (-Wrestrict) on that.
    std::string text(1, '#');
    text += std::to_string(value);
    return text;
}

uint8_t TextToChar(const std::string& text)
{
    if (text.empty())
        return 0;
    if (text[0] != '#' || text.size() == 1)
        return static_cast<uint8_t>(text[0]);
    // Decimal only: an optional sign and digits, within 32 bits.
    const std::string digits = text.substr(1);
    size_t i = digits[0] == '-' || digits[0] == '+' ? 1 : 0;
    if (i == digits.size())
        return 0;
    for (; i < digits.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(digits[i])))
            return 0;
    }
    const std::optional<int32_t> number = ParseInteger(digits);
    return number ? static_cast<uint8_t>(static_cast<uint32_t>(*number) & 0xFF) : 0;
}

std::string IntToText(int32_t value)
{
    return std::to_string(value);
}

int32_t TextToInt(const std::string& text, int32_t def)
{
    return ParseInteger(text).value_or(def);
}

// ---- stored settings of the port -------------------------------------------------------

void TCustomComPort::StoreSettings(TSettingsStore kind, const std::string& path)
{
    try {
        if (kind != ssIniFile)
            throw EComPort(kErrStoreSettings);  // no registry on this system
        StoreToIniFile(path);
    } catch (...) {
        throw EComPort(kErrStoreSettings);
    }
}

void TCustomComPort::LoadSettings(TSettingsStore kind, const std::string& path)
{
    bool failed = false;
    BeginUpdate();
    try {
        if (kind != ssIniFile)
            throw EComPort(kErrLoadSettings);  // no registry on this system
        LoadFromIniFile(path);
    } catch (...) {
        failed = true;
    }
    try {
        EndUpdate();
    } catch (...) {
        failed = true;
    }
    if (failed)
        throw EComPort(kErrLoadSettings);
}

void TCustomComPort::StoreToIniFile(const std::string& path)
{
    IniFile ini(path);
    const std::string& s = name_;
    const auto stored = [this](StoredGroupFlag g) { return (storedGroups_ & StoredGroup(g)) != 0; };
    if (stored(sgBasic)) {
        ini.WriteString(s, "Port", port_);
        ini.WriteString(s, "BaudRate", BaudRateToText(baudRate_));
        if (baudRate_ == brCustom)
            ini.WriteInteger(s, "CustomBaudRate", customBaudRate_);
        ini.WriteString(s, "StopBits", StopBitsToText(stopBits_));
        ini.WriteString(s, "DataBits", DataBitsToText(dataBits_));
        ini.WriteString(s, "Parity", ParityToText(parity_.Bits()));
        ini.WriteString(s, "FlowControl", FlowControlToText(flowControl_.FlowControl()));
    }
    if (stored(sgOthers)) {
        ini.WriteString(s, "EventChar", CharToText(eventChar_));
        ini.WriteString(s, "DiscardNull", BoolToText(discardNull_));
    }
    if (stored(sgParity)) {
        ini.WriteString(s, "Parity.Check", BoolToText(parity_.Check()));
        ini.WriteString(s, "Parity.Replace", BoolToText(parity_.Replace()));
        ini.WriteString(s, "Parity.ReplaceChar", CharToText(parity_.ReplaceChar()));
    }
    if (stored(sgBuffer)) {
        ini.WriteInteger(s, "Buffer.OutputSize", buffer_.OutputSize());
        ini.WriteInteger(s, "Buffer.InputSize", buffer_.InputSize());
    }
    if (stored(sgTimeouts)) {
        ini.WriteInteger(s, "Timeouts.ReadInterval", timeouts_.ReadInterval());
        ini.WriteInteger(s, "Timeouts.ReadTotalConstant", timeouts_.ReadTotalConstant());
        ini.WriteInteger(s, "Timeouts.ReadTotalMultiplier", timeouts_.ReadTotalMultiplier());
        ini.WriteInteger(s, "Timeouts.WriteTotalConstant", timeouts_.WriteTotalConstant());
        ini.WriteInteger(s, "Timeouts.WriteTotalMultiplier", timeouts_.WriteTotalMultiplier());
    }
    if (stored(sgFlowControl)) {
        const TComFlowControl& f = flowControl_;
        ini.WriteString(s, "FlowControl.ControlRTS", RTSToText(f.ControlRTS()));
        ini.WriteString(s, "FlowControl.ControlDTR", DTRToText(f.ControlDTR()));
        ini.WriteString(s, "FlowControl.DSRSensitivity", BoolToText(f.DSRSensitivity()));
        ini.WriteString(s, "FlowControl.OutCTSFlow", BoolToText(f.OutCTSFlow()));
        ini.WriteString(s, "FlowControl.OutDSRFlow", BoolToText(f.OutDSRFlow()));
        ini.WriteString(s, "FlowControl.TxContinueOnXoff", BoolToText(f.TxContinueOnXoff()));
        ini.WriteString(s, "FlowControl.XonXoffIn", BoolToText(f.XonXoffIn()));
        ini.WriteString(s, "FlowControl.XonXoffOut", BoolToText(f.XonXoffOut()));
        ini.WriteString(s, "FlowControl.XoffChar", CharToText(f.XoffChar()));
        ini.WriteString(s, "FlowControl.XonChar", CharToText(f.XonChar()));
    }
}

// Every key is read with the property's current value as its default, so a missing key
// changes nothing; every value goes through the property's setter.
void TCustomComPort::LoadFromIniFile(const std::string& path)
{
    const IniFile ini(path);
    const std::string& s = name_;
    const auto stored = [this](StoredGroupFlag g) { return (storedGroups_ & StoredGroup(g)) != 0; };
    const auto read = [&](const char* key, const std::string& current) { return ini.ReadString(s, key, current); };
    const auto readInt = [&](const char* key, int32_t current) {
        return TextToInt(read(key, IntToText(current)), current);
    };
    if (stored(sgBasic)) {
        SetPort(read("Port", port_));
        SetBaudRate(TextToBaudRate(read("BaudRate", BaudRateToText(baudRate_))));
        if (baudRate_ == brCustom)
            SetCustomBaudRate(readInt("CustomBaudRate", customBaudRate_));
        SetStopBits(TextToStopBits(read("StopBits", StopBitsToText(stopBits_))));
        SetDataBits(TextToDataBits(read("DataBits", DataBitsToText(dataBits_))));
        parity_.SetBits(TextToParity(read("Parity", ParityToText(parity_.Bits()))));
        flowControl_.SetFlowControl(
            TextToFlowControl(read("FlowControl", FlowControlToText(flowControl_.FlowControl()))));
    }
    if (stored(sgOthers)) {
        SetEventChar(TextToChar(read("EventChar", CharToText(eventChar_))));
        SetDiscardNull(TextToBool(read("DiscardNull", BoolToText(discardNull_))));
    }
    if (stored(sgParity)) {
        parity_.SetCheck(TextToBool(read("Parity.Check", BoolToText(parity_.Check()))));
        parity_.SetReplace(TextToBool(read("Parity.Replace", BoolToText(parity_.Replace()))));
        parity_.SetReplaceChar(TextToChar(read("Parity.ReplaceChar", CharToText(parity_.ReplaceChar()))));
    }
    if (stored(sgBuffer)) {
        buffer_.SetOutputSize(readInt("Buffer.OutputSize", buffer_.OutputSize()));
        buffer_.SetInputSize(readInt("Buffer.InputSize", buffer_.InputSize()));
    }
    if (stored(sgTimeouts)) {
        TComTimeouts& t = timeouts_;
        t.SetReadInterval(readInt("Timeouts.ReadInterval", t.ReadInterval()));
        t.SetReadTotalConstant(readInt("Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
        t.SetReadTotalMultiplier(readInt("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
        t.SetWriteTotalConstant(readInt("Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
        t.SetWriteTotalMultiplier(readInt("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
    }
    if (stored(sgFlowControl)) {
        TComFlowControl& f = flowControl_;
        f.SetControlRTS(TextToRTS(read("FlowControl.ControlRTS", RTSToText(f.ControlRTS()))));
        f.SetControlDTR(TextToDTR(read("FlowControl.ControlDTR", DTRToText(f.ControlDTR()))));
        f.SetDSRSensitivity(TextToBool(read("FlowControl.DSRSensitivity", BoolToText(f.DSRSensitivity()))));
        f.SetOutCTSFlow(TextToBool(read("FlowControl.OutCTSFlow", BoolToText(f.OutCTSFlow()))));
        f.SetOutDSRFlow(TextToBool(read("FlowControl.OutDSRFlow", BoolToText(f.OutDSRFlow()))));
        f.SetTxContinueOnXoff(TextToBool(read("FlowControl.TxContinueOnXoff", BoolToText(f.TxContinueOnXoff()))));
        f.SetXonXoffIn(TextToBool(read("FlowControl.XonXoffIn", BoolToText(f.XonXoffIn()))));
        f.SetXonXoffOut(TextToBool(read("FlowControl.XonXoffOut", BoolToText(f.XonXoffOut()))));
        f.SetXoffChar(TextToChar(read("FlowControl.XoffChar", CharToText(f.XoffChar()))));
        f.SetXonChar(TextToChar(read("FlowControl.XonChar", CharToText(f.XonChar()))));
    }
}

}  // namespace tessek
