#include "link/LmLink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tessek {

std::string ByteToHex(uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string BytesToHex(const std::string& text)
{
    std::string hex;
    hex.reserve(text.size() * 2);
    for (const char c : text)
        hex += ByteToHex(static_cast<uint8_t>(c));
    return hex;
}

TQtEventPump::TQtEventPump() : wake_(std::make_unique<QTimer>())
{
    wake_->setSingleShot(true);
    wake_->setTimerType(Qt::PreciseTimer);
}

TQtEventPump::~TQtEventPump() = default;

void TQtEventPump::ProcessPending()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtEventPump::WaitForMore(uint32_t ms)
{
    // The timer only exists to end the blocking wait at the deadline; its timeout has
    // no receiver.
    wake_->start(static_cast<int>(ms));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wake_->stop();
}

TLmLink::TLmLink(TLinkIo io, std::function<bool()> busy, TickSource clock, std::shared_ptr<TEventPump> pump)
    : io_(std::move(io)),
      busy_(std::move(busy)),
      clock_(clock ? std::move(clock) : TickSource(&GetTickCount)),
      pump_(pump ? std::move(pump) : std::make_shared<TQtEventPump>())
{
}

void TLmLink::ComPortRxChar(TCustomComPort*, int32_t Count)
{
    StoreRx(io_.Read(Count));
}

void TLmLink::StoreRx(const std::string& bytes)
{
    for (const char c : bytes) {
        ring_[writePos_] = static_cast<uint8_t>(c);
        writePos_ = (writePos_ + 1) % kRxRingSize;
    }
    if (busy_ && busy_() && rxEventCount_ < kRxEventCap)
        ++rxEventCount_;
}

void TLmLink::ComPortTxEmpty(TCustomComPort*)
{
    txEmptySeen_ = true;
    rxEventCount_ = 0;
    if (AfterTxEmpty)
        AfterTxEmpty();
}

void TLmLink::ResetRing()
{
    writePos_ = 0;
    readPos_ = kRxRingSize - 1;
}

uint8_t TLmLink::PopRxByte()
{
    if (RingEmpty())
        return 0;
    readPos_ = (readPos_ + 1) % kRxRingSize;
    return ring_[readPos_];
}

uint8_t TLmLink::LastRxByte() const
{
    return ring_[(writePos_ + kRxRingSize - 1) % kRxRingSize];
}

void TLmLink::Idle(uint32_t remaining)
{
    if (remaining > 0)
        pump_->WaitForMore(remaining);
}

// The waits below take a byte or look at a counter after every pump. They block only
// when there is nothing left to look at: a ring still holding unread bytes is read on
// without waiting for another event.

bool TLmLink::WaitForEcho(uint8_t value)
{
    const uint32_t start = clock_();
    for (;;) {
        pump_->ProcessPending();
        const uint32_t elapsed = TickElapsed(start, clock_());
        const uint8_t x = PopRxByte();
        if (x == value)
            return true;
        if (elapsed >= kEchoWaitMs)
            return false;
        if (RingEmpty())
            Idle(kEchoWaitMs - elapsed);
    }
}

bool TLmLink::WaitForRxByte(uint32_t limit)
{
    const uint32_t start = clock_();
    for (;;) {
        pump_->ProcessPending();
        const uint32_t elapsed = TickElapsed(start, clock_());
        const uint8_t x = PopRxByte();
        if (x != 0 || elapsed >= limit)
            return x != 0 && elapsed < limit;
        if (RingEmpty())
            Idle(limit - elapsed);
    }
}

void TLmLink::WaitTxEmpty()
{
    txEmptySeen_ = false;
    const uint32_t start = clock_();
    for (;;) {
        pump_->ProcessPending();
        const uint32_t elapsed = TickElapsed(start, clock_());
        if (txEmptySeen_ || elapsed >= kTxEmptyWaitMs)
            return;
        Idle(kTxEmptyWaitMs - elapsed);
    }
}

bool TLmLink::WaitForReplies(int count)
{
    WaitTxEmpty();
    const uint32_t start = clock_();
    for (;;) {
        pump_->ProcessPending();
        const uint32_t elapsed = TickElapsed(start, clock_());
        if (count <= rxEventCount_ || elapsed >= kReplyWaitMs)
            return count <= rxEventCount_;
        Idle(kReplyWaitMs - elapsed);
    }
}

void TLmLink::PumpDelay(uint32_t ms)
{
    const uint32_t start = clock_();
    for (;;) {
        pump_->ProcessPending();
        const uint32_t elapsed = TickElapsed(start, clock_());
        if (elapsed >= ms)
            return;
        Idle(ms - elapsed);
    }
}

bool TLmLink::EstablishHighBaud()
{
    const std::string handshake(1, static_cast<char>(kHandshakeByte));
    io_.Write(handshake);
    PumpDelay(kHandshakeSettleMs);
    io_.SetCustomBaudRate(kHighBaud);
    if (WaitForEcho(kHandshakeByte))
        return true;
    io_.Write(handshake);
    PumpDelay(kHandshakeSettleMs);
    return WaitForEcho(kHandshakeByte);
}

uint8_t TLmLink::ReadLmByte(uint8_t address, int replies)
{
    io_.Write(std::string(1, static_cast<char>(address)));
    WaitForReplies(replies);
    return LastRxByte();
}

}  // namespace tessek
