#include "dialogs/CalculatedChannelsDialog.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QAbstractItemView>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace tessek {
namespace {

TEST(CalculatedChannelsDialog, ABadFormulaBlocksOkAndShowsWhereCompletionAndValueFollowTheText)
{
    test::TempFolder dir;
    const std::string before = "[Calculated]\nPressure (bar)=[Boost] * 0.0689476\n";
    dir.Write("Tessek.ini", before);
    const auto current = [] { return std::optional<ChannelSample>(ChannelSample{1.0, {10.0, 2.0}}); };
    CalculatedChannelsDialog dialog(dir.File("Tessek.ini"), {"Boost", "Cyl 1 Retard"}, current);
    dialog.show();
    ASSERT_EQ(dialog.List()->count(), 1);
    EXPECT_EQ(dialog.List()->item(0)->text(), "Pressure (bar)");
    EXPECT_EQ(dialog.ResultLabel()->text(), "0.689476");

    QLineEdit* formula = dialog.FormulaEdit();
    formula->selectAll();
    QTest::keyClicks(formula, "[Boost] * (2");
    EXPECT_EQ(dialog.ErrorLabel()->text(), "Missing parenthesis at position 12");
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    dialog.accept();
    EXPECT_FALSE(dialog.result() == QDialog::Accepted);
    EXPECT_EQ(dir.Read("Tessek.ini"), before);

    // "[cy" offers the channel the formula may use; picking it completes the name.
    QTest::keyClicks(formula, " + [cy");
    ASSERT_TRUE(dialog.Completer()->popup()->isVisible());
    EXPECT_EQ(dialog.Completer()->currentCompletion(), "[Cyl 1 Retard]");
    QTest::keyClick(dialog.Completer()->popup(), Qt::Key_Down);
    QTest::keyClick(dialog.Completer()->popup(), Qt::Key_Return);
    QTest::keyClicks(formula, ")");
    EXPECT_EQ(formula->text(), "[Boost] * (2 + [Cyl 1 Retard])");
    EXPECT_EQ(dialog.ErrorLabel()->text(), "");
    EXPECT_EQ(dialog.ResultLabel()->text(), "40");

    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dir.Read("Tessek.ini"), "[Calculated]\nPressure (bar)=[Boost] * (2 + [Cyl 1 Retard])\n");
}

}  // namespace
}  // namespace tessek
