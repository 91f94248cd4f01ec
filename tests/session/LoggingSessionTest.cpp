// The logging session against simulated LMs behind a symbolic link, as a by-id name is to a
// USB adapter: an absent port that appears later, a device that vanishes mid-run and comes
// back (a new run into new files), stops that come while it waits, a silent LM whose
// handshake is tried again after a pause, alarms that mark the data logs, and the adaptive
// cells a run keeps.
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

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

namespace tessek {
namespace {

using ::testing::HasSubstr;

// What the session tells a front end, as a front end would keep it.
struct Told final : SessionView, RunObserver {
    void Notice(const std::string& line) override { lines += line + "\n"; }
    void AlarmRaised(const std::string& text) override { alarms.push_back(text); }
    void ConnectionWentAway() override { ++lost; }
    void ConnectionCameBack() override { ++back; }
    void ResumeDue() override { ++resumes; }
    void RunStarted(const std::vector<RunColumn>&, std::chrono::system_clock::time_point) override { ++runs; }
    void SampleLogged(const RunSample&) override { ++samples; }
    void RunEnded() override {}
    std::string lines;
    std::vector<std::string> alarms;
    int lost = 0, back = 0, resumes = 0, runs = 0, samples = 0;
};

class SessionTest : public ::testing::Test {
protected:
    void Plug() { plugged.Plug(); }
    void Unplug() { plugged.Unplug(); }
    LoggingSession& Make(const std::string& extra = {})
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + link + "\n[CurrentSet]\n1=8F\n2=86\n" + extra);
        session = std::make_unique<LoggingSession>(folder.Path());
        session->SetView(&told);
        session->AddRunObserver(&told);
        EXPECT_EQ(session->LoadSettings(), "");
        return *session;
    }
    size_t DataLogs(const std::string& extension) const
    {
        size_t n = 0;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder.File("logs"), ec))
            n += entry.path().extension() == extension;
        return n;
    }

    test::TempFolder folder;
    const std::string link = folder.File("lm-by-id");
    test::PluggedLm plugged{link};
    std::unique_ptr<sim::SimulatedLm>& lm = plugged.lm;
    Told told;
    std::unique_ptr<LoggingSession> session;
};

// Unattended: absent at the start (waited for), pulled during the first run (which is
// saved), back again: a second run into new files, until stopped.
TEST_F(SessionTest, UnattendedItWaitsForThePortAndStartsANewRunWhenTheDeviceReturns)
{
    LoggingSession& s = Make();
    int step = 0;
    QTimer steps;
    QObject::connect(&steps, &QTimer::timeout, [&] {
        const bool due = step == 0   ? s.Connection().Lost()
                         : step == 2 ? s.Connection().Lost() && !s.Busy()
                         : step < 4  ? s.Busy() && told.samples >= 3 * (step == 1 ? 1 : 2)
                                     : false;
        if (!due)
            return;
        switch (step++) {
            case 0:
            case 2:
                Plug();
                break;
            case 1:
                Unplug();
                break;
            case 3:
                s.RequestStop();
                break;
        }
    });
    steps.start(5);
    QTimer::singleShot(30000, [&] { s.RequestStop(); });
    s.LogUntilStopped();
    EXPECT_EQ(step, 4);
    EXPECT_EQ(told.runs, 2);
    EXPECT_EQ(told.lost, 1);
    EXPECT_EQ(told.resumes, 0) << "an unattended session starts the run itself";
    EXPECT_THAT(told.lines, HasSubstr("Waiting for " + link));
    EXPECT_THAT(told.lines, HasSubstr("Connection lost: " + link + " is gone"));
    EXPECT_TRUE(folder.Exists("TempLog1.txt"));
    EXPECT_THAT(folder.Read("TempLog2.txt"), HasSubstr("Done Logging"));
    EXPECT_EQ(DataLogs(".csv"), 2u);
    EXPECT_THAT(folder.Read("Tessek.ini"), HasSubstr("SaveNum=3"));
}

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
    LoggingSession& s = Make("[RunAdaptives]\nRead=1\n");
    s.OpenPort();
    {
        test::Watch stop([&] { return told.samples >= 3; },
                         [&] {
                             lm->SetByte(0x50, 0x88);
                             s.StartOrStopRun();
                         });
        s.StartOrStopRun();
    }
    const RunAdaptives kept =
        ParseRunAdaptives(folder.Read(RunAdaptivesPath(s.DataLog().CsvPath()).substr(folder.Path().size())));
    ASSERT_TRUE(kept.Start && kept.End);
    EXPECT_EQ(kept.Start->Cells[0], 0x80);
    EXPECT_EQ(kept.End->Cells[0], 0x88);
    EXPECT_EQ(kept.End->Idle, 0x7C);
}

// An LM that leaves every third throttle request unanswered: the data logs have empty
// cells there (value and raw) and never the request byte 98 (59.4 %), the MSL counts the
// misses at its end, and the text keeps its lines as the link gives them.
TEST_F(SessionTest, AnUnansweredRequestIsAnEmptyCellAndCounted)
{
    Plug();
    lm->SetByte(0x98, 0x33);  // 19.9 % throttle
    lm->SetMissedAnswers(0x98, 3);
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + link + "\n[CurrentSet]\n1=98\n2=8F\n");
    session = std::make_unique<LoggingSession>(folder.Path());
    session->AddRunObserver(&told);
    ASSERT_EQ(session->LoadSettings(), "");
    session->OpenPort();
    {
        test::Watch stop([&] { return told.samples >= 12; }, [&] { session->StartOrStopRun(); });
        session->StartOrStopRun();
    }
    const std::string csv = folder.Read(session->DataLog().CsvPath().substr(folder.Path().size()));
    const std::string msl = folder.Read(session->DataLog().MslPath().substr(folder.Path().size()));
    std::istringstream rows(csv);
    std::string row;
    std::getline(rows, row);
    EXPECT_THAT(row, HasSubstr("Throttle (%),Throttle raw"));
    int empty = 0, answered = 0;
    while (std::getline(rows, row)) {
        // Time, Throttle, Throttle raw, Engine Speed, Engine Speed raw, Marker
        const std::vector<std::string> cells = [&] {
            std::vector<std::string> out;
            std::istringstream fields(row);
            for (std::string cell; std::getline(fields, cell, ',');)
                out.push_back(cell);
            return out;
        }();
        ASSERT_GE(cells.size(), 3u) << row;
        if (cells[1].empty()) {
            EXPECT_EQ(cells[2], "") << row;
            ++empty;
        } else {
            EXPECT_EQ(cells[1], "19.9") << row;
            EXPECT_EQ(cells[2], "51") << row;
            ++answered;
        }
    }
    EXPECT_GE(empty, 3);
    EXPECT_GE(answered, 2 * empty - 2);
    // Three requests a sample: 98, and 90 and 8F for the engine speed.
    EXPECT_THAT(msl, ::testing::EndsWith("# Missed answers: " + std::to_string(empty) + " of " +
                                         std::to_string(3 * (empty + answered)) + " requests\r\n"));
    // The text is built from the last bytes the link received, the echo among them.
    EXPECT_THAT(folder.Read("TempLog1.txt"), HasSubstr(" 59.4%"));
}

// A calculated channel of [Calculated] is a column of the data logs after the logged ones,
// its values following its formula on every sample; one that does not parse stays empty
// and stops nothing.
TEST_F(SessionTest, CalculatedChannelsAreColumnsOfTheDataLogs)
{
    Plug();
    lm->SetByte(0x98, 0x33);
    folder.Write("Tessek.ini",
                 "[ComPort]\nPort=" + link +
                     "\n[CurrentSet]\n1=98\n[Calculated]\nDouble (%)=[Throttle] * 2\nBroken=[Nothing] +\n");
    session = std::make_unique<LoggingSession>(folder.Path());
    session->AddRunObserver(&told);
    ASSERT_EQ(session->LoadSettings(), "");
    LoggingSession& s = *session;
    s.OpenPort();
    {
        test::Watch stop([&] { return told.samples >= 3; }, [&] { s.StartOrStopRun(); });
        s.StartOrStopRun();
    }
    std::istringstream csv(folder.Read(s.DataLog().CsvPath().substr(folder.Path().size())));
    std::string row;
    std::getline(csv, row);
    EXPECT_EQ(row, "Time (s),Throttle (%),Throttle raw,Double (%),Broken,Marker,Marker text\r");
    int rows = 0;
    while (std::getline(csv, row)) {
        EXPECT_THAT(row, ::testing::MatchesRegex("[0-9.]+,19\\.9,51,39\\.80,,,\r")) << row;
        ++rows;
    }
    EXPECT_GE(rows, 3);
}

}  // namespace
}  // namespace tessek
