// The program end to end: the main window in a private program folder whose "Tessek.ini"
// names the pseudo-terminal of a simulated LM (or the built-in port "SIM"), the windows and
// controls it is made of (a run driven and marked from the live window, the panel's keys,
// windows that fit the screen), and the program run as a child process.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "app/StandaloneViewer.h"
#include "logfiles/DataLog.h"
#include "platform/BuildInfo.h"
#include "platform/IniFile.h"
#include "platform/WindowGeometry.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/EventLoop.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/common/ModalAnswer.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/ScriptedTime.h"
#include "tests/common/TempFolder.h"
#include "views/LiveWindow.h"
#include "views/LogViewerWindow.h"
#include "views/WindowPlacement.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class MainWindowTest : public ::testing::Test {
protected:
    // With `time`, the window runs on that clock and event pump.
    std::unique_ptr<TfrmMain> Create(const std::string& more = "", std::shared_ptr<test::ScriptedTime> time = {})
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n" + more);
        const TickSource clock = time ? TickSource([t = time.get()] { return t->Now(); }) : TickSource{};
        return std::make_unique<TfrmMain>(folder.Path(), clock, time);
    }

    test::ErrorRecorder errors;
    test::TempFolder folder;
    sim::SimulatedLm lm;
};

// The start-up removes temporaries of killed settings writes and opens the port the
// settings name: here the program's own, by name in any letter case, which sends like an
// LM. (That it answers like one: the headless program's runs on it.)
TEST_F(MainWindowTest, StartUpOpensTheBuiltInPortSimWhichTalksLikeAnLm)
{
    folder.Write("Tessek.ini", "[ComPort]\nPort=sim\n");
    folder.Write("Tessek.ini.Ab12Cd", "[ComPort]\n");
    // The built-in LM is one per process and may just have served another test: like a
    // car's, it sends nothing for half a second after it was last talked to.
    test::PumpFor(600);
    TfrmMain w(folder.Path());
    EXPECT_FALSE(folder.Exists("Tessek.ini.Ab12Cd"));  // which ones: tests/platform/SaveFileTest.cpp
    EXPECT_EQ(w.Memo->Lines(), (Lines{folder.Path(), "Receiving Data"}));
    EXPECT_EQ(w.lbstatus->text(), "Connected");
}

// A handler that fails ends the port's event delivery until the port is reopened, and
// its error is shown once, not once per event.
TEST_F(MainWindowTest, AFailingHandlerIsShownOnceAndEndsDeliveryUntilTheReopen)
{
    auto w = Create();
    w->Link.AfterTxEmpty = [] { throw std::runtime_error("handler failed"); };
    for (const size_t shown : {1, 2}) {
        for (int i = 0; i < 3; ++i) {
            w->ComPort.WriteBytes("\x55");
            test::PumpFor(50);
        }
        EXPECT_EQ(errors.messages, Lines(shown, "handler failed"));
        w->ComPort.Close();
        w->ComPort.Open();
    }
}

// The error handler compares whole sets: a single error has its line (a break's closes the
// port); sets of several have none, but 0x5D closes the port as a break does.
TEST_F(MainWindowTest, LineErrorsAreComparedAsWholeSets)
{
    const std::pair<TComErrors, const char*> cases[] = {
        {0x01, "Frame Error"}, {0x08, "Break Error, closing connection"},     {0x05, nullptr}, {0x5F, nullptr},
        {0x00, nullptr},       {0x5D, "Closing connection due to com error."}};
    auto w = Create();
    for (const auto& [set, line] : cases) {
        SCOPED_TRACE(static_cast<int>(set));
        const bool closes = set == 0x08 || set == 0x5D;
        if (!w->ComPort.Connected())
            w->ComPort.Open();
        w->MemoClear();
        w->ComPort.OnError(&w->ComPort, set);
        Lines expected = line ? Lines{line} : Lines{};
        if (closes)  // closing reports the modem lines off
            expected.insert(expected.end(), {"CTS Change Event", "DSR Change Event", "RLSD Change Event"});
        EXPECT_EQ(w->Memo->Lines(), expected);
        EXPECT_EQ(w->ComPort.Connected(), !closes);
    }
}

// The busy mark disables Setup, Save, Adaptives and Com Setup only: Log stops a run, Codes
// and the extra windows stay at hand.
TEST_F(MainWindowTest, BusyDisablesSetupSaveAdaptivesAndComSetupOnly)
{
    auto w = Create();
    w->SetBusy(true);
    for (QPushButton* b : {w->btnLog, w->btnSetup, w->btnSave, w->btnGetAdaptives, w->btnCodes, w->btnComSetup,
                           w->btnChart, w->btnViewLog}) {
        const bool disabled = b == w->btnSetup || b == w->btnSave || b == w->btnGetAdaptives || b == w->btnComSetup;
        EXPECT_EQ(b->isEnabled(), !disabled) << b->objectName().toStdString();
    }
    w->SetBusy(false);
    EXPECT_TRUE(w->btnSetup->isEnabled());
}

// The panel's keys: Tab visits it in order; every letter after "&" is used once (Setup and
// Save share S, as they always did); Ctrl+S opens Save.
TEST_F(MainWindowTest, TabVisitsThePanelInOrderItsAcceleratorsAreUniqueButSAndCtrlSWorks)
{
    auto w = Create();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->Memo->setFocus(Qt::OtherFocusReason);
    const Lines before = w->Memo->Lines();
    // The command buttons in their order, the buttons of the extra windows, and past
    // the hidden controls back to the text area.
    for (QWidget* next : std::initializer_list<QWidget*>{w->btnLog, w->btnSetup, w->btnSave, w->btnGetAdaptives,
                                                         w->btnCodes, w->btnComSetup, w->btnChart, w->btnViewLog,
                                                         w->btnMark, w->btnReports, w->btnWideband, w->Memo}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    EXPECT_EQ(w->Memo->Lines(), before);  // no tab character went into the text

    std::map<QChar, std::vector<QString>> letters;
    for (QAbstractButton* button : w->Panel1->findChildren<QAbstractButton*>()) {
        const QString text = button->text();
        const qsizetype at = text.indexOf('&');
        if (at >= 0 && at + 1 < text.size())
            letters[text.at(at + 1).toUpper()].push_back(text);
    }
    for (const auto& [letter, captions] : letters) {
        SCOPED_TRACE(QString(letter).toStdString());
        EXPECT_EQ(captions.size(), letter == 'S' ? 2u : 1u);
    }
    test::ModalAnswer<QFileDialog> cancel([](QFileDialog* dialog) { dialog->reject(); });
    QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(cancel.Answered());
}

TEST_F(MainWindowTest, AnUnreadableSettingsFileIsReportedOnceAndLeftAsItIs)
{
    std::filesystem::create_directory(folder.File("Tessek.ini"));
    {
        TfrmMain w(folder.Path());
        ASSERT_EQ(errors.messages.size(), 1u);
        EXPECT_THAT(errors.messages[0], HasSubstr(folder.File("Tessek.ini")));
        EXPECT_THAT(errors.messages[0], HasSubstr(std::strerror(EISDIR)));
        // The start-up goes on with the default settings; the port it was meant to open
        // is unknown, so none is opened.
        EXPECT_EQ(w.Memo->Lines(), (Lines{folder.Path(), "Not Connected to LM"}));
        EXPECT_FALSE(w.ComPort.Connected());
    }
    // SaveNum cannot be stored at the close: said, naming the file; nothing replaced it.
    ASSERT_EQ(errors.messages.size(), 2u);
    EXPECT_THAT(errors.messages[1], HasSubstr(folder.File("Tessek.ini")));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("Tessek.ini")));
}

// A log that the full disk kept out of TempLog stays in the text area: the commands that
// would clear it ask first, and only a confirmed discard lets them go on.
TEST_F(MainWindowTest, ALogThatCouldNotBeSavedIsKeptUntilDiscarded)
{
    lm.SetQuiet(true);
    // The waits that only run out (the run's extra handshake byte, the requests after the
    // stop) end after 100 ms of silence instead of their real 500 ms.
    auto w = Create("[CurrentSet]\n1=8F\n", std::make_shared<test::ScriptedTime>(100));
    // Presses Log (to stop a run) once `requests` more requests have reached the LM.
    std::optional<test::Watch> stopper;
    const auto stopAfter = [&](uint32_t requests) {
        stopper.emplace([&, at = lm.RequestCount() + requests] { return w->Busy() && lm.RequestCount() >= at; },
                        [&] { w->btnLog->click(); });
    };
    stopAfter(3 + 2);  // the header and one sample: more than the file may hold
    {
        const test::FileSizeLimit full(100);
        w->btnLog->click();
    }
    ASSERT_EQ(errors.messages.size(), 1u) << w->MemoText();
    EXPECT_THAT(errors.messages[0], HasSubstr(folder.File("TempLog1.txt")));
    EXPECT_THAT(errors.messages[0], HasSubstr(std::strerror(EFBIG)));
    EXPECT_FALSE(folder.Exists("TempLog1.txt"));
    EXPECT_EQ(IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 0);
    const Lines kept = w->Memo->Lines();
    ASSERT_EQ(kept.back(), "Done Logging");

    for (QPushButton* button : {w->btnLog, w->btnCodes, w->btnGetAdaptives}) {
        SCOPED_TRACE(button->objectName().toStdString());
        const uint32_t requests = lm.RequestCount();
        test::ModalAnswer<QMessageBox> keep([](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); }, 3000);
        stopAfter(50);  // ends a run that should not have started
        button->click();
        EXPECT_TRUE(keep.Answered());
        EXPECT_EQ(w->Memo->Lines(), kept);
        EXPECT_EQ(lm.RequestCount(), requests);
    }
    test::ModalAnswer<QMessageBox> discard([](QMessageBox* box) { box->button(QMessageBox::Discard)->click(); }, 3000);
    stopAfter(3 + 2);
    w->btnLog->click();
    EXPECT_TRUE(discard.Answered());
    EXPECT_EQ(folder.Read("TempLog1.txt"), w->MemoText());
}

// Log from the live window starts the run, Mark there and in the panel mark it, and Log
// there stops it; a second press while the stopped run still ends starts nothing. Opened
// from the Chart button in the middle of the run, the live chart shows the numbers the
// window's lines show; its View Log button and the main window's open one viewer on the
// run's data log, and closing the main window closes both.
TEST_F(MainWindowTest, ARunIsStartedMarkedAndStoppedFromTheLiveWindowWhichChartsIt)
{
    for (auto [address, value] :
         {std::pair{0x73, 0x55}, {0x9A, 0x9A}, {0x90, 0x40}, {0x8F, 0x1F}, {0x6A, 0x80}, {0x69, 0x0C}})
        lm.SetByte(address, value);
    lm.SetQuiet(true);
    auto w = Create("[CurrentSet]\n1=8F\n2=69\n");
    auto* live = w->findChild<LiveWindow*>();
    ASSERT_NE(live, nullptr);
    auto* liveLog = live->findChild<QPushButton*>("btnLog");
    std::string lastLine;  // "  0.123 2000rpm  50.00mph "
    w->btnMark->click();   // no run: nothing
    test::Watch mark([&] { return w->Memo->Lines().size() >= 3 + 3; },
                     [&] {
                         live->findChild<QPushButton*>("btnMark")->click();
                         w->btnMark->click();
                         w->btnChart->click();
                     });
    test::Watch stop([&] { return w->Memo->Lines().size() >= 3 + 9; },
                     [&] {
                         live->Redraw();
                         lastLine = w->Memo->Lines().back();
                         liveLog->click();
                         liveLog->click();  // the run is still ending: ignored
                     });
    liveLog->click();
    const auto lines = w->Memo->Lines();
    EXPECT_EQ(std::ranges::count_if(lines, [](const std::string& l) { return l.starts_with("Logging  Start at"); }), 1)
        << w->MemoText();
    EXPECT_EQ(lines.back(), "Done Logging");
    EXPECT_FALSE(w->Busy());
    // Both marks in the data log (the row's marker cells; the files themselves:
    // tests/logging/LogRunTest.cpp).
    const std::string csv = folder.Read(NewestDataLog(folder.Path()).substr(folder.Path().size()));
    for (const char* number : {"1", "2"})
        EXPECT_THAT(csv, HasSubstr(std::string(",") + number + ",Manual\r\n"));

    // The strips themselves: tests/views/LiveWindowTest.cpp.
    ASSERT_TRUE(live->isVisible());
    const LiveWindow::Strip& strip = live->Strips().at(1);
    EXPECT_EQ(strip.Value->text().toStdString(), "50.00");
    EXPECT_THAT(lastLine, HasSubstr(" 50.00mph"));
    EXPECT_DOUBLE_EQ(strip.Graph->data()->at(strip.Graph->data()->size() - 1)->key, std::stod(lastLine));

    live->findChild<QPushButton*>("btnViewLog")->click();
    w->btnViewLog->click();
    const auto viewers = w->findChildren<LogViewerWindow*>();
    ASSERT_EQ(viewers.size(), 1);
    EXPECT_TRUE(viewers[0]->isVisible());
    EXPECT_THAT(viewers[0]->windowTitle().toStdString(), ::testing::ContainsRegex("[0-9_-]+\\.csv"));
    EXPECT_EQ(errors.messages, std::vector<std::string>{});
    w->close();
    EXPECT_FALSE(live->isVisible());
    EXPECT_FALSE(viewers[0]->isVisible());
}

// On the test screen, every window opens inside the available area; a remembered geometry
// comes back, also when it was left on a screen that is gone.
TEST_F(MainWindowTest, WindowsOpenInsideTheScreenAndComeBackWhereTheyWere)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect area = available.marginsRemoved(kFrameAllowance);
    // A size the live window allows: its bottom row of buttons sets its least width.
    QSize size(600, 400);
    {
        auto w = Create();
        w->show();
        w->btnChart->click();
        w->btnViewLog->click();
        auto* live = w->findChild<LiveWindow*>();
        QWidget* viewer = w->findChild<LogViewerWindow*>();
        ASSERT_NE(viewer, nullptr);
        for (QWidget* window : {static_cast<QWidget*>(w.get()), static_cast<QWidget*>(live), viewer}) {
            SCOPED_TRACE(window->windowTitle().toStdString());
            EXPECT_TRUE(area.contains(window->geometry()))
                << window->geometry().width() << "x" << window->geometry().height();
        }
        size = size.expandedTo(live->minimumSizeHint());
        live->setGeometry(area.left() + 20, area.top() + 10, size.width(), size.height());
        w->close();
    }
    IniFile ini(folder.File("Tessek.ini"));
    const auto remembered = ParseGeometry(ini.ReadString("Windows", "Live", ""));
    ASSERT_TRUE(remembered.has_value());
    EXPECT_EQ(*remembered, QRect(QPoint(area.left() + 20, area.top() + 10), size));
    EXPECT_TRUE(ParseGeometry(ini.ReadString("Windows", "Main", "")).has_value());

    // Left on a monitor to the right that is no longer there.
    ini.WriteString("Windows", "Live", QString("5000,100,%1,%2").arg(size.width()).arg(size.height()).toStdString());
    auto w = std::make_unique<TfrmMain>(folder.Path());
    auto* live = w->findChild<LiveWindow*>();
    // As remembered, but never wider or taller than the screen holds (the test's screen is
    // 800 pixels wide, narrower than Tessek Live's row of buttons).
    EXPECT_EQ(live->size(), size.boundedTo(area.size()));
    EXPECT_TRUE(area.contains(live->geometry()));
}

// A file name is taken from the command line as its bytes, so one that is not valid
// UTF-8 (a Latin-1 "\xE9") opens too.
TEST(LogViewerStart, TheViewerOnItsOwnReadsTheFileOrSaysWhyNot)
{
    test::TempFolder folder;
    const std::string latin1 = "caf\xE9.csv";
    folder.Write(latin1, "Time (s),Engine Speed (rpm)\r\n0.000,850\r\n0.500,900\r\n1.000,950\r\n");
    for (const auto& [file, status] : {std::pair{latin1, "3 rows read"}, {"missing.csv", "missing.csv"}}) {
        SCOPED_TRACE(file);
        const std::string path = folder.File(file);
        const char* const argv[] = {"tessek", "--view", path.c_str()};
        const std::optional<std::string> given = ViewOptionFile(3, argv);
        ASSERT_EQ(given, path);
        const auto viewer = OpenStandaloneViewer(*given);
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_THAT(viewer->findChild<QLabel*>("status")->text().toStdString(), HasSubstr(status));
    }
    const std::tuple<const char*, std::vector<const char*>, std::optional<std::string>> options[] = {
        {"no value", {"tessek", "--view"}, std::nullopt},
        {"with =", {"tessek", "--view=a\xFF.csv"}, "a\xFF.csv"},
        {"the last one counts", {"tessek", "--view", "a.csv", "--view=b.csv"}, "b.csv"},
        {"after --, a file", {"tessek", "--", "--view", "a.csv"}, std::nullopt},
        {"another option", {"tessek", "--viewer", "a.csv"}, std::nullopt},
    };
    for (const auto& [name, argv, file] : options) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ViewOptionFile(static_cast<int>(argv.size()), argv.data()), file);
    }
}

// Runs `program` in this test's environment changed by `environment` (an empty value
// removes the variable): its exit code (-1: it crashed or still ran after a minute) and
// what it printed.
std::pair<int, std::string> RunProgram(const QString& program, const QStringList& arguments,
                                       const std::map<QString, QString>& environment = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment)
        value.isEmpty() ? env.remove(name) : env.insert(name, value);
    QProcess process;  // kills what still runs when it goes
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAll().toStdString()};
}

// A copy of the program in a private program folder whose Tessek.ini names a
// pseudo-terminal of the test: a command line that wrongly starts the window touches
// nothing else (and fails when the run is ended after a minute).
TEST(CommandLine, VersionNeedsNoDisplayToolkitOptionsAreTakenOutUnknownOnesRefused)
{
    test::TempFolder folder;
    test::PtyPeer pty;
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + pty.SlavePath() + "\n");
    const QString program = QString::fromStdString(folder.File("tessek"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/tessek", program));
    const std::string version = std::string("Tessek ") + kVersion + "\n";
    const struct {
        QStringList arguments;
        const char* display;  // QT_QPA_PLATFORM; "": no window system at all
        int exitCode;
        std::vector<std::string> parts;  // of what it prints
    } rows[] = {
        {{"--version"}, "", 0, {version}},
        {{"--play", "no-such.csv"}, "offscreen", 1, {"tessek --play: no-such.csv: ", "No such file"}},
        {{"-platform", "offscreen", "--version"}, "offscreen", 0, {version}},
        {{"--no-such-option"}, "offscreen", 1, {"no-such-option"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const auto [exitCode, output] = RunProgram(
            program, row.arguments, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", row.display}});
        EXPECT_EQ(exitCode, row.exitCode) << output;
        for (const std::string& part : row.parts)
            EXPECT_THAT(output, HasSubstr(part));
    }
}

struct Scenario {
    const char* name;
    const char* button;   // the control pressed
    uint32_t handshakes;  // the window is closed once the LM has seen this many handshakes,
    uint32_t requests;    // this many requests,
    bool modal;           // and, when set, a modal window is up
    bool logs;            // whether a TempLog is written
};

void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

// A logging run's header has 3 requests (73, 9A, 12), a sample of slot 8F 2.
const Scenario kScenarios[] = {
    {"LogDuringHandshake", "btnLog", 1, 0, false, true},
    {"LogDuringHeader", "btnLog", 0, 1, false, true},
    {"LogDuringSamples", "btnLog", 0, 3 + 2 + 1, false, true},
    {"CodesDuringRequests", "btnCodes", 0, 2, false, false},
    {"AdaptivesDuringRequests", "btnGetAdaptives", 0, 6, false, false},
    {"SetupDialogOpen", "btnSetup", 0, 0, true, false},
    {"ComSetupDialogOpen", "btnComSetup", 0, 0, true, false},
    {"SaveDialogOpen", "btnSave", 0, 0, true, false},
};

// Closing the main window at any moment of any command: the command ends, what it logged
// is saved, SaveNum reaches the settings file, the window closes and the process exits
// with 0. (The run's end writes its data logs as a stop does: tests/logging/LogRunTest.cpp.)
class CloseWhileBusy : public MainWindowTest, public ::testing::WithParamInterface<Scenario> {};

// Each case runs in a child process (the test below), since a crash or a hang must not
// take the suite down and the process's exit is part of what is checked.
TEST_P(CloseWhileBusy, TheCommandEndsItsLogIsSavedAndTheProcessExitsWithZero)
{
    const auto [exitCode, output] =
        RunProgram(QCoreApplication::applicationFilePath(),
                   {"--gtest_also_run_disabled_tests",
                    QString("--gtest_filter=*CloseWhileBusy.DISABLED_InAChild/") + GetParam().name});
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_THAT(output, HasSubstr("[  PASSED  ] 1 test"));
}

// The child: the program as main() runs it, with one button pressed and the window closed
// at the scenario's moment.
TEST_P(CloseWhileBusy, DISABLED_InAChild)
{
    const Scenario& s = GetParam();
    lm.SetQuiet(true);
    lm.UseScenario();
    // Waits that see nothing for 50 ms run ahead to their deadline: a report or a run
    // ending after the close does not wait out its time limits in real time.
    auto w = Create("[CurrentSet]\n1=8F\n", std::make_shared<test::ScriptedTime>(50));
    w->show();
    QTimer::singleShot(0, w->findChild<QPushButton*>(s.button), &QPushButton::click);
    test::Watch close(
        [&] {
            return lm.HandshakeCount() >= s.handshakes && lm.RequestCount() >= s.requests &&
                   (!s.modal || QApplication::activeModalWidget());
        },
        [&] { w->close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(errors.messages, Lines{});
    EXPECT_EQ(IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), s.logs ? 2 : 1);
    EXPECT_EQ(folder.Exists("TempLog1.txt"), s.logs);
    if (!s.logs)
        return;
    const std::string log = folder.Read("TempLog1.txt");
    EXPECT_THAT(log, StartsWith("Logging  Start at "));
    EXPECT_THAT(log, EndsWith("Done Logging\r\n"));
    EXPECT_THAT(w->MemoText(), StartsWith(log));  // closing the port adds its modem lines after the save
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CloseWhileBusy, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace tessek
