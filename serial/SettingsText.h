#pragma once
// The texts of the port's settings and their conversions, shared by the stored settings
// (StoreSettings/LoadSettings) and the port settings dialog's lists.
//
// Name texts are compared with their ASCII letters upper-cased; a text that matches no
// entry gives the fallback named at each function. Plain functions, any thread.
#include "serial/ComTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessek {

// The table texts in ordinal order (the lists of the settings dialog).
const std::vector<std::string>& BaudRateTexts();     // "Custom", "110", ..., "256000"
const std::vector<std::string>& StopBitsTexts();     // "1", "1.5", "2"
const std::vector<std::string>& DataBitsTexts();     // "5", "6", "7", "8"
const std::vector<std::string>& ParityTexts();       // "None", "Odd", "Even", "Mark", "Space"
const std::vector<std::string>& FlowControlTexts();  // "Hardware", "Software", "None", "Custom"
const std::vector<std::string>& RTSTexts();          // "Disable", "Enable", "Handshake", "Toggle"
const std::vector<std::string>& DTRTexts();          // "Disable", "Enable", "Handshake"

std::string BaudRateToText(TBaudRate value);
TBaudRate TextToBaudRate(const std::string& text);  // fallback br9600
std::string StopBitsToText(TStopBits value);
TStopBits TextToStopBits(const std::string& text);  // fallback sbOneStopBit
std::string DataBitsToText(TDataBits value);
TDataBits TextToDataBits(const std::string& text);  // fallback dbEight
std::string ParityToText(TParityBits value);
TParityBits TextToParity(const std::string& text);  // fallback prNone
std::string FlowControlToText(TFlowControl value);
TFlowControl TextToFlowControl(const std::string& text);  // fallback fcCustom
std::string RTSToText(TRTSFlowControl value);
TRTSFlowControl TextToRTS(const std::string& text);  // fallback rtsDisable
std::string DTRToText(TDTRFlowControl value);
TDTRFlowControl TextToDTR(const std::string& text);  // fallback dtrDisable

// "Yes" / "No"; reading is true exactly for "YES" in any letter case.
std::string BoolToText(bool value);
bool TextToBool(const std::string& text);

// A byte 33..127 as itself, any other as "#" and its decimal value ("#17", "#32").
// Reading: "" gives 0; "#" followed by more gives the low 8 bits of the decimal number
// after it, or 0 when that is not a number ("#300" is 44, "#x" is 0); anything else gives
// its first character ("#" alone is "#").
std::string CharToText(uint8_t value);
uint8_t TextToChar(const std::string& text);

// Decimal text; reading also takes hexadecimal after "0x", "0X" or "$", and gives `def`
// for anything that is not a 32-bit number.
std::string IntToText(int32_t value);
int32_t TextToInt(const std::string& text, int32_t def);

}  // namespace tessek
