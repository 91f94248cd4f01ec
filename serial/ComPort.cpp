#include "serial/ComPort.h"

#include "platform/CallIfAssigned.h"
#include "platform/Catalog.h"
#include "platform/ErrorDisplay.h"
#include "platform/Text.h"
#include "serial/EventThread.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>
#include <utility>

namespace tessek {

namespace {

const char* const kMessages[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};
constexpr int kMessageCount = sizeof kMessages / sizeof kMessages[0];
static_assert(kMessageCount == 23);

std::string ComposeMessage(int code, int winCode)
{
    std::string message = ComErrorMessage(code);
    if (winCode != -1) {
        // The suffix comes from the catalogue too; its "%d" is replaced as text, never
        // handed to a printf-style formatter.
        std::string suffix = CportText(" (win error code: %d)");
        if (const size_t at = suffix.find("%d"); at != std::string::npos)
            suffix.replace(at, 2, std::to_string(winCode));
        message += suffix;
    }
    return message;
}

// Every device failure becomes the port's error `code` with the system's errno here, and
// only here. A call without an open device fails as the system fails a closed descriptor.
template <class F>
auto DeviceCall(ISerialDevice* device, int code, F&& call)
{
    if (!device)
        throw EComPort(code, EBADF);
    try {
        return call(*device);
    } catch (const DeviceError& e) {
        throw EComPort(code, e.Errno());
    }
}

// A setter's first step: false when `value` is what `field` holds (nothing to apply),
// otherwise stores it.
template <class T>
bool Store(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

int32_t EvenSize(int32_t value)
{
    return value > 0 && value % 2 != 0 ? value - 1 : value;
}

}  // namespace

// ---- EComPort ------------------------------------------------------------------------

std::string ComErrorMessage(int code)
{
    if (code < 1 || code > kMessageCount)
        return {};
    return CportText(kMessages[code - 1]);
}

EComPort::EComPort(int code, int winCode, const std::string& help)
    : std::runtime_error(help.empty() ? ComposeMessage(code, winCode) : ComposeMessage(code, winCode) + "\n" + help),
      code_(code),
      winCode_(winCode)
{
}

// ---- sub-objects ---------------------------------------------------------------------

void TComParity::SetBits(TParityBits value)
{
    if (Store(bits_, value))
        Changed();
}

void TComParity::SetCheck(bool value)
{
    if (Store(check_, value))
        Changed();
}

void TComParity::SetReplace(bool value)
{
    if (Store(replace_, value))
        Changed();
}

void TComParity::SetReplaceChar(uint8_t value)
{
    if (Store(replaceChar_, value))
        Changed();
}

void TComParity::Assign(const TComParity& source)
{
    bits_ = source.bits_;
    check_ = source.check_;
    replace_ = source.replace_;
    replaceChar_ = source.replaceChar_;
    Changed();
}

void TComParity::Changed()
{
    if (port_)
        port_->ApplyLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool value)
{
    if (Store(outCTSFlow_, value))
        Changed();
}

void TComFlowControl::SetOutDSRFlow(bool value)
{
    if (Store(outDSRFlow_, value))
        Changed();
}

void TComFlowControl::SetControlDTR(TDTRFlowControl value)
{
    if (Store(controlDTR_, value))
        Changed();
}

void TComFlowControl::SetControlRTS(TRTSFlowControl value)
{
    if (Store(controlRTS_, value))
        Changed();
}

void TComFlowControl::SetXonXoffOut(bool value)
{
    if (Store(xonXoffOut_, value))
        Changed();
}

void TComFlowControl::SetXonXoffIn(bool value)
{
    if (Store(xonXoffIn_, value))
        Changed();
}

void TComFlowControl::SetDSRSensitivity(bool value)
{
    if (Store(dsrSensitivity_, value))
        Changed();
}

void TComFlowControl::SetTxContinueOnXoff(bool value)
{
    if (Store(txContinueOnXoff_, value))
        Changed();
}

void TComFlowControl::SetXonChar(uint8_t value)
{
    if (Store(xonChar_, value))
        Changed();
}

void TComFlowControl::SetXoffChar(uint8_t value)
{
    if (Store(xoffChar_, value))
        Changed();
}

void TComFlowControl::Assign(const TComFlowControl& source)
{
    outCTSFlow_ = source.outCTSFlow_;
    outDSRFlow_ = source.outDSRFlow_;
    controlDTR_ = source.controlDTR_;
    controlRTS_ = source.controlRTS_;
    xonXoffOut_ = source.xonXoffOut_;
    xonXoffIn_ = source.xonXoffIn_;
    dsrSensitivity_ = source.dsrSensitivity_;
    txContinueOnXoff_ = source.txContinueOnXoff_;
    xonChar_ = source.xonChar_;
    xoffChar_ = source.xoffChar_;
    Changed();
}

TFlowControl TComFlowControl::FlowControl() const
{
    const bool noXonXoff = !xonXoffIn_ && !xonXoffOut_;
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && noXonXoff)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && noXonXoff)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    Changed();
}

void TComFlowControl::Changed()
{
    if (port_)
        port_->ApplyLineSettings();
}

void TComTimeouts::SetReadInterval(int32_t value)
{
    if (Store(readInterval_, value))
        Changed();
}

void TComTimeouts::SetReadTotalMultiplier(int32_t value)
{
    if (Store(readTotalMultiplier_, value))
        Changed();
}

void TComTimeouts::SetReadTotalConstant(int32_t value)
{
    if (Store(readTotalConstant_, value))
        Changed();
}

void TComTimeouts::SetWriteTotalMultiplier(int32_t value)
{
    if (Store(writeTotalMultiplier_, value))
        Changed();
}

void TComTimeouts::SetWriteTotalConstant(int32_t value)
{
    if (Store(writeTotalConstant_, value))
        Changed();
}

void TComTimeouts::Assign(const TComTimeouts& source)
{
    readInterval_ = source.readInterval_;
    readTotalMultiplier_ = source.readTotalMultiplier_;
    readTotalConstant_ = source.readTotalConstant_;
    writeTotalMultiplier_ = source.writeTotalMultiplier_;
    writeTotalConstant_ = source.writeTotalConstant_;
    Changed();
}

void TComTimeouts::Changed()
{
    if (port_)
        port_->ApplyTimeouts();
}

void TComBuffer::SetInputSize(int32_t value)
{
    if (inputSize_ == value)
        return;
    inputSize_ = EvenSize(value);
    Changed();
}

void TComBuffer::SetOutputSize(int32_t value)
{
    if (outputSize_ == value)
        return;
    outputSize_ = EvenSize(value);
    Changed();
}

void TComBuffer::Assign(const TComBuffer& source)
{
    inputSize_ = source.inputSize_;
    outputSize_ = source.outputSize_;
    Changed();
}

void TComBuffer::Changed()
{
    if (port_)
        port_->ApplyBufferSizes();
}

// ---- the port ------------------------------------------------------------------------

TCustomComPort::TCustomComPort(std::string name) : name_(std::move(name))
{
}

TCustomComPort::~TCustomComPort()
{
    // The list is taken first, so a control may unregister from inside its notice.
    for (auto& [key, gone] : std::exchange(freeNotifications_, {}))
        gone();
    RunGuarded([this] { Close(); });
    // Close may have stopped half-way (a handler raised): release what is left anyway.
    if (thread_)
        StopThread();
    device_.reset();
}

void TCustomComPort::StopThread()
{
    if (stoppingThread_) {
        // A handler of a batch that the outer stop runs closes the port again: the same
        // Stop abandons the rest and returns at once (the thread has ended, so the device
        // may go); the outer call destroys the thread object when its Stop returns.
        thread_->Stop();
        return;
    }
    stoppingThread_ = true;
    thread_->Stop();
    stoppingThread_ = false;
    thread_.reset();
}

int TCustomComPort::AddFreeNotification(std::function<void()> gone)
{
    freeNotifications_.emplace_back(++nextFreeNotification_, std::move(gone));
    return nextFreeNotification_;
}

void TCustomComPort::RemoveFreeNotification(int key)
{
    std::erase_if(freeNotifications_, [key](const auto& entry) { return entry.first == key; });
}

void TCustomComPort::SetConnected(bool value)
{
    if (loading_) {
        connectedWhileLoading_ = value;
        return;
    }
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (Store(baudRate_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t value)
{
    if (Store(customBaudRate_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value)
{
    if (Store(stopBits_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value)
{
    if (Store(dataBits_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value)
{
    if (Store(discardNull_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetEventChar(uint8_t value)
{
    if (Store(eventChar_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& value)
{
    if (port_ == value)
        return;
    port_ = value;
    if (connected_ && !loading_) {
        Close();
        Open();
    }
}

void TCustomComPort::SetEvents(TComEvents value)
{
    events_ = value;
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (syncMethod_ == value)
        return;
    if (connected_ && !loading_)
        throw EComPort(kErrConnected);
    syncMethod_ = value;
}

void TCustomComPort::SetEventPriority(int value)
{
    if (eventPriority_ == value)
        return;
    if (connected_ && !loading_)
        throw EComPort(kErrConnected);
    eventPriority_ = value;
}

void TCustomComPort::SetNotifyRxChar(bool value)
{
    // Code 22 is for a linked component that wants the raw data; none can be linked here.
    notifyRxChar_ = value;
}

void TCustomComPort::SetRxWakeCount(int32_t value)
{
    rxWakeCount_ = std::max(value, 0);
    if (thread_)
        thread_->SetRxWakeCount(rxWakeCount_);
}

void TCustomComPort::SetWaitingForInput(bool waiting)
{
    if (thread_)
        thread_->SetWaitingForInput(waiting);
}

void TCustomComPort::RunOwnEvents()
{
    if (thread_)
        thread_->RunOwnEvents();
}

template <class F>
void TCustomComPort::ChangeDevice(int code, F&& change)
{
    DeviceCall(device_.get(), code, [&](ISerialDevice& d) {
        if (thread_)
            thread_->WithPortLock([&] { change(d); });
        else
            change(d);
    });
}

bool TCustomComPort::CanApply() const
{
    return connected_ && updateCount_ == 0 && !loading_ && device_;
}

void TCustomComPort::BeginUpdate()
{
    ++updateCount_;
}

void TCustomComPort::EndUpdate()
{
    if (updateCount_ <= 0)
        return;
    if (--updateCount_ == 0)
        ApplySettings();
}

void TCustomComPort::ApplySettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeouts();
}

LineSettings TCustomComPort::CurrentLineSettings() const
{
    LineSettings line;
    line.BaudRate = baudRate_ == brCustom || baudRate_ >= kBaudRateCount ? customBaudRate_ : kBaudRateTable[baudRate_];
    line.DataBits = 5 + std::min<int>(dataBits_, dbEight);
    line.Parity = parity_.Bits();
    line.StopBits = stopBits_;
    line.DiscardNull = discardNull_;
    line.EventChar = eventChar_;
    line.OutCTSFlow = flowControl_.OutCTSFlow();
    line.OutDSRFlow = flowControl_.OutDSRFlow();
    line.ControlDTR = flowControl_.ControlDTR();
    line.ControlRTS = flowControl_.ControlRTS();
    line.XonXoffOut = flowControl_.XonXoffOut();
    line.XonXoffIn = flowControl_.XonXoffIn();
    line.DSRSensitivity = flowControl_.DSRSensitivity();
    line.TxContinueOnXoff = flowControl_.TxContinueOnXoff();
    line.XonChar = flowControl_.XonChar();
    line.XoffChar = flowControl_.XoffChar();
    line.XonLimit = buffer_.InputSize() / 4;
    line.XoffLimit = buffer_.InputSize() / 4;
    line.ParityCheck = parity_.Check();
    line.ParityReplace = parity_.Check() && parity_.Replace();
    line.ReplaceChar = parity_.ReplaceChar();
    return line;
}

void TCustomComPort::ApplyLineSettings()
{
    if (!CanApply())
        return;
    const LineSettings line = CurrentLineSettings();
    ChangeDevice(kErrSetState, [&](ISerialDevice& d) { d.SetLine(line); });
}

void TCustomComPort::ApplyTimeouts()
{
    if (!CanApply())
        return;
    DeviceTimeouts t;
    t.ReadInterval = timeouts_.ReadInterval();
    t.ReadTotalMultiplier = timeouts_.ReadTotalMultiplier();
    t.ReadTotalConstant = timeouts_.ReadTotalConstant();
    t.WriteTotalMultiplier = timeouts_.WriteTotalMultiplier();
    t.WriteTotalConstant = timeouts_.WriteTotalConstant();
    ChangeDevice(kErrSetTimeouts, [&](ISerialDevice& d) { d.SetTimeouts(t); });
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!CanApply())
        return;
    DeviceCall(device_.get(), kErrSetupComm,
               [&](ISerialDevice& d) { d.SetQueueSizes(buffer_.InputSize(), buffer_.OutputSize()); });
}

void TCustomComPort::CreateHandle()
{
    try {
        device_ = deviceFactory_(port_);
    } catch (const DeviceError& e) {
        throw EComPort(kErrOpen, e.Errno(), e.Help());
    } catch (const std::exception&) {
        throw EComPort(kErrOpen, EIO);
    }
    if (!device_)
        throw EComPort(kErrOpen, ENODEV);
}

void TCustomComPort::DestroyHandle()
{
    device_.reset();
}

void TCustomComPort::Open()
{
    if (connected_)
        return;
    CallIfAssigned(OnBeforeOpen, this);
    CreateHandle();
    connected_ = true;
    try {
        ApplySettings();
    } catch (...) {
        DestroyHandle();
        connected_ = false;
        throw;
    }
    if (events_ != 0) {
        try {
            thread_ = std::make_unique<TComThread>(this);
        } catch (const std::system_error& e) {
            // No thread or wake-up descriptor to be had: the port cannot work as opened.
            DestroyHandle();
            connected_ = false;
            throw EComPort(kErrOpen, e.code().value());
        }
    }
    CallIfAssigned(OnAfterOpen, this);
    CallIfAssigned(OnCTSChange, this, ReadModemSignals().CTS);
    CallIfAssigned(OnDSRChange, this, ReadModemSignals().DSR);
    CallIfAssigned(OnRLSDChange, this, ReadModemSignals().RLSD);
}

void TCustomComPort::Close()
{
    if (!connected_)
        return;
    CallIfAssigned(OnCTSChange, this, false);
    CallIfAssigned(OnDSRChange, this, false);
    CallIfAssigned(OnRLSDChange, this, false);
    CallIfAssigned(OnBeforeClose, this);
    DeviceCall(device_.get(), kErrPurge, [](ISerialDevice& d) { d.AbortPending(); });
    if (thread_) {
        const bool nested = stoppingThread_;
        StopThread();
        if (!nested && !connected_)
            return;  // a handler run while stopping has closed the port
    }
    DestroyHandle();
    connected_ = false;
    CallIfAssigned(OnAfterClose, this);
}

int32_t TCustomComPort::WriteBytes(const std::string& str)
{
    if (str.empty())
        return 0;
    // The event thread learns of every write, so that it can report the output queue
    // running empty in its place among the received bytes (see TComThread::NoteWriteDone).
    struct WriteNote {
        TComThread* thread;
        explicit WriteNote(TComThread* t) : thread(t)
        {
            if (thread)
                thread->NoteWriteStarted();
        }
        ~WriteNote()
        {
            if (thread)
                thread->NoteWriteDone();
        }
    } note(thread_.get());
    return DeviceCall(device_.get(), kErrWrite, [&](ISerialDevice& d) {
        return d.Write(reinterpret_cast<const uint8_t*>(str.data()), static_cast<int32_t>(str.size()));
    });
}

int32_t TCustomComPort::ReadBytes(std::string& str, int32_t count)
{
    str.assign(static_cast<size_t>(std::max(count, 0)), '\0');
    if (count < 1)
        return 0;
    auto* data = reinterpret_cast<uint8_t*>(str.data());
    const int32_t n = DeviceCall(device_.get(), kErrRead, [&](ISerialDevice& d) {
        return thread_ && thread_->TakesInput() ? thread_->ReadInput(data, count) : d.Read(data, count);
    });
    str.resize(static_cast<size_t>(n));
    return n;
}

int32_t TCustomComPort::InputQueueCount()
{
    return DeviceCall(device_.get(), kErrClearError, [&](ISerialDevice& d) {
        const int32_t count = thread_ && thread_->TakesInput() ? thread_->InputCount() : d.InputCount();
        d.TakeErrors();
        return count;
    });
}

void TCustomComPort::PurgeBuffers(bool input, bool output)
{
    DeviceCall(device_.get(), kErrPurge, [&](ISerialDevice& d) {
        thread_ && thread_->TakesInput() ? thread_->Purge(input, output) : d.Purge(input, output);
    });
}

TComErrors TCustomComPort::ReadLineErrors()
{
    TComErrors errors = DeviceCall(device_.get(), kErrClearError, [](ISerialDevice& d) { return d.TakeErrors(); });
    if (!parity_.Check())
        errors &= static_cast<TComErrors>(~ComError(ceRxParity));
    return errors;
}

ModemLines TCustomComPort::ReadModemSignals()
{
    return DeviceCall(device_.get(), kErrModemStatus, [](ISerialDevice& d) { return d.ModemSignals(); });
}

bool TCustomComPort::DeviceHungUp() const
{
    return device_ && HungUp(device_->WaitFd());
}

void TCustomComPort::ListSerialPorts(std::vector<std::string>& list)
{
    list.clear();
    for (SerialPortInfo& port : ListSerialPortInfos())
        list.push_back(std::move(port.Name));
}

void TCustomComPort::BeginLoading()
{
    loading_ = true;
    connectedWhileLoading_ = false;
}

void TCustomComPort::EndLoading()
{
    loading_ = false;
    if (connectedWhileLoading_) {
        connectedWhileLoading_ = false;
        RunGuarded([this] { Open(); });
    }
}

}  // namespace tessek
