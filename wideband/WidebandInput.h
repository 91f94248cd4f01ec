#pragma once
// The wideband controller as an input: a serial port of its own (another TComPort, with its
// own event thread), opened exclusively at the protocol's rate, whose received bytes go
// through the protocol's decoder. It keeps the newest readings with their times, says how
// it is doing in a line a person can read, and survives the device going away: when the
// device hangs up or vanishes the port is closed, OnLost hears of it once, and the name is
// looked at twice a second until the device can be opened again (a /dev/serial/by-id link
// that returns pointing at another node is followed). A port name that is not there at
// Start is waited for the same way. Nothing is ever written to the controller.
//
// Window thread only. Times are ticks of `clock` (ms); a reading is stamped when its bytes
// are handed over on the window thread.
#include "platform/Tick.h"
#include "serial/ComPort.h"
#include "serial/PortWatch.h"
#include "wideband/WidebandDecoder.h"
#include "wideband/WidebandSettings.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

class WidebandInput {
public:
    static constexpr int kReturnCheckMs = 500;   // how often an absent device is looked for
    static constexpr uint32_t kNoDataMs = 2000;  // quiet this long: "no data for 2 s"
    static constexpr size_t kKeptReadings = 32;  // valid readings kept for Newest (> 2.5 s of MTS)

    // `clock`: GetTickCount when empty.
    explicit WidebandInput(TickSource clock = {});
    ~WidebandInput();
    WidebandInput(const WidebandInput&) = delete;
    WidebandInput& operator=(const WidebandInput&) = delete;

    // The port, for what the input does not do itself (a test's device factory). Its
    // properties are set again by every open.
    TComPort& Port() { return port_; }

    // Closes whatever is open and forgets earlier readings, then, when settings.Port is set,
    // opens it as 8N1 at settings.LineRate(). False when it cannot be opened: `why` gets one
    // line, the port's message and what to do about it (an active system console, for one,
    // is refused). A device that is not there is looked for as a lost one.
    bool Start(const WidebandSettings& settings, std::string& why);
    // Closes the port and stops looking for it.
    void Stop();

    const WidebandSettings& Settings() const { return settings_; }
    bool Connected() const { return port_.Connected(); }
    // Waiting for the device to come (back).
    bool Lost() const { return watch_.Active(); }

    // The newest valid reading that is not newer than `atMs` and at most `maxAgeMs` older.
    std::optional<WidebandReading> Newest(uint32_t atMs, uint32_t maxAgeMs) const;
    // The newest reading of any status since the port was last opened.
    const std::optional<WidebandReading>& Latest() const { return latest_; }
    // Packets or lines thrown away since Start.
    uint32_t Rejected() const { return decoder_ ? decoder_->Rejected() : 0; }

    // How it is doing at `nowMs`, for a dialog: "12.4 AFR, valid"; "warming up"; "waiting
    // for data"; "no data for 2 s" (with a hint when bytes come that give no reading);
    // "<port> is gone; it is used again when it is back"; the reason the port could not be
    // opened; "no wideband port" without one.
    std::string StatusText(uint32_t nowMs) const;

    // --- hooks (window thread; each may be empty) --------------------------------------
    std::function<void(const WidebandReading&)> OnReading;  // every reading, as it comes
    std::function<void(const std::string& line)> OnLost;    // the device has gone
    std::function<void()> OnReturned;                       // it is open again

    // The line OnLost gets. Pure.
    static std::string LostLine(const std::string& port, int err);

private:
    void OpenPort();  // throws EComPort
    bool Reopen();
    void Received(const uint8_t* data, int32_t count);
    void MarkLost(int err);

    TickSource clock_;
    WidebandSettings settings_;
    TComPort port_;
    PortReturnWatch watch_;
    std::unique_ptr<WidebandDecoder> decoder_;
    std::vector<WidebandReading> decoded_;  // one hand-over's readings
    std::deque<WidebandReading> valid_;     // newest last, at most kKeptReadings
    std::optional<WidebandReading> latest_;
    uint32_t lastDataMs_ = 0;         // the last reading or (re)open
    uint32_t bytesSinceReading_ = 0;  // received since lastDataMs_ without a reading
    std::string problem_;             // why the port is closed
};

}  // namespace tessek
