// The logging run: end to end through the main window's Log button against the simulated
// LM on a pseudo-terminal, and on its own with the fake command host (LM and clock
// scripted).
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "lm/LmLink.h"
#include "logging/LogRun.h"
#include "logging/Performance.h"
#include "platform/ErrorDisplay.h"
#include "platform/Hex.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/FakeCommandHost.h"
#include "tests/common/ScriptedTime.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <regex>

namespace tessek {
namespace {

const std::string kBaroLine = "BARO =   0.19hg   Coolant Temp = 131.9F (9A) ";
const std::string kTitles = " Time    RPM; MPH; MAP; Knock; Cyl 1 Retard; Skip value; Throttle Flg; $4A; ";
const std::string kSample = "<t>2000rpm  50.00mph  0.86psi 2.50v 31deg  5A  07 ";  // <t>: the time field
// Requests of the header (73, 9A) and of one sample with the slots above (RPM, MPH take two).
constexpr uint32_t kHeaderRequests = 2, kSampleRequests = 9;

// The LM's bytes both kinds of test answer from (addresses not listed hold 00).
const sim::LmMemory kMemory = [] {
    sim::LmMemory memory{};
    const std::pair<uint8_t, uint8_t> bytes[] = {
        {0x73, 0x55}, {0x9A, 0x9A}, {0x90, 0x40}, {0x8F, 0x1F}, {0x6A, 0x80}, {0x69, 0x0C},
        {0x86, 0x5A}, {0xA0, 0x80}, {0xCE, 0xFF}, {0x81, 0x5A}, {0x4A, 0x07}, {0x5D, 0x00},
        {0x9D, 0xFF}, {0x72, 0x15}, {0x98, 0xFF}, {0x9C, 0x80}, {0xD1, 0x41}, {0xCD, 0xAB},
    };
    for (auto [address, value] : bytes)
        memory[address] = value;
    return memory;
}();

// `lines` with each sample's time field shown as "<t>".
std::vector<std::string> MaskTimes(std::vector<std::string> lines)
{
    for (auto& line : lines)
        line = std::regex_replace(line, std::regex("^ *[0-9]+\\.[0-9]{3} "), "<t>");
    return lines;
}

class LogRunEndToEnd : public ::testing::Test {
protected:
    LogRunEndToEnd()
    {
        lm.SetMemory(kMemory);
        lm.SetQuiet(true);
        previousDisplay = SetErrorDisplay([this](const std::string& message) { errors.push_back(message); });
    }
    ~LogRunEndToEnd() override
    {
        window.reset();
        SetErrorDisplay(previousDisplay);
    }

    // Writes the settings file and opens the window. The action set by AfterRequests runs
    // inside the run's waits as the bytes of an exchange arrive, where a real click lands.
    // `time`, when given, is the window's clock and event pump.
    static constexpr const char* kSlots = "1=8F\n2=69\n3=86\n4=A0\n5=CE\n6=12\n7=81\n8=4A\n";
    TfrmMain& Open(const std::string& currentSet = kSlots, std::shared_ptr<test::ScriptedTime> time = {})
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n" + currentSet);
        window = time ? std::make_unique<TfrmMain>(
                            folder.Path(), [t = time.get()] { return t->Now(); }, time)
                      : std::make_unique<TfrmMain>(folder.Path());
        TfrmMain& w = *window;
        auto original = w.ComPort.OnRxChar;
        w.ComPort.OnRxChar = [this, original](TCustomComPort* sender, int32_t count) {
            if (original)
                original(sender, count);
            if (action && lm.RequestCount() >= actionAt)
                std::exchange(action, nullptr)();
        };
        return w;
    }
    void AfterRequests(uint32_t requests, std::function<void()> then)
    {
        actionAt = lm.RequestCount() + requests;
        action = std::move(then);
    }
    std::vector<std::string> Masked() { return MaskTimes(window->Memo->Lines()); }
    int32_t SaveNum() { return IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0); }

    test::TempFolder folder;
    sim::SimulatedLm lm;
    std::unique_ptr<TfrmMain> window;
    std::function<void()> action;
    uint32_t actionAt = 0;
    std::vector<std::string> errors;
    ErrorDisplay previousDisplay;
};

TEST_F(LogRunEndToEnd, ShortRunStoppedMidSampleThenASecondRun)
{
    // Waits that only run out (the extra handshake byte's second reply, the requests after
    // the stop) end after 100 ms of silence instead of their real 500 ms.
    TfrmMain& w = Open(kSlots, std::make_shared<test::ScriptedTime>(100));
    // Stopped while the third sample waits for its MPH bytes: the decoder finishes its
    // exchange and the sample goes no further.
    AfterRequests(kHeaderRequests + 2 * kSampleRequests + 3, [&] { w.btnLog->click(); });
    w.btnLog->click();
    const auto lines = Masked();
    ASSERT_EQ(lines.size(), 7u) << w.MemoText();
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("Logging  Start at .*[0-9]"))) << lines[0];
    EXPECT_EQ(std::vector(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{kBaroLine, kTitles, kSample, kSample, "Cancel Logging", "Done Logging"}));
    EXPECT_EQ(lm.RequestCount(), kHeaderRequests + 2 * kSampleRequests + 4);
    EXPECT_FALSE(w.Busy());
    EXPECT_EQ(w.lbstatus->text().toStdString(), "Connected");
    EXPECT_EQ(w.ComPort.CustomBaudRate(), 7680);
    const std::string first = w.MemoText();
    EXPECT_EQ(folder.Read("TempLog1.txt"), first);
    EXPECT_EQ(SaveNum(), 2);
    // A second run starts with an empty text area and saves under the next number.
    AfterRequests(kHeaderRequests + kSampleRequests + 1, [&] { w.btnLog->click(); });
    w.btnLog->click();
    EXPECT_EQ(Masked().size(), 6u) << w.MemoText();
    EXPECT_EQ(folder.Read("TempLog1.txt"), first);
    EXPECT_EQ(folder.Read("TempLog2.txt"), w.MemoText());
    EXPECT_EQ(SaveNum(), 3);
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogRunEndToEnd, AllSkippedRunIsPacedAndStoppedByLog)
{
    TfrmMain& w = Open("");
    const uint32_t before = lm.RequestCount();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (w.Memo->Lines().size() >= 3) {  // Log is pressed 300 ms after the title line
            watch.stop();
            QTimer::singleShot(300, [&] { w.btnLog->click(); });
        }
    });
    watch.start(5);
    w.btnLog->click();
    const auto lines = Masked();
    ASSERT_GE(lines.size(), 8u) << w.MemoText();
    EXPECT_EQ(lines[2],
              " Time    Skip value; Skip value; Skip value; Skip value; Skip value; Skip value; Skip value; "
              "Skip value; ");
    EXPECT_LE(lines.size() - 5, 300u / LogRun::kIdleSamplePaceMs + 10);  // paced, not flooded
    std::vector<std::string> rest(lines.size() - 5, "<t>");
    rest.insert(rest.end(), {"Cancel Logging", "Done Logging"});
    EXPECT_EQ(std::vector(lines.begin() + 3, lines.end()), rest);
    EXPECT_EQ(lm.RequestCount() - before, kHeaderRequests);  // nothing asked per sample
    EXPECT_EQ(folder.Read("TempLog1.txt"), w.MemoText());
}

TEST_F(LogRunEndToEnd, HandshakeFailure)
{
    lm.SetFault(sim::LmFault::Silent);
    auto time = std::make_shared<test::ScriptedTime>();
    TfrmMain& w = Open("1=8F\n", time);
    const uint32_t start = time->Now();
    w.btnLog->click();
    EXPECT_GE(time->Now() - start, 2200u);  // both echo waits ran out
    EXPECT_EQ(Masked(), std::vector<std::string>{"Failed to establish high baud mode with LM.  Baud set back to 976"});
    EXPECT_EQ(w.lbstatus->text().toStdString(), "Not Connected");
    EXPECT_EQ(w.ComPort.CustomBaudRate(), 977);
    EXPECT_FALSE(w.Busy());
    EXPECT_TRUE(w.btnComSetup->isEnabled());
    EXPECT_FALSE(folder.Exists("TempLog1.txt"));
    EXPECT_EQ(SaveNum(), 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogRunEndToEnd, CablePulledMidRunStillSavesItsFile)
{
    TfrmMain& w = Open(kSlots, std::make_shared<test::ScriptedTime>(100));
    AfterRequests(kHeaderRequests + kSampleRequests + 2, [&] { lm.SetFault(sim::LmFault::HangUp); });
    w.btnLog->click();
    ASSERT_EQ(errors.size(), 1u) << w.MemoText();
    EXPECT_NE(errors[0].find("WriteFile"), std::string::npos) << errors[0];
    const auto lines = Masked();
    EXPECT_EQ(std::vector(lines.begin() + 1, lines.end()), (std::vector{kBaroLine, kTitles, kSample}));  // no "Done"
    EXPECT_EQ(folder.Read("TempLog1.txt"), w.MemoText());
    EXPECT_EQ(SaveNum(), 2);
    EXPECT_TRUE(w.Busy());  // until Log is pressed again
    w.btnLog->click();
    EXPECT_FALSE(w.Busy());
    EXPECT_EQ(Masked().back(), "Cancel Logging");
}

// The run on its own: the fake host answers from `memory`, its clock moves only with the
// exchanges, and a "press of Log" is a second run's StartOrStop, as the button does it.
class LogRunScripted : public ::testing::Test {
protected:
    LogRunScripted()
    {
        std::copy(kMemory.begin(), kMemory.end(), host.Memory.begin());
        host.Folder = folder.Path();
    }
    void Slots(std::initializer_list<std::pair<int, uint8_t>> addresses)
    {
        for (auto [index, address] : addresses)
            settings.LogAddrs[static_cast<size_t>(index)] = address;
    }
    LogRunState State() { return {prevMph, prevRpm, sampleMph, sampleRpm, baroRef, unsaved}; }
    void Press() { LogRun(host, settings, ini, {}, State()).StartOrStop(); }
    void StopAt(int exchange)
    {
        host.OnExchange = [this, exchange](int n) {
            if (n == exchange)
                Press();
        };
    }
    std::vector<std::string> Masked() const { return MaskTimes(host.Memo.Lines()); }
    int32_t SaveNum() { return IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0); }

    test::TempFolder folder;
    test::FakeCommandHost host;
    LoggingSettings settings;
    IniFile ini{folder.File("Tessek.ini")};
    float prevMph = 0, prevRpm = 0, sampleMph = 0, sampleRpm = 0, baroRef = 0;
    bool unsaved = false;
};

TEST_F(LogRunScripted, ReplyCountFollowsTheRateAtEachRequestAndALateStopDropsTheSample)
{
    Slots({{1, 0x8F}, {8, 0x9C}});
    host.Port().SetBaudRate(br9600);  // a closed port is set to the low rate before the handshake
    host.Port().SetCustomBaudRate(1200);
    host.SampleRate = 0;
    host.OnExchange = [this](int n) {
        if (n == 5)
            host.SampleRate = 3;
        if (n == 9)  // the second sample's last slot
            Press();
    };
    Press();
    EXPECT_EQ(host.RateAtHandshake, std::pair(brCustom, 977));
    EXPECT_EQ(host.Asked, (std::vector<uint8_t>{0x73, 0x9A, 0x12, 0x90, 0x8F, 0x9C, 0x90, 0x8F, 0x9C}));
    // Baro and coolant use the sample rate; the extra handshake byte always waits for 2.
    EXPECT_EQ(host.Replies, (std::vector<int>{1, 1, 2, 1, 1, 4, 4, 4, 4}));
    const auto lines = Masked();
    EXPECT_EQ(std::vector(lines.begin() + 3, lines.end()),
              (std::vector<std::string>{"<t>2000rpm 2.528v(80) ", "Cancel Logging", "Done Logging"}));
    EXPECT_EQ(host.PumpDelays, 0);  // samples with a request are not paced
    EXPECT_EQ(host.Status, "Connected");
}

TEST_F(LogRunScripted, PerformanceFiguresAcrossSamplesAndRuns)
{
    Slots({{1, 0x8F}, {2, 0x69}});
    settings.Performance = true;
    host.Now = 0xFFFFFFF0;  // the tick counter wraps during the run
    host.OnExchange = [this](int n) {
        if (n == 7)  // the second sample reads 2256 rpm and 54 mph
            host.Memory[0x8F] = 0x23, host.Memory[0x69] = 0x0D;
        if (n == 11)  // the third, dropped sample reads 58 mph
            host.Memory[0x69] = 0x0E;
        if (n == 3 + 4 + 4 + 4)
            Press();
    };
    Press();
    auto lines = host.Memo.Lines();
    ASSERT_EQ(lines.size(), 7u);
    // The first sample has T = 0: no figures, but it becomes the previous sample.
    EXPECT_EQ(lines[3], "  0.000 2000rpm  50.00mph ");
    EXPECT_EQ(lines[4], "  0.020 2256rpm  54.00mph  9.17G 3300.02HP 8141.48lb/ft ");
    // The next run's first sample (3 ms in) compares with the last sample written.
    host.Asked.clear();
    host.MsPerExchange = 0;
    host.MsPerTickRead = 3;
    StopAt(3 + 4 + 4);
    Press();
    lines = host.Memo.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "  0.003 2256rpm  58.00mph " +
                            PerformanceText(ComputePerformance(3, 0, 58.0f, 54.0f, 2256.0f, 2256.0f, 2500).value()));
}

TEST_F(LogRunScripted, ExistingLogsAreNeverReplaced)
{
    for (const char* name : {"TempLog1.txt", "TempLog2.txt", "TempLog4.txt"})
        folder.Write(name, name);
    Slots({{1, 0xA0}});
    StopAt(4);
    Press();
    for (const char* name : {"TempLog1.txt", "TempLog2.txt", "TempLog4.txt"})
        EXPECT_EQ(folder.Read(name), name);
    EXPECT_EQ(folder.Read("TempLog3.txt"), host.MemoText());
    EXPECT_EQ(settings.SaveNum, 4);
    EXPECT_EQ(SaveNum(), 4);
    EXPECT_FALSE(unsaved);
}

TEST_F(LogRunScripted, PortErrorWinsOverAFailedSave)
{
    test::ErrorRecorder errors;
    Slots({{1, 0xA0}});
    host.Folder = folder.File("missing/");  // the log cannot be written there
    host.OnExchange = [](int n) {
        if (n == 5)
            throw EComPort(kErrThreadCreated, 5);
    };
    try {
        Press();
        ADD_FAILURE() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), kErrThreadCreated);
    }
    ASSERT_EQ(errors.messages.size(), 1u);  // the failed save, shown before the port error
    EXPECT_NE(errors.messages[0].find(folder.File("missing/TempLog1.txt")), std::string::npos) << errors.messages[0];
    EXPECT_EQ(settings.SaveNum, 1);  // nothing was saved, so the number stays free
    EXPECT_EQ(SaveNum(), 0);
    EXPECT_TRUE(unsaved);  // the text is kept until saved or discarded
    EXPECT_TRUE(host.Busy());
}

// Each address through the run's dispatch: what it asks for, in which order, what it appends.
TEST_F(LogRunScripted, DecodersAskForTheirAddresses)
{
    baroRef = 100.0f;
    LogRun run(host, settings, ini, {}, State());
    const std::tuple<uint8_t, std::vector<uint8_t>, std::string> rows[] = {
        {0x12, {}, ""},
        {0x5D, {0x5D}, "335.0F (00) "},
        {0x69, {0x6A, 0x69}, " 50.00mph "},
        {0x72, {0x72}, "10.5deg "},
        {0x86, {0x86}, " 3.51hg  "},
        {0x8F, {0x90, 0x8F}, "2000rpm "},
        {0x98, {0x98}, " 99.6% "},
        {0x9A, {0x9A}, "131.9F (9A) "},
        {0x9C, {0x9C}, "2.528v(80) "},
        {0x9D, {0x9D}, "-51.1F (FF) "},
        {0xA0, {0xA0}, "2.50v "},
        {0xCE, {0xCE}, "31deg "},
        {0xD1, {0xD1}, " 0deg "},
        {0x73, {0x73}, " 55 "},
        {0xCD, {0xCD}, " AB "},
        {0xD2, {0xD2}, " 00 "},
        {0x90, {0x90}, " 40 "},
        {0x6A, {0x6A}, " 80 "},
        {0x9B, {0x9B}, " 00 "},
        {0x81, {0x81}, " 5A "},
        {0xDD, {0xDD}, " 00 "},
        {0x00, {0x00}, " 00 "},
        {0xFF, {0xFF}, " 00 "},
    };
    for (const auto& [address, requests, text] : rows) {
        SCOPED_TRACE(ByteToHex(address));
        host.Asked.clear();
        std::string line = "x";
        run.DecodeSlot(address, line);
        EXPECT_EQ(line, "x" + text);
        EXPECT_EQ(host.Asked, requests);
    }
    EXPECT_FLOAT_EQ(sampleMph, 50.0f);
    EXPECT_FLOAT_EQ(sampleRpm, 2000.0f);
}

// The automatic log's number: never below 1, and at the largest number the run stops
// numbering with a clear message instead of overflowing.
TEST(LogRunSaveNum, StartsAtOneAndStopsSafelyAtTheMaximum)
{
    constexpr int32_t kMax = 2147483647;
    struct Rig {
        test::TempFolder folder;
        test::FakeCommandHost host;
        LoggingSettings settings;
        IniFile ini{folder.File("Tessek.ini")};
        float prevMph = 0, prevRpm = 0, mph = 0, rpm = 0, baro = 0;
        bool unsaved = false;
        explicit Rig(int32_t saveNum)
        {
            host.Folder = folder.Path();
            settings.SaveNum = saveNum;
            settings.LogAddrs[1] = 0xA0;
        }
        void Log()
        {
            const auto press = [this] {
                LogRun(host, settings, ini, {}, {prevMph, prevRpm, mph, rpm, baro, unsaved}).StartOrStop();
            };
            host.Asked.clear();
            host.OnExchange = [press](int n) {
                if (n == 4)  // the first sample's request
                    press();
            };
            press();
        }
        int32_t Stored() { return IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0); }
    };
    const struct {
        int32_t saveNum;
        const char* file;
        int32_t next;
    } rows[] = {{0, "TempLog1.txt", 2}, {-5, "TempLog1.txt", 2}, {kMax - 1, "TempLog2147483646.txt", kMax}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.saveNum);
        Rig rig(row.saveNum);
        rig.Log();
        EXPECT_EQ(rig.folder.Read(row.file), rig.host.MemoText());
        EXPECT_EQ(rig.settings.SaveNum, row.next);
        EXPECT_EQ(rig.Stored(), row.next);
    }

    Rig rig(kMax);
    rig.Log();
    const std::string last = rig.host.MemoText();
    EXPECT_EQ(rig.folder.Read("TempLog2147483647.txt"), last);
    EXPECT_EQ(rig.settings.SaveNum, kMax);
    try {
        rig.Log();
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("TempLog2147483647.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(rig.folder.Read("TempLog2147483647.txt"), last);
    EXPECT_EQ(rig.settings.SaveNum, kMax);
    EXPECT_EQ(rig.Stored(), kMax);
    EXPECT_TRUE(rig.unsaved);
}

}  // namespace
}  // namespace tessek
