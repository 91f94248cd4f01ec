// The main window end to end: created in a private program folder whose "Tessek.ini"
// names the pseudo-terminal of a simulated LM.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/Memo.h"
#include "dialogs/CPortSetup.h"
#include "dialogs/ufrmSetup.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <mutex>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

// Replaces the error display with a recorder for the life of a test.
class ErrorRecorder {
public:
    ErrorRecorder()
    {
        previous_ = SetErrorDisplay([this](const std::string& message) { messages.push_back(message); });
    }
    ~ErrorRecorder() { SetErrorDisplay(std::move(previous_)); }
    std::vector<std::string> messages;

private:
    ErrorDisplay previous_;
};

class MainWindowTest : public ::testing::Test {
protected:
    void WriteIni(const std::string& port, const std::string& more = "")
    {
        folder.Write("Tessek.ini", "[ComPort]\r\nPort=" + port + "\r\n" + more);
    }

    std::unique_ptr<TfrmMain> Create()
    {
        if (!folder.Exists("Tessek.ini"))
            WriteIni(lm.SlavePath());
        return std::make_unique<TfrmMain>(folder.Path());
    }

    static std::string Status(const TfrmMain& w) { return w.lbstatus->text().toStdString(); }

    test::TempFolder folder;
    sim::SimulatedLm lm;
    ErrorRecorder errors;
};

uint32_t Since(uint32_t start)
{
    return TickElapsed(start, GetTickCount());
}

TEST_F(MainWindowTest, StartsConnectedWhenTheLmIsSending)
{
    auto w = Create();
    EXPECT_EQ(w->Memo->Lines(), (Lines{folder.Path(), "Receiving Data"}));
    EXPECT_EQ(Status(*w), "Connected");
    EXPECT_TRUE(w->ComPort.Connected());
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MainWindowTest, StartsNotConnectedWhenTheLmIsSilent)
{
    lm.SetQuiet(true);
    const uint32_t start = GetTickCount();
    auto w = Create();
    EXPECT_GE(Since(start), 300u);
    EXPECT_EQ(w->Memo->Lines(), (Lines{folder.Path(), "Not Connected to LM"}));
    EXPECT_EQ(Status(*w), "Not Connected");
    EXPECT_TRUE(w->ComPort.Connected());
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MainWindowTest, StartUpForcesTheLinkSettingsOverWhatWasStored)
{
    WriteIni(lm.SlavePath(), "BaudRate=9600\r\nCustomBaudRate=1234\r\nStopBits=2\r\n");
    auto w = Create();
    const TComPort& port = w->ComPort;
    EXPECT_EQ(port.Port(), lm.SlavePath());
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 977);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);  // loaded, and not forced
    EXPECT_EQ(port.Buffer().OutputSize(), 0);
    EXPECT_EQ(port.Buffer().InputSize(), 8);
    EXPECT_TRUE(port.NotifyRxChar());
    EXPECT_EQ(port.EventPriority(), 6);
    EXPECT_EQ(port.Events(), kAllComEvents & ~ComEvent(evRxFlag));
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrDisable);
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);
    EXPECT_EQ(w->Link.RxEventCount(), 2);
    EXPECT_FALSE(w->Busy());
    EXPECT_EQ(w->pos(), QPoint(10, 10));
}

TEST_F(MainWindowTest, PortThatCannotBeOpenedLeavesTheWindowUsable)
{
    WriteIni(folder.File("no-such-device"));
    auto w = Create();
    ASSERT_EQ(errors.messages.size(), 1u);
    EXPECT_EQ(errors.messages[0].rfind("Unable to open com port", 0), 0u) << errors.messages[0];
    EXPECT_FALSE(w->ComPort.Connected());
    EXPECT_EQ(Status(*w), "-------------------");
    EXPECT_TRUE(w->Memo->Lines().empty());
    // The settings were loaded before the port failed.
    ASSERT_NE(w->ParamCatalogue, nullptr);
    EXPECT_EQ(w->ParamCatalogue->Count(), 19);
    // The first write of a command fails with the port's error, which the handler's
    // guard shows.
    w->SetBusy(true);
    EXPECT_THROW(w->EstablishHighBaud(), EComPort);
    EXPECT_FALSE(w->btnSave->isEnabled());
}

TEST_F(MainWindowTest, LoadsTheLoggingSettingsFromTheProgramFolder)
{
    WriteIni(lm.SlavePath(), "[AutoSave]\r\nSaveNum=5\r\n[CurrentSet]\r\n1=8F\r\n2=69\r\nCarWeight=3100\r\n");
    auto w = Create();
    EXPECT_EQ(w->LogSettings.SaveNum, 5);
    EXPECT_EQ(w->LogSettings.LogAddrs[1], 0x8F);
    EXPECT_EQ(w->LogSettings.LogAddrs[2], 0x69);
    EXPECT_EQ(w->LogSettings.LogAddrs[3], 0x12);
    EXPECT_EQ(w->LogSettings.CarWeight, 3100);
    EXPECT_EQ(w->SettingsIni->FileName(), folder.File("Tessek.ini"));
}

TEST_F(MainWindowTest, ClosingWritesTheSaveNumberAndClosesThePort)
{
    auto w = Create();
    w->LogSettings.SaveNum = 17;
    w->SetBusy(true);
    w->close();
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadString("AutoSave", "SaveNum", ""), "17");
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadString("ComPort", "Port", ""), lm.SlavePath());
    EXPECT_FALSE(w->ComPort.Connected());
    EXPECT_FALSE(w->Busy());
    EXPECT_TRUE(w->btnSave->isEnabled());
    EXPECT_EQ(w->SettingsIni, nullptr);
    EXPECT_EQ(w->ParamCatalogue, nullptr);
}

TEST_F(MainWindowTest, HandshakeMovesTheOpenLinkToTheHighRate)
{
    lm.SetByte(0x8F, 0x40);
    auto w = Create();
    w->SetBusy(true);
    EXPECT_TRUE(w->EstablishHighBaud());
    EXPECT_TRUE(w->ComPort.Connected());
    EXPECT_EQ(w->ComPort.CustomBaudRate(), 7680);
    EXPECT_EQ(lm.Rate(), 7680u);
    // The LM takes requests only when they come at its own rate of 7680.
    EXPECT_EQ(w->ReadLmByte(0x8F, 2), 0x40);
    EXPECT_EQ(lm.RequestCount(), 1u);
    EXPECT_EQ(lm.IgnoredCount(), 0u);
    // A later handshake is sent at 7680 and its echo alone satisfies it.
    EXPECT_TRUE(w->EstablishHighBaud());
    EXPECT_EQ(lm.HandshakeCount(), 2u);
}

TEST_F(MainWindowTest, HandshakeFailsWhenTheLmNeverEchoes)
{
    auto w = Create();
    lm.SetFault(sim::LmFault::Silent);
    w->SetBusy(true);
    const uint32_t start = GetTickCount();
    EXPECT_FALSE(w->EstablishHighBaud());
    EXPECT_GE(Since(start), 2200u);
    EXPECT_LT(Since(start), 6000u);
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

TEST_F(MainWindowTest, PortClosedByAHandlerInsideADeliveryEndsCleanly)
{
    auto w = Create();
    ASSERT_EQ(Status(*w), "Connected");
    // The LM keeps sending; the next receive event closes the port from inside its own
    // delivery, as a break event delivered with it would.
    auto received = w->ComPort.OnRxChar;
    w->ComPort.OnRxChar = [&](TCustomComPort* sender, int32_t count) {
        received(sender, count);
        w->ComPortBreak(sender);
    };
    const uint32_t start = GetTickCount();
    while (w->ComPort.Connected() && Since(start) < 3000)
        w->PumpDelay(20);
    EXPECT_FALSE(w->ComPort.Connected());
    EXPECT_EQ(w->Memo->Lines().at(2), "Break Event:  Closing Com Port");
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MainWindowTest, DeviceThatVanishesFailsTheNextRequestsWithThePortsError)
{
    auto w = Create();
    w->SetBusy(true);
    ASSERT_TRUE(w->EstablishHighBaud());
    lm.SetFault(sim::LmFault::HangUp);
    w->PumpDelay(200);  // the waits keep running while the line goes away
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        try {
            w->ReadLmByte(0x8F, 2);
            ADD_FAILURE() << "the request was written";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), 2);
        }
    }
    // The window stays usable.
    w->SetBusy(false);
    EXPECT_TRUE(w->btnSave->isEnabled());
    w->close();
    EXPECT_FALSE(w->ComPort.Connected());
}

TEST_F(MainWindowTest, DefaultProgramFolderIsTheOneInUse)
{
    WriteIni(lm.SlavePath());
    std::string bare = folder.Path();
    bare.pop_back();
    SetProgramFolder(bare);
    TfrmMain w;
    EXPECT_EQ(w.ProgramFolder(), folder.Path());
    EXPECT_EQ(w.Memo->Lines().at(0), folder.Path());
    EXPECT_EQ(w.ComPort.Port(), lm.SlavePath());
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
        EXPECT_EQ(w->Busy(), busy);
        for (const auto& [control, disabled] : disabledWhenBusy) {
            SCOPED_TRACE(control->objectName().toStdString() + (busy ? " busy" : " idle"));
            EXPECT_EQ(control->isEnabled(), !(busy && disabled));
        }
    }
}

TEST_F(MainWindowTest, LineErrorsAreComparedAsWholeSets)
{
    struct Case {
        TComErrors set;
        const char* line;  // nullptr: no line
        bool closes;
    };
    const Case cases[] = {
        {0x01, "Frame Error", false},
        {0x04, "Overrun Error", false},
        {0x02, "Rx Parity Error", false},
        {0x08, "Break Error, closing connection", true},
        {0x10, "IO Error", false},
        {0x20, "Mode Error", false},
        {0x40, "Rx Over Error", false},
        {0x80, "Tx Full Error", false},
        {0x5D, "Closing connection due to com error.", true},
        {0x05, nullptr, false},  // framing and overrun together
        {0x09, nullptr, false},
        {0x5C, nullptr, false},
        {0x5F, nullptr, false},
        {0xFF, nullptr, false},
        {0x00, nullptr, false},
    };
    auto w = Create();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.set));
        if (!w->ComPort.Connected())
            w->ComPort.Open();
        w->MemoClear();
        w->ComPort.OnError(&w->ComPort, c.set);
        Lines expected;
        if (c.line)
            expected.push_back(c.line);
        if (c.closes)  // closing reports the modem lines off
            expected.insert(expected.end(), {"CTS Change Event", "DSR Change Event", "RLSD Change Event"});
        EXPECT_EQ(w->Memo->Lines(), expected);
        EXPECT_EQ(w->ComPort.Connected(), !c.closes);
        if (c.closes) {
            EXPECT_THROW(w->ComPort.WriteBytes("\x12"), EComPort);
        }
    }
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MainWindowTest, LineEventsWriteTheirLines)
{
    auto w = Create();
    w->MemoClear();
    TComPort& port = w->ComPort;
    port.OnCTSChange(&port, true);
    port.OnDSRChange(&port, false);
    port.OnRing(&port);
    port.OnRLSDChange(&port, true);
    port.OnRx80Full(&port);
    port.OnRxFlag(&port);
    EXPECT_EQ(w->Memo->Lines(), (Lines{"CTS Change Event", "DSR Change Event", "LOL Ring Event!! wtf?",
                                       "RLSD Change Event", "Rx 80% Full Event"}));
    EXPECT_TRUE(port.Connected());
    w->MemoClear();
    port.OnBreak(&port);
    // Closing reports the lines off first.
    EXPECT_EQ(w->Memo->Lines(),
              (Lines{"Break Event:  Closing Com Port", "CTS Change Event", "DSR Change Event", "RLSD Change Event"}));
    EXPECT_FALSE(port.Connected());
    // A port event that fails ends its handler only and reaches the error display.
    port.OnRxChar(&port, 1);
    ASSERT_EQ(errors.messages.size(), 1u);
}

TEST_F(MainWindowTest, TransmitEmptyShowsOnlyWhenDisplayAllIsChecked)
{
    auto w = Create();
    TComPort& port = w->ComPort;
    w->MemoClear();
    w->MemoAddLine("a");
    w->SetBusy(true);
    port.OnRxChar(&port, 0);
    port.OnTxEmpty(&port);
    EXPECT_EQ(w->MemoText(), "a\r\n");
    EXPECT_EQ(w->Link.RxEventCount(), 0);
    EXPECT_TRUE(w->Link.TxEmptySeen());
    w->cbxDumpAll->setChecked(true);
    port.OnTxEmpty(&port);
    port.OnTxEmpty(&port);
    EXPECT_EQ(w->MemoText(), "a\r\n Tx Tx");
}

TEST_F(MainWindowTest, ReopenedPortReportsItsRate)
{
    auto w = Create();
    w->MemoClear();
    w->ComPort.Close();
    w->MemoClear();
    w->ComPort.SetCustomBaudRate(7680);
    w->ComPort.Open();
    EXPECT_EQ(w->Memo->Lines(),
              (Lines{"Com Port Open at 7680 baud", "CTS Change Event", "DSR Change Event", "RLSD Change Event"}));
}

TEST_F(MainWindowTest, ControlsAsDeclared)
{
    auto w = Create();
    EXPECT_EQ(w->windowTitle(), "Tessek");
    EXPECT_EQ(w->size(), QSize(793, 562));
    struct Case {
        QPushButton* button;
        const char* caption;
    };
    const Case buttons[] = {
        {w->btnLog, "&Log"},    {w->btnSetup, "&Setup"},       {w->btnSave, "&Save"}, {w->btnGetAdaptives, "Adaptives"},
        {w->btnCodes, "Codes"}, {w->btnComSetup, "Com Setup"},
    };
    for (const Case& c : buttons) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.button->text().toStdString(), c.caption);
        EXPECT_FALSE(c.button->isHidden());
    }
    EXPECT_TRUE(w->btnLog->isDefault());
    EXPECT_EQ(w->cbxDumpAll->text(), "&Display all RX");
    EXPECT_TRUE(w->cbxDumpAll->isHidden());
    EXPECT_FALSE(w->cbxDumpAll->isChecked());
    EXPECT_EQ(w->cbxDumpAll->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(w->rgRate->isHidden());
    EXPECT_EQ(w->rgRate->title(), "Sample Rate");
    EXPECT_EQ(w->SampleRateIndex(), 1);
    QStringList items;
    for (QAbstractButton* item : w->rgRateItems->buttons())
        items << item->text();
    EXPECT_EQ(items, (QStringList{"Too Fast", "Fastest", "Slower", "Slow", "Slowest", "Crawling"}));

    // Tab order through the panel.
    QWidget* expected[] = {w->btnLog, w->btnSetup, w->btnSave, w->btnGetAdaptives, w->btnCodes, w->btnComSetup};
    QWidget* at = w->btnLog;
    for (size_t i = 1; i < std::size(expected); ++i) {
        at = at->nextInFocusChain();
        EXPECT_EQ(at, expected[i]) << i;
    }
}

TEST_F(MainWindowTest, EnterPressesLogUnlessAButtonHasTheFocus)
{
    auto w = Create();
    int logs = 0;
    QObject::connect(w->btnLog, &QPushButton::clicked, [&] { ++logs; });
    int setups = 0;
    QObject::connect(w->btnSetup, &QPushButton::clicked, [&] { ++setups; });
    lm.SetFault(sim::LmFault::Silent);  // the Log press then ends at its failed handshake
    QTest::keyClick(w.get(), Qt::Key_Return);
    EXPECT_EQ(logs, 1);
    test::ModalAnswer<TfrmSetup> closeSetup([](TfrmSetup* dialog) { dialog->reject(); });
    QTest::keyClick(w->btnSetup, Qt::Key_Return);
    EXPECT_EQ(setups, 1);
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
    EXPECT_EQ(TIniFile(folder.File("Tessek.ini")).ReadString("ComPort", "CustomBaudRate", ""), "977");
}

// Answers the save dialog once it is up: types `name` and accepts, or cancels when
// `name` is empty. `answered` tells whether the dialog came up at all.
std::shared_ptr<bool> AnswerFileDialog(QFileDialog* dialog, const QString& name)
{
    auto answered = std::make_shared<bool>(false);
    QTimer::singleShot(50, dialog, [dialog, name, answered] {
        if (!dialog->isVisible() || !dialog->isModal())
            return;
        *answered = true;
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed as the user would, into the dialog's own file name field.
        auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (!field) {
            ADD_FAILURE() << "no file name field";
            dialog->reject();
            return;
        }
        field->setText(name);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    return answered;
}

TEST_F(MainWindowTest, SaveWritesTheTextOnlyWhenConfirmed)
{
    auto w = Create();
    test::TempFolder current;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(current.Path()));

    w->MemoClear();
    w->MemoAddLine("first");
    w->MemoAppend("row");
    auto answered = AnswerFileDialog(w->SaveDialog1, "report.txt");
    w->btnSave->click();
    EXPECT_TRUE(*answered);
    EXPECT_EQ(current.Read("report.txt"), "first\r\nrow\r\n");
    EXPECT_EQ(w->SaveDialog1->nameFilters(), QStringList{"Text (*.txt)"});
    EXPECT_EQ(w->SaveDialog1->directory().absolutePath(), QDir(QString::fromStdString(current.Path())).absolutePath());

    w->MemoAddLine("changed");
    answered = AnswerFileDialog(w->SaveDialog1, {});
    w->btnSave->click();
    EXPECT_TRUE(*answered);
    EXPECT_EQ(current.Read("report.txt"), "first\r\nrow\r\n");

    // Ignored while busy: the dialog does not come up.
    w->SetBusy(true);
    answered = AnswerFileDialog(w->SaveDialog1, {});
    w->btnSaveClick(w->btnSave);
    QTest::qWait(150);
    EXPECT_FALSE(*answered);

    QDir::setCurrent(previous);
    EXPECT_EQ(QDir(QString::fromStdString(current.Path())).entryList(QDir::Files), QStringList{"report.txt"});
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(MainWindowTest, DateAndTimeCarryNoTimeZone)
{
    auto w = Create();
    const std::string text = w->LocalDateTimeText();
    const QLocale locale = QLocale::system();
    const std::string date = locale.toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
    ASSERT_EQ(text.rfind(date + " ", 0), 0u) << text;
    const QString time = QString::fromStdString(text.substr(date.size() + 1));
    EXPECT_TRUE(QRegularExpression("^\\d{1,2}:\\d{2}:\\d{2}( ?[AaPp][Mm])?$").match(time).hasMatch()) << text;
}

TEST(ErrorMessageBox, ShowsTheMessageAndGoesOn)
{
    QString shown;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->accept();
    });
    ShowErrorMessageBox("Unable to open com port (win error code: 2)");
    EXPECT_EQ(shown, "Unable to open com port (win error code: 2)");
}

}  // namespace
}  // namespace tessek
