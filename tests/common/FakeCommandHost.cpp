#include "tests/common/FakeCommandHost.h"

#include "lm/LmLink.h"

namespace tessek::test {

bool FakeCommandHost::EstablishHighBaud()
{
    RateAtHandshake = {port_.BaudRate(), port_.CustomBaudRate()};
    lastRx_ = kHandshakeByte;  // the echo
    return HandshakeAnswers && RateAtHandshake == std::pair(brCustom, kLowBaud);
}

uint8_t FakeCommandHost::ReadLmByte(uint8_t address, int replies)
{
    Asked.push_back(address);
    Replies.push_back(replies);
    Now += MsPerExchange;
    if (Answers)
        lastRx_ = Memory[address];
    if (OnExchange)
        OnExchange(static_cast<int>(Asked.size()));
    return lastRx_;
}

void FakeCommandHost::PumpDelay(uint32_t ms)
{
    Now += ms;
    ++PumpDelays;
}

}  // namespace tessek::test
