#include "dialogs/DataSetupDialog.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "platform/IniFile.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace tessek {
namespace {

class SetupDialog : public ::testing::Test {
protected:
    std::unique_ptr<TfrmSetup> Open() { return std::make_unique<TfrmSetup>(settings, ini, catalogue); }

    // Presses OK for real and returns the text of a message box shown meanwhile ("" if none).
    QString PressOk(TfrmSetup& dialog)
    {
        QString shown;
        test::ModalAnswer<QMessageBox> answer([&shown](QMessageBox* box) { shown = box->text(), box->accept(); }, 2000);
        dialog.show();
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
        return shown;
    }

    test::TempFolder dir;
    IniFile ini{dir.File("Tessek.ini")};
    LoggingSettings settings;
    Catalogue catalogue;
};

TEST_F(SetupDialog, ComboChoiceFillsTheEditAndTypingSelectsOrKeepsTheCombo)
{
    auto dialog = Open();
    dialog->ComboBox[3]->setCurrentIndex(dialog->ComboBox[3]->findText("$69=MPH"));
    EXPECT_EQ(dialog->Edit[3]->text(), "69");
    EXPECT_EQ(dialog->Edit[3]->accessibleName(), "Slot 3 address");  // what a screen reader says

    // Typing selects the catalogue line of the address typed, or keeps the combo's entry.
    settings.LogAddrs[5] = 0x9C;
    auto typing = Open();
    typing->show();
    const char* steps[][3] = {{"77", "77", "$9C=O2"}, {"8f", "8F", "$8F=RPM"}, {"abc", "AB", "$8F=RPM"}};
    for (const auto& [typed, edit, combo] : steps) {
        SCOPED_TRACE(typed);
        typing->Edit[5]->clear();
        QTest::keyClicks(typing->Edit[5], typed);
        EXPECT_EQ(typing->Edit[5]->text(), edit);
        EXPECT_EQ(typing->ComboBox[5]->currentText(), combo);
    }
}

TEST_F(SetupDialog, OpensWithTheSettingsInMemoryAndPerformanceActsBeforeOk)
{
    settings.LogAddrs = {0, 0x5D, 0x12, 0x77, 0x12, 0x12, 0x12, 0x12, 0x12};
    settings.Performance = true;
    ini.WriteString("CurrentSet", "8", "9A");  // the file is not what the dialog shows
    auto dialog = Open();
    // An address outside the catalogue: nothing selected, the address in the edit.
    EXPECT_EQ(dialog->ComboBox[3]->currentIndex(), -1);
    EXPECT_EQ(dialog->Edit[3]->text(), "77");
    // Performance overwrites rows 1 and 2 in the dialog; only OK changes the slots.
    EXPECT_EQ(dialog->Edit[1]->text(), "69");
    EXPECT_EQ(dialog->ComboBox[1]->currentText(), "$69=MPH");
    EXPECT_EQ(settings.LogAddrs[1], 0x5D);

    dialog->show();
    dialog->Edit[1]->setText("9A");
    QTest::mouseClick(dialog->cbxPerformance, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_FALSE(settings.Performance);
    EXPECT_EQ(dialog->Edit[1]->text(), "9A");
    QTest::mouseClick(dialog->cbxPerformance, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_TRUE(settings.Performance);
    EXPECT_EQ(dialog->Edit[1]->text(), "69");
    dialog->reject();
    EXPECT_EQ(settings.LogAddrs[1], 0x5D);
    EXPECT_EQ(dir.Read("Tessek.ini"), "[CurrentSet]\n8=9A\n");
}

TEST_F(SetupDialog, OkStoresEverythingInItsOrder)
{
    auto dialog = Open();
    dialog->cbxPerformance->setChecked(true);
    dialog->Edit[4]->setText("5");   // one digit: 00
    dialog->Edit[5]->setText("");    // empty: FF
    dialog->Edit[6]->setText("c1");  // lower case set in code still counts
    dialog->rgMapTypeItems->button(0)->setChecked(true);
    dialog->eWeight->setText(" -5 ");
    EXPECT_EQ(PressOk(*dialog), "");
    const std::array<uint8_t, 9> expected{0x12, 0x69, 0x8F, 0x12, 0x00, 0xFF, 0xC1, 0x12, 0x12};
    EXPECT_EQ(settings.LogAddrs, expected);
    EXPECT_EQ(settings.CarWeight, -5);
    EXPECT_EQ(dir.Read("Tessek.ini"),
              "[CurrentSet]\n1=69\n2=8F\n3=12\n4=00\n5=FF\n6=C1\n7=12\n8=12\n"
              "MapFunction=0.114844\nPerformance=1\nCarWeight=-5\n");
}

TEST_F(SetupDialog, TabIntoTheMapTypeGroupLandsOnTheSelectedType)
{
    settings.MapFunction = MapFactorForType(2);  // "1 Bar"
    auto dialog = Open();
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    dialog->Edit[8]->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(dialog->Edit[8], Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog->rgMapTypeItems->button(2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // on the selected type: no change
    EXPECT_EQ(dialog->MapTypeIndex(), 2);
    // Another type chosen: Tab lands on that one from then on.
    dialog->rgMapTypeItems->button(0)->click();
    dialog->Edit[8]->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(dialog->Edit[8], Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog->rgMapTypeItems->button(0));
}

TEST_F(SetupDialog, AWeightThatIsNoIntegerStoresNothingAndStillCloses)
{
    for (const char* weight : {"0", "abc", "12kg"}) {
        SCOPED_TRACE(weight);
        auto dialog = Open();
        dialog->Edit[1]->setText("9A");
        dialog->eWeight->setText(weight);
        EXPECT_EQ(PressOk(*dialog), "Please enter a valid integer!");
        EXPECT_EQ(settings.LogAddrs[1], 0x12);
        EXPECT_EQ(settings.CarWeight, 2500);
        EXPECT_FALSE(dir.Exists("Tessek.ini"));
    }
}

}  // namespace
}  // namespace tessek
