// The About box opens on F1 and names the version the build was configured with and the
// licence.
#include "app/AboutBox.h"
#include "platform/BuildInfo.h"
#include "tests/common/ModalAnswer.h"

#include <gtest/gtest.h>
#include <QMessageBox>
#include <QTest>
#include <QWidget>

namespace tessek {
namespace {

TEST(AboutBox, F1ShowsVersionAndLicence)
{
    QWidget window;
    AddAboutAction(window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QString text;
    test::ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
        text = box->text();
        box->accept();
    });
    QTest::keyClick(&window, Qt::Key_F1);
    ASSERT_TRUE(answer.Answered());
    EXPECT_TRUE(text.contains(QString("Tessek ") + kVersion)) << text.toStdString();
    EXPECT_TRUE(text.contains("GPL-3.0-or-later")) << text.toStdString();
}

}  // namespace
}  // namespace tessek
