#pragma once
// The serial port component: one serial device, its line settings as properties, the
// operations that open, configure, read and write it, and the event handlers that its
// event thread (TComThread) calls on the window thread.
//
// Every member is called on the window thread. What the event thread delivers reaches the
// handlers in the order the device produced it, whichever of the two threads read it from
// the device (see TComThread). A property setter that changes a value applies it to the
// open device at once unless an update bracket (BeginUpdate/EndUpdate) is open or the
// owner is loading. Every failure raises EComPort.
#include "serial/ComTypes.h"
#include "serial/SerialDevice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tessek {

class TCustomComPort;
class TComThread;
class PortWaitHints;
struct TComPortTestAccess;

// The port's error codes (EComPort::Code), each with its fixed message (ComErrorMessage).
constexpr int kErrOpen = 1;            // "Unable to open com port"
constexpr int kErrWrite = 2;           // "WriteFile function failed"
constexpr int kErrRead = 3;            // "ReadFile function failed"
constexpr int kErrAsync = 4;           // "Invalid Async parameter"
constexpr int kErrPurge = 5;           // "PurgeComm function failed"
constexpr int kErrAsyncStatus = 6;     // "Unable to get async status"
constexpr int kErrSetState = 7;        // "SetCommState function failed"
constexpr int kErrSetTimeouts = 8;     // "SetCommTimeouts failed"
constexpr int kErrSetupComm = 9;       // "SetupComm function failed"
constexpr int kErrClearError = 10;     // "ClearCommError function failed"
constexpr int kErrModemStatus = 11;    // "GetCommModemStatus function failed"
constexpr int kErrEscape = 12;         // "EscapeCommFunction function failed"
constexpr int kErrTransmitChar = 13;   // "TransmitCommChar function failed"
constexpr int kErrConnected = 14;      // "Cannot set property while connected"
constexpr int kErrEnumPorts = 15;      // "EnumPorts function failed"
constexpr int kErrStoreSettings = 16;  // "Failed to store settings"
constexpr int kErrLoadSettings = 17;   // "Failed to load settings"
constexpr int kErrLink = 18;           // "Link (un)registration failed"
constexpr int kErrLed = 19;            // "Cannot change led state if ComPort is selected"
constexpr int kErrThreadCreated = 20;  // "Cannot wait for event if event thread is created"
constexpr int kErrWaitForEvent = 21;   // "WaitForEvent method failed"
constexpr int kErrRxBufLinked = 22;    // "A component is linked to OnRxBuf event"
constexpr int kErrRegistry = 23;       // "Registry error"

// The port's error: Code is one of the codes above, WinCode the system's error number
// (errno here) or -1 when the error has none. `help`, when not empty, follows the fixed
// message on a line of its own (what the user can do about a port that cannot be opened).
class EComPort : public std::runtime_error {
public:
    EComPort(int code, int winCode = -1, const std::string& help = {});
    int Code() const { return code_; }
    int WinCode() const { return winCode_; }

private:
    int code_;
    int winCode_;
};

// The message of an error code as the catalogue "cport" gives it (untranslated: the
// component's own English texts).
std::string ComErrorMessage(int code);

using TNotifyEvent = std::function<void(TCustomComPort* Sender)>;
// Count: the bytes waiting that this receive event reports, at most RxEventByteLimit.
// With the limit at 1, as the program runs its port, every received byte is an event of
// its own and Count is always 1.
using TRxCharEvent = std::function<void(TCustomComPort* Sender, int32_t Count)>;
using TRxBufEvent = std::function<void(TCustomComPort* Sender, const uint8_t* Buffer, int32_t Count)>;
using TComSignalEvent = std::function<void(TCustomComPort* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TCustomComPort* Sender, TComErrors Errors)>;

class TComParity {
public:
    explicit TComParity(TCustomComPort* port = nullptr) : port_(port) {}
    TComParity(const TComParity&) = delete;
    TComParity& operator=(const TComParity&) = delete;
    void Assign(const TComParity& source);  // copies all fields, applies once

    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits value);
    bool Check() const { return check_; }
    void SetCheck(bool value);
    bool Replace() const { return replace_; }
    void SetReplace(bool value);
    uint8_t ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(uint8_t value);

private:
    void Changed();
    TCustomComPort* port_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    uint8_t replaceChar_ = 0;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort* port = nullptr) : port_(port) {}
    TComFlowControl(const TComFlowControl&) = delete;
    TComFlowControl& operator=(const TComFlowControl&) = delete;
    void Assign(const TComFlowControl& source);

    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool value);
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value);
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value);
    uint8_t XonChar() const { return xonChar_; }
    void SetXonChar(uint8_t value);
    uint8_t XoffChar() const { return xoffChar_; }
    void SetXoffChar(uint8_t value);

    // The composite: computed from RTS, CTS and the XON/XOFF flags; setting it rewrites
    // those flags (fcCustom changes nothing) and always re-applies the line settings.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);

private:
    void Changed();
    TCustomComPort* port_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    uint8_t xonChar_ = 0x11;
    uint8_t xoffChar_ = 0x13;
};

class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort* port = nullptr) : port_(port) {}
    TComTimeouts(const TComTimeouts&) = delete;
    TComTimeouts& operator=(const TComTimeouts&) = delete;
    void Assign(const TComTimeouts& source);

    // All in ms (multipliers in ms per byte). ReadInterval -1 with zero read totals: a
    // read returns at once with what is waiting. A write must complete within
    // WriteTotalConstant + WriteTotalMultiplier * bytes.
    int32_t ReadInterval() const { return readInterval_; }
    void SetReadInterval(int32_t value);
    int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(int32_t value);
    int32_t ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(int32_t value);
    int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(int32_t value);
    int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(int32_t value);

private:
    void Changed();
    TCustomComPort* port_;
    int32_t readInterval_ = -1;
    int32_t readTotalMultiplier_ = 0;
    int32_t readTotalConstant_ = 0;
    int32_t writeTotalMultiplier_ = 100;
    int32_t writeTotalConstant_ = 1000;
};

class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort* port = nullptr) : port_(port) {}
    TComBuffer(const TComBuffer&) = delete;
    TComBuffer& operator=(const TComBuffer&) = delete;
    void Assign(const TComBuffer& source);

    // Recommended driver queue sizes in bytes; a positive odd value is stored one less.
    int32_t InputSize() const { return inputSize_; }
    void SetInputSize(int32_t value);
    int32_t OutputSize() const { return outputSize_; }
    void SetOutputSize(int32_t value);

private:
    void Changed();
    TCustomComPort* port_;
    int32_t inputSize_ = 1024;
    int32_t outputSize_ = 1024;
};

class TCustomComPort {
public:
    // `name` is the component's name: the section of the settings file.
    explicit TCustomComPort(std::string name = "ComPort");
    virtual ~TCustomComPort();  // closes the port
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    const std::string& Name() const { return name_; }

    // --- properties -------------------------------------------------------------------
    bool Connected() const { return connected_; }
    void SetConnected(bool value);  // true opens, false closes; while loading only stored

    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    int32_t CustomBaudRate() const { return customBaudRate_; }  // bits per second
    void SetCustomBaudRate(int32_t value);
    // "/dev/..." as a path, "COMn" for the n-th serial device, or a name registered with
    // RegisterNamedPort. A change while open closes and reopens the port at once.
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    uint8_t EventChar() const { return eventChar_; }
    void SetEventChar(uint8_t value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value);  // takes effect at the next Open
    // smThreadSync and smWindowSync run the handlers on the window thread, a batch at a
    // time; smNone runs them on the event thread itself.
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);                // code 14 while connected
    int EventPriority() const { return eventPriority_; }  // 0 (idle) .. 3 (normal) .. 6 (time-critical)
    void SetEventPriority(int value);                     // code 14 while connected
    bool NotifyRxChar() const { return notifyRxChar_; }
    void SetNotifyRxChar(bool value);
    // The most bytes one receive event reports (OnRxChar's Count, OnRxBuf's bytes). The
    // event thread makes one receive event per RxEventByteLimit bytes it reads, so with 1
    // every received byte is an event of its own and Count is always 1: a peer's echo and
    // its answer stay two events even when they arrive together. 0 (the default): one
    // event per read of the device, reporting every byte waiting. Takes effect at the next
    // Open.
    int32_t RxEventByteLimit() const { return rxEventByteLimit_; }
    void SetRxEventByteLimit(int32_t value) { rxEventByteLimit_ = value < 0 ? 0 : value; }
    StoredGroupSet StoredGroups() const { return storedGroups_; }
    void SetStoredGroups(StoredGroupSet value) { storedGroups_ = value; }

    TComParity& Parity() { return parity_; }
    const TComParity& Parity() const { return parity_; }
    void SetParity(const TComParity& value) { parity_.Assign(value); }
    TComFlowControl& FlowControl() { return flowControl_; }
    const TComFlowControl& FlowControl() const { return flowControl_; }
    void SetFlowControl(const TComFlowControl& value) { flowControl_.Assign(value); }
    TComTimeouts& Timeouts() { return timeouts_; }
    const TComTimeouts& Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts& value) { timeouts_.Assign(value); }
    TComBuffer& Buffer() { return buffer_; }
    const TComBuffer& Buffer() const { return buffer_; }
    void SetBuffer(const TComBuffer& value) { buffer_.Assign(value); }

    // --- events (called only when assigned; always on the window thread) --------------
    TNotifyEvent OnAfterOpen, OnAfterClose, OnBeforeOpen, OnBeforeClose;
    TNotifyEvent OnTxEmpty, OnBreak, OnRing, OnRxFlag, OnRx80Full;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
    TComErrorEvent OnError;

    // --- operations ---------------------------------------------------------------------
    void Open();
    // Stops the event thread, which then runs what it had queued; a handler that closes
    // the port again there abandons the rest, and that inner Close finishes closing.
    void Close();
    void BeginUpdate();
    void EndUpdate();
    // Sends `str`; returns the bytes written (fewer only when the write time-out ran out).
    int32_t WriteBytes(const std::string& str);
    // Reads at most `count` bytes that are already waiting; `str` gets the bytes read.
    // While the event thread takes the input (see TComThread), the bytes waiting are the
    // ones it has read from the device; only when it holds none do reads and counts go to
    // the device itself.
    int32_t ReadBytes(std::string& str, int32_t count);
    int32_t InputQueueCount();
    void PurgeBuffers(bool input, bool output);
    TComErrors ReadLineErrors();
    ModemLines ReadModemSignals();
    // The serial ports present and the registered named ports, sorted case-insensitively.
    static void ListSerialPorts(std::vector<std::string>& list);
    // Whether the open device has hung up or reports an error (a cable pulled, an adapter
    // unplugged); false while closed.
    bool DeviceHungUp() const;

    // Controls bound to this port (the settings dialog's lists) learn here that it goes
    // away: `gone` runs at the start of the destructor. Returns the key for removal.
    int AddFreeNotification(std::function<void()> gone);
    void RemoveFreeNotification(int key);

    // Stored settings in an INI file (ssIniFile): section = Name(). ssRegistry has no place
    // here and raises code 16 / 17 like any other failure inside them.
    void StoreSettings(TSettingsStore kind, const std::string& path);
    void LoadSettings(TSettingsStore kind, const std::string& path);

    // The owner's loading state: while loading, setters only store their values; ending
    // the loading opens the port when Connected was set (an error goes to the display).
    void BeginLoading();
    void EndLoading();
    bool Loading() const { return loading_; }

    // What Open uses to open the device named by Port (default: OpenSerialDevice).
    // Tests put a scripted device here.
    void SetDeviceFactory(SerialDeviceFactory factory) { deviceFactory_ = std::move(factory); }

protected:
    virtual void CreateHandle();
    virtual void DestroyHandle();
    bool CanApply() const;

private:
    // The sub-objects apply their group of settings, the event thread watches Device(),
    // the waits' hints and the tests reach the internals below.
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;
    friend class TComThread;
    friend class PortWaitHints;
    friend struct TComPortTestAccess;

    // Each applies its group of settings to the open device (nothing while closed, inside
    // an update bracket or while loading). ApplySettings: buffer sizes, line, time-outs.
    void ApplySettings();
    void ApplyLineSettings();
    void ApplyTimeouts();
    void ApplyBufferSizes();
    // The open device, or null while closed.
    ISerialDevice* Device() const { return device_.get(); }
    // The event thread while the port is open with a non-empty Events, else null.
    const TComThread* EventThread() const { return thread_.get(); }
    // See PortWaitHints.
    int32_t RxWakeCount() const { return rxWakeCount_; }
    void SetRxWakeCount(int32_t value);
    void SetWaitingForInput(bool waiting);
    void RunOwnEvents();
    // Runs `change` of the device under the port's lock while the event thread runs (see
    // SerialDevice.h).
    template <class F>
    void ChangeDevice(int code, F&& change);

    // Stops thread_, which runs what it had queued, and destroys it.
    void StopThread();
    LineSettings CurrentLineSettings() const;
    void StoreToIniFile(const std::string& path);
    void LoadFromIniFile(const std::string& path);

    std::string name_;
    bool connected_ = false;
    bool loading_ = false;
    bool connectedWhileLoading_ = false;
    int32_t updateCount_ = 0;
    TBaudRate baudRate_ = br9600;
    int32_t customBaudRate_ = 9600;
    std::string port_ = "COM1";
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    uint8_t eventChar_ = 0;
    TComEvents events_ = kAllComEvents;
    TSyncMethod syncMethod_ = smThreadSync;
    int eventPriority_ = 3;
    bool notifyRxChar_ = true;
    int32_t rxEventByteLimit_ = 0;
    int32_t rxWakeCount_ = 1;
    StoredGroupSet storedGroups_ = StoredGroup(sgBasic);
    TComParity parity_{this};
    TComFlowControl flowControl_{this};
    TComTimeouts timeouts_{this};
    TComBuffer buffer_{this};
    SerialDeviceFactory deviceFactory_ = OpenSerialDevice;
    std::unique_ptr<ISerialDevice> device_;
    std::unique_ptr<TComThread> thread_;
    bool stoppingThread_ = false;  // StopThread is running (and may run handlers)
    std::vector<std::pair<int, std::function<void()>>> freeNotifications_;
    int nextFreeNotification_ = 0;
};

// The published form of the component, as a window declares it.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// Hints from a wait on the window thread that save thread wake-ups while it waits (the LM
// link's waits give them). None changes what is delivered or its order (see TComThread).
// Each does nothing while the port is closed, except SetRxWakeCount, whose count is kept
// for the next Open.
class PortWaitHints {
public:
    explicit PortWaitHints(TCustomComPort& port) : port_(&port) {}

    // The event thread wakes the window thread only when `count` receive events are
    // queued, or an event of another kind is. 1 (the default): at every event; 0: receive
    // events alone never wake it. What is held back stays queued in order and runs with
    // the next drain; a lower count hands over what it covers at once, so a wait that sets
    // 1 again before it last processes its events sees everything received.
    void SetRxWakeCount(int32_t count) const { port_->SetRxWakeCount(count); }
    // Set while a wait that received bytes can end is under way: the window thread reads
    // the input itself as it arrives and runs its events at once (see
    // TComThread::SetWaitingForInput).
    void SetWaitingForInput(bool waiting) const { port_->SetWaitingForInput(waiting); }
    // Runs now the events the window thread has queued itself: the transmit-empty of a
    // write whose output went at once (see TComThread::RunOwnEvents).
    void RunOwnEvents() const { port_->RunOwnEvents(); }

private:
    TCustomComPort* port_;
};

}  // namespace tessek
