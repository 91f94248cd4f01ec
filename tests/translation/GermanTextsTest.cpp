// The "cport" catalogue in German: the language is chosen before anything looks a text
// up, as a German desktop does, and the component's texts come out translated.
#include "dialogs/PortSetupDialog.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>
#include <QApplication>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tessek {
namespace {

// One message of the port and the dialog's title show the catalogue at work; its lists
// keep the values as the settings file stores them.
TEST(GermanCatalogue, PortErrorsAndTheDialogsTitleAreGermanItsListsAreNot)
{
    EXPECT_STREQ(
        EComPort(kErrOpen, ENOENT).what(),
        ("Serielle Schnittstelle kann nicht geöffnet werden (Systemfehlercode: " + std::to_string(ENOENT) + ")")
            .c_str());
    TComSetupFrm dialog;
    EXPECT_EQ(dialog.windowTitle(), "Einrichtung");
    EXPECT_EQ(dialog.Combo2->itemText(0), "Custom");
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
