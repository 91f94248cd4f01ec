#pragma once
// The byte link to the LM: the receive ring that the port's receive events fill, the
// waits the commands use while the LM answers, and the two exchanges every command
// shares (the switch to the high rate and the one-byte memory request).
//
// Window thread only. The port's events reach the ring through ComPortRxChar and
// ComPortTxEmpty, which the window thread runs while it processes pending events; the
// waits process pending events on every round and, in between, block in the event loop
// until the next event or their deadline, so a waiting command costs no CPU. Clock and
// event pump are injectable so the waits can be driven by a test. Time-outs are silent:
// a wait that runs out returns false. A failed write raises EComPort (through LinkIo).
#include "lm/CommandHost.h"
#include "platform/Tick.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;

namespace tessek {

class TCustomComPort;

// Link constants. Rates in baud, times in ms.
constexpr int32_t kLowBaud = 977;
constexpr int32_t kHighBaud = 7680;
constexpr uint8_t kHandshakeByte = 0x12;
constexpr uint32_t kHandshakeSettleMs = 100;
constexpr uint32_t kEchoWaitMs = 1000;
constexpr uint32_t kTxEmptyWaitMs = 500;
constexpr uint32_t kReplyWaitMs = 500;
constexpr uint8_t kRxEventCap = 11;
constexpr uint32_t kRxRingSize = 65536;

// How the waits reach the window's event loop.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Runs every pending event once (the port's queued deliveries among them).
    virtual void ProcessPending() = 0;
    // Blocks until an event arrives or `ms` have passed, whichever comes first, and runs
    // the events that are pending then.
    virtual void WaitForMore(uint32_t ms) = 0;
};

// The pump of the running Qt application.
class QtEventPump : public EventPump {
public:
    QtEventPump();
    ~QtEventPump() override;
    void ProcessPending() override;
    void WaitForMore(uint32_t ms) override;

private:
    std::unique_ptr<QTimer> wake_;
};

// What the link needs of the port: Write raises the port's error on failure.
struct LinkIo {
    std::function<void(const std::string& bytes)> Write;
    std::function<std::string(int32_t count)> Read;  // at most `count` bytes already waiting
    std::function<void(int32_t baud)> SetCustomBaudRate;
    // While a wait blocks: how many receive events could end it (0: none could), so that
    // the port wakes the window thread only for those; 1 again when it stops blocking.
    // May be empty.
    std::function<void(int32_t count)> SetRxWakeCount;
    // Set while a wait that receive events can end is under way (from its first block to
    // its end), so that the port reads the bytes on the waiting thread as they come. May
    // be empty.
    std::function<void(bool waiting)> SetWaitingForInput;
    // Runs the events the port queued on the waiting thread itself (the transmit-empty of a
    // write whose output went at once) without a pass through the event loop. May be empty.
    std::function<void()> RunOwnEvents;
};

// The link over `port` (which must outlive the returned functions).
LinkIo PortLinkIo(TCustomComPort& port);

// The link implements the exchanges of LinkCommands itself; Port() is the port it was
// made with (a link made without one, as some tests make it, raises std::logic_error).
class LmLink : public LinkCommands {
public:
    // `busy` reads the busy mark (receive events are counted only while it is set);
    // `clock` and `pump` default to GetTickCount and the Qt application's event loop;
    // `port` is the port behind `io`, for the commands that look at it.
    LmLink(LinkIo io, std::function<bool()> busy, TickSource clock = {}, std::shared_ptr<EventPump> pump = {},
           TCustomComPort* port = nullptr);

    TCustomComPort& Port() override;

    // --- the port's event handlers ----------------------------------------------------
    // `Count` bytes wait in the port's input queue: read them into the ring.
    void ComPortRxChar(TCustomComPort* Sender, int32_t Count);
    // The output queue has become empty: resets the receive event count.
    void ComPortTxEmpty(TCustomComPort* Sender);
    // Stores received bytes and counts one receive event (what ComPortRxChar does after
    // reading the port).
    void StoreRx(const std::string& bytes);

    // --- ring ---------------------------------------------------------------------------
    // Write position 0, read position 65,535: the ring is empty.
    void ResetRing();
    // The next unread byte, consumed; 0 (nothing consumed) when the ring is empty.
    uint8_t PopRxByte();
    // The byte stored last (cell before the write position); consumes nothing.
    uint8_t LastRxByte() const override;
    bool RingEmpty() const { return (readPos_ + 1) % kRxRingSize == writePos_; }
    uint32_t WritePosition() const { return writePos_; }
    uint32_t ReadPosition() const { return readPos_; }
    uint8_t RxEventCount() const { return rxEventCount_; }
    void SetRxEventCount(uint8_t value) { rxEventCount_ = value; }
    bool TxEmptySeen() const { return txEmptySeen_; }
    void SetTxEmptySeen(bool value) { txEmptySeen_ = value; }

    // --- waits --------------------------------------------------------------------------
    // True when `value` was taken from the ring within 1000 ms; every byte taken on the
    // way is consumed, and an echo already waiting satisfies it at once.
    bool WaitForEcho(uint8_t value) override;
    // True when a non-zero byte was taken before `limit` ms ran out (the byte is dropped).
    bool WaitForRxByte(uint32_t limit);
    // Returns on the transmit-empty event or after 500 ms.
    void WaitTxEmpty();
    // WaitTxEmpty, then up to 500 ms for `count` receive events; true when they came.
    // A count of 12 or more can never be reached. Receive events are counted only while
    // the busy mark is set: the wait ends as soon as it finds the mark cleared.
    bool WaitForReplies(int count) override;
    // Waits `ms` while the window keeps running its events (0: one pump).
    void PumpDelay(uint32_t ms) override;

    // --- exchanges with the LM ------------------------------------------------------------
    // Sends the handshake byte, settles, switches to 7680 baud and waits for its echo;
    // sends it once more when no echo came. True when the LM confirmed the high rate.
    // Bytes received before each handshake byte goes out are passed over: only an echo
    // that came after its byte was written counts.
    bool EstablishHighBaud() override;
    // Sends `address` and waits for `replies` receive events. The answer is the byte after
    // the first byte equal to `address` (its echo) among those received since the write;
    // nothing when no echo and byte after it came within the wait. LastRxByte then holds
    // what was received last, whether or not they came.
    std::optional<LmAnswer> ReadLmByte(uint8_t address, int replies = 2) override;

    uint32_t Now() const { return clock_(); }
    uint32_t TickCount() override { return clock_(); }

    // Called after a transmit-empty event has been handled (e.g. to echo it into the
    // text area); may be empty.
    std::function<void()> AfterTxEmpty;

private:
    // What a wait's round asks for: stop now, look again at once (unread bytes are left),
    // or block until the next event arrives or the limit runs out.
    enum class RoundResult { Done, Again, Block };
    // Every wait: rounds of "run pending events, read the elapsed ms, call `round`" until
    // `round` says Done or `limit` ms have passed (the round still runs at the deadline).
    // A round that blocks runs the events that wake it as its next round's pump.
    // `wakeOn` gives the receive events that could end the wait when it blocks.
    // `justPumped`: the wait before it in the same exchange has just run what was pending
    // (the transmit-empty that resets the count the first round looks at), so the first
    // round looks without pumping again; when it blocks, the wait runs everything else.
    template <class Round, class WakeOn>
    void PumpRounds(uint32_t limit, Round round, WakeOn wakeOn, bool justPumped = false);
    void SetRxWakeCount(int32_t count);
    // Marks every byte in the ring as read.
    void PassOverRing() { readPos_ = (writePos_ + kRxRingSize - 1) % kRxRingSize; }
    // The tick at which the byte at ring position `at` was stored (the latest store when
    // it is too old to be known).
    uint32_t StoredAt(uint32_t at) const;
    // Receive events are counted: the busy mark is set.
    bool Counting() const;

    LinkIo io_;
    std::function<bool()> busy_;
    TickSource clock_;
    std::shared_ptr<EventPump> pump_;
    TCustomComPort* port_;

    std::array<uint8_t, kRxRingSize> ring_{};
    uint32_t writePos_ = 0;
    uint32_t readPos_ = kRxRingSize - 1;
    uint8_t rxEventCount_ = 2;
    bool txEmptySeen_ = false;
    // The ring positions and ticks of the last stores, for the time each answer arrived.
    struct Store {
        uint32_t From = 0, To = 0;
        uint32_t Tick = 0;
    };
    std::array<Store, 8> stores_{};
    size_t nextStore_ = 0;
};

}  // namespace tessek
