// Test main: one QApplication for the whole test program (widget tests need it; the
// offscreen platform is set by CTest and defaulted here for runs by hand).
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The tests expect the component's own texts, whatever language the
    // developer's desktop asks for ("C" first in LANGUAGE means: no translation).
    qputenv("LANGUAGE", "C");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
