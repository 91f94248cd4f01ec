// The "cport" catalogue in German: the language is chosen before anything looks a text
// up, as a German desktop does, and the component's texts come out translated.
#include "dialogs/PortSetupDialog.h"
#include "platform/Catalog.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tessek {
namespace {

TEST(GermanCatalogue, LiesWhereTheProgramLooksForIt)
{
    EXPECT_TRUE(std::filesystem::is_regular_file(CatalogueFolder() + "de/LC_MESSAGES/cport.mo"))
        << "looked in " << CatalogueFolder();
}

TEST(GermanCatalogue, PortErrorsAreGerman)
{
    EXPECT_STREQ(
        EComPort(kErrOpen, ENOENT).what(),
        ("Serielle Schnittstelle kann nicht geöffnet werden (Systemfehlercode: " + std::to_string(ENOENT) + ")")
            .c_str());
    EXPECT_STREQ(EComPort(kErrStoreSettings).what(), "Einstellungen konnten nicht gespeichert werden");

    // Every code has its own translation: a text the catalogue lacks comes back as given.
    const char* const english[] = {
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set property while connected",
        "EnumPorts function failed",
        "Failed to store settings",
        "Failed to load settings",
        "Link (un)registration failed",
        "Cannot change led state if ComPort is selected",
        "Cannot wait for event if event thread is created",
        "WaitForEvent method failed",
        "A component is linked to OnRxBuf event",
        "Registry error",
    };
    for (int code = kErrOpen; code <= kErrRegistry; ++code) {
        SCOPED_TRACE(english[code - 1]);
        const std::string message = ComErrorMessage(code);
        EXPECT_FALSE(message.empty());
        EXPECT_NE(message, english[code - 1]);
    }
}

TEST(GermanCatalogue, PortSettingsDialogCaptionsAreGermanItsListsAreNot)
{
    TComSetupFrm dialog;
    EXPECT_EQ(dialog.windowTitle(), "Einrichtung");
    EXPECT_EQ(dialog.GroupBox1->title(), " Einstellungen ");
    EXPECT_EQ(dialog.Label1->text(), "Anschluss");
    EXPECT_EQ(dialog.Label2->text(), "Baudrate");
    EXPECT_EQ(dialog.Label3->text(), "Datenbits");
    EXPECT_EQ(dialog.Label4->text(), "Stoppbits");
    EXPECT_EQ(dialog.Label5->text(), "Parität");
    EXPECT_EQ(dialog.Label6->text(), "Flusssteuerung");
    EXPECT_EQ(dialog.Button1->text(), "OK");
    EXPECT_EQ(dialog.Button2->text(), "Abbrechen");
    // The lists show the values as the settings file stores them.
    EXPECT_EQ(dialog.Combo2->itemText(0), "Custom");
    EXPECT_EQ(dialog.Combo5->itemText(0), "None");
    EXPECT_EQ(dialog.Combo6->itemText(1), "Software");
}

}  // namespace
}  // namespace tessek

int main(int argc, char** argv)
{
    // A German desktop: LANGUAGE picks the catalogue; gettext heeds it only under a
    // locale other than "C", and C.UTF-8 is present everywhere.
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("LANGUAGE", "de", 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
