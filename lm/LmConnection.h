#pragma once
// The connection to the LM: the serial port and the link over it, the port settings the
// link depends on, and what happens when the device goes away and comes back. Both front
// ends (the main window and the headless logger) hold one and give it their output.
//
// Window thread only (the thread that runs the Qt event loop). A device that reports an
// I/O error or hangs up (a cable pulled, a USB adapter reset by cranking) makes the
// connection lost: the port is closed, OnLost hears of it once with a line naming the
// device, and a write in a running command raises ConnectionLost, which ends the command
// like any port error. While lost, the configured name is looked at twice a second (a
// symbolic link such as /dev/serial/by-id/... may vanish and come back pointing at another
// node); when it is there again the port is reopened with the same settings, OnReturned
// runs, and 300 ms later OnProbed says whether the LM is sending. An open refused while
// the device settles (udev still setting its group) is simply tried again at the next look.
#include "lm/LmLink.h"
#include "serial/ComPort.h"

#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace tessek {

// A write found the device gone (or a command wrote while the connection was lost). What
// the user is told was said once already, by OnLost; front ends end the command quietly.
class ConnectionLost : public EComPort {
public:
    explicit ConnectionLost(int err) : EComPort(kErrWrite, err) {}
};

class LmConnection {
public:
    static constexpr uint32_t kProbeMs = 300;        // the start-up check listens this long
    static constexpr int kReturnCheckMs = 500;       // how often a lost device is looked for
    static constexpr int32_t kInputQueueBytes = 8;   // recommended driver input queue
    static constexpr int32_t kOutputQueueBytes = 1;  // recommended driver output queue
    static constexpr int kEventPriority = 6;         // the event thread: time-critical

    // `busy` reads the front end's busy mark (the link counts receive events only while
    // it is set); `clock` and `pump` go to the link.
    explicit LmConnection(std::function<bool()> busy, TickSource clock = {}, std::shared_ptr<EventPump> pump = {});
    ~LmConnection();
    LmConnection(const LmConnection&) = delete;
    LmConnection& operator=(const LmConnection&) = delete;

    TComPort& Port() { return port_; }
    LmLink& Link() { return link_; }

    // The port as the program declares it, before any stored settings: "COM1" at a custom
    // rate, 8 data bits, no parity, one stop bit, no flow control (DTR and RTS held off),
    // every event but evRxFlag.
    void DeclarePort();
    // The stored port settings of `iniPath` (section "ComPort"), then ApplyLinkSettings.
    // Raises the port's error 17 when they cannot be loaded.
    void LoadSettings(const std::string& iniPath);
    // Overrides what the link cannot work with; see the reasons in the definition.
    void ApplyLinkSettings();
    // Opens the port as configured (EComPort on failure); the connection is no longer lost.
    void Open();
    // Listens kProbeMs at the low rate for a non-zero byte; sends nothing.
    bool Probe();

    // A closed port is opened once with the link settings; true when it is open. On
    // failure `why` gets one line: the port's message and what to do about it.
    bool Reopen(std::string& why);

    bool Lost() const { return lost_; }
    // Looks for a closed port's device as for a lost one (twice a second, reopening it when
    // it can be opened), without telling OnLost: for a device not there at start.
    void WatchForDevice();
    // The device is gone (`err`: the system's error number): closes the port, tells
    // OnLost once and starts looking for the device. Called by the connection itself on
    // an I/O error or a failed write; a front end may call it too.
    void MarkLost(int err);

    // --- hooks (window thread; each may be empty) ----------------------------------------
    // Every line error set of the port, before the connection looks for ceIO in it.
    TComErrorEvent OnPortError;
    std::function<void(const std::string& line)> OnLost;
    std::function<void()> OnReturned;              // the lost device is open again
    std::function<void(bool receiving)> OnProbed;  // the check after a return

    // The line OnLost gets. Pure.
    static std::string LostLine(const std::string& port, int err);

private:
    LinkIo LinkThroughConnection();
    // The open device has hung up, or its name no longer leads to a device.
    bool DeviceGone();
    void LookForDevice();
    void EndProbe();

    std::function<bool()> busy_;
    TComPort port_;
    LmLink link_;
    std::unique_ptr<QTimer> watch_;
    std::unique_ptr<QTimer> probe_;
    bool lost_ = false;
};

}  // namespace tessek
