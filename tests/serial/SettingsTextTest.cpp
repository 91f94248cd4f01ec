// The port's section of the settings file: what is written, and how it loads.
#include "serial/SettingsText.h"

#include "serial/ComPort.h"
#include "tests/common/TempFolder.h"
#include "tests/serial/ComPortTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tessek {
namespace {

using test::TempFolder;

TEST(ComStoredSettingsTest, TheBasicGroupIsWrittenAsTheMainWindowStoresIt)
{
    TempFolder folder;
    folder.Write("Tessek.ini", "[AutoSave]\nSaveNum=12\n[ComPort]\nOwnKey=kept\n");
    TComPort port;
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    port.StoreSettings(ssIniFile, folder.File("Tessek.ini"));
    const std::string content = folder.Read("Tessek.ini");
    EXPECT_EQ(content.find("[AutoSave]\nSaveNum=12\n"), 0u) << "other sections are kept";
    EXPECT_EQ(content.substr(content.find("[ComPort]")),
              "[ComPort]\nOwnKey=kept\nPort=COM1\nBaudRate=Custom\n"
              "CustomBaudRate=977\nStopBits=1\nDataBits=8\nParity=None\nFlowControl=None\n");
    // A table rate writes its digits and leaves the earlier CustomBaudRate line alone.
    port.SetBaudRate(br9600);
    port.SetCustomBaudRate(7680);
    port.StoreSettings(ssIniFile, folder.File("Tessek.ini"));
    EXPECT_NE(folder.Read("Tessek.ini").find("\nBaudRate=9600\nCustomBaudRate=977\n"), std::string::npos);
}

// Baud rate/custom rate, stop bits, data bits, parity, event character, RTS control,
// CTS flow, XON/XOFF in, DSR flow, port.
std::string Summary(const TComPort& p)
{
    const TComFlowControl& f = p.FlowControl();
    std::string s = BaudRateToText(p.BaudRate()) + "/" + std::to_string(p.CustomBaudRate());
    for (const std::string& part :
         {StopBitsToText(p.StopBits()), DataBitsToText(p.DataBits()), ParityToText(p.Parity().Bits()),
          CharToText(p.EventChar()), RTSToText(f.ControlRTS()), BoolToText(f.OutCTSFlow()), BoolToText(f.XonXoffIn()),
          BoolToText(f.OutDSRFlow()), p.Port()})
        s += " " + part;
    return s;
}

TEST(ComStoredSettingsTest, LoadingEdgeCases)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "115200/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"EventChar=#", "115200/4321 2 7 Odd # Enable No Yes Yes COM1"},
        {"EventChar=#65", "115200/4321 2 7 Odd A Enable No Yes Yes COM1"},
        {"EventChar=#300", "115200/4321 2 7 Odd , Enable No Yes Yes COM1"},
        {"EventChar=#x", "115200/4321 2 7 Odd #0 Enable No Yes Yes COM1"},
        {"EventChar=xyz", "115200/4321 2 7 Odd x Enable No Yes Yes COM1"},
        {"BaudRate=custom", "Custom/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"BaudRate=Custom\nCustomBaudRate=0x1E00", "Custom/7680 2 7 Odd ! Enable No Yes Yes COM1"},
        {"BaudRate=Custom\nCustomBaudRate=$", "Custom/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"BaudRate=Custom\nCustomBaudRate=0x", "Custom/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"BaudRate=Custom\nCustomBaudRate=99999999999", "Custom/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"BaudRate=9600\nCustomBaudRate=977", "9600/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"BaudRate=12345", "9600/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"StopBits=3\nDataBits=x\nParity=?", "115200/4321 1 8 None ! Enable No Yes Yes COM1"},
        {"StopBits=1.5\nParity=sPaCe", "115200/4321 1.5 7 Space ! Enable No Yes Yes COM1"},
        {"FlowControl=Hardware", "115200/4321 2 7 Odd ! Handshake Yes No Yes COM1"},
        {"FlowControl=RTS", "115200/4321 2 7 Odd ! Enable No Yes Yes COM1"},
        {"Port=", "115200/4321 2 7 Odd ! Enable No Yes Yes "},
    };
    for (const auto& [section, expected] : cases) {
        SCOPED_TRACE(section);
        TempFolder folder;
        folder.Write("Tessek.ini", std::string("[ComPort]\n") + section + "\n");
        TComPort port;
        port.SetStoredGroups(0x3F);
        port.SetBaudRate(br115200);
        port.SetCustomBaudRate(4321);
        port.SetStopBits(sbTwoStopBits);
        port.SetDataBits(dbSeven);
        port.Parity().SetBits(prOdd);
        port.SetEventChar('!');
        port.FlowControl().SetXonXoffIn(true);
        port.FlowControl().SetControlRTS(rtsEnable);
        port.FlowControl().SetOutDSRFlow(true);
        port.LoadSettings(ssIniFile, folder.File("Tessek.ini"));
        EXPECT_EQ(Summary(port), expected);
    }
}

TEST(ComStoredSettingsTest, FailuresBecomeCodes16And17)
{
    TempFolder folder;
    TComPort port;
    const EComPort stored = test::Raised([&] { port.StoreSettings(ssIniFile, folder.File("no-folder/Tessek.ini")); });
    EXPECT_EQ(stored.Code(), kErrStoreSettings);
    EXPECT_STREQ(stored.what(), "Failed to store settings");
    ::mkdir(folder.File("dir.ini").c_str(), 0700);  // a directory cannot be read at all
    const EComPort loaded = test::Raised([&] { port.LoadSettings(ssIniFile, folder.File("dir.ini")); });
    EXPECT_EQ(loaded.Code(), kErrLoadSettings);
    EXPECT_STREQ(loaded.what(), "Failed to load settings");
    EXPECT_EQ(test::Raised([&] { port.LoadSettings(ssIniFile, folder.File("missing.ini")); }).Code(), 0);
}

}  // namespace
}  // namespace tessek
