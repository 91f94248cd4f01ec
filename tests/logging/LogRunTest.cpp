#include "logging/LogRun.h"

#include "link/LmLink.h"
#include "logging/Decoders.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"
#include "tests/logging/ScriptedHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tessek {
namespace {

using test::TScriptedHost;

std::vector<uint8_t> Addresses(const std::vector<TScriptedHost::Exchange>& exchanges)
{
    std::vector<uint8_t> addresses;
    for (const auto& e : exchanges)
        addresses.push_back(e.address);
    return addresses;
}

std::vector<int> ReplyCounts(const std::vector<TScriptedHost::Exchange>& exchanges)
{
    std::vector<int> counts;
    for (const auto& e : exchanges)
        counts.push_back(e.replies);
    return counts;
}

class LogRunTest : public ::testing::Test {
protected:
    LogRunTest() : ini(folder.File("Tessek.ini"))
    {
        host.Folder = folder.Path();
        // An engine at 2000 rpm and 50 mph, three-bar MAP sensor, baro byte 85.
        host.Memory[0x73] = 0x55;
        host.Memory[0x9A] = 0x9A;
        host.Memory[0x90] = 0x40;
        host.Memory[0x8F] = 0x1F;
        host.Memory[0x6A] = 0x80;
        host.Memory[0x69] = 0x0C;
        host.Memory[0x86] = 0x5A;
        host.Memory[0xA0] = 0x80;
        host.Memory[0xCE] = 0xFF;
        host.Memory[0x81] = 0x5A;
        host.Memory[0x4A] = 0x07;
        host.Memory[0x12] = 0x12;
    }

    void SetSlots(std::array<uint8_t, 8> slots)
    {
        for (int i = 0; i < 8; ++i)
            settings.LogAddrs[i + 1] = slots[i];
    }

    TLogRun Run()
    {
        return TLogRun(
            host, settings, ini, [this](const std::string& name) { return catalogue.DisplayText(name); }, state);
    }

    // Presses Log from inside the run's n-th exchange, as a click handled in its wait.
    void StopAtExchange(int stopAt)
    {
        host.OnExchange = [this, stopAt](int n, uint8_t) {
            if (n == stopAt)
                Run().btnLogClick();
        };
    }

    test::TempFolder folder;
    TIniFile ini;
    TParamCatalogue catalogue;
    TScriptedHost host;
    TLogSettings settings;
    float prevMph = 0, prevRpm = 0, sampleMph = 0, sampleRpm = 0, baroRef = 0;
    TLogRunState state{prevMph, prevRpm, sampleMph, sampleRpm, baroRef};
};

const std::string kStartLine = "Logging  Start at 06.12.2026 10:00:00";
const std::string kBaroLine = "BARO =   0.19hg   Coolant Temp = 131.9F (9A) ";
const std::string kTitles = " Time    RPM; MPH; MAP; Knock; Cyl 1 Retard; Skip value; Throttle Flg; $4A; ";
const std::string kValues = "2000rpm  50.00mph  0.86psi 2.50v 31deg  5A  07 ";

TEST_F(LogRunTest, ShortRunStoppedInTheMiddleOfASample)
{
    SetSlots({0x8F, 0x69, 0x86, 0xA0, 0xCE, 0x12, 0x81, 0x4A});
    host.Now = 0xFFFFFFF0;  // the tick counter wraps during the run
    // Header: 73, 9A, 12. Each sample: 90, 8F, 6A, 69, 86, A0, CE, 81, 4A. The third
    // sample is stopped while its MPH decoder waits for the reply to 6A.
    StopAtExchange(3 + 9 + 9 + 3);
    Run().btnLogClick();

    const std::vector<std::string> expected = {
        kStartLine, kBaroLine, kTitles, "  0.000 " + kValues, "  0.045 " + kValues, "Cancel Logging", "Done Logging",
    };
    EXPECT_EQ(host.Lines, expected);
    EXPECT_FALSE(host.Busy());
    EXPECT_EQ(host.Status, "Connected");

    // The decoder finishes its second request; the sample ends after that slot.
    const std::vector<uint8_t> sample = {0x90, 0x8F, 0x6A, 0x69, 0x86, 0xA0, 0xCE, 0x81, 0x4A};
    std::vector<uint8_t> requests = {0x73, 0x9A, 0x12};
    for (int i = 0; i < 2; ++i)
        requests.insert(requests.end(), sample.begin(), sample.end());
    requests.insert(requests.end(), {0x90, 0x8F, 0x6A, 0x69});
    EXPECT_EQ(Addresses(host.Exchanges), requests);
    EXPECT_EQ(host.EchoWaits, std::vector<uint8_t>{0x12});

    ASSERT_EQ(host.Saves, std::vector<std::string>{folder.File("TempLog1.txt")});
    std::string file;
    for (const auto& line : expected)
        file += line + "\r\n";
    EXPECT_EQ(folder.Read("TempLog1.txt"), file);
    EXPECT_EQ(settings.SaveNum, 2);
    EXPECT_EQ(ini.ReadInteger("AutoSave", "SaveNum", 0), 2);
}

TEST_F(LogRunTest, StopAfterTheLastSlotDropsThatSample)
{
    SetSlots({0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0xA0});
    StopAtExchange(3 + 2);  // during the second sample's only request
    Run().btnLogClick();
    const std::vector<std::string> expected = {
        kStartLine,
        kBaroLine,
        " Time    Skip value; Skip value; Skip value; Skip value; Skip value; Skip "
        "value; Skip value; Knock; ",
        "  0.000 2.50v ",
        "Cancel Logging",
        "Done Logging",
    };
    EXPECT_EQ(host.Lines, expected);
    EXPECT_TRUE(host.PumpDelays.empty());  // samples with a request are not paced
}

TEST_F(LogRunTest, ReplyCountFollowsTheSampleRateAtEachRequest)
{
    SetSlots({0x8F, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x9C});
    host.RateIndex = 0;
    host.OnExchange = [this](int n, uint8_t) {
        if (n == 5)
            host.RateIndex = 3;
        if (n == 9)
            Run().btnLogClick();
    };
    Run().btnLogClick();
    // Baro and coolant use the sample rate; the extra handshake byte always waits for 2.
    EXPECT_EQ(Addresses(host.Exchanges), (std::vector<uint8_t>{0x73, 0x9A, 0x12, 0x90, 0x8F, 0x9C, 0x90, 0x8F, 0x9C}));
    EXPECT_EQ(ReplyCounts(host.Exchanges), (std::vector<int>{1, 1, 2, 1, 1, 4, 4, 4, 4}));
}

TEST_F(LogRunTest, HandshakeFailure)
{
    SetSlots({0x8F, 0x69, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    host.Lines = {"an earlier report"};
    host.HandshakeAnswers = false;
    Run().btnLogClick();
    EXPECT_EQ(host.Lines,
              std::vector<std::string>{"Failed to establish high baud mode with LM.  Baud set back to 976"});
    EXPECT_EQ(host.Status, "Not Connected");
    EXPECT_EQ(host.ComPort.BaudRate(), brCustom);
    EXPECT_EQ(host.ComPort.CustomBaudRate(), 977);
    EXPECT_FALSE(host.Busy());
    EXPECT_TRUE(host.ComSetupEnabled);
    EXPECT_TRUE(host.Exchanges.empty());
    EXPECT_TRUE(host.Saves.empty());
    EXPECT_FALSE(folder.Exists("TempLog1.txt"));
    EXPECT_EQ(settings.SaveNum, 1);
    EXPECT_FALSE(ini.ValueExists("AutoSave", "SaveNum"));
}

TEST_F(LogRunTest, AllSkippedRunIsPacedAndStoppable)
{
    host.OnPumpDelay = [this](int n) {
        if (n == 3)
            Run().btnLogClick();
    };
    Run().btnLogClick();
    std::string titles = " Time    ";
    for (int i = 0; i < 8; ++i)
        titles += "Skip value; ";
    const std::vector<std::string> expected = {
        kStartLine, kBaroLine, titles, "  0.000 ", "  0.010 ", "  0.020 ", "Cancel Logging", "Done Logging",
    };
    EXPECT_EQ(host.Lines, expected);
    EXPECT_EQ(Addresses(host.Exchanges), (std::vector<uint8_t>{0x73, 0x9A, 0x12}));
    EXPECT_EQ(host.PumpDelays, (std::vector<uint32_t>(3, TLogRun::IdleSamplePaceMs)));
}

TEST_F(LogRunTest, PerformanceFigures)
{
    SetSlots({0x8F, 0x69, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    settings.Performance = true;
    host.OnExchange = [this](int n, uint8_t) {
        if (n == 7) {  // the second sample reads 2256 rpm and 54 mph
            host.Memory[0x8F] = 0x23;
            host.Memory[0x69] = 0x0D;
        }
        if (n == 11)  // the third, dropped sample reads 58 mph
            host.Memory[0x69] = 0x0E;
        if (n == 3 + 4 + 4 + 4)
            Run().btnLogClick();
    };
    Run().btnLogClick();
    ASSERT_EQ(host.Lines.size(), 7u);
    // The first sample has T = 0: no figures, but it becomes the previous sample.
    EXPECT_EQ(host.Lines[3], "  0.000 2000rpm  50.00mph ");
    EXPECT_EQ(host.Lines[4], "  0.020 2256rpm  54.00mph  9.17G 3300.02HP 8141.48lb/ft ");
    EXPECT_EQ(host.Lines[5], "Cancel Logging");
    // The dropped sample decoded 58 mph but does not become the previous sample.
    EXPECT_FLOAT_EQ(state.SampleMph, 58.0f);
    EXPECT_FLOAT_EQ(state.PrevMph, 54.0f);
    EXPECT_FLOAT_EQ(state.PrevRpm, 2256.0f);
}

TEST_F(LogRunTest, FirstSampleComparesWithThePreviousRun)
{
    SetSlots({0x8F, 0x69, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    settings.Performance = true;
    state.PrevMph = 40.0f;
    state.PrevRpm = 1800.0f;
    host.MsPerExchange = 0;
    host.MsPerTickRead = 3;  // the first sample starts 3 ms after the run's start tick
    StopAtExchange(3 + 4 + 4);
    Run().btnLogClick();
    ASSERT_EQ(host.Lines.size(), 6u);
    EXPECT_EQ(host.Lines[3], "  0.003 2000rpm  50.00mph 152.78G 50926.16HP 140717.01lb/ft ");
}

TEST_F(LogRunTest, ZeroMeanRpmKeepsTheTorqueField)
{
    SetSlots({0x69, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    settings.Performance = true;
    host.Memory[0x69] = 0x00;
    host.Memory[0x6A] = 0x00;
    host.OnExchange = [this](int n, uint8_t) {
        if (n == 5) {  // second sample: 10 mph, no engine speed at all
            host.Memory[0x69] = 0x02;
            host.Memory[0x6A] = 0x80;
        }
        if (n == 3 + 2 + 2 + 2)
            Run().btnLogClick();
    };
    Run().btnLogClick();
    ASSERT_EQ(host.Lines.size(), 7u);
    EXPECT_EQ(host.Lines[4], "  0.010  10.00mph 45.83G 3055.57HP     ---lb/ft ");
}

TEST_F(LogRunTest, TwoRunsWriteNumberedFiles)
{
    SetSlots({0xA0, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    StopAtExchange(5);
    Run().btnLogClick();
    host.Memory[0xA0] = 0x00;
    host.Exchanges.clear();
    Run().btnLogClick();
    EXPECT_EQ(host.Saves, (std::vector<std::string>{folder.File("TempLog1.txt"), folder.File("TempLog2.txt")}));
    EXPECT_NE(folder.Read("TempLog1.txt").find("2.50v"), std::string::npos);
    const std::string second = folder.Read("TempLog2.txt");
    EXPECT_EQ(second.rfind(kStartLine + "\r\n", 0), 0u);  // the text area was cleared
    EXPECT_NE(second.find("0.00v"), std::string::npos);
    EXPECT_EQ(second.find("2.50v"), std::string::npos);
    EXPECT_EQ(ini.ReadInteger("AutoSave", "SaveNum", 0), 3);
}

TEST_F(LogRunTest, ExistingLogsAreNeverReplaced)
{
    folder.Write("TempLog1.txt", "first\r\n");
    folder.Write("TempLog2.txt", "second\r\n");
    folder.Write("TempLog4.txt", "fourth\r\n");
    SetSlots({0xA0, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    StopAtExchange(5);
    Run().btnLogClick();
    EXPECT_EQ(folder.Read("TempLog1.txt"), "first\r\n");
    EXPECT_EQ(folder.Read("TempLog2.txt"), "second\r\n");
    EXPECT_EQ(folder.Read("TempLog4.txt"), "fourth\r\n");
    EXPECT_EQ(host.Saves, std::vector<std::string>{folder.File("TempLog3.txt")});
    EXPECT_EQ(settings.SaveNum, 4);
    EXPECT_EQ(ini.ReadInteger("AutoSave", "SaveNum", 0), 4);
}

TEST_F(LogRunTest, PortErrorStillSavesTheLinesLogged)
{
    SetSlots({0xA0, 0x81, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    host.OnExchange = [](int n, uint8_t) {
        if (n == 3 + 2 + 1)
            throw EComPort(20, 5);  // the write of the second sample fails
    };
    EXPECT_THROW(Run().btnLogClick(), EComPort);
    const std::vector<std::string> logged = {kStartLine, kBaroLine,
                                             " Time    Knock; Throttle Flg; Skip value; Skip value; Skip value; Skip "
                                             "value; Skip value; Skip value; ",
                                             "  0.000 2.50v  5A "};
    EXPECT_EQ(host.Lines, logged);
    EXPECT_TRUE(host.Busy());  // until Log is pressed again
    std::string file;
    for (const auto& line : logged)
        file += line + "\r\n";
    EXPECT_EQ(folder.Read("TempLog1.txt"), file);
    EXPECT_EQ(ini.ReadInteger("AutoSave", "SaveNum", 0), 2);

    host.OnExchange = nullptr;
    Run().btnLogClick();
    EXPECT_FALSE(host.Busy());
    EXPECT_EQ(host.Lines.back(), "Cancel Logging");
}

TEST_F(LogRunTest, PortErrorWinsOverAFailedSave)
{
    std::vector<std::string> shown;
    const ErrorDisplay previous = SetErrorDisplay([&](const std::string& message) { shown.push_back(message); });
    host.Folder = folder.File("missing/");  // the log cannot be written there
    SetSlots({0xA0, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12});
    host.OnExchange = [](int n, uint8_t) {
        if (n == 5)
            throw EComPort(20, 5);
    };
    EXPECT_THROW(Run().btnLogClick(), EComPort);
    SetErrorDisplay(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("missing"), std::string::npos) << shown[0];
    EXPECT_EQ(settings.SaveNum, 1);  // nothing was saved, so the number stays free
    EXPECT_FALSE(ini.ValueExists("AutoSave", "SaveNum"));
}

TEST_F(LogRunTest, ClosedPortIsSetToTheLowRateBeforeTheHandshake)
{
    host.ComPort.SetBaudRate(br9600);
    host.ComPort.SetCustomBaudRate(1200);
    host.HandshakeAnswers = false;
    Run().btnLogClick();
    EXPECT_EQ(host.RateAtHandshake, brCustom);
    EXPECT_EQ(host.CustomRateAtHandshake, 977);
}

// Each decoder through the run's dispatch: which addresses it asks for, in which order,
// and the text it appends.
TEST_F(LogRunTest, DecodersAskForTheirAddresses)
{
    host.Memory[0x5D] = 0x00;
    host.Memory[0x9D] = 0xFF;
    host.Memory[0x72] = 0x15;
    host.Memory[0x98] = 0xFF;
    host.Memory[0x9C] = 0x80;
    host.Memory[0xD1] = 0x41;
    host.Memory[0xDD] = 0xAB;
    state.BaroRef = 100.0f;
    struct Row {
        uint8_t address;
        std::vector<uint8_t> requests;
        std::string text;
    };
    const std::vector<Row> rows = {
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
        {0xDD, {0xDD}, " AB "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(ByteToHex(row.address));
        host.Exchanges.clear();
        std::string line = "x";
        Run().DecodeSlot(row.address, line);
        EXPECT_EQ(line, "x" + row.text);
        EXPECT_EQ(Addresses(host.Exchanges), row.requests);
    }
    EXPECT_FLOAT_EQ(state.SampleMph, 50.0f);
    EXPECT_FLOAT_EQ(state.SampleRpm, 2000.0f);
}

}  // namespace
}  // namespace tessek
