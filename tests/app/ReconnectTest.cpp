// What the main window's commands and Com Setup do with a closed port, whose name is a
// symbolic link to the pseudo-terminal of a simulated LM, as a /dev/serial/by-id name is to
// a USB adapter's tty. A device that vanishes in a run and comes back is the session's
// (tests/session/LoggingSessionTest.cpp).
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "dialogs/PortSetupDialog.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/EventLoop.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/PluggedLm.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>

#include <memory>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class ReconnectTest : public ::testing::Test {
protected:
    ReconnectTest() { plugged.Plug(); }

    std::unique_ptr<TfrmMain> Create()
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + link + "\n");
        return std::make_unique<TfrmMain>(folder.Path());
    }

    test::ErrorRecorder errors;
    test::TempFolder folder;
    const std::string link = folder.File("lm-by-id");
    test::PluggedLm plugged{link};
    std::unique_ptr<sim::SimulatedLm>& lm = plugged.lm;
};

// Closed (here by a break, which keeps the device) and absent: Log, Codes and Adaptives try
// one reopen; when the device is not there one line says why, with help, and nothing else
// happens. When it is there, the command (here Codes) runs on the reopened port. Com
// Setup's OK opens a closed port again under the same name; Cancel does not.
TEST_F(ReconnectTest, CommandsAndComSetupOnAClosedPortReopenItOnceOrSayWhyInOneLine)
{
    auto w = Create();
    w->ComPort.OnBreak(&w->ComPort);
    ASSERT_FALSE(w->ComPort.Connected());
    plugged.Unplug();
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

    plugged.Plug();
    w->btnCodes->click();
    EXPECT_TRUE(w->ComPort.Connected());
    EXPECT_THAT(w->MemoText(), Not(HasSubstr("Failed to establish")));
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

}  // namespace
}  // namespace tessek
