// The logging session against simulated LMs behind a symbolic link, as a by-id name is to a
// USB adapter: a device that vanishes mid-run and comes back (resumed into new files), stops
// that come while it waits for an absent port or after a silent LM's failed handshake, the
// adaptive cells a run keeps, and the data log's cells of unanswered requests and
// calculated channels; and a wideband controller as the session's second input.
#include "session/LoggingSession.h"

#include "logfiles/DataLog.h"
#include "logging/ColumnNames.h"
#include "platform/Tick.h"
#include "reports/RunAdaptives.h"
#include "session/WidebandColumns.h"
#include "sim/SimulatedLm.h"
#include "tests/common/EventLoop.h"
#include "tests/common/PluggedLm.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace tessek {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// MTS packet bodies after their header "B2 82" (the next packet's header ends each write:
// the decoder hands a packet out once the next header follows it).
const std::string kHeader("\xB2\x82", 2);
const std::string kLean("\x43\x13\x03\x6B", 4);  // 14.57 AFR
const std::string kRich("\x43\x13\x02\x3C", 4);  // 12.00 AFR

// The cells of each row of a CSV file without quoted cells.
std::vector<std::vector<std::string>> CsvRows(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> cells;
        std::stringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, ','))
            cells.push_back(cell);
        if (!line.empty() && line.back() == ',')
            cells.emplace_back();
        rows.push_back(std::move(cells));
    }
    return rows;
}

// What the session tells a front end, as a front end would keep it.
struct Told final : SessionView, RunObserver {
    void Notice(const std::string& line) override { lines += line + "\n"; }
    void ConnectionCameBack() override { ++back; }
    void ResumeDue() override { ++resumes; }
    void RunStarted(const std::vector<RunColumn>&, std::chrono::system_clock::time_point) override { ++runs; }
    void SampleLogged(const RunSample& sample) override
    {
        if (samples++ == 0)
            startTick = sample.StartTick;
    }
    void RunEnded() override {}
    std::string lines;
    int back = 0, resumes = 0, runs = 0, samples = 0;
    uint32_t startTick = 0;  // of the first sample
};

class SessionTest : public ::testing::Test {
protected:
    void Plug() { plugged.Plug(); }
    void Unplug() { plugged.Unplug(); }
    LoggingSession& Make(const std::string& extra = {}, const std::string& currentSet = "1=8F\n2=86\n")
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
    LoggingSession& s = Make("[Calculated]\nDouble (%)=[Throttle] * 2\nBroken=[Nothing] +\n", "1=98\n2=8F\n");
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

// A wideband controller as the session's second input: a peer writing MTS packets behind a
// by-id-like link. The data log's AFR follows the stream within a sample period, is empty
// (status "not open") only while the controller is unplugged, and the LM's run goes on
// throughout.
TEST_F(SessionTest, AWidebandsAfrFollowsTheStreamAndIsEmptyOnlyWhileTheControllerIsAway)
{
    Plug();
    const std::string wbLink = folder.File("wb-by-id");
    auto wb = std::make_unique<test::PtyPeer>();
    std::filesystem::create_symlink(wb->SlavePath(), wbLink);
    LoggingSession& s = Make("[Wideband]\nPort=" + wbLink + "\n");
    ASSERT_TRUE(s.Wideband().Connected());

    std::string body = kLean;
    QTimer writer;
    QObject::connect(&writer, &QTimer::timeout, [&] {
        if (wb)
            wb->Write(body + kHeader);
    });
    wb->Write(kHeader);
    writer.start(40);

    // The events, in ms after the run's first sample, and the ticks they happened at.
    enum { kSwitch, kUnplug, kReplug, kStop };
    const uint32_t due[] = {800, 1600, 2600, 3800};
    uint32_t at[4] = {};
    int step = 0;
    QTimer steps;
    QObject::connect(&steps, &QTimer::timeout, [&] {
        if (told.samples == 0 || step > kStop || GetTickCount() - told.startTick < due[step])
            return;
        at[step] = GetTickCount();
        switch (step++) {
            case kSwitch:
                body = kRich;
                break;
            case kUnplug:
                wb.reset();
                std::filesystem::remove(wbLink);
                break;
            case kReplug:
                body = kLean;
                wb = std::make_unique<test::PtyPeer>();
                std::filesystem::create_symlink(wb->SlavePath(), wbLink);
                wb->Write(kHeader);
                break;
            case kStop:
                s.RequestStop();
                break;
        }
    });
    steps.start(5);
    QTimer::singleShot(20000, [&] { s.RequestStop(); });
    s.LogUntilStopped();
    ASSERT_EQ(step, kStop + 1);
    EXPECT_EQ(told.runs, 1) << "the LM's run goes on while the wideband is away";
    EXPECT_THAT(told.lines, ::testing::HasSubstr("Wideband lost: " + wbLink));
    EXPECT_THAT(told.lines, ::testing::HasSubstr("Wideband back: " + wbLink));

    const auto rows = CsvRows(s.DataLog().CsvPath());
    ASSERT_GT(rows.size(), 20u);
    const auto& header = rows[0];
    const auto column = [&](std::string_view name) {
        return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const size_t afr = column(kAfrColumn), lambda = column(kLambdaColumn), status = column(kWidebandStatusColumn);
    ASSERT_LT(status, header.size());
    EXPECT_EQ(lambda, afr + 1);
    // A sample's period, from the rows' times: how late a change may show.
    double period = 0;
    for (size_t i = 2; i < rows.size(); ++i)
        period = std::max(period, std::stod(rows[i][0]) - std::stod(rows[i - 1][0]));
    const double slack = period * 1000 + 150;  // plus one MTS packet and the event loop
    int lean = 0, rich = 0, away = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), header.size()) << i;
        const double t = std::stod(row[0]) * 1000 + told.startTick;
        SCOPED_TRACE(std::to_string(i) + ": " + row[0] + " s");
        const auto between = [&](double from, double to) { return t > from + slack && t + slack < to; };
        if (row[afr].empty()) {
            EXPECT_TRUE(t + slack > at[kUnplug] && t < at[kReplug] + 500 + slack) << "empty outside the absence";
        }
        if (between(told.startTick - slack, at[kSwitch]) || between(at[kReplug] + 500, at[kStop])) {
            EXPECT_NEAR(std::stod(row[afr]), 14.57, 0.006);
            EXPECT_NEAR(std::stod(row[lambda]), 0.991, 0.0006);
            EXPECT_EQ(row[status], "0");
            ++lean;
        } else if (between(at[kSwitch], at[kUnplug])) {
            EXPECT_NEAR(std::stod(row[afr]), 12.0, 0.006);
            ++rich;
        } else if (between(at[kUnplug] + WidebandColumns::kMaxAgeMs, at[kReplug])) {
            // (a reading that came before the unplugging still counts while it is recent)
            EXPECT_EQ(row[afr], "");
            EXPECT_EQ(row[status], std::to_string(WidebandColumns::kNotOpenCode));
            ++away;
        }
    }
    EXPECT_GT(lean, 3);
    EXPECT_GT(rich, 2);
    EXPECT_GT(away, 2);
}

}  // namespace
}  // namespace tessek
