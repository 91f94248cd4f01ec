// The texts of the port's settings and the port's section of the settings file.
#include "link/ComSettings.h"

#include "link/ComPort.h"
#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"
#include "tests/link/ComPortTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tessek {
namespace {

using test::DeviceScript;
using test::TempFolder;

TEST(ComSettingsTextTest, EveryNameTextReadsBackAsItsValue)
{
    for (int i = 0; i < kBaudRateCount; ++i)
        EXPECT_EQ(TextToBaudRate(BaudRateToText(static_cast<TBaudRate>(i))), i);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(TextToStopBits(StopBitsToText(static_cast<TStopBits>(i))), i);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(TextToDataBits(DataBitsToText(static_cast<TDataBits>(i))), i);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(TextToParity(ParityToText(static_cast<TParityBits>(i))), i);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(TextToFlowControl(FlowControlToText(static_cast<TFlowControl>(i))), i);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(TextToRTS(RTSToText(static_cast<TRTSFlowControl>(i))), i);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(TextToDTR(DTRToText(static_cast<TDTRFlowControl>(i))), i);
    EXPECT_EQ(BaudRateTexts().size(), 16u);
    for (int i = 1; i < kBaudRateCount; ++i)
        EXPECT_EQ(BaudRateTexts()[i], std::to_string(kBaudRateTable[i]));
}

TEST(ComSettingsTextTest, NameTextsIgnoreCaseAndFallBack)
{
    EXPECT_EQ(TextToBaudRate("custom"), brCustom);
    EXPECT_EQ(TextToBaudRate("CUSTOM"), brCustom);
    EXPECT_EQ(TextToBaudRate("12345"), br9600);
    EXPECT_EQ(TextToBaudRate("977"), br9600);
    EXPECT_EQ(TextToBaudRate(""), br9600);
    EXPECT_EQ(TextToBaudRate("115200"), br115200);
    EXPECT_EQ(TextToBaudRate("300"), br300);
    EXPECT_EQ(TextToStopBits("1.5"), sbOne5StopBits);
    EXPECT_EQ(TextToStopBits("1,5"), sbOneStopBit);
    EXPECT_EQ(TextToStopBits("2"), sbTwoStopBits);
    EXPECT_EQ(TextToDataBits("7"), dbSeven);
    EXPECT_EQ(TextToDataBits("9"), dbEight);
    EXPECT_EQ(TextToParity("none"), prNone);
    EXPECT_EQ(TextToParity("sPaCe"), prSpace);
    EXPECT_EQ(TextToParity("bogus"), prNone);
    EXPECT_EQ(TextToFlowControl("hardware"), fcHardware);
    EXPECT_EQ(TextToFlowControl("RTS/CTS"), fcCustom);
    EXPECT_EQ(TextToRTS("toggle"), rtsToggle);
    EXPECT_EQ(TextToRTS("?"), rtsDisable);
    EXPECT_EQ(TextToDTR("handshake"), dtrHandshake);
    EXPECT_EQ(TextToDTR("toggle"), dtrDisable);
}

TEST(ComSettingsTextTest, YesNo)
{
    EXPECT_EQ(BoolToText(true), "Yes");
    EXPECT_EQ(BoolToText(false), "No");
    for (const char* yes : {"Yes", "YES", "yes", "yEs"})
        EXPECT_TRUE(TextToBool(yes)) << yes;
    for (const char* no : {"No", "", "1", "true", "Y", "yes ", "Yess"})
        EXPECT_FALSE(TextToBool(no)) << no;
}

TEST(ComSettingsTextTest, Characters)
{
    const struct {
        uint8_t value;
        const char* text;
    } written[] = {{17, "#17"}, {32, "#32"},   {0, "#0"},     {33, "!"},
                   {'A', "A"},  {127, "\x7f"}, {128, "#128"}, {255, "#255"}};
    for (const auto& c : written) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CharToText(c.value), c.text);
        EXPECT_EQ(TextToChar(c.text), c.value);
    }
    const struct {
        const char* text;
        uint8_t value;
    } read[] = {{"", 0},     {"#", '#'},   {"#65", 'A'}, {"#300", 44}, {"#x", 0},           {"#0x41", 0},
                {"#$41", 0}, {"#-1", 255}, {"#256", 0},  {"AB", 'A'},  {"#99999999999", 0}, {" #65", ' '}};
    for (const auto& c : read) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextToChar(c.text), c.value);
    }
}

TEST(ComSettingsTextTest, Integers)
{
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {{"977", 977},
                 {"-1", -1},
                 {"0x10", 16},
                 {"0X1f", 31},
                 {"$FF", 255},
                 {"0x", 42},
                 {"$", 42},
                 {"", 42},
                 {"12abc", 42},
                 {"99999999999", 42},
                 {"1.5", 42},
                 {" 7680", 7680},
                 {"2147483647", 2147483647}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextToInt(c.text, 42), c.value);
    }
    EXPECT_EQ(IntToText(-3), "-3");
}

// ---- the port's section ------------------------------------------------------------

// The key lines of a section, in file order.
std::vector<std::string> SectionLines(const std::string& content, const std::string& section)
{
    std::vector<std::string> lines;
    bool inside = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            inside = line == "[" + section + "]";
        else if (inside && !line.empty())
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

TEST(ComStoredSettingsTest, TheBasicGroupAsTheMainWindowStoresIt)
{
    TempFolder folder;
    TComPort port;
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    port.StoreSettings(ssIniFile, folder.File("Tessek.ini"));
    EXPECT_EQ(SectionLines(folder.Read("Tessek.ini"), "ComPort"),
              (std::vector<std::string>{"Port=COM1", "BaudRate=Custom", "CustomBaudRate=977", "StopBits=1",
                                        "DataBits=8", "Parity=None", "FlowControl=None"}));

    // A table rate writes its digits and leaves the earlier CustomBaudRate line alone.
    port.SetBaudRate(br9600);
    port.SetCustomBaudRate(7680);
    port.StoreSettings(ssIniFile, folder.File("Tessek.ini"));
    const std::vector<std::string> lines = SectionLines(folder.Read("Tessek.ini"), "ComPort");
    EXPECT_EQ(lines[1], "BaudRate=9600");
    EXPECT_EQ(lines[2], "CustomBaudRate=977");
}

TEST(ComStoredSettingsTest, OtherSectionsAndKeysAreKept)
{
    TempFolder folder;
    folder.Write("Tessek.ini", "[AutoSave]\nSaveNum=12\n[comport]\nPort=/dev/pts/9\nOwnKey=kept\n");
    TComPort port;
    port.StoreSettings(ssIniFile, folder.File("Tessek.ini"));
    const TIniFile ini(folder.File("Tessek.ini"));
    EXPECT_EQ(ini.ReadString("AutoSave", "SaveNum", ""), "12");
    EXPECT_EQ(ini.ReadString("ComPort", "OwnKey", ""), "kept");
    EXPECT_EQ(ini.ReadString("ComPort", "Port", ""), "COM1");
}

// Every property of every group set away from its default.
void SetEverything(TCustomComPort& port)
{
    port.SetPort("/dev/ttyUSB3");
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(7680);
    port.SetStopBits(sbOne5StopBits);
    port.SetDataBits(dbSeven);
    port.Parity().SetBits(prMark);
    port.Parity().SetCheck(true);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar(' ');
    port.SetEventChar('\n');
    port.SetDiscardNull(true);
    port.Buffer().SetInputSize(8);
    port.Buffer().SetOutputSize(0);
    port.Timeouts().SetReadInterval(11);
    port.Timeouts().SetReadTotalConstant(12);
    port.Timeouts().SetReadTotalMultiplier(13);
    port.Timeouts().SetWriteTotalConstant(14);
    port.Timeouts().SetWriteTotalMultiplier(15);
    TComFlowControl& f = port.FlowControl();
    f.SetControlRTS(rtsToggle);
    f.SetControlDTR(dtrHandshake);
    f.SetDSRSensitivity(true);
    f.SetOutCTSFlow(true);
    f.SetOutDSRFlow(true);
    f.SetTxContinueOnXoff(true);
    f.SetXonXoffIn(true);
    f.SetXonXoffOut(false);
    f.SetXoffChar('#');
    f.SetXonChar(200);
}

TEST(ComStoredSettingsTest, AllGroupsMakeARoundTrip)
{
    TempFolder folder;
    const TStoredGroups all = 0x3F;
    TComPort source;
    source.SetStoredGroups(all);
    SetEverything(source);
    source.StoreSettings(ssIniFile, folder.File("port.ini"));
    const TIniFile ini(folder.File("port.ini"));
    EXPECT_EQ(ini.ReadString("ComPort", "EventChar", ""), "#10");
    EXPECT_EQ(ini.ReadString("ComPort", "Parity.ReplaceChar", ""), "#32");
    EXPECT_EQ(ini.ReadString("ComPort", "FlowControl.XoffChar", ""), "#");
    EXPECT_EQ(ini.ReadString("ComPort", "FlowControl.ControlRTS", ""), "Toggle");
    EXPECT_EQ(ini.ReadString("ComPort", "FlowControl.OutDSRFlow", ""), "Yes");
    EXPECT_EQ(ini.ReadString("ComPort", "FlowControl", ""), "Custom");

    TComPort target;
    target.SetStoredGroups(all);
    target.LoadSettings(ssIniFile, folder.File("port.ini"));
    EXPECT_EQ(target.Port(), "/dev/ttyUSB3");
    EXPECT_EQ(target.BaudRate(), brCustom);
    EXPECT_EQ(target.CustomBaudRate(), 7680);
    EXPECT_EQ(target.StopBits(), sbOne5StopBits);
    EXPECT_EQ(target.DataBits(), dbSeven);
    EXPECT_EQ(target.Parity().Bits(), prMark);
    EXPECT_TRUE(target.Parity().Check());
    EXPECT_TRUE(target.Parity().Replace());
    EXPECT_EQ(target.Parity().ReplaceChar(), ' ');
    EXPECT_EQ(target.EventChar(), '\n');
    EXPECT_TRUE(target.DiscardNull());
    EXPECT_EQ(target.Buffer().InputSize(), 8);
    EXPECT_EQ(target.Buffer().OutputSize(), 0);
    EXPECT_EQ(target.Timeouts().ReadInterval(), 11);
    EXPECT_EQ(target.Timeouts().ReadTotalConstant(), 12);
    EXPECT_EQ(target.Timeouts().ReadTotalMultiplier(), 13);
    EXPECT_EQ(target.Timeouts().WriteTotalConstant(), 14);
    EXPECT_EQ(target.Timeouts().WriteTotalMultiplier(), 15);
    const TComFlowControl& f = target.FlowControl();
    EXPECT_EQ(f.ControlRTS(), rtsToggle);
    EXPECT_EQ(f.ControlDTR(), dtrHandshake);
    EXPECT_TRUE(f.DSRSensitivity());
    EXPECT_TRUE(f.OutCTSFlow());
    EXPECT_TRUE(f.OutDSRFlow());
    EXPECT_TRUE(f.TxContinueOnXoff());
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_FALSE(f.XonXoffOut());
    EXPECT_EQ(f.XoffChar(), '#');
    EXPECT_EQ(f.XonChar(), 200);
}

TEST(ComStoredSettingsTest, OnlyTheStoredGroupsAreWrittenAndRead)
{
    TempFolder folder;
    TComPort source;
    SetEverything(source);
    source.StoreSettings(ssIniFile, folder.File("port.ini"));
    EXPECT_EQ(SectionLines(folder.Read("port.ini"), "ComPort").size(), 7u);

    folder.Write("other.ini", "[ComPort]\nEventChar=A\nTimeouts.ReadInterval=5\nPort=/dev/x\n");
    TComPort target;
    target.SetStoredGroups(StoredGroup(sgTimeouts));
    target.LoadSettings(ssIniFile, folder.File("other.ini"));
    EXPECT_EQ(target.Timeouts().ReadInterval(), 5);
    EXPECT_EQ(target.EventChar(), 0);
    EXPECT_EQ(target.Port(), "COM1");
}

TEST(ComStoredSettingsTest, LoadingEdgeCases)
{
    struct Case {
        const char* name;
        const char* section;
        std::function<void(const TComPort&)> check;
    };
    const Case cases[] = {
        {"custom in lower case keeps the current custom rate", "BaudRate=custom\n",
         [](const TComPort& p) {
             EXPECT_EQ(p.BaudRate(), brCustom);
             EXPECT_EQ(p.CustomBaudRate(), 4321);
         }},
        {"custom with its rate", "BaudRate=Custom\nCustomBaudRate=977\n",
         [](const TComPort& p) { EXPECT_EQ(p.CustomBaudRate(), 977); }},
        {"custom rate in hexadecimal", "BaudRate=Custom\nCustomBaudRate=0x1E00\n",
         [](const TComPort& p) { EXPECT_EQ(p.CustomBaudRate(), 7680); }},
        {"custom rate of '$' alone keeps the current one", "BaudRate=Custom\nCustomBaudRate=$\n",
         [](const TComPort& p) { EXPECT_EQ(p.CustomBaudRate(), 4321); }},
        {"custom rate of '0x' alone keeps the current one", "BaudRate=Custom\nCustomBaudRate=0x\n",
         [](const TComPort& p) { EXPECT_EQ(p.CustomBaudRate(), 4321); }},
        {"custom rate that is too big keeps the current one", "BaudRate=Custom\nCustomBaudRate=99999999999\n",
         [](const TComPort& p) { EXPECT_EQ(p.CustomBaudRate(), 4321); }},
        {"custom rate is read only for a custom baud rate", "BaudRate=9600\nCustomBaudRate=977\n",
         [](const TComPort& p) {
             EXPECT_EQ(p.BaudRate(), br9600);
             EXPECT_EQ(p.CustomBaudRate(), 4321);
         }},
        {"an unknown rate is 9600", "BaudRate=12345\n", [](const TComPort& p) { EXPECT_EQ(p.BaudRate(), br9600); }},
        {"parity in lower case", "Parity=none\n", [](const TComPort& p) { EXPECT_EQ(p.Parity().Bits(), prNone); }},
        {"unknown texts fall back", "StopBits=3\nDataBits=x\nParity=?\n",
         [](const TComPort& p) {
             EXPECT_EQ(p.StopBits(), sbOneStopBit);
             EXPECT_EQ(p.DataBits(), dbEight);
             EXPECT_EQ(p.Parity().Bits(), prNone);
         }},
        {"flow Hardware keeps DSR flow", "FlowControl=Hardware\n",
         [](const TComPort& p) {
             EXPECT_EQ(p.FlowControl().ControlRTS(), rtsHandshake);
             EXPECT_TRUE(p.FlowControl().OutCTSFlow());
             EXPECT_FALSE(p.FlowControl().XonXoffIn());
             EXPECT_FALSE(p.FlowControl().XonXoffOut());
             EXPECT_TRUE(p.FlowControl().OutDSRFlow());
         }},
        {"flow Custom and unknown flow change no flag", "FlowControl=Custom\n",
         [](const TComPort& p) {
             EXPECT_TRUE(p.FlowControl().XonXoffIn());
             EXPECT_EQ(p.FlowControl().ControlRTS(), rtsEnable);
         }},
        {"flow text unknown is Custom", "FlowControl=RTS\n",
         [](const TComPort& p) { EXPECT_TRUE(p.FlowControl().XonXoffIn()); }},
        {"an empty port name is taken", "Port=\n", [](const TComPort& p) { EXPECT_EQ(p.Port(), ""); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        folder.Write("Tessek.ini", std::string("[ComPort]\n") + c.section);
        TComPort port;
        port.SetCustomBaudRate(4321);
        port.FlowControl().SetXonXoffIn(true);
        port.FlowControl().SetControlRTS(rtsEnable);
        port.FlowControl().SetOutDSRFlow(true);
        port.LoadSettings(ssIniFile, folder.File("Tessek.ini"));
        c.check(port);
    }
}

TEST(ComStoredSettingsTest, CharacterKeysLoadByTheirRules)
{
    const struct {
        const char* text;
        uint8_t value;
    } cases[] = {{"#", '#'}, {"#65", 'A'}, {"#300", 44}, {"#x", 0}, {"", 0}, {"xyz", 'x'}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TempFolder folder;
        folder.Write("Tessek.ini", std::string("[ComPort]\nEventChar=") + c.text + "\n");
        TComPort port;
        port.SetEventChar('!');
        port.SetStoredGroups(StoredGroup(sgOthers));
        port.LoadSettings(ssIniFile, folder.File("Tessek.ini"));
        EXPECT_EQ(port.EventChar(), c.value);
    }
}

TEST(ComStoredSettingsTest, AMissingOrGarbledFileChangesNothingItCannotRead)
{
    TempFolder folder;
    TComPort port;
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(977);
    port.LoadSettings(ssIniFile, folder.File("missing.ini"));
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 977);
    EXPECT_EQ(port.Port(), "COM1");

    std::string garbage = "\x01\xff[ComPort\n==\n[ComPort]\nBaudRate\n=Custom\n";
    for (int i = 0; i < 256; ++i)
        garbage += static_cast<char>((i * 37) & 0xFF);
    folder.Write("garbage.ini", garbage);
    port.LoadSettings(ssIniFile, folder.File("garbage.ini"));
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 977);
}

TEST(ComStoredSettingsTest, FailuresBecomeCodes16And17)
{
    TempFolder folder;
    TComPort port;
    const auto code = [](auto&& action) {
        try {
            action();
        } catch (const EComPort& e) {
            EXPECT_EQ(e.WinCode(), -1);
            return e.Code();
        }
        return 0;
    };
    EXPECT_EQ(code([&] { port.StoreSettings(ssIniFile, folder.File("no-folder/Tessek.ini")); }), 16);
    EXPECT_EQ(code([&] { port.StoreSettings(ssRegistry, "HKEY_CURRENT_USER\\Software\\Tessek"); }), 16);
    EXPECT_EQ(code([&] { port.LoadSettings(ssRegistry, "HKEY_CURRENT_USER\\Software\\Tessek"); }), 17);
    try {
        port.StoreSettings(ssIniFile, folder.File("no-folder/Tessek.ini"));
    } catch (const EComPort& e) {
        EXPECT_STREQ(e.what(), "Failed to store settings");
    }

    // A directory in place of the file cannot be read at all.
    ::mkdir(folder.File("dir.ini").c_str(), 0700);
    EXPECT_EQ(code([&] { port.LoadSettings(ssIniFile, folder.File("dir.ini")); }), 17);
}

TEST(ComStoredSettingsTest, LoadingIntoAnOpenPortAppliesOnceAndReportsFailuresAs17)
{
    TempFolder folder;
    auto script = std::make_shared<DeviceScript>();
    TComPort port;
    port.SetDeviceFactory(test::ScriptedFactory(script));
    port.SetEvents(0);
    port.Open();
    const int lineCalls = script->Get(&DeviceScript::setLineCalls);
    folder.Write("Tessek.ini", "[ComPort]\nBaudRate=Custom\nCustomBaudRate=977\nStopBits=2\nDataBits=7\nParity=Even\n");
    port.LoadSettings(ssIniFile, folder.File("Tessek.ini"));
    EXPECT_EQ(script->Get(&DeviceScript::setLineCalls), lineCalls + 1);
    const TLineSettings line = script->Get(&DeviceScript::line);
    EXPECT_EQ(line.BaudRate, 977);
    EXPECT_EQ(line.StopBits, sbTwoStopBits);
    EXPECT_EQ(line.DataBits, 7);
    EXPECT_EQ(line.Parity, prEven);

    // A changed port name reopens the open port at once, inside the bracket.
    folder.Write("Tessek.ini", "[ComPort]\nPort=/dev/elsewhere\nDataBits=6\n");
    port.LoadSettings(ssIniFile, folder.File("Tessek.ini"));
    EXPECT_EQ(script->Get(&DeviceScript::opens), 2);
    EXPECT_EQ(script->Get(&DeviceScript::line).DataBits, 6);

    {
        std::lock_guard lock(script->m);
        script->setLineErrno = EIO;
    }
    folder.Write("Tessek.ini", "[ComPort]\nDataBits=5\n");
    try {
        port.LoadSettings(ssIniFile, folder.File("Tessek.ini"));
        ADD_FAILURE() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 17);
        EXPECT_STREQ(e.what(), "Failed to load settings");
    }
    EXPECT_EQ(port.DataBits(), dbFive);
    // The bracket was closed: a later change is applied at once again.
    {
        std::lock_guard lock(script->m);
        script->setLineErrno = 0;
    }
    port.SetDataBits(dbEight);
    EXPECT_EQ(script->Get(&DeviceScript::line).DataBits, 8);
}

TEST(ComStoredSettingsTest, LoadingAPortNameIntoAClosedPortOnlyStoresIt)
{
    TempFolder folder;
    auto script = std::make_shared<DeviceScript>();
    TComPort port;
    port.SetDeviceFactory(test::ScriptedFactory(script));
    folder.Write("Tessek.ini", "[ComPort]\nPort=/dev/later\n");
    port.LoadSettings(ssIniFile, folder.File("Tessek.ini"));
    EXPECT_EQ(port.Port(), "/dev/later");
    EXPECT_EQ(script->Get(&DeviceScript::opens), 0);
    EXPECT_FALSE(port.Connected());
}

}  // namespace
}  // namespace tessek
