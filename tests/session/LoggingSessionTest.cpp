// The logging session against simulated LMs behind a symbolic link, as a by-id name is to a
// USB adapter: a device that vanishes mid-run and comes back (resumed into new files), stops
// that come while it waits for an absent port or after a silent LM's failed handshake, the
// adaptive cells a run keeps, and the data log's cells of unanswered requests and
// calculated channels.
#include "session/LoggingSession.h"

#include "logfiles/DataLog.h"
#include "reports/RunAdaptives.h"
#include "sim/SimulatedLm.h"
#include "tests/common/EventLoop.h"
#include "tests/common/PluggedLm.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <sstream>

namespace tessek {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// What the session tells a front end, as a front end would keep it.
struct Told final : SessionView, RunObserver {
    void Notice(const std::string& line) override { lines += line + "\n"; }
    void ConnectionCameBack() override { ++back; }
    void ResumeDue() override { ++resumes; }
    void RunStarted(const std::vector<RunColumn>&, std::chrono::system_clock::time_point) override { ++runs; }
    void SampleLogged(const RunSample&) override { ++samples; }
    void RunEnded() override {}
    std::string lines;
    int back = 0, resumes = 0, runs = 0, samples = 0;
};

class SessionTest : public ::testing::Test {
protected:
    void Plug() { plugged.Plug(); }
    void Unplug() { plugged.Unplug(); }
    LoggingSession& Make(const std::string& currentSet = "1=8F\n2=86\n", const std::string& extra = {})
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + link + "\n[CurrentSet]\n" + currentSet + extra);
        session = std::make_unique<LoggingSession>(folder.Path());
        session->SetView(&told);
        session->AddRunObserver(&told);
        EXPECT_EQ(session->LoadSettings(), "");
        return *session;
    }
    // A file the session wrote, by its whole path.
    std::string Read(const std::string& path) { return folder.Read(path.substr(folder.Path().size())); }

    test::TempFolder folder;
    const std::string link = folder.File("lm-by-id");
    test::PluggedLm plugged{link};
    std::unique_ptr<sim::SimulatedLm>& lm = plugged.lm;
    Told told;
    std::unique_ptr<LoggingSession> session;
};

// A front end's run: a loss ends it, the return asks the front end to resume, and the
// resumed run says so in its first line; a run the user stopped is never resumed.
TEST_F(SessionTest, ARunEndedByALossIsResumedOnceAskedAndAStoppedOneNever)
{
    Plug();
    LoggingSession& s = Make();
    s.OpenPort();
    QTimer::singleShot(30000, [&] { s.SetBusy(false); });
    {
        test::Watch pull([&] { return told.samples >= 3; }, [&] { Unplug(); });
        s.StartOrStopRun();
    }
    EXPECT_TRUE(s.ResumeWanted());
    EXPECT_EQ(told.resumes, 0);
    Plug();
    ASSERT_TRUE(test::PumpUntil([&] { return told.resumes == 1; }, 5000));
    {
        test::Watch stop([&] { return told.samples >= 6; }, [&] { s.StartOrStopRun(); });
        s.ResumeRun();
    }
    EXPECT_EQ(told.runs, 2);
    EXPECT_FALSE(s.ResumeWanted()) << "stopped by the user";
    EXPECT_EQ(s.Text().Line(0), "The device came back: logging again, into new files.");
    EXPECT_THAT(folder.Read("TempLog2.txt"), HasSubstr("Done Logging"));

    // Lost while no run goes on: nothing to resume when it is back.
    Unplug();
    ASSERT_TRUE(test::PumpUntil([&] { return s.Connection().Lost(); }, 5000));
    Plug();
    ASSERT_TRUE(test::PumpUntil([&] { return told.back == 2; }, 5000));
    test::PumpFor(100);
    EXPECT_EQ(told.resumes, 1);
}

// A stop that comes while the session waits for an absent port, or in the pause before a
// failed handshake is tried again, ends it at once.
TEST_F(SessionTest, AStopWhileWaitingForThePortOrForTheNextHandshakeEndsItAtOnce)
{
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "handshake pause" : "absent port");
        if (silent) {
            Plug();
            lm->SetFault(sim::LmFault::Silent);
        }
        LoggingSession& s = Make();
        test::Watch stop([&] { return told.lines.find(silent ? "Trying again" : "Waiting for") != std::string::npos; },
                         [&] { s.RequestStop(); });
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(30000, [&] { s.RequestStop(); });
        s.LogUntilStopped();
        EXPECT_NE(told.lines.find(silent ? "Trying again" : "Waiting for"), std::string::npos);
        EXPECT_LT(clock.elapsed(), silent ? 2000 + 2000 : 2000) << told.lines;
        told = {};
        session.reset();
    }
}

// With [RunAdaptives] Read=1 a run keeps the adaptive cells read before its handshake and
// after its end beside its data log: here the LM learned to add fuel in cell 50 meanwhile.
TEST_F(SessionTest, ARunKeepsTheAdaptiveCellsOfItsStartAndEndBesideItsLog)
{
    Plug();
    sim::LmMemory memory{};
    memory[0x50] = 0x80, memory[0x5C] = 0x7C;
    lm->SetMemory(memory);
    LoggingSession& s = Make("1=8F\n2=86\n", "[RunAdaptives]\nRead=1\n");
    s.OpenPort();
    {
        test::Watch stop([&] { return told.samples >= 3; },
                         [&] {
                             lm->SetByte(0x50, 0x88);
                             s.StartOrStopRun();
                         });
        s.StartOrStopRun();
    }
    const RunAdaptives kept = ParseRunAdaptives(Read(RunAdaptivesPath(s.DataLog().CsvPath())));
    ASSERT_TRUE(kept.Start && kept.End);
    EXPECT_EQ(kept.Start->Cells[0], 0x80);
    EXPECT_EQ(kept.End->Cells[0], 0x88);
    EXPECT_EQ(kept.End->Idle, 0x7C);
}

// An LM that leaves every third throttle request unanswered: the data logs have empty
// cells there (value, raw, and the calculated channel of [Calculated] that uses it) and
// never the request byte 98 (59.4 %), the MSL counts the misses at its end, and the text
// keeps its lines as the link gives them. The calculated channels are columns after the
// logged ones; one that does not parse stays empty and stops nothing.
TEST_F(SessionTest, AnUnansweredRequestIsAnEmptyCellAndCountedCalculatedChannelsAreColumns)
{
    Plug();
    lm->SetByte(0x98, 0x33);  // 19.9 % throttle
    lm->SetMissedAnswers(0x98, 3);
    LoggingSession& s = Make("1=98\n2=8F\n", "[Calculated]\nDouble (%)=[Throttle] * 2\nBroken=[Nothing] +\n");
    s.OpenPort();
    {
        test::Watch stop([&] { return told.samples >= 12; }, [&] { s.StartOrStopRun(); });
        s.StartOrStopRun();
    }
    std::istringstream csv(Read(s.DataLog().CsvPath()));
    std::string row;
    std::getline(csv, row);
    EXPECT_EQ(row,
              "Time (s),Throttle (%),Throttle raw,Engine Speed (rpm),Engine Speed raw,Double (%),Broken,Marker,"
              "Marker text\r");
    int empty = 0, answered = 0;
    while (std::getline(csv, row)) {
        const bool missed = row.find(",19.9,") == std::string::npos;
        EXPECT_THAT(row, MatchesRegex(missed ? "[0-9.]+,,,[0-9]+,[0-9]+,,,,\r"
                                             : "[0-9.]+,19\\.9,51,[0-9]+,[0-9]+,39\\.80,,,\r"));
        ++(missed ? empty : answered);
    }
    EXPECT_GE(empty, 3);
    EXPECT_GE(answered, 2 * empty - 2);
    // Three requests a sample: 98, and 90 and 8F for the engine speed.
    EXPECT_THAT(Read(s.DataLog().MslPath()), EndsWith("# Missed answers: " + std::to_string(empty) + " of " +
                                                      std::to_string(3 * (empty + answered)) + " requests\r\n"));
    // The text is built from the last bytes the link received, the echo among them.
    EXPECT_THAT(folder.Read("TempLog1.txt"), HasSubstr(" 59.4%"));
}

}  // namespace
}  // namespace tessek
