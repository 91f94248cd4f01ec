// Test main: one QApplication for the whole test program (widget tests need it; the
// offscreen platform is set by CTest and defaulted here for runs by hand), and a private
// program folder, so that a window that keeps a setting (the units chosen, a geometry)
// writes its Tessek.ini there and never beside the test program, where the program built
// with it would read it.
#include "platform/ProgramFolder.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The tests expect the component's own texts, whatever language the
    // developer's desktop asks for ("C" first in LANGUAGE means: no translation).
    qputenv("LANGUAGE", "C");
    const tessek::test::TempFolder programFolder;
    tessek::SetProgramFolder(programFolder.Path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
