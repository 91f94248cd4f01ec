#include "lm/LmLink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <stdexcept>

namespace tessek {

QtEventPump::QtEventPump() : wake_(std::make_unique<QTimer>())
{
    wake_->setSingleShot(true);
    wake_->setTimerType(Qt::PreciseTimer);
}

QtEventPump::~QtEventPump() = default;

void QtEventPump::ProcessPending()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::WaitForMore(uint32_t ms)
{
    // The timer only exists to end the blocking wait at the deadline; its timeout has
    // no receiver.
    wake_->start(static_cast<int>(ms));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wake_->stop();
    // Some event dispatchers (Qt's own, without GLib) only wake up for an event posted
    // while they block and send it at their next pass; the caller looks now.
    QCoreApplication::sendPostedEvents();
}

LmLink::LmLink(LinkIo io, std::function<bool()> busy, TickSource clock, std::shared_ptr<EventPump> pump,
               TCustomComPort* port)
    : io_(std::move(io)),
      busy_(std::move(busy)),
      clock_(clock ? std::move(clock) : TickSource(&GetTickCount)),
      pump_(pump ? std::move(pump) : std::make_shared<QtEventPump>()),
      port_(port)
{
}

TCustomComPort& LmLink::Port()
{
    if (!port_)
        throw std::logic_error("this link was made without a port");
    return *port_;
}

void LmLink::ComPortRxChar(TCustomComPort*, int32_t Count)
{
    StoreRx(io_.Read(Count));
}

void LmLink::StoreRx(const std::string& bytes)
{
    const uint32_t from = writePos_;
    for (const char c : bytes) {
        ring_[writePos_] = static_cast<uint8_t>(c);
        writePos_ = (writePos_ + 1) % kRxRingSize;
    }
    if (!bytes.empty())
        stores_[nextStore_++ % stores_.size()] = {from, writePos_, clock_()};
    if (Counting() && rxEventCount_ < kRxEventCap)
        ++rxEventCount_;
}

bool LmLink::Counting() const
{
    return busy_ && busy_();
}

void LmLink::ComPortTxEmpty(TCustomComPort*)
{
    txEmptySeen_ = true;
    rxEventCount_ = 0;
    if (AfterTxEmpty)
        AfterTxEmpty();
}

void LmLink::ResetRing()
{
    writePos_ = 0;
    readPos_ = kRxRingSize - 1;
}

uint8_t LmLink::PopRxByte()
{
    if (RingEmpty())
        return 0;
    readPos_ = (readPos_ + 1) % kRxRingSize;
    return ring_[readPos_];
}

uint8_t LmLink::LastRxByte() const
{
    return ring_[(writePos_ + kRxRingSize - 1) % kRxRingSize];
}

void LmLink::SetRxWakeCount(int32_t count)
{
    if (io_.SetRxWakeCount)
        io_.SetRxWakeCount(count);
}

// A round's pump is either ProcessPending or, after a round that blocks, the blocking wait
// itself, which runs the events that end it.
template <class Round, class WakeOn>
void LmLink::PumpRounds(uint32_t limit, Round round, WakeOn wakeOn, bool justPumped)
{
    // From the first block that received bytes can end until the wait returns.
    struct WaitingForInput {
        const LinkIo& io;
        bool set = false;
        void Set()
        {
            if (!set && io.SetWaitingForInput)
                io.SetWaitingForInput(set = true);
        }
        ~WaitingForInput()
        {
            if (set)
                io.SetWaitingForInput(false);
        }
    } waitingForInput{io_};
    const uint32_t start = clock_();
    if (!justPumped)
        pump_->ProcessPending();
    for (;;) {
        const uint32_t elapsed = TickElapsed(start, clock_());
        const RoundResult result = round(elapsed);
        if (result == RoundResult::Done || elapsed >= limit)
            return;
        if (result == RoundResult::Again) {
            pump_->ProcessPending();
            continue;
        }
        // Receive events that cannot end the wait need not wake it; setting 1 again makes
        // what was held back deliverable by the next pump.
        const int32_t wakeCount = wakeOn();
        SetRxWakeCount(wakeCount);
        if (wakeCount > 0)
            waitingForInput.Set();
        pump_->WaitForMore(limit - elapsed);
        SetRxWakeCount(1);
        // Woken by the deadline alone, the wait has not run what was held back: the last
        // round looks at everything received.
        if (TickElapsed(start, clock_()) >= limit)
            pump_->ProcessPending();
    }
}

// The waits take a byte or look at a counter after every pump. They block only when
// there is nothing left to look at: a ring still holding unread bytes is read on without
// waiting for another event.

bool LmLink::WaitForEcho(uint8_t value)
{
    bool echoed = false;
    PumpRounds(
        kEchoWaitMs,
        [&](uint32_t) {
            echoed = PopRxByte() == value;
            return echoed ? RoundResult::Done : RingEmpty() ? RoundResult::Block : RoundResult::Again;
        },
        [] { return 1; });
    return echoed;
}

bool LmLink::WaitForRxByte(uint32_t limit)
{
    bool received = false;
    PumpRounds(
        limit,
        [&](uint32_t elapsed) {
            if (PopRxByte() == 0)
                return RingEmpty() ? RoundResult::Block : RoundResult::Again;
            received = elapsed < limit;
            return RoundResult::Done;
        },
        [] { return 1; });
    return received;
}

void LmLink::WaitTxEmpty()
{
    txEmptySeen_ = false;
    // Most writes' output has gone as the write returns: their transmit-empty runs at once,
    // and the wait that follows is the first to pass through the event loop.
    if (io_.RunOwnEvents) {
        io_.RunOwnEvents();
        if (txEmptySeen_)
            return;
    }
    PumpRounds(
        kTxEmptyWaitMs, [&](uint32_t) { return txEmptySeen_ ? RoundResult::Done : RoundResult::Block; },
        [] { return 0; });
}

bool LmLink::WaitForReplies(int count)
{
    WaitTxEmpty();
    // Replies are counted only while the busy mark is set: once it is cleared (a stop
    // pressed during the wait, or before a request), nothing can end the wait any more,
    // and it ends at once instead of running out its time.
    PumpRounds(
        kReplyWaitMs,
        [&](uint32_t) { return count <= rxEventCount_ || !Counting() ? RoundResult::Done : RoundResult::Block; },
        [&] { return count - rxEventCount_; }, true);
    return count <= rxEventCount_;
}

void LmLink::PumpDelay(uint32_t ms)
{
    PumpRounds(
        ms, [](uint32_t) { return RoundResult::Block; }, [] { return 0; });
}

bool LmLink::EstablishHighBaud()
{
    const std::string handshake(1, static_cast<char>(kHandshakeByte));
    // Bytes of before (the car's stream at the low rate, a device that answered earlier)
    // must not pass for the echo. Bytes reach the ring only on this thread, in the waits,
    // so none can come between passing over them and the write.
    PassOverRing();
    io_.Write(handshake);
    PumpDelay(kHandshakeSettleMs);
    io_.SetCustomBaudRate(kHighBaud);
    if (WaitForEcho(kHandshakeByte))
        return true;
    PassOverRing();
    io_.Write(handshake);
    PumpDelay(kHandshakeSettleMs);
    return WaitForEcho(kHandshakeByte);
}

std::optional<LmAnswer> LmLink::ReadLmByte(uint8_t address, int replies)
{
    const uint32_t from = writePos_;
    io_.Write(std::string(1, static_cast<char>(address)));
    WaitForReplies(replies);
    const uint32_t received = (writePos_ + kRxRingSize - from) % kRxRingSize;
    for (uint32_t i = 0; i + 1 < received; ++i) {
        if (ring_[(from + i) % kRxRingSize] == address) {
            const uint32_t at = (from + i + 1) % kRxRingSize;
            return LmAnswer{ring_[at], StoredAt(at)};
        }
    }
    return std::nullopt;
}

uint32_t LmLink::StoredAt(uint32_t at) const
{
    for (const Store& store : stores_) {
        const uint32_t length = (store.To + kRxRingSize - store.From) % kRxRingSize;
        if ((at + kRxRingSize - store.From) % kRxRingSize < length)
            return store.Tick;
    }
    return stores_[(nextStore_ + stores_.size() - 1) % stores_.size()].Tick;
}

}  // namespace tessek
