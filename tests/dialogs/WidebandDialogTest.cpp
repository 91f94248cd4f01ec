// The Wideband dialog on a session whose [Wideband] names a pseudo-terminal: it shows the
// stored settings and the input's live state, refuses a port name that is not there, and
// stores and applies what Apply is given.
#include "dialogs/WidebandDialog.h"

#include "platform/IniFile.h"
#include "session/LoggingSession.h"
#include "tests/common/EventLoop.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>

namespace tessek {
namespace {

TEST(WidebandDialogTest, ShowsTheLiveReadingRefusesAnAbsentPortAndStoresWhatIsApplied)
{
    test::TempFolder folder;
    test::PtyPeer peer;
    folder.Write("Tessek.ini", "[ComPort]\nPort=COM98\n[Wideband]\nPort=" + peer.SlavePath() + "\nProtocol=aem\n");
    LoggingSession session(folder.Path());
    ASSERT_EQ(session.LoadSettings(), "");
    WidebandDialog dialog(session);
    EXPECT_EQ(dialog.Entered().Port, peer.SlavePath());
    EXPECT_EQ(dialog.Entered().Protocol, WidebandProtocol::Aem);
    EXPECT_FALSE(dialog.edBaud->isEnabled());
    peer.Write("13.2\r\n13.1\r\n");  // the first line may be a half one
    EXPECT_TRUE(test::PumpUntil([&] { return dialog.lbStatus->text() == "13.1 AFR, valid"; }))
        << dialog.lbStatus->text().toStdString();

    dialog.cbPort->setEditText(QString::fromStdString(folder.File("no-such-adapter")));
    EXPECT_FALSE(dialog.Apply());
    EXPECT_TRUE(dialog.lbProblem->isVisibleTo(&dialog));
    EXPECT_EQ(session.Wideband().Settings().Port, peer.SlavePath());

    dialog.cbPort->setCurrentIndex(0);  // "(none)"
    dialog.cbProtocol->setCurrentIndex(dialog.cbProtocol->findData(static_cast<int>(WidebandProtocol::Text)));
    EXPECT_TRUE(dialog.edBaud->isEnabled());
    dialog.edBaud->setValue(38400);
    dialog.edStoich->setValue(9.8);
    EXPECT_TRUE(dialog.Apply());
    EXPECT_FALSE(session.Wideband().Settings().Enabled());
    EXPECT_FALSE(session.Wideband().Connected());
    EXPECT_EQ(dialog.lbStatus->text(), "no wideband port");
    WidebandSettings stored;
    stored.Load(IniFile(folder.File("Tessek.ini")));
    EXPECT_EQ(stored.Port, "");
    EXPECT_EQ(stored.Protocol, WidebandProtocol::Text);
    EXPECT_EQ(stored.Baud, 38400);
    EXPECT_DOUBLE_EQ(stored.Stoich, 9.8);
}

}  // namespace
}  // namespace tessek
