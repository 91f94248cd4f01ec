#pragma once
// Enumerations and sets of the serial port component. Ordinals and bit positions are
// fixed: they index the rate and text tables and are compared as whole bytes.
#include <cstdint>

namespace tessek {

enum TBaudRate : uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
constexpr int kBaudRateCount = 16;
// Bits per second of each TBaudRate ordinal; 0 for brCustom (CustomBaudRate is used).
constexpr int32_t kBaudRateTable[kBaudRateCount] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };

enum TComEvent : uint8_t { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
// Set of TComEvent in 16 bits: bit n = ordinal n.
using TComEvents = uint16_t;
constexpr TComEvents ComEvent(TComEvent e)
{
    return static_cast<TComEvents>(1u << e);
}
constexpr TComEvents kAllComEvents = 0x03FF;

enum TComError : uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
// Set of TComError in one byte: bit n = ordinal n (ceFrame = 01 ... ceTxFull = 80).
using TComErrors = uint8_t;
constexpr TComErrors ComError(TComError e)
{
    return static_cast<TComErrors>(1u << e);
}

// Line states read by ReadModemSignals.
struct ModemLines {
    bool CTS = false;
    bool DSR = false;
    bool Ring = false;
    bool RLSD = false;
};

enum StoredGroupFlag : uint8_t { sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgOthers };
using StoredGroupSet = uint8_t;
constexpr StoredGroupSet StoredGroup(StoredGroupFlag g)
{
    return static_cast<StoredGroupSet>(1u << g);
}

enum TSettingsStore : uint8_t { ssRegistry, ssIniFile };

}  // namespace tessek
