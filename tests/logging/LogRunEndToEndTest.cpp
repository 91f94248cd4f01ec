// The Log button of the main window against the simulated LM on a pseudo-terminal, with
// a fixed memory map, each window in a private program folder.
#include "app/MainWindow.h"
#include "app/Memo.h"
#include "logging/LogRun.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace tessek {
namespace {

const std::string kBaroLine = "BARO =   0.19hg   Coolant Temp = 131.9F (9A) ";
const std::string kTitles = " Time    RPM; MPH; MAP; Knock; Cyl 1 Retard; Skip value; Throttle Flg; $4A; ";
const std::string kValues = "2000rpm  50.00mph  0.86psi 2.50v 31deg  5A  07 ";
// Requests of the header (73, 9A; the extra handshake byte is no request) and of one
// sample with the slots above (RPM and MPH take two each).
constexpr uint32_t kHeaderRequests = 2;
constexpr uint32_t kSampleRequests = 9;

class LogRunEndToEnd : public ::testing::Test {
protected:
    LogRunEndToEnd()
    {
        sim::LmMemory memory{};
        memory[0x73] = 0x55;
        memory[0x9A] = 0x9A;
        memory[0x90] = 0x40;
        memory[0x8F] = 0x1F;
        memory[0x6A] = 0x80;
        memory[0x69] = 0x0C;
        memory[0x86] = 0x5A;
        memory[0xA0] = 0x80;
        memory[0xCE] = 0xFF;
        memory[0x81] = 0x5A;
        memory[0x4A] = 0x07;
        lm.SetMemory(memory);
        lm.SetQuiet(true);
        previousDisplay = SetErrorDisplay([this](const std::string& message) { errors.push_back(message); });
    }
    ~LogRunEndToEnd() override
    {
        window.reset();
        SetErrorDisplay(previousDisplay);
    }

    void WriteSettings(const std::string& currentSet)
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n" + currentSet);
    }
    static std::string LoggedSlots() { return "[CurrentSet]\n1=8F\n2=69\n3=86\n4=A0\n5=CE\n6=12\n7=81\n8=4A\n"; }

    TfrmMain& Window()
    {
        if (!window) {
            window = std::make_unique<TfrmMain>(folder.Path());
            // Runs `onRequest` inside the run's waits, as the port delivers the bytes of
            // each exchange: the place where a real click or a closing line event lands.
            auto original = window->ComPort.OnRxChar;
            window->ComPort.OnRxChar = [this, original](TCustomComPort* sender, int32_t count) {
                if (original)
                    original(sender, count);
                if (onRequest)
                    onRequest(lm.RequestCount());
            };
        }
        return *window;
    }

    // Presses Log once the LM has taken `requests` requests of this run.
    void StopAfterRequests(uint32_t requests)
    {
        const uint32_t base = lm.RequestCount();
        onRequest = [this, base, requests](uint32_t count) {
            if (count >= base + requests) {
                onRequest = nullptr;
                window->btnLog->click();
            }
        };
    }

    std::vector<std::string> Lines() { return Window().Memo->Lines(); }

    static std::string WithCrLf(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const auto& line : lines)
            text += line + "\r\n";
        return text;
    }

    test::TempFolder folder;
    sim::SimulatedLm lm;
    std::unique_ptr<TfrmMain> window;
    std::function<void(uint32_t)> onRequest;
    std::vector<std::string> errors;
    ErrorDisplay previousDisplay;
};

void ExpectSampleLine(const std::string& line, const std::string& values)
{
    static const std::regex time("^ *[0-9]+\\.[0-9]{3} ");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(line, match, time)) << line;
    EXPECT_EQ(line.substr(match.length()), values);
}

TEST_F(LogRunEndToEnd, ShortRunStoppedInTheMiddleOfASample)
{
    WriteSettings(LoggedSlots());
    // Stopped while the third sample waits for its MPH bytes.
    StopAfterRequests(kHeaderRequests + 2 * kSampleRequests + 3);
    Window().btnLog->click();

    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 7u) << Window().MemoText();
    EXPECT_EQ(lines[0].rfind("Logging  Start at ", 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), std::string("Logging  Start at ").size());
    EXPECT_EQ(lines[1], kBaroLine);
    EXPECT_EQ(lines[2], kTitles);
    ExpectSampleLine(lines[3], kValues);
    ExpectSampleLine(lines[4], kValues);
    EXPECT_EQ(lines[5], "Cancel Logging");
    EXPECT_EQ(lines[6], "Done Logging");
    EXPECT_FALSE(Window().Busy());
    EXPECT_EQ(Window().lbstatus->text().toStdString(), "Connected");
    EXPECT_EQ(Window().ComPort.CustomBaudRate(), 7680);
    // The sample in progress finished its exchange and went no further.
    EXPECT_LE(lm.RequestCount(), kHeaderRequests + 2 * kSampleRequests + 4);

    EXPECT_EQ(folder.Read("TempLog1.txt"), WithCrLf(lines));
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogRunEndToEnd, TwoRunsWriteTwoFilesAndKeepTheCounter)
{
    WriteSettings(LoggedSlots());
    StopAfterRequests(kHeaderRequests + kSampleRequests + 1);
    Window().btnLog->click();
    const auto first = Lines();
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 2);

    StopAfterRequests(kHeaderRequests + 2 * kSampleRequests + 1);
    Window().btnLog->click();
    const auto second = Lines();
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 3);

    ASSERT_EQ(first.size(), 6u);
    ASSERT_EQ(second.size(), 7u);  // the text area starts empty for each run
    EXPECT_EQ(folder.Read("TempLog1.txt"), WithCrLf(first));
    EXPECT_EQ(folder.Read("TempLog2.txt"), WithCrLf(second));
    EXPECT_FALSE(folder.Exists("TempLog3.txt"));
    EXPECT_EQ(Window().LogSettings.SaveNum, 3);
}

TEST_F(LogRunEndToEnd, AllSkippedRunIsStoppedByLog)
{
    WriteSettings("");  // no slots set: all eight are skipped
    Window();
    const uint32_t before = lm.RequestCount();
    // Log is pressed 300 ms after the title line has appeared.
    QElapsedTimer sinceTitles;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!sinceTitles.isValid() && window->Memo->Lines().size() >= 3)
            sinceTitles.start();
        if (sinceTitles.isValid() && sinceTitles.elapsed() >= 300) {
            watch.stop();
            window->btnLog->click();
        }
    });
    watch.start(5);
    Window().btnLog->click();

    const auto lines = Lines();
    ASSERT_GE(lines.size(), 6u) << Window().MemoText();
    std::string titles = " Time    ";
    for (int i = 0; i < 8; ++i)
        titles += "Skip value; ";
    EXPECT_EQ(lines[2], titles);
    EXPECT_EQ(lines[lines.size() - 2], "Cancel Logging");
    EXPECT_EQ(lines.back(), "Done Logging");
    const size_t samples = lines.size() - 5;
    EXPECT_GE(samples, 1u);
    EXPECT_GE(samples, 3u);
    EXPECT_LE(samples, 300u / TLogRun::IdleSamplePaceMs + 10);  // paced, not flooded
    for (size_t i = 3; i < 3 + samples; ++i)
        ExpectSampleLine(lines[i], "");
    EXPECT_EQ(lm.RequestCount() - before, kHeaderRequests);  // nothing asked per sample
    EXPECT_TRUE(folder.Exists("TempLog1.txt"));
}

TEST_F(LogRunEndToEnd, HandshakeFailure)
{
    WriteSettings(LoggedSlots());
    lm.SetFault(sim::LmFault::Silent);
    Window().btnLog->click();
    EXPECT_EQ(Lines(), std::vector<std::string>{"Failed to establish high baud mode with LM.  Baud set back to 976"});
    EXPECT_EQ(Window().lbstatus->text().toStdString(), "Not Connected");
    EXPECT_EQ(Window().ComPort.CustomBaudRate(), 977);
    EXPECT_FALSE(Window().Busy());
    EXPECT_TRUE(Window().btnComSetup->isEnabled());
    EXPECT_FALSE(folder.Exists("TempLog1.txt"));
    EXPECT_FALSE(TIniFile(folder.File("Tessek.ini")).ValueExists("AutoSave", "SaveNum"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogRunEndToEnd, PortClosedMidRunStillSavesItsFile)
{
    WriteSettings(LoggedSlots());
    Window();
    const uint32_t base = lm.RequestCount();
    // A break closes the port while the second sample is under way.
    onRequest = [this, base](uint32_t count) {
        if (count >= base + kHeaderRequests + kSampleRequests + 2) {
            onRequest = nullptr;
            window->ComPort.Close();
        }
    };
    Window().btnLog->click();

    ASSERT_EQ(errors.size(), 1u);
    const auto lines = Lines();
    // Closing the port reports the modem lines going off; then the next request fails.
    const std::vector<std::string> closing = {"CTS Change Event", "DSR Change Event", "RLSD Change Event"};
    ASSERT_EQ(lines.size(), 7u) << Window().MemoText();
    ExpectSampleLine(lines[3], kValues);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()), closing);
    EXPECT_EQ(folder.Read("TempLog1.txt"), WithCrLf(lines));
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 2);
    EXPECT_TRUE(Window().Busy());  // until Log is pressed again

    Window().btnLog->click();
    EXPECT_FALSE(Window().Busy());
    EXPECT_EQ(Lines().back(), "Cancel Logging");
}

TEST_F(LogRunEndToEnd, CablePulledMidRunStillSavesItsFile)
{
    WriteSettings(LoggedSlots());
    Window();
    const uint32_t base = lm.RequestCount();
    onRequest = [this, base](uint32_t count) {
        if (count >= base + kHeaderRequests + kSampleRequests + 2) {
            onRequest = nullptr;
            lm.SetFault(sim::LmFault::HangUp);
        }
    };
    Window().btnLog->click();

    ASSERT_EQ(errors.size(), 1u) << Window().MemoText();
    EXPECT_NE(errors[0].find("WriteFile"), std::string::npos) << errors[0];
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u) << Window().MemoText();  // no "Done Logging"
    ExpectSampleLine(lines[3], kValues);
    EXPECT_EQ(folder.Read("TempLog1.txt"), WithCrLf(lines));
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 2);
    EXPECT_TRUE(Window().Busy());
}

}  // namespace
}  // namespace tessek
