// The Log button of the main window in a private program folder: end to end against the
// simulated LM on a pseudo-terminal, and with the LM and the clock scripted.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "lm/LmLink.h"
#include "logging/LogRun.h"
#include "logging/Performance.h"
#include "platform/ErrorDisplay.h"
#include "platform/Hex.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
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

// The window with the LM answering from a table, a clock that moves only with the
// exchanges and a hook inside each exchange (where a click or a port error lands).
class ScriptedWindow : public TfrmMain {
public:
    using TfrmMain::TfrmMain;
    const sim::LmMemory* Memory = nullptr;
    uint32_t Now = 0, MsPerExchange = 5, MsPerTickRead = 0;
    int PumpDelays = 0;
    std::string Folder;                     // where the logs go, if not the program folder
    std::function<void(int n)> OnExchange;  // n counts the exchanges from 1
    std::vector<uint8_t> Asked;
    std::vector<int> Replies;
    std::pair<TBaudRate, int32_t> RateAtHandshake;

    bool EstablishHighBaud() override
    {
        RateAtHandshake = {ComPort.BaudRate(), ComPort.CustomBaudRate()};
        return true;
    }
    uint8_t ReadLmByte(uint8_t address, int replies) override
    {
        Asked.push_back(address);
        Replies.push_back(replies);
        Now += MsPerExchange;
        const uint8_t value = (*Memory)[address];
        if (OnExchange)
            OnExchange(static_cast<int>(Asked.size()));
        return value;
    }
    bool WaitForEcho(uint8_t) override { return true; }
    void PumpDelay(uint32_t ms) override { Now += ms, ++PumpDelays; }
    uint32_t TickCount() override { return Now += MsPerTickRead; }
    std::string ProgramFolder() const override { return Folder.empty() ? TfrmMain::ProgramFolder() : Folder; }
};

class LogRunEndToEnd : public ::testing::Test {
protected:
    LogRunEndToEnd()
    {
        for (auto [address, value] : std::initializer_list<std::pair<uint8_t, uint8_t>>{{0x73, 0x55},
                                                                                        {0x9A, 0x9A},
                                                                                        {0x90, 0x40},
                                                                                        {0x8F, 0x1F},
                                                                                        {0x6A, 0x80},
                                                                                        {0x69, 0x0C},
                                                                                        {0x86, 0x5A},
                                                                                        {0xA0, 0x80},
                                                                                        {0xCE, 0xFF},
                                                                                        {0x81, 0x5A},
                                                                                        {0x4A, 0x07},
                                                                                        {0x5D, 0x00},
                                                                                        {0x9D, 0xFF},
                                                                                        {0x72, 0x15},
                                                                                        {0x98, 0xFF},
                                                                                        {0x9C, 0x80},
                                                                                        {0xD1, 0x41},
                                                                                        {0xCD, 0xAB}})
            memory[address] = value;
        lm.SetMemory(memory);
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
    template <class Window = TfrmMain>
    Window& Open(const std::string& currentSet = "1=8F\n2=69\n3=86\n4=A0\n5=CE\n6=12\n7=81\n8=4A\n")
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n" + currentSet);
        auto owned = std::make_unique<Window>(folder.Path());
        Window& w = *owned;
        window = std::move(owned);
        auto original = w.ComPort.OnRxChar;
        w.ComPort.OnRxChar = [this, original](TCustomComPort* sender, int32_t count) {
            if (original)
                original(sender, count);
            if (action && lm.RequestCount() >= actionAt)
                std::exchange(action, nullptr)();
        };
        return w;
    }
    ScriptedWindow& Scripted(const std::string& currentSet)
    {
        ScriptedWindow& w = Open<ScriptedWindow>(currentSet);
        w.Memory = &memory;
        return w;
    }
    void StopAt(ScriptedWindow& w, int exchange)  // presses Log inside that exchange
    {
        w.OnExchange = [&w, exchange](int n) {
            if (n == exchange)
                w.btnLog->click();
        };
    }
    void AfterRequests(uint32_t requests, std::function<void()> then)
    {
        actionAt = lm.RequestCount() + requests;
        action = std::move(then);
    }
    std::vector<std::string> Masked()  // the text area with each sample's time field as "<t>"
    {
        std::vector<std::string> lines = window->Memo->Lines();
        for (auto& line : lines)
            line = std::regex_replace(line, std::regex("^ *[0-9]+\\.[0-9]{3} "), "<t>");
        return lines;
    }
    int32_t SaveNum() { return IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0); }

    test::TempFolder folder;
    sim::LmMemory memory{};
    sim::SimulatedLm lm;
    std::unique_ptr<TfrmMain> window;
    std::function<void()> action;
    uint32_t actionAt = 0;
    std::vector<std::string> errors;
    ErrorDisplay previousDisplay;
};

class LogRunScripted : public LogRunEndToEnd {};

TEST_F(LogRunEndToEnd, ShortRunStoppedMidSampleThenASecondRun)
{
    TfrmMain& w = Open();
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
    TfrmMain& w = Open();
    lm.SetFault(sim::LmFault::Silent);
    w.btnLog->click();
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
    TfrmMain& w = Open();
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

TEST_F(LogRunScripted, ReplyCountFollowsTheRateAtEachRequestAndALateStopDropsTheSample)
{
    ScriptedWindow& w = Scripted("1=8F\n8=9C\n");
    w.ComPort.Close();  // a closed port is set to the low rate before the handshake
    w.ComPort.SetBaudRate(br9600);
    w.ComPort.SetCustomBaudRate(1200);
    w.rgRateItems->button(0)->setChecked(true);
    w.OnExchange = [&w](int n) {
        if (n == 5)
            w.rgRateItems->button(3)->setChecked(true);
        if (n == 9)  // the second sample's last slot
            w.btnLog->click();
    };
    w.btnLog->click();
    EXPECT_EQ(w.RateAtHandshake, std::pair(brCustom, 977));
    EXPECT_EQ(w.Asked, (std::vector<uint8_t>{0x73, 0x9A, 0x12, 0x90, 0x8F, 0x9C, 0x90, 0x8F, 0x9C}));
    // Baro and coolant use the sample rate; the extra handshake byte always waits for 2.
    EXPECT_EQ(w.Replies, (std::vector<int>{1, 1, 2, 1, 1, 4, 4, 4, 4}));
    const auto lines = Masked();
    EXPECT_EQ(std::vector(lines.begin() + 3, lines.end()),
              (std::vector<std::string>{"<t>2000rpm 2.528v(80) ", "Cancel Logging", "Done Logging"}));
    EXPECT_EQ(w.PumpDelays, 0);  // samples with a request are not paced
}

TEST_F(LogRunScripted, PerformanceFiguresAcrossSamplesAndRuns)
{
    ScriptedWindow& w = Scripted("1=8F\n2=69\nPerformance=1\n");
    w.Now = 0xFFFFFFF0;  // the tick counter wraps during the run
    w.OnExchange = [&](int n) {
        if (n == 7)  // the second sample reads 2256 rpm and 54 mph
            memory[0x8F] = 0x23, memory[0x69] = 0x0D;
        if (n == 11)  // the third, dropped sample reads 58 mph
            memory[0x69] = 0x0E;
        if (n == 3 + 4 + 4 + 4)
            w.btnLog->click();
    };
    w.btnLog->click();
    auto lines = w.Memo->Lines();
    ASSERT_EQ(lines.size(), 7u);
    // The first sample has T = 0: no figures, but it becomes the previous sample.
    EXPECT_EQ(lines[3], "  0.000 2000rpm  50.00mph ");
    EXPECT_EQ(lines[4], "  0.020 2256rpm  54.00mph  9.17G 3300.02HP 8141.48lb/ft ");
    // The next run's first sample (3 ms in) compares with the last sample written.
    w.Asked.clear();
    w.MsPerExchange = 0;
    w.MsPerTickRead = 3;
    StopAt(w, 3 + 4 + 4);
    w.btnLog->click();
    lines = w.Memo->Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "  0.003 2256rpm  58.00mph " +
                            PerformanceText(ComputePerformance(3, 0, 58.0f, 54.0f, 2256.0f, 2256.0f, 2500).value()));
}

TEST_F(LogRunScripted, ExistingLogsAreNeverReplaced)
{
    for (const char* name : {"TempLog1.txt", "TempLog2.txt", "TempLog4.txt"})
        folder.Write(name, name);
    ScriptedWindow& w = Scripted("1=A0\n");
    StopAt(w, 4);
    w.btnLog->click();
    for (const char* name : {"TempLog1.txt", "TempLog2.txt", "TempLog4.txt"})
        EXPECT_EQ(folder.Read(name), name);
    EXPECT_EQ(folder.Read("TempLog3.txt"), w.MemoText());
    EXPECT_EQ(w.LogSettings.SaveNum, 4);
    EXPECT_EQ(SaveNum(), 4);
}

TEST_F(LogRunScripted, PortErrorWinsOverAFailedSave)
{
    ScriptedWindow& w = Scripted("1=A0\n");
    w.Folder = folder.File("missing/");  // the log cannot be written there
    w.OnExchange = [](int n) {
        if (n == 5)
            throw EComPort(kErrThreadCreated, 5);
    };
    w.btnLog->click();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("missing"), std::string::npos) << errors[0];
    EXPECT_EQ(errors[1], ErrorMessage(std::make_exception_ptr(EComPort(kErrThreadCreated, 5))));
    EXPECT_EQ(w.LogSettings.SaveNum, 1);  // nothing was saved, so the number stays free
    EXPECT_EQ(SaveNum(), 0);
}

// Each address through the run's dispatch: what it asks for, in which order, what it appends.
TEST_F(LogRunScripted, DecodersAskForTheirAddresses)
{
    ScriptedWindow& w = Scripted("");
    w.BaroRef = 100.0f;
    LogRun run(w, w.LogSettings, *w.SettingsIni, {}, {w.PrevMph, w.PrevRpm, w.SampleMph, w.SampleRpm, w.BaroRef});
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
        w.Asked.clear();
        std::string line = "x";
        run.DecodeSlot(address, line);
        EXPECT_EQ(line, "x" + text);
        EXPECT_EQ(w.Asked, requests);
    }
    EXPECT_FLOAT_EQ(w.SampleMph, 50.0f);
    EXPECT_FLOAT_EQ(w.SampleRpm, 2000.0f);
}

}  // namespace
}  // namespace tessek
