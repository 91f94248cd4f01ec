#include "dialogs/CPortCtl.h"
#include "dialogs/CPortSetup.h"
#include "link/ComPort.h"
#include "link/SerialDevice.h"
#include "platform/Catalog.h"
#include "platform/ProgramFolder.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <libintl.h>
#include <atomic>
#include <clocale>
#include <cstdlib>
#include <memory>

namespace tessek {
namespace {

// The real device on a pseudo-terminal, counting how often its line is configured.
class CountingDevice : public ISerialDevice {
public:
    CountingDevice(std::unique_ptr<ISerialDevice> inner, std::atomic<int>& lineSets)
        : inner_(std::move(inner)), lineSets_(lineSets)
    {
    }
    void SetLine(const TLineSettings& line) override
    {
        ++lineSets_;
        inner_->SetLine(line);
    }
    void SetTimeouts(const TDeviceTimeouts& timeouts) override { inner_->SetTimeouts(timeouts); }
    void SetQueueSizes(int32_t input, int32_t output) override { inner_->SetQueueSizes(input, output); }
    int32_t Write(const uint8_t* data, int32_t count) override { return inner_->Write(data, count); }
    int32_t Read(uint8_t* data, int32_t count) override { return inner_->Read(data, count); }
    void AbortPending() override { inner_->AbortPending(); }
    void Purge(bool input, bool output) override { inner_->Purge(input, output); }
    int32_t InputCount() override { return inner_->InputCount(); }
    int32_t OutputCount() override { return inner_->OutputCount(); }
    TComErrors TakeErrors() override { return inner_->TakeErrors(); }
    TModemSignals ModemSignals() override { return inner_->ModemSignals(); }
    int WaitFd() const override { return inner_->WaitFd(); }
    TComEvents TakeLineEvents() override { return inner_->TakeLineEvents(); }
    int LineEventInterval() const override { return inner_->LineEventInterval(); }
    int32_t InputCapacity() const override { return inner_->InputCapacity(); }

private:
    std::unique_ptr<ISerialDevice> inner_;
    std::atomic<int>& lineSets_;
};

// A port on a pseudo-terminal (never a real serial device): names other than the
// pseudo-terminal's fail to open as a missing device does.
class PortFixture : public ::testing::Test {
protected:
    PortFixture()
    {
        port.SetPort(peer.SlavePath());
        port.SetDeviceFactory([this](const std::string& name) -> std::unique_ptr<ISerialDevice> {
            ++opens;
            if (name != peer.SlavePath())
                throw TDeviceError(ENOENT);
            return std::make_unique<CountingDevice>(OpenLinuxSerialDevice(name), lineSets);
        });
        // The main window's port: custom rate, no flow control.
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(977);
    }

    test::PtyPeer peer;
    TComPort port;
    std::atomic<int> lineSets{0};
    int opens = 0;
};

// Picks `text` in `combo` as the user does.
void Choose(TComComboBox* combo, const char* text)
{
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// Answers the next port settings dialog: `choose` picks entries, then OK or Cancel.
std::unique_ptr<test::ModalAnswer<TComSetupFrm>> AnswerSetup(std::function<void(TComSetupFrm*)> choose, bool ok)
{
    return std::make_unique<test::ModalAnswer<TComSetupFrm>>([choose, ok](TComSetupFrm* dialog) {
        choose(dialog);
        (ok ? dialog->Button1 : dialog->Button2)->click();
    });
}

int SetupDialogsAlive()
{
    int alive = 0;
    for (QWidget* widget : QApplication::allWidgets())
        alive += qobject_cast<TComSetupFrm*>(widget) != nullptr;
    return alive;
}

std::vector<std::string> Items(const QComboBox& combo)
{
    std::vector<std::string> items;
    for (int i = 0; i < combo.count(); ++i)
        items.push_back(combo.itemText(i).toStdString());
    return items;
}

TEST(ComComboBox, ListsAndUnboundSelection)
{
    struct Case {
        TComProperty property;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {cpNone, {}},
        {cpBaudRate,
         {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "57600",
          "115200", "128000", "256000"}},
        {cpDataBits, {"5", "6", "7", "8"}},
        {cpStopBits, {"1", "1.5", "2"}},
        {cpParity, {"None", "Odd", "Even", "Mark", "Space"}},
        {cpFlowControl, {"Hardware", "Software", "None", "Custom"}},
    };
    TComComboBox combo;
    EXPECT_FALSE(combo.isEditable());
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.property));
        combo.SetComProperty(c.property);
        EXPECT_EQ(Items(combo), c.items);
        EXPECT_EQ(combo.currentIndex(), c.items.empty() ? -1 : 0);
    }

    combo.SetComProperty(cpPort);
    std::vector<std::string> ports;
    TCustomComPort::ListSerialPorts(ports);
    EXPECT_EQ(Items(combo), ports);
    EXPECT_NE(combo.findText("SIM"), -1);
}

TEST(ComComboBox, TextSelectsWithoutRegardToCase)
{
    TComComboBox combo;
    combo.SetComProperty(cpParity);
    combo.SetText("even");
    EXPECT_EQ(combo.Text(), "Even");
    combo.SetText("Parity");
    EXPECT_EQ(combo.Text(), "Even");
    combo.setCurrentIndex(-1);
    EXPECT_EQ(combo.Text(), "");
}

class ComSelect : public PortFixture {};

TEST_F(ComSelect, BindingSelectsThePortsCurrentValues)
{
    port.SetStopBits(sbOne5StopBits);
    port.Parity().SetBits(prSpace);
    port.SetDataBits(dbSeven);
    struct Case {
        TComProperty property;
        const char* shown;
    };
    const Case cases[] = {
        {cpBaudRate, "Custom"}, {cpDataBits, "7"}, {cpStopBits, "1.5"}, {cpParity, "Space"}, {cpFlowControl, "None"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        TComComboBox combo;
        combo.SetComPort(&port);
        combo.SetComProperty(c.property);
        EXPECT_EQ(combo.Text(), c.shown);
        // The value taken on the way is what applying writes back: nothing changes.
        port.BeginUpdate();
        combo.ApplySelection();
        port.EndUpdate();
    }
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.DataBits(), dbSeven);
    EXPECT_EQ(port.StopBits(), sbOne5StopBits);
    EXPECT_EQ(port.Parity().Bits(), prSpace);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
}

TEST_F(ComSelect, ChoosingHardwareFlowSetsItsFlagsOnlyWhenApplied)
{
    port.FlowControl().SetOutDSRFlow(true);
    port.FlowControl().SetXonXoffIn(true);
    port.FlowControl().SetXonXoffOut(true);
    TComComboBox combo;
    combo.SetComProperty(cpFlowControl);
    combo.SetComPort(&port);
    EXPECT_EQ(combo.Text(), "Software");
    Choose(&combo, "Hardware");
    EXPECT_EQ(combo.Select().FlowControl(), fcHardware);
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);

    combo.ApplySelection();
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsHandshake);
    EXPECT_TRUE(port.FlowControl().OutCTSFlow());
    EXPECT_FALSE(port.FlowControl().XonXoffIn());
    EXPECT_FALSE(port.FlowControl().XonXoffOut());
    EXPECT_TRUE(port.FlowControl().OutDSRFlow());
    EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
}

TEST_F(ComSelect, AutoApplyWritesEveryChoiceAtOnceAndReportsTheChange)
{
    TComComboBox combo;
    combo.SetComProperty(cpBaudRate);
    combo.SetComPort(&port);
    combo.SetAutoApply(true);
    int changes = 0;
    combo.OnChange = [&changes, &combo](TComComboBox* sender) {
        EXPECT_EQ(sender, &combo);
        ++changes;
    };
    Choose(&combo, "19200");
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_EQ(changes, 1);
    // Selecting in code is no choice of the user.
    combo.SetText("300");
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_EQ(changes, 1);
}

TEST_F(ComSelect, ACurrentPortThatIsNotListedSelectsNothingAndKeepsThePort)
{
    port.Open();
    const int setsAfterOpen = lineSets;
    TComComboBox combo;
    combo.SetComProperty(cpPort);
    combo.SetComPort(&port);
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(combo.Select().PortName(), "");
    combo.ApplySelection();
    EXPECT_EQ(port.Port(), peer.SlavePath());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(lineSets, setsAfterOpen);
}

TEST_F(ComSelect, RebindingEndsTheEarlierBinding)
{
    {
        auto other = std::make_unique<TComPort>();
        TComComboBox combo;
        combo.SetComProperty(cpParity);
        combo.SetComPort(other.get());
        combo.SetComPort(&port);
        Choose(&combo, "Mark");
        other.reset();  // no longer bound: the selection stays
        EXPECT_EQ(combo.ComPort(), &port);
        EXPECT_EQ(combo.Text(), "Mark");
    }
    // The combo is gone before the port: the port must not notify it any more.
    auto later = std::make_unique<TComPort>();
    {
        TComComboBox combo;
        combo.SetComPort(later.get());
    }
    later.reset();
}

TEST_F(ComSelect, ADestroyedPortIsForgottenAndTheFirstItemSelected)
{
    auto other = std::make_unique<TComPort>();
    other->SetBaudRate(br9600);
    TComComboBox combo;
    combo.SetComProperty(cpBaudRate);
    combo.SetComPort(other.get());
    EXPECT_EQ(combo.Text(), "9600");
    other.reset();
    EXPECT_EQ(combo.ComPort(), nullptr);
    EXPECT_EQ(combo.Text(), "Custom");
    combo.ApplySelection();  // unbound: nothing to write, nothing to crash on
}

class SetupDialogRun : public PortFixture {};

TEST_F(SetupDialogRun, ShowsTheOpenPortsSettings)
{
    std::vector<std::string> shown;
    auto answer = AnswerSetup(
        [&shown](TComSetupFrm* dialog) {
            for (TComComboBox* combo : dialog->Combos())
                shown.push_back(combo->Text());
        },
        false);
    ShowSetupDialog(port);
    EXPECT_TRUE(answer->Answered());
    const std::vector<std::string> expected{"", "Custom", "8", "1", "None", "None"};
    EXPECT_EQ(shown, expected);
}

TEST_F(SetupDialogRun, CancelAppliesNothing)
{
    port.Open();
    const int setsAfterOpen = lineSets;
    auto answer = AnswerSetup(
        [](TComSetupFrm* dialog) {
            Choose(dialog->Combo1, "SIM");
            Choose(dialog->Combo2, "9600");
            Choose(dialog->Combo5, "Odd");
        },
        false);
    ShowSetupDialog(port);
    EXPECT_TRUE(answer->Answered());
    EXPECT_EQ(port.Port(), peer.SlavePath());
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_EQ(lineSets, setsAfterOpen);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(SetupDialogsAlive(), 0);
}

TEST_F(SetupDialogRun, OkReconfiguresTheOpenPortOnce)
{
    port.Open();
    ASSERT_EQ(peer.SlaveRate(), 977);
    const int setsAfterOpen = lineSets;
    auto answer = AnswerSetup(
        [](TComSetupFrm* dialog) {
            Choose(dialog->Combo2, "9600");
            Choose(dialog->Combo4, "2");
            Choose(dialog->Combo5, "Even");
        },
        true);
    ShowSetupDialog(port);
    EXPECT_TRUE(answer->Answered());
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);
    EXPECT_EQ(port.Parity().Bits(), prEven);
    EXPECT_EQ(lineSets, setsAfterOpen + 1);
    EXPECT_EQ(peer.SlaveRate(), 9600);
    // No port was selected (the pseudo-terminal is not listed): the port stays as it was.
    EXPECT_EQ(port.Port(), peer.SlavePath());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(SetupDialogsAlive(), 0);
}

TEST_F(SetupDialogRun, CustomRunsThePortAtItsCustomRate)
{
    port.SetBaudRate(br4800);
    port.Open();
    ASSERT_EQ(peer.SlaveRate(), 4800);
    auto answer = AnswerSetup([](TComSetupFrm* dialog) { Choose(dialog->Combo2, "Custom"); }, true);
    ShowSetupDialog(port);
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(peer.SlaveRate(), 977);
}

TEST_F(SetupDialogRun, AFailedApplyStillEndsTheUpdateAndGoesOn)
{
    port.Open();
    auto answer = AnswerSetup(
        [](TComSetupFrm* dialog) {
            Choose(dialog->Combo1, "SIM");  // this fixture's factory cannot open it
            Choose(dialog->Combo2, "2400");
        },
        true);
    try {
        ShowSetupDialog(port);
        ADD_FAILURE() << "the failed reopen did not come out";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
    }
    EXPECT_EQ(SetupDialogsAlive(), 0);
    EXPECT_EQ(port.Port(), "SIM");
    EXPECT_FALSE(port.Connected());

    // Were the update bracket still open, this change would not reach the device.
    port.SetPort(peer.SlavePath());
    port.Open();
    const int setsAfterOpen = lineSets;
    port.SetBaudRate(br1200);
    EXPECT_EQ(lineSets, setsAfterOpen + 1);
    EXPECT_EQ(peer.SlaveRate(), 1200);
}

TEST_F(SetupDialogRun, ChoosingAListedPortReopensOnIt)
{
    TComPort sim;
    sim.SetPort(peer.SlavePath());
    sim.Open();
    auto answer = AnswerSetup([](TComSetupFrm* dialog) { Choose(dialog->Combo1, "SIM"); }, true);
    ShowSetupDialog(sim);
    EXPECT_EQ(sim.Port(), "SIM");
    EXPECT_TRUE(sim.Connected());
}

TEST(ComSetupFrm, CaptionsAreTranslatedButTheListsAreNot)
{
    if (std::system("command -v msgfmt >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "msgfmt is not installed";
    test::TempFolder dir;
    dir.Write("cport.po",
              "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
              "msgid \"Setup\"\nmsgstr \"Einrichtung\"\n"
              "msgid \" Settings \"\nmsgstr \" Einstellungen \"\n"
              "msgid \"Port\"\nmsgstr \"Anschluss\"\n"
              "msgid \"Flow control\"\nmsgstr \"Flusskontrolle\"\n"
              "msgid \"Cancel\"\nmsgstr \"Abbrechen\"\n"
              "msgid \"None\"\nmsgstr \"Keine\"\n"
              "msgid \"Custom\"\nmsgstr \"Eigene\"\n");
    const std::string mo = dir.Path() + "locale/de/LC_MESSAGES/";
    ASSERT_EQ(std::system(("mkdir -p " + mo + " && msgfmt -o " + mo + "cport.mo " + dir.File("cport.po")).c_str()), 0);

    // The catalogue facility binds once; rebind it to the test's catalogue for this test.
    CportText("Port");
    const std::string oldLocale = std::setlocale(LC_MESSAGES, nullptr);
    std::setlocale(LC_MESSAGES, "C.UTF-8");
    setenv("LANGUAGE", "de", 1);
    bindtextdomain("cport", (dir.Path() + "locale").c_str());

    {
        TComSetupFrm dialog;
        EXPECT_EQ(dialog.windowTitle(), "Einrichtung");
        EXPECT_EQ(dialog.GroupBox1->title(), " Einstellungen ");
        EXPECT_EQ(dialog.Label1->text(), "Anschluss");
        EXPECT_EQ(dialog.Label2->text(), "Baud rate");
        EXPECT_EQ(dialog.Label6->text(), "Flusskontrolle");
        EXPECT_EQ(dialog.Button1->text(), "OK");
        EXPECT_EQ(dialog.Button2->text(), "Abbrechen");
        EXPECT_EQ(dialog.Combo6->itemText(2), "None");
        EXPECT_EQ(dialog.Combo2->itemText(0), "Custom");
    }

    unsetenv("LANGUAGE");
    std::setlocale(LC_MESSAGES, oldLocale.c_str());
    bindtextdomain("cport", (ProgramFolder() + "locale").c_str());
}

}  // namespace
}  // namespace tessek
