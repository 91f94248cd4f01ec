#include "app/MainWindow.h"
#include "dialogs/CPortSetup.h"
#include "dialogs/ufrmSetup.h"
#include "link/SerialDevice.h"
#include "platform/ErrorDisplay.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <cerrno>
#include <memory>

namespace tessek {
namespace {

// A main window in a private program folder whose "Tessek.ini" names a pseudo-terminal.
class MainWindowDialogs : public ::testing::Test {
protected:
    MainWindowDialogs()
    {
        previousDisplay = SetErrorDisplay([this](const std::string& message) { errors.push_back(message); });
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + peer.SlavePath() + "\n");
    }
    ~MainWindowDialogs() override { SetErrorDisplay(previousDisplay); }

    std::unique_ptr<TfrmMain> Start() { return std::make_unique<TfrmMain>(folder.Path()); }

    // The port's section as the file holds it.
    std::string PortSection() const
    {
        const std::string text = folder.Read("Tessek.ini");
        const size_t begin = text.find("[ComPort]\n");
        if (begin == std::string::npos)
            return {};
        const size_t end = text.find("\n[", begin);
        return text.substr(begin, end == std::string::npos ? std::string::npos : end + 1 - begin);
    }

    void Choose(TComComboBox* combo, const char* text)
    {
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << text;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    test::TempFolder folder;
    test::PtyPeer peer;
    ErrorDisplay previousDisplay;
    std::vector<std::string> errors;
};

TEST_F(MainWindowDialogs, ComSetupCancelledStillStoresThePortSettings)
{
    auto window = Start();
    ASSERT_TRUE(window->ComPort.Connected());
    test::ModalAnswer<TComSetupFrm> answer([this](TComSetupFrm* dialog) {
        Choose(dialog->Combo2, "9600");
        dialog->Button2->click();
    });
    window->btnComSetup->click();
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(PortSection(), "[ComPort]\nPort=" + peer.SlavePath() +
                                 "\nBaudRate=Custom\nCustomBaudRate=977\nStopBits=1\nDataBits=8\nParity=None\n"
                                 "FlowControl=None\n");
    EXPECT_EQ(window->ComPort.BaudRate(), brCustom);
    EXPECT_EQ(peer.SlaveRate(), 977);
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindowDialogs, ComSetupStoresTheChoiceAndTheNextStartLoadsIt)
{
    {
        auto window = Start();
        test::ModalAnswer<TComSetupFrm> answer([this](TComSetupFrm* dialog) {
            Choose(dialog->Combo2, "9600");
            Choose(dialog->Combo5, "Even");
            Choose(dialog->Combo6, "Hardware");
            dialog->Button1->click();
        });
        window->btnComSetup->click();
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(window->ComPort.BaudRate(), br9600);
        EXPECT_EQ(peer.SlaveRate(), 9600);
    }
    const std::string section = PortSection();
    EXPECT_NE(section.find("BaudRate=9600\n"), std::string::npos) << section;
    EXPECT_NE(section.find("Parity=Even\n"), std::string::npos) << section;
    EXPECT_NE(section.find("FlowControl=Hardware\n"), std::string::npos) << section;

    auto again = Start();
    EXPECT_EQ(again->ComPort.Parity().Bits(), prEven);
    EXPECT_EQ(again->ComPort.FlowControl().FlowControl(), fcHardware);
    // The start-up forces the LM's rate whatever was stored.
    EXPECT_EQ(again->ComPort.BaudRate(), brCustom);
    EXPECT_EQ(again->ComPort.CustomBaudRate(), 977);
    EXPECT_EQ(peer.SlaveRate(), 977);
    EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindowDialogs, AFailedApplyIsShownAndNothingIsStored)
{
    auto window = Start();
    window->ComPort.SetDeviceFactory([](const std::string& name) -> std::unique_ptr<ISerialDevice> {
        if (name == "SIM")
            throw TDeviceError(ENOENT);
        return OpenLinuxSerialDevice(name);
    });
    test::ModalAnswer<TComSetupFrm> answer([this](TComSetupFrm* dialog) {
        Choose(dialog->Combo1, "SIM");
        dialog->Button1->click();
    });
    window->btnComSetup->click();
    EXPECT_TRUE(answer.Answered());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to open com port (win error code: 2)");
    EXPECT_EQ(PortSection(), "[ComPort]\nPort=" + peer.SlavePath() + "\n");
}

TEST_F(MainWindowDialogs, SetupEditsTheWindowsSettingsAndOkStoresThem)
{
    auto window = Start();
    window->LogSettings.LogAddrs[2] = 0x5D;  // in memory only: the dialog shows this, not the file
    test::ModalAnswer<TfrmSetup> answer([](TfrmSetup* dialog) {
        EXPECT_EQ(dialog->Edit[2]->text(), "5D");
        EXPECT_EQ(dialog->ComboBox[2]->currentText(), "$5D=Charge Air Temp");
        dialog->ComboBox[3]->setCurrentIndex(dialog->ComboBox[3]->findText("$9A=Coolant Temp"));
        dialog->eWeight->setText("3200");
        dialog->btnOK->click();
    });
    window->btnSetup->click();
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(window->LogSettings.LogAddrs[3], 0x9A);
    EXPECT_EQ(window->LogSettings.CarWeight, 3200);
    EXPECT_EQ(window->SettingsIni->ReadString("CurrentSet", "2", ""), "5D");
    EXPECT_EQ(window->SettingsIni->ReadString("CurrentSet", "3", ""), "9A");
    EXPECT_EQ(window->SettingsIni->ReadInteger("CurrentSet", "CarWeight", 0), 3200);
    // The dialog is gone once it has closed.
    EXPECT_TRUE(window->findChildren<TfrmSetup*>().isEmpty());
}

}  // namespace
}  // namespace tessek
