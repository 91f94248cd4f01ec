// The keyboard alone reaches every control in the specified tab order.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "dialogs/DataSetupDialog.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace tessek {
namespace {

// Shows `window`, makes it the active one and gives `start` the focus.
void Activate(QWidget& window, QWidget* start)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    start->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), start);
}

std::string NameOf(QWidget* widget)
{
    return widget ? widget->objectName().toStdString() : "(none)";
}

TEST(Keyboard, TabLeavesTheTextAreaAndVisitsThePanelInOrder)
{
    test::TempFolder folder;
    sim::SimulatedLm lm;
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n");
    TfrmMain w(folder.Path());
    Activate(w, w.Memo);
    const std::vector<std::string> before = w.Memo->Lines();
    // The specified buttons in their order, then the buttons of the extra windows.
    const std::vector<QWidget*> order = {w.btnLog,   w.btnSetup,    w.btnSave,  w.btnGetAdaptives,
                                         w.btnCodes, w.btnComSetup, w.btnChart, w.btnViewLog};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(NameOf(QApplication::focusWidget()), NameOf(next));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // the hidden controls are passed over
    EXPECT_EQ(NameOf(QApplication::focusWidget()), NameOf(w.Memo));
    EXPECT_EQ(w.Memo->Lines(), before);  // no tab character went into the text
}

TEST(Keyboard, TabIntoTheMapTypeGroupLandsOnTheSelectedType)
{
    test::TempFolder folder;
    IniFile ini(folder.File("Tessek.ini"));
    const Catalogue catalogue;
    LoggingSettings settings;
    settings.MapFunction = MapFactorForType(2);  // "1 Bar"
    TfrmSetup dialog(settings, ini, catalogue);
    Activate(dialog, dialog.Edit[8]);
    QTest::keyClick(dialog.Edit[8], Qt::Key_Tab);
    EXPECT_EQ(NameOf(QApplication::focusWidget()), NameOf(dialog.rgMapTypeItems->button(2)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // on the selected type: no change
    EXPECT_EQ(dialog.MapTypeIndex(), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(NameOf(QApplication::focusWidget()), NameOf(dialog.cbxPerformance));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(NameOf(QApplication::focusWidget()), NameOf(dialog.rgMapTypeItems->button(2)));
    // Another type chosen: Tab lands on that one from then on.
    dialog.rgMapTypeItems->button(0)->click();
    dialog.Edit[8]->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(dialog.Edit[8], Qt::Key_Tab);
    EXPECT_EQ(NameOf(QApplication::focusWidget()), NameOf(dialog.rgMapTypeItems->button(0)));
}

}  // namespace
}  // namespace tessek
