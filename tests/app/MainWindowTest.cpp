// The main window end to end: created in a private program folder whose "Tessek.ini"
// names the pseudo-terminal of a simulated LM.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "dialogs/DataSetupDialog.h"
#include "dialogs/PortSetupDialog.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
#include "tests/common/EventLoop.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/ScriptedTime.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        previous = SetErrorDisplay([this](const std::string& m) { errors.push_back(m); });
    }
    ~MainWindowTest() override { SetErrorDisplay(std::move(previous)); }

    // With `time`, the window runs on that clock and event pump.
    std::unique_ptr<TfrmMain> Create(const std::string& more = "", std::shared_ptr<test::ScriptedTime> time = {})
    {
        folder.Write("Tessek.ini", "[ComPort]\r\nPort=" + lm.SlavePath() + "\r\n" + more);
        if (time)
            return std::make_unique<TfrmMain>(
                folder.Path(), [t = time.get()] { return t->Now(); }, time);
        return std::make_unique<TfrmMain>(folder.Path());
    }
    static uint32_t Since(uint32_t start) { return TickElapsed(start, GetTickCount()); }

    test::TempFolder folder;
    sim::SimulatedLm lm;
    ErrorDisplay previous;
    std::vector<std::string> errors;
};

TEST_F(MainWindowTest, StartUpTellsWhetherTheLmIsSending)
{
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "silent" : "sending");
        lm.SetQuiet(quiet);
        // A sending LM is listened to in real time; the silence is waited out on the clock.
        const auto time = quiet ? std::make_shared<test::ScriptedTime>() : nullptr;
        const uint32_t start = quiet ? time->Now() : 0;
        auto w = Create("BaudRate=9600\r\nCustomBaudRate=1234\r\n", time);  // the LM's rate is forced
        if (quiet) {
            EXPECT_GE(time->Now() - start, 300u);
        }
        EXPECT_EQ(w->Memo->Lines(), (Lines{folder.Path(), quiet ? "Not Connected to LM" : "Receiving Data"}));
        EXPECT_EQ(w->lbstatus->text(), quiet ? "Not Connected" : "Connected");
        EXPECT_TRUE(w->ComPort.Connected());
        EXPECT_EQ(w->ComPort.BaudRate(), brCustom);
        EXPECT_EQ(w->ComPort.CustomBaudRate(), 977);
    }
    EXPECT_TRUE(errors.empty());
}

// A port that cannot be opened is reported and the window stays usable: the rest of the
// start-up does not run, and a command then fails at its first write, again only reported.
TEST_F(MainWindowTest, APortThatCannotBeOpenedIsReportedAndTheWindowGoesOn)
{
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + folder.File("no-such-device") + "\n");
    TfrmMain w(folder.Path());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to open com port (win error code: 2)");
    EXPECT_EQ(w.lbstatus->text(), "-------------------");
    EXPECT_FALSE(w.ComPort.Connected());
    w.btnCodes->click();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].rfind("WriteFile function failed", 0), 0u);
    EXPECT_TRUE(w.Busy());  // left set until Log is pressed
    w.btnLog->click();
    EXPECT_FALSE(w.Busy());
    EXPECT_EQ(w.Memo->Lines().back(), "Cancel Logging");
}

TEST_F(MainWindowTest, HandshakeMovesTheOpenLinkToTheHighRate)
{
    lm.SetByte(0x8F, 0x40);
    auto w = Create();
    w->SetBusy(true);
    EXPECT_TRUE(w->EstablishHighBaud());
    EXPECT_EQ(w->ComPort.CustomBaudRate(), 7680);
    EXPECT_EQ(lm.Rate(), 7680u);
    // The LM takes requests only when they come at its own rate of 7680.
    EXPECT_EQ(w->ReadLmByte(0x8F, 2), 0x40);
    // A later handshake is sent at 7680 and its echo alone satisfies it.
    EXPECT_TRUE(w->EstablishHighBaud());
    EXPECT_EQ(lm.HandshakeCount(), 2u);
}

TEST_F(MainWindowTest, HandshakeFailsWhenTheLmNeverEchoes)
{
    const auto time = std::make_shared<test::ScriptedTime>();
    auto w = Create("", time);
    lm.SetFault(sim::LmFault::Silent);
    w->SetBusy(true);
    const uint32_t start = time->Now();
    EXPECT_FALSE(w->EstablishHighBaud());
    // Two settle delays of 100 ms and two echo waits of 1000 ms.
    EXPECT_GE(time->Now() - start, 2200u);
    EXPECT_LT(time->Now() - start, 2400u);
}

TEST_F(MainWindowTest, HandshakeSucceedsOnTheRetryAlone)
{
    lm.SetQuiet(true);
    lm.SetFault(sim::LmFault::RetryOnly);
    auto w = Create();
    w->SetBusy(true);
    const uint32_t start = GetTickCount();
    EXPECT_TRUE(w->EstablishHighBaud());
    EXPECT_GE(Since(start), 1100u);  // the first echo wait ran out
    EXPECT_EQ(lm.HandshakeCount(), 2u);
    EXPECT_EQ(lm.Rate(), 7680u);
    EXPECT_EQ(w->ComPort.CustomBaudRate(), 7680);
}

TEST_F(MainWindowTest, BreakDuringAWaitClosesThePortAndTheNextWriteFails)
{
    lm.SetFault(sim::LmFault::Silent);
    auto w = Create();
    w->SetBusy(true);
    QTimer::singleShot(300, w.get(), [&] { w->ComPort.OnError(&w->ComPort, ComError(ceBreak)); });
    // The break comes during the first echo wait; the repeated handshake byte then
    // cannot be written.
    EXPECT_THROW(w->EstablishHighBaud(), EComPort);
    EXPECT_FALSE(w->ComPort.Connected());
    EXPECT_EQ(w->Memo->Lines().at(2), "Break Error, closing connection");
}

// A handler that fails ends the port's event delivery until the port is reopened, and
// its error is shown once, not once per event.
TEST_F(MainWindowTest, AFailingHandlerIsShownOnceAndEndsDeliveryUntilTheReopen)
{
    auto w = Create();
    w->Link.AfterTxEmpty = [] { throw std::runtime_error("handler failed"); };
    const auto writeBytes = [&w](int count) {
        for (int i = 0; i < count; ++i) {
            w->ComPort.WriteBytes("\x55");
            test::PumpFor(50);
        }
    };
    writeBytes(4);
    EXPECT_EQ(errors, std::vector<std::string>{"handler failed"});
    w->ComPort.Close();
    w->ComPort.Open();
    writeBytes(2);
    EXPECT_EQ(errors, (std::vector<std::string>{"handler failed", "handler failed"}));
}

TEST_F(MainWindowTest, BusyDisablesSetupSaveAdaptivesAndComSetupOnly)
{
    auto w = Create();
    const std::vector<std::pair<QWidget*, bool>> disabledWhenBusy = {
        {w->btnSetup, true}, {w->btnSave, true},   {w->btnGetAdaptives, true}, {w->btnComSetup, true},
        {w->btnLog, false},  {w->btnCodes, false}, {w->cbxDumpAll, false},     {w->rgRate, false},
    };
    for (const bool busy : {true, false, true}) {
        w->SetBusy(busy);
        for (const auto& [control, disabled] : disabledWhenBusy) {
            SCOPED_TRACE(control->objectName().toStdString() + (busy ? " busy" : " idle"));
            EXPECT_EQ(control->isEnabled(), !(busy && disabled));
        }
    }
}

TEST_F(MainWindowTest, LineErrorsAreComparedAsWholeSets)
{
    // Each single error has its line, bits 0x01 to 0x80; sets of several have none, but
    // 0x5D closes the port as a break does.
    const char* single[] = {"Frame Error", "Rx Parity Error", "Overrun Error", "Break Error, closing connection",
                            "IO Error",    "Mode Error",      "Rx Over Error", "Tx Full Error"};
    std::vector<std::pair<TComErrors, const char*>> cases{{0x05, nullptr}, {0x5F, nullptr}, {0x00, nullptr}};
    cases.emplace_back(0x5D, "Closing connection due to com error.");
    for (int bit = 0; bit < 8; ++bit)
        cases.emplace_back(1 << bit, single[bit]);
    auto w = Create();
    for (const auto& [set, line] : cases) {
        SCOPED_TRACE(static_cast<int>(set));
        const bool closes = set == 0x08 || set == 0x5D;
        if (!w->ComPort.Connected())
            w->ComPort.Open();
        w->MemoClear();
        w->ComPort.OnError(&w->ComPort, set);
        Lines expected;
        if (line)
            expected.push_back(line);
        if (closes)  // closing reports the modem lines off
            expected.insert(expected.end(), {"CTS Change Event", "DSR Change Event", "RLSD Change Event"});
        EXPECT_EQ(w->Memo->Lines(), expected);
        EXPECT_EQ(w->ComPort.Connected(), !closes);
    }
}

TEST_F(MainWindowTest, EnterPressesLogUnlessAButtonHasTheFocus)
{
    auto w = Create("", std::make_shared<test::ScriptedTime>());
    int logs = 0;
    QObject::connect(w->btnLog, &QPushButton::clicked, [&] { ++logs; });
    lm.SetFault(sim::LmFault::Silent);  // the Log press then ends at its failed handshake
    QTest::keyClick(w.get(), Qt::Key_Return);
    EXPECT_EQ(logs, 1);
    test::ModalAnswer<TfrmSetup> closeSetup([](TfrmSetup* dialog) { dialog->reject(); });
    QTest::keyClick(w->btnSetup, Qt::Key_Return);
    EXPECT_TRUE(closeSetup.Answered());
    EXPECT_EQ(logs, 1);
}

TEST_F(MainWindowTest, ComSetupIsIgnoredWhileBusy)
{
    auto w = Create();
    const std::string before = folder.Read("Tessek.ini");
    w->SetBusy(true);
    w->btnComSetupClick(w->btnComSetup);
    EXPECT_EQ(folder.Read("Tessek.ini"), before);
    w->SetBusy(false);
    test::ModalAnswer<TComSetupFrm> cancel([](TComSetupFrm* dialog) { dialog->reject(); });
    w->btnComSetupClick(w->btnComSetup);
    EXPECT_TRUE(cancel.Answered());
    EXPECT_EQ(IniFile(folder.File("Tessek.ini")).ReadString("ComPort", "CustomBaudRate", ""), "977");
}

TEST_F(MainWindowTest, SaveWritesTheTextOnlyWhenConfirmed)
{
    auto w = Create();
    test::TempFolder current;
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(current.Path()));
    // Answers the save dialog once it is up: types `name` and accepts, or cancels.
    auto answer = [&w](const QString& name) {
        auto answered = std::make_shared<bool>(false);
        QTimer::singleShot(50, w->SaveDialog1, [dialog = w->SaveDialog1, name, answered] {
            *answered = dialog->isVisible() && dialog->isModal();
            if (name.isEmpty())
                return dialog->reject();
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        return answered;
    };
    w->MemoClear();
    w->MemoAppend("row");
    auto answered = answer({});
    w->btnSave->click();
    EXPECT_TRUE(*answered);
    EXPECT_TRUE(QDir(QString::fromStdString(current.Path())).isEmpty());

    answered = answer("report.txt");
    w->btnSave->click();
    EXPECT_TRUE(*answered);
    EXPECT_EQ(current.Read("report.txt"), "row\r\n");
    QDir::setCurrent(previousDir);
}

}  // namespace
}  // namespace tessek
