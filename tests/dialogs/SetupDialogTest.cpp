#include "dialogs/ufrmSetup.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "platform/ErrorDisplay.h"
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
#include <QTimer>

#include <memory>

namespace tessek {
namespace {

class SetupDialog : public ::testing::Test {
protected:
    std::unique_ptr<TfrmSetup> Open() { return std::make_unique<TfrmSetup>(settings, ini, catalogue); }

    // Presses OK for real; a message box that comes up meanwhile is recorded and closed.
    QString PressOk(TfrmSetup& dialog)
    {
        QString shown;
        test::ModalAnswer<QMessageBox> answer(
            [&shown](QMessageBox* box) {
                shown = box->text();
                box->button(QMessageBox::Ok)->click();
            },
            2000);
        dialog.show();
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        return shown;
    }

    test::TempFolder dir;
    TIniFile ini{dir.File("Tessek.ini")};
    TLogSettings settings;
    TParamCatalogue catalogue;
};

TEST_F(SetupDialog, ChoosingACatalogueLineFillsTheRowsEdit)
{
    auto dialog = Open();
    dialog->ComboBox[3]->setCurrentIndex(dialog->ComboBox[3]->findText("$69=MPH"));
    EXPECT_EQ(dialog->Edit[3]->text(), "69");
    EXPECT_EQ(dialog->Edit[4]->text(), "12");

    // Text typed into the combo box fills the edit with its second and third characters.
    dialog->ComboBox[6]->setEditText("x9");
    EXPECT_EQ(dialog->Edit[6]->text(), "9");
}

TEST_F(SetupDialog, TypingIntoAnEditSelectsTheMatchingLineOrKeepsTheCombo)
{
    struct Case {
        const char* typed;
        const char* edit;
        const char* combo;
    };
    const Case cases[] = {
        {"8F", "8F", "$8F=RPM"}, {"8f", "8F", "$8F=RPM"}, {"12", "12", "$12=Skip value"}, {"a0", "A0", "$A0=Knock"},
        {"77", "77", "$9C=O2"},  {"5", "5", "$9C=O2"},    {"abc", "AB", "$9C=O2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        settings.LogAddrs[5] = 0x9C;
        auto dialog = Open();
        dialog->show();
        dialog->Edit[5]->clear();
        QTest::keyClicks(dialog->Edit[5], c.typed);
        EXPECT_EQ(dialog->Edit[5]->text(), c.edit);
        EXPECT_EQ(dialog->ComboBox[5]->currentText(), c.combo);
    }
    // Text set in code is turned to upper case as well.
    auto dialog = Open();
    dialog->Edit[2]->setText("9c");
    EXPECT_EQ(dialog->ComboBox[2]->currentText(), "$9C=O2");
    EXPECT_EQ(dialog->Edit[2]->text(), "9C");
}

TEST_F(SetupDialog, OpensWithTheSettingsInMemory)
{
    settings.LogAddrs = {0, 0x69, 0x8F, 0x77, 0x12, 0x12, 0x12, 0x12, 0xDD};
    settings.MapFunction = 0.057422;
    settings.CarWeight = 3100;
    ini.WriteString("CurrentSet", "1", "9A");  // the file is not what the dialog shows
    auto dialog = Open();
    EXPECT_EQ(dialog->Edit[1]->text(), "69");
    EXPECT_EQ(dialog->ComboBox[1]->currentText(), "$69=MPH");
    EXPECT_EQ(dialog->ComboBox[2]->currentText(), "$8F=RPM");
    // An address outside the catalogue: nothing selected, the address in the edit.
    EXPECT_EQ(dialog->ComboBox[3]->currentIndex(), -1);
    EXPECT_EQ(dialog->ComboBox[3]->currentText(), "");
    EXPECT_EQ(dialog->Edit[3]->text(), "77");
    EXPECT_EQ(dialog->ComboBox[8]->currentText(), "$DD=(DTLKNK)");
    EXPECT_EQ(dialog->ComboBox[8]->count(), 19);
    EXPECT_EQ(dialog->MapTypeIndex(), 2);
    EXPECT_FALSE(dialog->cbxPerformance->isChecked());
    EXPECT_EQ(dialog->eWeight->text(), "3100");
}

TEST_F(SetupDialog, AnUnknownMapFactorShowsThreeBarAndOkStoresItsFactor)
{
    settings.MapFunction = 0.1;
    auto dialog = Open();
    EXPECT_EQ(dialog->MapTypeIndex(), 1);
    EXPECT_EQ(dialog->rgMapTypeItems->checkedButton()->text(), "3 Bar ");
    EXPECT_EQ(PressOk(*dialog), "");
    EXPECT_EQ(settings.MapFunction, 0.172266);
    EXPECT_EQ(ini.ReadString("CurrentSet", "MapFunction", ""), "0.172266");
}

TEST_F(SetupDialog, PerformanceOnOverwritesRowsOneAndTwoAtOpening)
{
    settings.Performance = true;
    settings.LogAddrs[1] = 0x5D;
    settings.LogAddrs[2] = 0x12;
    auto dialog = Open();
    EXPECT_TRUE(dialog->cbxPerformance->isChecked());
    EXPECT_EQ(dialog->Edit[1]->text(), "69");
    EXPECT_EQ(dialog->Edit[2]->text(), "8F");
    EXPECT_EQ(dialog->ComboBox[1]->currentText(), "$69=MPH");
    EXPECT_EQ(dialog->ComboBox[2]->currentText(), "$8F=RPM");
    // Only OK changes the slots themselves.
    EXPECT_EQ(settings.LogAddrs[1], 0x5D);
}

TEST_F(SetupDialog, TickingPerformanceActsAtOnceWithoutWritingTheFile)
{
    auto dialog = Open();
    dialog->show();
    QTest::mouseClick(dialog->cbxPerformance, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_TRUE(settings.Performance);
    EXPECT_EQ(dialog->Edit[1]->text(), "69");
    EXPECT_EQ(dialog->Edit[2]->text(), "8F");
    dialog->Edit[1]->setText("9A");
    dialog->cbxPerformance->setChecked(false);
    EXPECT_FALSE(settings.Performance);
    EXPECT_EQ(dialog->Edit[1]->text(), "9A");
    dialog->cbxPerformance->setChecked(true);
    dialog->reject();
    EXPECT_TRUE(settings.Performance);
    EXPECT_EQ(settings.LogAddrs[1], 0x12);
    EXPECT_FALSE(dir.Exists("Tessek.ini"));
}

TEST_F(SetupDialog, OkStoresEverythingInItsOrder)
{
    auto dialog = Open();
    dialog->cbxPerformance->setChecked(true);
    dialog->Edit[4]->setText("5");   // one digit: 00
    dialog->Edit[5]->setText("");    // empty: FF
    dialog->Edit[6]->setText("c1");  // lower case typed in code still counts
    dialog->rgMapTypeItems->button(0)->setChecked(true);
    dialog->eWeight->setText(" -5 ");
    EXPECT_EQ(PressOk(*dialog), "");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());

    const std::array<uint8_t, 9> expected{0x12, 0x69, 0x8F, 0x12, 0x00, 0xFF, 0xC1, 0x12, 0x12};
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(settings.LogAddrs[i], expected[i]) << "slot " << i;
    EXPECT_EQ(settings.MapFunction, 0.114844);
    EXPECT_EQ(settings.CarWeight, -5);
    EXPECT_EQ(dir.Read("Tessek.ini"),
              "[CurrentSet]\n1=69\n2=8F\n3=12\n4=00\n5=FF\n6=C1\n7=12\n8=12\n"
              "MapFunction=0.114844\nPerformance=1\nCarWeight=-5\n");
}

TEST_F(SetupDialog, AWeightThatIsNoIntegerStoresNothingAndStillCloses)
{
    for (const char* weight : {"0", "abc", "", "0x0", "12kg"}) {
        SCOPED_TRACE(weight);
        auto dialog = Open();
        dialog->Edit[1]->setText("9A");
        dialog->rgMapTypeItems->button(3)->setChecked(true);
        dialog->eWeight->setText(weight);
        EXPECT_EQ(PressOk(*dialog), "Please enter a valid integer!");
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(settings.LogAddrs[1], 0x12);
        EXPECT_EQ(settings.MapFunction, 0.172266);
        EXPECT_EQ(settings.CarWeight, 2500);
        EXPECT_FALSE(dir.Exists("Tessek.ini"));
    }
}

TEST_F(SetupDialog, AFileThatCannotBeWrittenIsReportedAndTheDialogStillCloses)
{
    std::vector<std::string> errors;
    const ErrorDisplay previous = SetErrorDisplay([&errors](const std::string& m) { errors.push_back(m); });
    TIniFile unwritable(dir.File("missing-folder/Tessek.ini"));
    TfrmSetup dialog(settings, unwritable, catalogue);
    dialog.Edit[1]->setText("9A");
    EXPECT_EQ(PressOk(dialog), "");
    SetErrorDisplay(previous);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings.LogAddrs[1], 0x9A);
}

TEST_F(SetupDialog, HexadecimalWeightIsAcceptedLikeTheSettingsFile)
{
    auto dialog = Open();
    dialog->eWeight->setText("$BB8");
    EXPECT_EQ(PressOk(*dialog), "");
    EXPECT_EQ(settings.CarWeight, 3000);
    EXPECT_EQ(ini.ReadString("CurrentSet", "CarWeight", ""), "3000");
}

TEST_F(SetupDialog, TabPassesOverTheComboBoxes)
{
    auto dialog = Open();
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    dialog->btnOK->setFocus();
    std::vector<std::string> visited;
    for (int step = 0; step < 30; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    for (const std::string& name : visited)
        EXPECT_EQ(name.rfind("ComboBox", 0), std::string::npos) << name;
    // The radio group is a single stop, at one of its items.
    ASSERT_EQ(visited[8].rfind("rgMapTypeItem", 0), 0u) << visited[8];
    visited[8] = "rgMapType";
    const std::vector<std::string> expected{"Edit1", "Edit2", "Edit3", "Edit4",     "Edit5",
                                            "Edit6", "Edit7", "Edit8", "rgMapType", "cbxPerformance"};
    EXPECT_EQ(std::vector<std::string>(visited.begin(), visited.begin() + 10), expected);
}

}  // namespace
}  // namespace tessek
