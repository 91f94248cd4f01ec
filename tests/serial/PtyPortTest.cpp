#include "serial/ComPort.h"
#include "serial/EventThread.h"
#include "tests/common/PtyPeer.h"
#include "tests/serial/ComPortTestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

namespace tessek {
namespace {

// The LM's echo and its answer arrive 1.3 ms apart at 7680 baud. Each must be a receive
// event of its own even when the window thread is slow to take the transmit-empty event
// before them, and when it is slow to take the echo's own event.
TEST(RxEventSplit, BytesArrivingWhileAHandOverWaitsAreSeparateReceiveEvents)
{
    test::PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(7680);
    port.SetRxEventByteLimit(1);
    std::vector<std::string> log;
    port.OnTxEmpty = [&](TCustomComPort*) { log.push_back("TxEmpty"); };
    port.OnRxChar = [&](TCustomComPort* sender, int32_t count) {
        std::string bytes;
        sender->ReadBytes(bytes, count);
        log.push_back("Rx:" + bytes);
    };
    port.Open();

    for (const char* round : {"AB", "CD"}) {
        SCOPED_TRACE(round);
        log.clear();
        port.WriteBytes("\x46");
        ASSERT_EQ(peer.Read(1, 1000), "\x46");
        // Nothing is pumped while the two bytes come in, well apart.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Write(std::string(1, round[0]));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.Write(std::string(1, round[1]));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        test::PumpUntil([&] { return log.size() >= 3; });
        EXPECT_EQ(log,
                  (std::vector<std::string>{"TxEmpty", std::string("Rx:") + round[0], std::string("Rx:") + round[1]}));
    }
    port.Close();
}

// "SIM" is listed and opens the built-in simulated LM, which takes the handshake at 977
// baud and then answers a request at 7680.
size_t Entries(const char* folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

// Opening and closing, also of a device that vanished while open, leaves no descriptor
// and no thread behind.
// A device that goes away while open (the pseudo-terminal's far end closes, as a pulled
// cable hangs a line up): the bytes it still held arrive, then one I/O error (ceIO), and
// the event thread ends.
TEST(VanishedDevice, ItsLastBytesArriveThenOneIoError)
{
    test::PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(7680);
    std::string received;
    std::vector<TComErrors> errors;
    port.OnRxChar = [&](TCustomComPort* sender, int32_t count) {
        std::string bytes;
        sender->ReadBytes(bytes, count);
        received += bytes;
    };
    port.OnError = [&](TCustomComPort*, TComErrors e) { errors.push_back(e); };
    port.Open();
    peer.Write("ab");
    ASSERT_TRUE(test::PumpUntil([&] { return received == "ab"; }));
    peer.CloseMaster();
    EXPECT_TRUE(test::PumpUntil([&] { return port.EventThread()->Finished() && !errors.empty(); }));
    test::PumpFor(50);
    EXPECT_EQ(errors, std::vector<TComErrors>{ComError(ceIO)});
    EXPECT_EQ(received, "ab");
    port.Close();
}

TEST(ComPortLifetime, OpenCloseAndAVanishedDeviceLeaveNoDescriptorOrThread)
{
    const size_t fds = Entries("/proc/self/fd");
    const size_t threads = Entries("/proc/self/task");
    for (int round = 0; round < 3; ++round) {
        test::PtyPeer peer;
        TComPort port;
        port.SetPort(peer.SlavePath());
        port.Open();
        EXPECT_TRUE(port.Connected());
        if (round == 2) {
            peer.CloseMaster();
            EXPECT_THROW(port.WriteBytes("\x12"), EComPort);
        }
        port.Close();
        EXPECT_FALSE(port.Connected());
    }
    EXPECT_EQ(Entries("/proc/self/fd"), fds);
    EXPECT_EQ(Entries("/proc/self/task"), threads);
}

}  // namespace
}  // namespace tessek
