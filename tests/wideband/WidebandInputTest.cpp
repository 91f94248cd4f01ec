// The wideband's settings, and the input end to end: a pseudo-terminal stands for the
// controller's adapter, behind a symbolic link as a /dev/serial/by-id name is.
#include "platform/IniFile.h"
#include "tests/common/EventLoop.h"
#include "tests/common/FakeSysfs.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"
#include "wideband/WidebandInput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace tessek {
namespace {

// (Stored and read back: WidebandDialogTest.)
TEST(WidebandSettingsTest, ReadFromItsOwnSectionWithDefaultsForWhatIsBad)
{
    const struct {
        const char* ini;
        std::string port;
        WidebandProtocol protocol;
        double stoich;
        int32_t rate;
    } rows[] = {
        {"", "", WidebandProtocol::Mts, 14.7, 19200},
        {"[wideband]\nport=/dev/tessek-wb\nprotocol=AEM\nstoich=9.8\nBaud=38400\n", "/dev/tessek-wb",
         WidebandProtocol::Aem, 9.8, 9600},
        {"[Wideband]\nPort=SIM-WB\nProtocol=text\nBaud=38400\n", "SIM-WB", WidebandProtocol::Text, 14.7, 38400},
        {"[Wideband]\nProtocol=text\nStoich=nan\nBaud=12\n", "", WidebandProtocol::Text, 14.7, 9600},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ini);
        test::TempFolder folder;
        folder.Write("Tessek.ini", row.ini);
        WidebandSettings settings;
        settings.Load(IniFile(folder.File("Tessek.ini")));
        EXPECT_EQ(settings.Port, row.port);
        EXPECT_EQ(ProtocolName(settings.Protocol), std::string(ProtocolName(row.protocol)));
        EXPECT_EQ(settings.Stoich, row.stoich);
        EXPECT_EQ(settings.LineRate(), row.rate);
    }
}

const std::string kValid("\xB2\x82\x43\x13\x03\x6B", 6);  // 14.57 AFR
const std::string kRich("\xB2\x82\x43\x13\x02\x3C", 6);   // 12.0 AFR
const std::string kWarm("\xB2\x82\x53\x13\x03\x42", 6);   // warming up
const std::string kNext("\xB2\x82", 2);

TEST(WidebandInputTest, ReadsTheStreamAndFollowsTheDeviceAwayAndBack)
{
    test::TempFolder folder;
    const std::string link = folder.File("wb-by-id");
    auto peer = std::make_unique<test::PtyPeer>();
    std::filesystem::create_symlink(peer->SlavePath(), link);

    uint32_t now = 10000;
    WidebandInput input([&now] { return now; });
    WidebandSettings settings;
    settings.Port = link;
    std::string why;
    ASSERT_TRUE(input.Start(settings, why)) << why;
    EXPECT_EQ(peer->SlaveRate(), 19200);
    EXPECT_EQ(input.StatusText(now), "waiting for data");

    peer->Write(kValid + kRich + kNext);
    ASSERT_TRUE(test::PumpUntil([&] { return input.Latest().has_value() && input.Latest()->Afr < 13; }));
    now = 10100;
    peer->Write(kWarm.substr(2) + kNext);
    ASSERT_TRUE(test::PumpUntil([&] { return input.Latest()->Status == WidebandStatus::WarmingUp; }));
    // The newest valid reading not after the moment asked about, and not too old.
    const struct {
        uint32_t at;
        double afr;  // 0: none
    } asked[] = {{9999, 0}, {10000, 11.995}, {10250, 11.995}, {10251, 0}};
    for (const auto& a : asked) {
        SCOPED_TRACE(a.at);
        const auto reading = input.Newest(a.at, 250);
        EXPECT_EQ(reading.has_value(), a.afr != 0);
        if (reading) {
            EXPECT_NEAR(reading->Afr, a.afr, 0.005);
        }
    }
    EXPECT_EQ(input.StatusText(12099), "warming up");
    EXPECT_EQ(input.StatusText(12100), "no data for 2 s");
    peer->Write("14.7\r\n14.6\r\n");
    ASSERT_TRUE(test::PumpUntil([&] { return input.StatusText(13100).find("protocol") != std::string::npos; }));
    EXPECT_EQ(input.StatusText(13100), "no data for 3 s (bytes come, but none make a reading: is the protocol right?)");

    // Unplugged: the link goes with the device.
    peer.reset();
    std::filesystem::remove(link);
    ASSERT_TRUE(test::PumpUntil([&] { return input.Lost(); }));
    EXPECT_FALSE(input.Connected());
    EXPECT_EQ(input.StatusText(now), link + " is gone; it is used again when it is back");

    // Back behind the same name (another pseudo-terminal): open again within 2 s, with
    // nothing of before. (Its readings, and what the session says of the loss and the
    // return: the session's wideband test.)
    peer = std::make_unique<test::PtyPeer>();
    std::filesystem::create_symlink(peer->SlavePath(), link);
    ASSERT_TRUE(test::PumpUntil([&] { return input.Connected(); }, 2000));
    EXPECT_EQ(peer->SlaveRate(), 19200);
    EXPECT_FALSE(input.Latest().has_value());
}

TEST(WidebandInputTest, AnAbsentDeviceIsWaitedForTheConsoleIsRefused)
{
    test::PtyPeer peer;
    test::FakeSysfs sys;
    sys.SetActiveConsoles("tty0 " + std::filesystem::path(peer.SlavePath()).filename().string());
    test::TempFolder folder;
    const struct {
        const char* name;
        std::string port;
        std::string reason;  // in `why`
        bool waited;
    } rows[] = {
        {"absent", folder.File("not-plugged-in"), "plug in the adapter", true},
        {"the system console", peer.SlavePath(), "is an active system console", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WidebandInput input;
        input.Port().SetDeviceFactory([&sys](const std::string& port) {
            LinuxSystem system;
            system.SysfsRoot = sys.Root();
            return OpenLinuxSerialDevice(SerialDevicePath(port), system);
        });
        WidebandSettings settings;
        settings.Port = row.port;
        std::string why;
        EXPECT_FALSE(input.Start(settings, why));
        EXPECT_NE(why.find(row.reason), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos);
        EXPECT_EQ(input.Lost(), row.waited);
        EXPECT_EQ(input.StatusText(0), why);
    }
}

}  // namespace
}  // namespace tessek
