#include "app/MainWindow.h"
#include "dialogs/PortSetupDialog.h"
#include "platform/ErrorDisplay.h"
#include "platform/Termios2.h"
#include "serial/SerialDevice.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <atomic>
#include <cerrno>
#include <memory>

namespace tessek {
namespace {

// Picks the item standing for `value` in `combo` as the user does.
void Choose(TComComboBox* combo, const char* value)
{
    const int index = combo->findData(QString(value));
    ASSERT_GE(index, 0) << value;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// A port at the main window's custom rate on a pseudo-terminal (never a real serial
// device): other names fail to open as a missing device does. Also a program folder
// whose "Tessek.ini" names the pseudo-terminal, for a main window.
class PortDialog : public ::testing::Test {
protected:
    PortDialog()
    {
        previousDisplay = SetErrorDisplay([this](const std::string& message) { errors.push_back(message); });
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + peer.SlavePath() + "\n");
        // A listed port to pick that cannot be opened.
        RegisterNamedPort("NOWHERE", "a port that is never there",
                          [](const std::string&) -> std::unique_ptr<ISerialDevice> { throw DeviceError(ENOENT); });
        port.SetPort(peer.SlavePath());
        port.SetDeviceFactory([this](const std::string& name) -> std::unique_ptr<ISerialDevice> {
            if (name != peer.SlavePath())
                throw DeviceError(ENOENT);
            // The real device; every line it configures is read back once, and counted.
            LinuxSystem system;
            system.ReadRates = [this](int fd) {
                ++lineSets;
                return ReadLineRates(fd);
            };
            return OpenLinuxSerialDevice(name, system);
        });
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(977);
    }
    ~PortDialog() override { SetErrorDisplay(previousDisplay); }

    // Answers the dialog `open` brings up: picks each text in Combos()[index], then OK or
    // Cancel. Returns what the six lists showed on opening.
    using Picks = std::vector<std::pair<int, const char*>>;
    std::vector<std::string> RunDialog(std::function<void()> open, const Picks& picks, bool ok)
    {
        std::vector<std::string> shown;
        test::ModalAnswer<TComSetupFrm> answer([&](TComSetupFrm* dialog) {
            for (TComComboBox* combo : dialog->Combos())
                shown.push_back(combo->Text());
            for (auto [index, text] : picks)
                Choose(dialog->Combos()[index], text);
            (ok ? dialog->Button1 : dialog->Button2)->click();
        });
        open();
        EXPECT_TRUE(answer.Answered());
        return shown;
    }
    std::vector<std::string> RunOnPort(const Picks& picks, bool ok) { return RunDialog(showPort, picks, ok); }
    void TearDown() override
    {
        for (QWidget* widget : QApplication::allWidgets())
            EXPECT_EQ(qobject_cast<TComSetupFrm*>(widget), nullptr) << "a dialog outlived its run";
        EXPECT_EQ(errors, std::vector<std::string>{});  // no test here shows an error box
    }

    std::unique_ptr<TfrmMain> Start() { return std::make_unique<TfrmMain>(folder.Path()); }

    test::TempFolder folder;
    test::PtyPeer peer;
    TComPort port;
    const std::function<void()> showPort = [this] { ShowSetupDialog(port); };
    std::atomic<int> lineSets{0};
    ErrorDisplay previousDisplay;
    std::vector<std::string> errors;
};

TEST_F(PortDialog, CancelAppliesNothingAndOkReconfiguresTheOpenPortOnce)
{
    TComFlowControl& flow = port.FlowControl();
    flow.SetOutDSRFlow(true), flow.SetXonXoffIn(true), flow.SetXonXoffOut(true);
    port.Open();
    const int setsAfterOpen = lineSets;
    EXPECT_EQ(RunOnPort({{0, "NOWHERE"}, {1, "9600"}, {5, "Hardware"}}, false),
              (std::vector<std::string>{peer.SlavePath(), "Custom", "8", "1", "None", "Software"}));
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_EQ(port.Port(), peer.SlavePath());
    EXPECT_EQ(lineSets, setsAfterOpen);

    RunOnPort({{1, "9600"}, {3, "2"}, {4, "Even"}, {5, "Hardware"}}, true);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);
    EXPECT_EQ(port.Parity().Bits(), prEven);
    // Hardware flow: RTS handshake and CTS, no XON/XOFF; DSR flow is left as it was.
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow() && flow.OutDSRFlow());
    EXPECT_FALSE(flow.XonXoffIn() || flow.XonXoffOut());
    EXPECT_EQ(lineSets, setsAfterOpen + 1);
    EXPECT_EQ(peer.SlaveRate(), 9600);
    // The pseudo-terminal is not listed but shown as the port's name: it stays as it was.
    EXPECT_EQ(port.Port(), peer.SlavePath());
    EXPECT_TRUE(port.Connected());

    RunOnPort({{1, "Custom"}}, true);
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(peer.SlaveRate(), 977);
}

TEST_F(PortDialog, ComSetupStoresEvenOnCancelAndTheNextStartReadsTheFile)
{
    {
        auto window = Start();
        auto click = [&] { window->btnComSetup->click(); };
        RunDialog(click, {{1, "9600"}}, false);
        EXPECT_EQ(folder.Read("Tessek.ini"),
                  "[ComPort]\nPort=" + peer.SlavePath() +
                      "\nBaudRate=Custom\nCustomBaudRate=977\nStopBits=1\nDataBits=8\nParity=None\n"
                      "FlowControl=None\n");
        RunDialog(click, {{4, "Even"}, {5, "Hardware"}}, true);
        EXPECT_NE(folder.Read("Tessek.ini").find("Parity=Even\nFlowControl=Hardware\n"), std::string::npos);
    }
    auto again = Start();
    EXPECT_EQ(again->ComPort.Parity().Bits(), prEven);
    EXPECT_EQ(again->ComPort.FlowControl().FlowControl(), fcHardware);
}

// The port list shows what each port is; what is selected, stored and applied is the
// port's name.
TEST_F(PortDialog, ThePortListShowsDescriptionsAndKeepsTheBarePortName)
{
    TComPort closed;
    closed.SetPort("nowhere");
    TComComboBox combo;
    combo.SetComProperty(cpPort);
    combo.SetComPort(&closed);
    EXPECT_EQ(combo.currentText().toStdString(), "NOWHERE \u2014 a port that is never there");
    EXPECT_EQ(combo.Text(), "NOWHERE");
    EXPECT_EQ(combo.Select().PortName(), "NOWHERE");
    closed.SetPort(peer.SlavePath());
    combo.RefreshSelection();
    Choose(&combo, "NOWHERE");
    combo.ApplySelection();
    EXPECT_EQ(closed.Port(), "NOWHERE");
}

// Any path can be typed; OK refuses what cannot be a port, says why and stores nothing,
// and takes a good one, which the port then opens.
TEST_F(PortDialog, ATypedPortNameIsCheckedOnOkAndARefusedOneStoresNothing)
{
    test::PtyPeer other;
    struct Case {
        std::string typed;
        std::string problem;  // "" when taken
    };
    const Case cases[] = {
        {folder.File("Tessek.ini"), folder.File("Tessek.ini") + " is not a serial device (not a character device)."},
        {"/dev/rfcomm-none", "/dev/rfcomm-none does not exist: No such file or directory."},
        {"rfcomm0", "\"rfcomm0\" is not a port name: type a device path such as /dev/ttyUSB0."},
        {other.SlavePath(), ""},
    };
    auto window = Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string before = folder.Read("Tessek.ini");
        std::string shownProblem;
        bool stillOpen = false;
        test::ModalAnswer<TComSetupFrm> answer([&](TComSetupFrm* dialog) {
            dialog->Combo1->setEditText(QString::fromStdString(c.typed));
            dialog->Button1->click();
            stillOpen = dialog->isVisible();
            shownProblem = dialog->lbPortProblem->isVisible() ? dialog->lbPortProblem->text().toStdString() : "";
            if (stillOpen)
                dialog->reject();
        });
        window->btnComSetup->click();
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(shownProblem, c.problem);
        EXPECT_EQ(stillOpen, !c.problem.empty());
        if (c.problem.empty()) {
            EXPECT_EQ(window->ComPort.Port(), c.typed);
            EXPECT_TRUE(window->ComPort.Connected());
            EXPECT_NE(folder.Read("Tessek.ini").find("Port=" + c.typed + "\n"), std::string::npos);
        } else {
            EXPECT_EQ(window->ComPort.Port(), peer.SlavePath());
            // Cancel stores the unchanged settings: the refused name is not among them.
            EXPECT_EQ(folder.Read("Tessek.ini").substr(0, before.size()), before);
        }
    }
}

}  // namespace
}  // namespace tessek
