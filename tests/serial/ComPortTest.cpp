// The port and its event thread: against a scripted device (line events, modem lines and
// a slow output queue cannot be produced on a pseudo-terminal), then on pseudo-terminals
// (the exclusive open, raw bytes, what Close puts back, a device that goes away while
// open).
#include "platform/UniqueFd.h"
#include "serial/ComPort.h"
#include "serial/EventThread.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/EventLoop.h"
#include "tests/common/PtyPeer.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <tuple>

namespace tessek {

// The port's internals, for its tests.
struct TComPortTestAccess {
    static ISerialDevice* Device(const TCustomComPort& port) { return port.Device(); }
    static const TComThread* EventThread(const TCustomComPort& port) { return port.EventThread(); }
};

namespace {

using test::PtyPeer;
using Access = TComPortTestAccess;
using ::testing::Property;

// A call that raises EComPort with `code` (and the system's error `winCode` and the
// message `what`, when given).
auto Raises(int code, ::testing::Matcher<int> winCode = ::testing::_,
            ::testing::Matcher<std::string> what = ::testing::_)
{
    return ::testing::Throws<EComPort>(
        ::testing::AllOf(Property(&EComPort::Code, code), Property(&EComPort::WinCode, winCode),
                         ::testing::ResultOf([](const EComPort& e) { return std::string(e.what()); }, what)));
}

// A device whose input, line events, line errors and output queue the test scripts (a
// pseudo-terminal has no line events, and its output queue is always empty). Its WaitFd,
// which the event thread polls, is readable while input or line events wait.
class ScriptedDevice final : public ISerialDevice {
public:
    ModemLines modem;
    int32_t inputCapacity = 4096;
    int setLineErrno = 0;
    std::atomic<int32_t> outputQueued = 0;  // bytes not yet sent

    explicit ScriptedDevice(int& destroyed) : destroyed_(destroyed)
    {
        EXPECT_EQ(::pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0);
    }
    ~ScriptedDevice() override
    {
        ::close(fds_[0]);
        ::close(fds_[1]);
        ++destroyed_;
    }
    // Bytes and line events (with the error flags they leave) as one wake-up sees them.
    void Receive(const std::string& bytes, TComEvents events = 0, TComErrors errors = 0)
    {
        std::lock_guard lock(m_);
        input_ += bytes;
        events_ |= events;
        errors_ |= errors;
        Signal();
    }

    void SetLine(const LineSettings&) override
    {
        if (setLineErrno != 0)
            throw DeviceError(setLineErrno);
    }
    void SetTimeouts(const DeviceTimeouts&) override {}
    void SetQueueSizes(int32_t, int32_t) override {}
    int32_t Write(const uint8_t*, int32_t count) override { return count; }
    int32_t Read(uint8_t* data, int32_t count) override
    {
        std::lock_guard lock(m_);
        const size_t n = input_.copy(reinterpret_cast<char*>(data), static_cast<size_t>(count));
        input_.erase(0, n);
        Signal();
        return static_cast<int32_t>(n);
    }
    void AbortPending() override {}
    void Purge(bool, bool) override {}
    int32_t InputCount() override
    {
        std::lock_guard lock(m_);
        return static_cast<int32_t>(input_.size());
    }
    int32_t OutputCount() override { return outputQueued; }
    TComErrors TakeErrors() override { return errors_.exchange(0); }
    ModemLines ModemSignals() override { return modem; }
    int WaitFd() const override { return fds_[0]; }
    TComEvents TakeLineEvents() override
    {
        std::lock_guard lock(m_);
        const TComEvents events = std::exchange(events_, 0);
        Signal();
        return events;
    }
    int LineEventInterval() const override { return -1; }
    int32_t InputCapacity() const override { return inputCapacity; }

private:
    void Signal()
    {
        char c = 0;
        if (const bool waiting = !input_.empty() || events_ != 0; waiting != signalled_)
            signalled_ = waiting ? ::write(fds_[1], &c, 1) == 1 : ::read(fds_[0], &c, 1) != 1;
    }
    int& destroyed_;
    int fds_[2] = {-1, -1};
    std::mutex m_;
    std::string input_;
    TComEvents events_ = 0;
    std::atomic<TComErrors> errors_ = 0;
    bool signalled_ = false;
};

using Log = std::vector<std::string>;

// The bytes a receive handler is told about.
std::string Take(TCustomComPort* port, int32_t count)
{
    std::string bytes;
    port->ReadBytes(bytes, count);
    return bytes;
}

class ScriptedPortTest : public ::testing::Test {
protected:
    // Every handler call is logged as text (the open and close handlers with Connected,
    // the line handlers with the state); the receive handler reads what it is told about.
    ScriptedPortTest()
    {
        port.SetDeviceFactory([this](const std::string&) -> std::unique_ptr<ISerialDevice> {
            return std::exchange(next, std::make_unique<ScriptedDevice>(destroyed));
        });
        port.SetRxEventByteLimit(1);  // as the program runs it
        for (const auto& [event, name] : std::initializer_list<std::pair<TNotifyEvent TCustomComPort::*, std::string>>{
                 {&TCustomComPort::OnBeforeOpen, "BeforeOpen:"},
                 {&TCustomComPort::OnAfterOpen, "AfterOpen:"},
                 {&TCustomComPort::OnBeforeClose, "BeforeClose:"},
                 {&TCustomComPort::OnAfterClose, "AfterClose:"},
                 {&TCustomComPort::OnTxEmpty, "TxEmpty"},
                 {&TCustomComPort::OnBreak, "Break"},
                 {&TCustomComPort::OnRing, "Ring"},
                 {&TCustomComPort::OnRxFlag, "RxFlag"},
                 {&TCustomComPort::OnRx80Full, "Rx80Full"}})
            port.*event = [this, name](TCustomComPort* p) {
                log.push_back(name.back() == ':' ? name + (p->Connected() ? "1" : "0") : name);
            };
        for (const auto& [event, name] :
             std::initializer_list<std::pair<TComSignalEvent TCustomComPort::*, std::string>>{
                 {&TCustomComPort::OnCTSChange, "CTS:"},
                 {&TCustomComPort::OnDSRChange, "DSR:"},
                 {&TCustomComPort::OnRLSDChange, "RLSD:"}})
            port.*event = [this, name](TCustomComPort*, bool on) { log.push_back(name + (on ? "1" : "0")); };
        port.OnError = [this](TCustomComPort*, TComErrors e) { log.push_back("Error:" + std::to_string(e)); };
        port.OnRxChar = [this](TCustomComPort* p, int32_t count) {
            received += Take(p, count);
            log.push_back("Rx:" + std::to_string(count));
        };
    }
    ScriptedDevice& Device() { return static_cast<ScriptedDevice&>(*Access::Device(port)); }
    size_t Count(const std::string& entry) const { return std::count(log.begin(), log.end(), entry); }
    void OpenQuietly()
    {
        port.Open();
        log.clear();
    }
    // Waits, without pumping (the window thread is busy: nothing is delivered meanwhile),
    // until the event thread has queued something; with `all`, until it has taken
    // everything the device has too.
    bool HandedOver(bool all = true)
    {
        for (int ms = 0; ms < 3000; ++ms) {
            if ((!all || Device().InputCount() == 0) && Access::EventThread(port)->HandOverPending())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    int destroyed = 0;
    std::unique_ptr<ScriptedDevice> next = std::make_unique<ScriptedDevice>(destroyed);  // for the next Open
    test::ErrorRecorder shown;
    Log log;
    std::string received;
    TComPort port;  // closed first, while the handlers' captures are there
};

TEST_F(ScriptedPortTest, OpenAndCloseCallTheirHandlersInOrderAndAFailedOpenLeavesThePortClosed)
{
    next->modem.CTS = next->modem.RLSD = true;
    port.Open();
    EXPECT_EQ(log, (Log{"BeforeOpen:0", "AfterOpen:1", "CTS:1", "DSR:0", "RLSD:1"}));
    log.clear();
    port.Close();
    port.Close();  // closed already: nothing
    EXPECT_EQ(log, (Log{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose:1", "AfterClose:0"}));
    EXPECT_EQ(destroyed, 1);

    next->setLineErrno = EINVAL;
    log.clear();
    EXPECT_THAT([&] { port.Open(); }, Raises(kErrSetState, EINVAL));
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(log, Log{"BeforeOpen:0"});
    EXPECT_EQ(Access::EventThread(port), nullptr);
    EXPECT_EQ(destroyed, 2);
}

TEST_F(ScriptedPortTest, OneBatchIsDeliveredInTheFixedOrderAndInputBeyondTheBufferWaits)
{
    next->inputCapacity = 5;  // 4 bytes fill it to 80 %
    next->modem.CTS = next->modem.RLSD = true;
    OpenQuietly();
    const TComEvents line = ComEvent(evError) | ComEvent(evBreak) | ComEvent(evRing) | ComEvent(evCTS) |
                            ComEvent(evDSR) | ComEvent(evRLSD) | ComEvent(evRxFlag);
    Device().Receive("abcd", line, ComError(ceFrame));
    ASSERT_TRUE(test::PumpUntil([&] { return log.size() >= 12; }));
    test::PumpFor(50);
    // Every byte is a receive event of its own: the rest follow the batch one by one.
    EXPECT_EQ(log, (Log{"Error:1", "Rx:1", "Break", "Ring", "CTS:1", "DSR:0", "RxFlag", "RLSD:1", "Rx80Full", "Rx:1",
                        "Rx:1", "Rx:1"}));
    Device().Receive("efghijk");
    ASSERT_TRUE(test::PumpUntil([&] { return received.size() >= 11; }));
    EXPECT_EQ(received, "abcdefghijk");
}

TEST_F(ScriptedPortTest, BatchesKeepTheirOrderAcrossDrains)
{
    OpenQuietly();
    bool queuedDuringDrain = false;
    port.OnRxChar = [&](TCustomComPort* p, int32_t count) {
        const std::string bytes = Take(p, count);
        log.push_back("Rx:" + bytes);
        if (bytes == "a") {
            // Queued behind "b" while the drain that runs "a" is still going: this handler
            // waits until the thread has queued them, so the case arises every time.
            p->WriteBytes("w");
            Device().Receive("c", ComEvent(evRing));
            queuedDuringDrain = HandedOver();
        }
    };
    Device().Receive("ab");
    ASSERT_TRUE(test::PumpUntil([&] { return log.size() >= 5; }));
    Device().Receive("d");
    ASSERT_TRUE(test::PumpUntil([&] { return log.size() >= 6; }));
    test::PumpFor(50);
    EXPECT_TRUE(queuedDuringDrain);
    EXPECT_EQ(log, (Log{"Rx:a", "Rx:b", "TxEmpty", "Rx:c", "Ring", "Rx:d"}));
}

TEST_F(ScriptedPortTest, TheWakeHintHoldsReceiveEventsBackButNoOtherEvent)
{
    OpenQuietly();
    PortWaitHints(port).SetRxWakeCount(2);
    Device().Receive("a");
    ASSERT_TRUE(HandedOver());
    test::PumpFor(50);
    EXPECT_EQ(received, "") << "one receive event of the two needed";
    Device().Receive("b");
    ASSERT_TRUE(test::PumpUntil([&] { return received == "ab"; }));

    PortWaitHints(port).SetRxWakeCount(0);
    Device().Receive("c");
    ASSERT_TRUE(HandedOver());
    test::PumpFor(50);
    EXPECT_EQ(received, "ab") << "receive events alone";
    Device().Receive("", ComEvent(evRing));
    ASSERT_TRUE(test::PumpUntil([&] { return Count("Ring") == 1; }));
    EXPECT_EQ(received, "abc") << "another event brings what was held back, in order";

    Device().Receive("d");
    ASSERT_TRUE(HandedOver());
    PortWaitHints(port).SetRxWakeCount(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, "abcd") << "held back until the count came down, delivered by the next pump";
    EXPECT_EQ(log, (Log{"Rx:1", "Rx:1", "Rx:1", "Ring", "Rx:1"}));
}

// CPU time the calling thread has used, in ms.
double ThreadCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// While a wait for bytes is under way the window thread reads them itself: the wake hint
// that makes the event thread hold receive events back does not delay them, and the order
// stays the thread's. Afterwards the first input gives the device back to the thread.
TEST_F(ScriptedPortTest, AWaitForBytesReadsThemOnItsOwnThreadAndThenGivesTheInputBack)
{
    OpenQuietly();
    PortWaitHints(port).SetRxWakeCount(0);  // the event thread would hold every receive event back
    PortWaitHints(port).SetWaitingForInput(true);
    Device().Receive("a");
    ASSERT_TRUE(test::PumpUntil([&] { return received == "a"; })) << "read by the waiting thread";
    // The output queue runs empty as the answer comes: its transmit-empty still comes first,
    // a batch of its own (within one batch the receive handler would come first).
    Device().outputQueued = 1;
    port.WriteBytes("w");
    Device().outputQueued = 0;
    Device().Receive("b", ComEvent(evRing));
    ASSERT_TRUE(test::PumpUntil([&] { return received == "ab"; }));
    test::PumpFor(20);
    EXPECT_EQ(log, (Log{"Rx:1", "TxEmpty", "Rx:1", "Ring"}));

    PortWaitHints(port).SetWaitingForInput(false);
    Device().Receive("c");
    ASSERT_TRUE(test::PumpUntil([&] {
        return Device().InputCount() == 0 && Access::EventThread(port)->HandOverPending();
    })) << "the event thread has taken the byte";
    EXPECT_EQ(received, "ab") << "and holds it back as the hint says";
    PortWaitHints(port).SetRxWakeCount(1);
    ASSERT_TRUE(test::PumpUntil([&] { return received == "abc"; }));
}

// A byte and a Ring arrive together while the window thread holds the input (a wait for
// replies), a write's transmit-empty is pending (the event thread looks at the device every
// millisecond) and the window thread is busy elsewhere: the event thread's look that finds
// the Ring reads the byte with it, so the byte is delivered first, as the device had it.
TEST_F(ScriptedPortTest, AByteAndARingArrivingTogetherKeepTheirOrderWhileTheWindowThreadHoldsTheInput)
{
    OpenQuietly();
    PortWaitHints(port).SetWaitingForInput(true);
    for (int round = 1; round <= 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        log.clear();
        Device().outputQueued = 1;
        port.WriteBytes("w");
        Device().Receive("b", ComEvent(evRing));
        ASSERT_TRUE(HandedOver(false));
        Device().outputQueued = 0;
        ASSERT_TRUE(test::PumpUntil([&] { return log.size() >= 3; }));
        ASSERT_EQ(log, (Log{"Rx:1", "Ring", "TxEmpty"}));
    }
}

// The transmit-empty of a write whose output went at once runs when the window thread asks
// for it, without a pass through the event loop, and only then; one still sending is the
// event thread's to report.
TEST_F(ScriptedPortTest, ATransmitEmptyQueuedAsTheWriteReturnedRunsWhenAskedAndOnce)
{
    OpenQuietly();
    PortWaitHints(port).RunOwnEvents();
    port.WriteBytes("w");
    EXPECT_EQ(log, Log{});
    PortWaitHints(port).RunOwnEvents();
    EXPECT_EQ(log, Log{"TxEmpty"});
    test::PumpFor(20);
    EXPECT_EQ(log, Log{"TxEmpty"});

    Device().outputQueued = 1;
    port.WriteBytes("w");
    PortWaitHints(port).RunOwnEvents();
    EXPECT_EQ(log, Log{"TxEmpty"});
    Device().outputQueued = 0;
    ASSERT_TRUE(test::PumpUntil([&] { return Count("TxEmpty") == 2; }));
}

// A receive handler closes the port while the window thread reads the bytes itself: the
// rest of the batches is abandoned and the port closes once (the sanitizer build sees the
// port's thread object used after Close freed it otherwise).
TEST_F(ScriptedPortTest, AHandlerClosingThePortDuringAWaitForBytesAbandonsTheRest)
{
    OpenQuietly();
    port.OnRxChar = [this](TCustomComPort* p, int32_t) {
        log.push_back("Rx");
        p->Close();
    };
    PortWaitHints(port).SetWaitingForInput(true);
    Device().Receive("ab", ComEvent(evRing));
    ASSERT_TRUE(test::PumpUntil([&] { return !port.Connected(); }));
    test::PumpFor(20);
    EXPECT_EQ(log, (Log{"Rx", "CTS:0", "DSR:0", "RLSD:0", "BeforeClose:1", "AfterClose:0"}));
    EXPECT_EQ(destroyed, 1);
}

// Input the buffer has no room for, with a handler that reads none of it, leaves the
// device to the event thread (which looks for room from time to time) instead of waking
// the window thread over and over.
TEST_F(ScriptedPortTest, AWaitForBytesThatFindsTheBufferFullDoesNotSpin)
{
    next->inputCapacity = 2;
    OpenQuietly();
    port.OnRxChar = [this](TCustomComPort*, int32_t count) { log.push_back("Rx:" + std::to_string(count)); };
    PortWaitHints(port).SetWaitingForInput(true);
    Device().Receive("abcd");
    ASSERT_TRUE(test::PumpUntil([&] { return Count("Rx:1") == 2; }));
    const double cpuBefore = ThreadCpuMs();
    test::PumpFor(300);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 150.0);
    EXPECT_EQ(Device().InputCount(), 2) << "what did not fit waits in the device";
}

// Close runs what is queued itself, in order. The break handler closes the port too: that
// second Close goes through the stopping path: the rest of its batch is abandoned, the port
// is closed once, and the device outlives the event thread (the sanitizer build sees a
// device used after it was freed otherwise).
TEST_F(ScriptedPortTest, CloseRunsWhatIsQueuedInOrderUntilAHandlerClosesThePortToo)
{
    port.OnBreak = [this](TCustomComPort* p) {
        log.push_back("Break");
        p->Close();
    };
    OpenQuietly();
    Device().Receive("ab");
    ASSERT_TRUE(HandedOver());
    Device().Receive("c", ComEvent(evBreak) | ComEvent(evRing));
    ASSERT_TRUE(HandedOver());
    port.Close();  // without pumping
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(Access::EventThread(port), nullptr);
    test::PumpFor(50);  // the posted drain finds nothing left to run
    EXPECT_EQ(received, "abc");
    ASSERT_GE(log.size(), 8u);
    EXPECT_EQ(Log(log.begin(), log.begin() + 8),
              (Log{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose:1", "Rx:1", "Rx:1", "Rx:1", "Break"}));
    EXPECT_EQ(Count("Ring"), 0u) << "the batch goes on after its handler closed the port";
    EXPECT_EQ(Count("AfterClose:0"), 1u);
    EXPECT_EQ(destroyed, 1);
}

// ---- on pseudo-terminals, with the test as the device's peer ------------------------------

// Both halves of the exclusive open: the lock keeps out a second open of ours, the
// terminal's exclusive mode any program that takes no lock (root is let in, but the mode
// shows), and closing gives both up. Bytes pass untranslated either way.
TEST(PtyPortTest, ASecondOpenOfTheSameDeviceFailsAndSaysThePortIsHeld)
{
    PtyPeer peer;
    const auto exclusiveMode = [&] {
        UniqueFd other(::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        int mode = -1;
        if (!other.Valid())
            return errno == EBUSY ? 1 : -errno;
        return ::ioctl(other.Get(), TIOCGEXCL, &mode) == 0 ? mode : -errno;
    };
    TComPort first, second;
    first.SetPort(peer.SlavePath());
    second.SetPort(peer.SlavePath());
    first.Open();
    EXPECT_THAT([&] { second.Open(); }, Raises(kErrOpen, ::testing::AnyOf(EBUSY, EWOULDBLOCK),
                                               ::testing::HasSubstr(peer.SlavePath() + " is held by another program")));
    EXPECT_FALSE(second.Connected());
    EXPECT_EQ(exclusiveMode(), 1);

    const std::string bytes("\x12\r\n\0\xff", 5);
    EXPECT_EQ(first.WriteBytes(bytes), 5);
    EXPECT_EQ(peer.Read(5, 2000), bytes) << "the first port goes on working, raw";
    peer.Write(bytes);
    ASSERT_TRUE(test::PumpUntil([&] { return first.InputQueueCount() == 5; }));
    std::string got;
    EXPECT_EQ(first.ReadBytes(got, 9), 5);
    EXPECT_EQ(got, bytes);

    first.Close();
    EXPECT_EQ(exclusiveMode(), 0);
    second.Open();
    EXPECT_TRUE(second.Connected());
}

size_t Entries(const char* folder)
{
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

// Declared first in a test, checks at its end that the process has no more descriptors
// and threads than at its start. Deliveries still posted (each holds its thread's eventfd)
// are run first.
struct NothingLeftBehind {
    static size_t Fds()
    {
        QCoreApplication::sendPostedEvents();
        return Entries("/proc/self/fd");
    }
    size_t fds = Fds(), threads = Entries("/proc/self/task");
    ~NothingLeftBehind()
    {
        EXPECT_EQ(Fds(), fds);
        EXPECT_EQ(Entries("/proc/self/task"), threads);
    }
};

// The line as the kernel holds it, read through the master (both ends share it).
struct PtyLine {
    termios flags{};
    LineRates rates;
    explicit PtyLine(const PtyPeer& peer)
    {
        EXPECT_EQ(::tcgetattr(peer.MasterFd(), &flags), 0);
        rates = ReadLineRates(peer.MasterFd()).value_or(LineRates{});
    }
};

TEST(PtyPortTest, CloseGivesTheDeviceTheLineSettingsItHadBeforeOpen)
{
    const NothingLeftBehind check;
    PtyPeer peer;
    termios start{};
    ASSERT_EQ(::tcgetattr(peer.MasterFd(), &start), 0);
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told; the rest shows.
    ::cfsetspeed(&start, B2400);
    start.c_cflag |= CSTOPB;
    start.c_iflag |= IXOFF;
    ASSERT_EQ(::tcsetattr(peer.MasterFd(), TCSANOW, &start), 0);
    const PtyLine before(peer);

    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    port.Open();
    port.SetCustomBaudRate(7680);
    const PtyLine whileOpen(peer);
    ASSERT_EQ(whileOpen.rates.output, 7680u) << "set on the open port";
    ASSERT_NE(whileOpen.flags.c_cflag, before.flags.c_cflag);
    ASSERT_NE(whileOpen.flags.c_lflag, before.flags.c_lflag);
    port.Close();

    const PtyLine after(peer);
    const auto modes = [](const termios& t) { return std::tuple(t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag); };
    EXPECT_EQ(modes(after.flags), modes(before.flags));
    EXPECT_EQ(std::memcmp(after.flags.c_cc, before.flags.c_cc, sizeof before.flags.c_cc), 0);
    EXPECT_EQ(std::pair(after.rates.output, after.rates.input), std::pair(2400u, 2400u));
}

// The line settings change while the event thread reads what the peer keeps sending (as
// the LM's slow stream goes on while a command switches the rate): every byte arrives, in
// order, and each change is made under the port's lock that the thread's reads take (the
// thread sanitizer build sees a data race otherwise).
TEST(PtyPortTest, TheLineChangesWhileTheEventThreadReadsWhatArrives)
{
    PtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(brCustom);
    std::string received;
    port.OnRxChar = [&](TCustomComPort* sender, int32_t count) { received += Take(sender, count); };
    port.Open();
    std::string sent;
    for (int i = 0; i < 200; ++i)
        sent += static_cast<char>('A' + i % 26);
    std::thread lm([&] {
        for (const char c : sent) {
            peer.Write(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    for (int i = 0; i < 200; ++i) {
        port.SetCustomBaudRate(i % 2 == 0 ? 7680 : 977);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    lm.join();
    ASSERT_TRUE(test::PumpUntil([&] { return received.size() >= sent.size(); }));
    EXPECT_EQ(received, sent);
}

// A device that goes away while open (the far end closes, as a pulled cable hangs a line
// up): its bytes arrive, then one I/O error (ceIO), the event thread ends without showing
// an error, later calls raise clear errors, and Close leaves nothing behind; the same when
// the window thread is waiting for bytes and reads them itself, which must not spin on the
// hung-up device either.
TEST(PtyPortTest, AVanishedDeviceGivesCeIOOnceAndClearErrorsAfterwards)
{
    for (const bool waiting : {false, true}) {
        SCOPED_TRACE(waiting ? "waiting for bytes" : "not waiting");
        const NothingLeftBehind check;
        test::ErrorRecorder shown;
        PtyPeer peer;
        TComPort port;
        port.SetPort(peer.SlavePath());
        std::string received;
        std::vector<TComErrors> errors;
        port.OnRxChar = [&](TCustomComPort* sender, int32_t count) { received += Take(sender, count); };
        port.OnError = [&](TCustomComPort*, TComErrors e) { errors.push_back(e); };
        port.Open();
        PortWaitHints(port).SetWaitingForInput(waiting);
        peer.Write("ab");
        ASSERT_TRUE(test::PumpUntil([&] { return received == "ab"; }));
        peer.CloseMaster();
        EXPECT_TRUE(test::PumpUntil([&] { return Access::EventThread(port)->Finished() && !errors.empty(); }));
        const double cpuBefore = ThreadCpuMs();
        test::PumpFor(200);
        EXPECT_LT(ThreadCpuMs() - cpuBefore, 100.0);
        EXPECT_EQ(errors, std::vector<TComErrors>{ComError(ceIO)});
        EXPECT_THAT([&] { port.WriteBytes("\x12"); }, Raises(kErrWrite, EIO));
        EXPECT_EQ(port.ReadLineErrors(), ComError(ceIO)) << "the failed write's";
        EXPECT_EQ(port.ReadLineErrors(), 0);
        EXPECT_TRUE(port.Connected());
        PortWaitHints(port).SetWaitingForInput(false);
        port.Close();
        EXPECT_EQ(shown.messages, std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace tessek
