// A device that goes away and comes back, end to end: the main window's port is a symbolic
// link to the pseudo-terminal of a simulated LM, as a /dev/serial/by-id name is to a USB
// adapter's tty. The LM is stopped in the middle of a logging run (its pseudo-terminal
// closes) and the link removed; a new LM then appears behind the same link, and the window
// logs again by itself. Also: what Log and Com Setup do with a closed port.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "dialogs/PortSetupDialog.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/EventLoop.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/PluggedLm.h"
#include "tests/common/TempFolder.h"
#include "views/LiveWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <memory>
#include <optional>
#include <regex>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class ReconnectTest : public ::testing::Test {
protected:
    ReconnectTest() { Plug(); }

    void Plug() { plugged.Plug(); }
    void Unplug() { plugged.Unplug(); }
    std::unique_ptr<TfrmMain> Create()
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + link + "\n[CurrentSet]\n1=8F\n2=86\n");
        return std::make_unique<TfrmMain>(folder.Path());
    }
    // Lines that begin with the sample's time ("  1.234 ...").
    static size_t SampleLines(const TfrmMain& w)
    {
        static const std::regex sample(" *[0-9]+\\.[0-9]{3} .*");
        const Lines lines = w.Memo->Lines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                                 [](const std::string& l) { return std::regex_match(l, sample); }));
    }

    test::ErrorRecorder errors;
    test::TempFolder folder;
    const std::string link = folder.File("lm-by-id");
    test::PluggedLm plugged{link};
    std::unique_ptr<sim::SimulatedLm>& lm = plugged.lm;
};

TEST_F(ReconnectTest, AVanishedDeviceEndsTheRunSavedAndIsBackInUseWhenItReturns)
{
    auto w = Create();
    ASSERT_EQ(w->lbstatus->text(), "Connected");

    // Pulled in the middle of a run: the run ends and is saved, one line says why.
    test::Watch pull([&] { return SampleLines(*w) >= 3; }, [&] { Unplug(); });
    w->btnLog->click();  // returns when the run has ended
    EXPECT_EQ(w->lbstatus->text(), "Not Connected");
    EXPECT_TRUE(errors.messages.empty()) << errors.messages.front();
    const Lines lost = w->Memo->Lines();
    const std::string lostLine =
        "Connection lost: " + link + " is gone (Input/output error). Tessek reconnects when it is back.";
    EXPECT_EQ(std::count(lost.begin(), lost.end(), lostLine), 1);
    EXPECT_TRUE(w->btnComSetup->isEnabled());  // the busy mark is clear
    const std::string saved = folder.Read("TempLog1.txt");
    EXPECT_THAT(saved, HasSubstr(lostLine + "\r\n"));
    EXPECT_EQ(saved.substr(saved.size() - 2), "\r\n");  // whole lines only

    // Tessek Live shows the loss plainly.
    auto* live = w->findChild<LiveWindow*>();
    ASSERT_NE(live, nullptr);
    EXPECT_TRUE(live->ConnectionLostShown());

    // Back behind the same name: reopened and checked as at start-up, without a restart,
    // and the run the loss ended starts again into new files, saying so.
    test::Watch stop([&] { return w->Busy() && SampleLines(*w) >= 3; }, [&] { w->btnLog->click(); });
    Plug();
    ASSERT_TRUE(test::PumpUntil([&] { return folder.Exists("TempLog2.txt"); }, 10000));
    EXPECT_FALSE(live->ConnectionLostShown());
    const Lines resumed = w->Memo->Lines();
    EXPECT_EQ(resumed.front(), "The device came back: logging again, into new files.");
    EXPECT_EQ(resumed.back(), "Done Logging");
    EXPECT_EQ(w->lbstatus->text(), "Connected");
    EXPECT_TRUE(errors.messages.empty());
}

// Closed (here by a break, which keeps the device) and absent: Log, Codes and Adaptives try
// one reopen; when the device is not there one line says why, with help, and nothing else
// happens. When it is there, the command runs on the reopened port. Com Setup's OK opens a
// closed port again under the same name; Cancel does not.
TEST_F(ReconnectTest, CommandsAndComSetupOnAClosedPortReopenItOnceOrSayWhyInOneLine)
{
    auto w = Create();
    w->ComPort.OnBreak(&w->ComPort);
    ASSERT_FALSE(w->ComPort.Connected());
    Unplug();
    for (QPushButton* button : {w->btnLog, w->btnCodes, w->btnGetAdaptives}) {
        SCOPED_TRACE(button->objectName().toStdString());
        const Lines before = w->Memo->Lines();
        button->click();
        const Lines after = w->Memo->Lines();
        ASSERT_EQ(after.size(), before.size() + 1);
        EXPECT_EQ(Lines(after.begin(), after.end() - 1), before);
        EXPECT_THAT(after.back(), StartsWith("Unable to open com port (win error code: 2) No such device: plug in the "
                                             "adapter; ports present now: "));
        EXPECT_FALSE(w->Busy());
        EXPECT_FALSE(w->ComPort.Connected());
    }
    EXPECT_TRUE(errors.messages.empty());

    Plug();
    w->btnCodes->click();
    EXPECT_TRUE(w->ComPort.Connected());
    EXPECT_THAT(w->MemoText(), Not(HasSubstr("Failed to establish")));
    w->ComPort.OnBreak(&w->ComPort);
    test::Watch stop([&] { return SampleLines(*w) >= 2; }, [&] { w->btnLog->click(); });
    w->btnLog->click();
    EXPECT_TRUE(w->ComPort.Connected());
    EXPECT_EQ(w->Memo->Lines().back(), "Done Logging");
    EXPECT_TRUE(errors.messages.empty());

    // As a car's LM does once nobody has talked to it for a while: back at the low rate and
    // sending, which the start-up check after OK hears (what it sent before counts for
    // nothing).
    lm->SetHighRateTimeout(1);
    test::PumpFor(700);
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        w->ComPort.OnBreak(&w->ComPort);
        ASSERT_FALSE(w->ComPort.Connected());
        test::ModalAnswer<TComSetupFrm> answer(
            [ok](TComSetupFrm* dialog) { ok ? dialog->accept() : dialog->reject(); });
        w->btnComSetup->click();
        EXPECT_EQ(w->ComPort.Connected(), ok);
        EXPECT_EQ(w->ComPort.Port(), link);
    }
    EXPECT_EQ(w->lbstatus->text(), "Connected");
    EXPECT_EQ(w->Memo->Lines().back(), "Receiving Data");
}

// After a run on the simulator, a silent device chosen in Com Setup is opened afresh at the
// low rate and checked as at start-up; Log then fails its handshake and logs nothing, for
// nothing the simulator sent before may pass for the silent device's echo.
TEST_F(ReconnectTest, ASilentPortChosenAfterARunIsNotConnectedAndLogsNothing)
{
    auto w = Create();
    test::Watch stop([&] { return SampleLines(*w) >= 3; }, [&] { w->btnLog->click(); });
    w->btnLog->click();
    ASSERT_TRUE(folder.Exists("TempLog1.txt"));
    sim::SimulatedLm silent;
    silent.SetFault(sim::LmFault::Silent);
    test::ModalAnswer<TComSetupFrm> answer([&](TComSetupFrm* dialog) {
        dialog->Combo1->setEditText(QString::fromStdString(silent.SlavePath()));
        dialog->Button1->click();
    });
    w->btnComSetup->click();
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(w->ComPort.Port(), silent.SlavePath());
    EXPECT_EQ(w->ComPort.CustomBaudRate(), 977);
    EXPECT_EQ(IniFile(folder.File("Tessek.ini")).ReadString("ComPort", "CustomBaudRate", ""), "977");
    EXPECT_EQ(w->lbstatus->text(), "Not Connected");
    EXPECT_EQ(w->Memo->Lines().back(), "Not Connected to LM");

    w->btnLog->click();
    const Lines text = w->Memo->Lines();
    EXPECT_EQ(text.back(), "Failed to establish high baud mode with LM.  Baud set back to 976");
    EXPECT_THAT(text, Not(Contains(::testing::StartsWith("BARO"))));
    EXPECT_FALSE(folder.Exists("TempLog2.txt"));
    std::error_code ec;
    const auto logs = std::distance(std::filesystem::directory_iterator(folder.File("logs"), ec),
                                    std::filesystem::directory_iterator());
    EXPECT_EQ(logs, 2) << "the first run's CSV and MSL only";
    EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
}  // namespace tessek
