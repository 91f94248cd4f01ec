// The link over a real port and a pseudo-terminal: a request that gets only its echo, and
// one that gets its answer, with the port holding receive events back while a wait needs
// more of them.
#include "lm/LmLink.h"
#include "serial/ComPort.h"
#include "tests/common/PtyPeer.h"

#include <gtest/gtest.h>

#include <thread>

namespace tessek {
namespace {

TEST(LinkOverAPort, WithoutAnAnswerTheLastByteIsTheEchoAndAnAnswerEndsTheWait)
{
    test::PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(7680);
    port.SetRxEventByteLimit(1);
    LmLink link(PortLinkIo(port), [] { return true; });
    port.OnRxChar = [&](TCustomComPort* sender, int32_t count) { link.ComPortRxChar(sender, count); };
    port.OnTxEmpty = [&](TCustomComPort* sender) { link.ComPortTxEmpty(sender); };
    port.Open();

    // The peer echoes 8F and says nothing more; it echoes 69 and answers 33, 2 ms later.
    std::thread lm([&] {
        for (const char* reply : {"\x8F", "\x69\x33"}) {
            const std::string request = peer.Read(1, 3000);
            if (request.empty())
                return;
            peer.Write(std::string(1, reply[0]));
            if (reply[1] != '\0') {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                peer.Write(std::string(1, reply[1]));
            }
        }
    });
    EXPECT_EQ(link.ReadLmByte(0x8F, 2), 0x8F) << "the echo, held back for a second event, is seen at the deadline";
    EXPECT_EQ(link.RxEventCount(), 1);
    const uint32_t start = GetTickCount();
    EXPECT_EQ(link.ReadLmByte(0x69, 2), 0x33);
    EXPECT_LT(TickElapsed(start, GetTickCount()), 400u) << "the answer ends the wait well before its limit";
    lm.join();
    port.Close();
}

}  // namespace
}  // namespace tessek
