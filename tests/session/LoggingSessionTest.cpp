// The logging session against simulated LMs behind a symbolic link, as a by-id name is to a
// USB adapter: a device that vanishes mid-run and comes back (resumed into new files), stops
// that come while it waits for an absent port or after a silent LM's failed handshake, the
// adaptive cells a run keeps, the data log's cells of unanswered requests and calculated
// channels, and a wideband controller as the session's second input; and the playback of
// saved logs, a live run's and a generated one.
#include "session/LoggingSession.h"
#include "session/Playback.h"

#include "logfiles/DataLog.h"
#include "logging/ColumnNames.h"
#include "platform/Tick.h"
#include "reports/RunAdaptives.h"
#include "session/WidebandColumns.h"
#include "sim/SimulatedLm.h"
#include "tests/common/EventLoop.h"
#include "tests/common/GeneratedLog.h"
#include "tests/common/PluggedLm.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <filesystem>
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

// The values of the log's column `name`; none when it has no such column.
std::vector<double> Column(const LogData& log, std::string_view name)
{
    const auto column = std::ranges::find(log.Channels, name, &LogChannel::Name);
    return column == log.Channels.end() ? std::vector<double>{} : column->Values;
}

// What a playback hands its observer: the columns and every sample of its current start.
struct Heard final : RunObserver {
    void RunStarted(const std::vector<RunColumn>& c, std::chrono::system_clock::time_point) override
    {
        columns = c;
        samples.clear();
        ++starts;
    }
    void SampleLogged(const RunSample& sample) override { samples.push_back(sample); }
    void RunEnded() override { ++ends; }
    // Row and marker of every sample that carries one.
    std::vector<std::pair<size_t, RunMarker>> Markers() const
    {
        std::vector<std::pair<size_t, RunMarker>> found;
        for (size_t i = 0; i < samples.size(); ++i) {
            if (samples[i].Marker)
                found.emplace_back(i, *samples[i].Marker);
        }
        return found;
    }
    std::vector<RunColumn> columns;
    std::vector<RunSample> samples;
    int starts = 0, ends = 0;
};

// What the session tells a front end, as a front end would keep it.
struct Told final : SessionView, RunObserver {
    void Notice(const std::string& line) override { lines += line + "\n"; }
    void AlarmRaised(const std::string& text) override { raised.emplace_back(samples, text); }
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
    int back = 0, resumes = 0, runs = 0;
    size_t samples = 0;
    uint32_t startTick = 0;                              // of the first sample
    std::vector<std::pair<size_t, std::string>> raised;  // after how many samples, what
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

// Unattended (tessek --log): absent at the start (waited for), pulled during the first run
// (which is saved), back again: a second run into new files, until stopped.
TEST_F(SessionTest, UnattendedItWaitsForThePortAndStartsANewRunWhenTheDeviceReturns)
{
    LoggingSession& s = Make();
    test::Watch plug([&] { return s.Connection().Lost(); }, [&] { Plug(); });
    test::Watch pull([&] { return told.samples >= 3; }, [&] { Unplug(); });
    test::Watch back([&] { return told.samples >= 3 && !s.Busy(); }, [&] { Plug(); });
    test::Watch stop([&] { return told.runs == 2 && told.samples >= 6; }, [&] { s.RequestStop(); });
    QTimer::singleShot(30000, [&] { s.RequestStop(); });
    s.LogUntilStopped();
    EXPECT_EQ(told.runs, 2);
    EXPECT_EQ(told.resumes, 0) << "an unattended session starts the run itself";
    EXPECT_THAT(told.lines, HasSubstr("Connection lost: " + link + " is gone"));
    EXPECT_TRUE(folder.Exists("TempLog1.txt"));
    EXPECT_THAT(folder.Read("TempLog2.txt"), HasSubstr("Done Logging"));
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
    EXPECT_THAT(told.lines, HasSubstr("Wideband lost: " + wbLink));
    EXPECT_THAT(told.lines, HasSubstr("Wideband back: " + wbLink));

    const LogReadResult read = ReadLogFile(s.DataLog().CsvPath());
    ASSERT_TRUE(read.Ok() && read.Report.RowsSkipped == 0) << read.Error << read.Report.Summary();
    const std::vector<double>& time = read.Data.Time;
    const auto afr = Column(read.Data, kAfrColumn), lambda = Column(read.Data, kLambdaColumn);
    const auto status = Column(read.Data, kWidebandStatusColumn);
    ASSERT_GT(time.size(), 20u);
    ASSERT_TRUE(afr.size() == time.size() && lambda.size() == time.size() && status.size() == time.size());
    // A sample's period, from the rows' times: how late a change may show.
    double period = 0;
    for (size_t i = 1; i < time.size(); ++i)
        period = std::max(period, time[i] - time[i - 1]);
    const double slack = period * 1000 + 150;  // plus one MTS packet and the event loop
    int lean = 0, rich = 0, away = 0;
    for (size_t i = 0; i < time.size(); ++i) {
        const double t = time[i] * 1000 + told.startTick;
        SCOPED_TRACE(std::to_string(i) + ": " + std::to_string(time[i]) + " s");
        const auto between = [&](double from, double to) { return t > from + slack && t + slack < to; };
        if (std::isnan(afr[i])) {
            EXPECT_TRUE(t + slack > at[kUnplug] && t < at[kReplug] + 500 + slack) << "empty outside the absence";
        }
        if (between(told.startTick - slack, at[kSwitch]) || between(at[kReplug] + 500, at[kStop])) {
            EXPECT_NEAR(afr[i], 14.57, 0.006);
            EXPECT_NEAR(lambda[i], 0.991, 0.0006);
            EXPECT_EQ(status[i], 0);
            ++lean;
        } else if (between(at[kSwitch], at[kUnplug])) {
            EXPECT_NEAR(afr[i], 12.0, 0.006);
            ++rich;
        } else if (between(at[kUnplug] + WidebandColumns::kMaxAgeMs, at[kReplug])) {
            // (a reading that came before the unplugging still counts while it is recent)
            EXPECT_TRUE(std::isnan(afr[i]));
            EXPECT_EQ(status[i], WidebandColumns::kNotOpenCode);
            ++away;
        }
    }
    EXPECT_GT(lean, 3);
    EXPECT_GT(rich, 2);
    EXPECT_GT(away, 2);
}

// Playback of saved logs: the data logs and the TempLog of a live run against the simulated
// LM play back every sample in order and raise the run's alarm at the same sample. (That a
// playback writes nothing: the playback window's test.)
TEST_F(SessionTest, ALiveRunsLogsPlayEverySampleInOrderAt16xAndRaiseItsAlarmAtTheSameSample)
{
    Plug();
    sim::LmMemory memory{};
    memory[0x8F] = 0x40, memory[0x86] = 0x30;  // 1600 rpm, a vacuum
    lm->SetMemory(memory);
    LoggingSession& s = Make();
    s.OpenPort();
    {
        // Overboost from the fifth sample on: the default limit is crossed mid-run.
        test::Watch boost([&] { return told.samples >= 5; }, [&] { lm->SetByte(0x86, 0x70); });
        test::Watch stop([&] { return told.samples >= 15; }, [&] { s.StartOrStopRun(); });
        QObject guard;  // the timer goes with the run
        QTimer::singleShot(30000, &guard, [&] { s.SetBusy(false); });
        s.StartOrStopRun();
    }
    const std::vector<std::string> files = {s.DataLog().CsvPath(), s.DataLog().MslPath(), folder.File("TempLog1.txt")};
    s.Close();
    ASSERT_EQ(told.raised.size(), 1u);
    const auto [raisedAt, alarm] = told.raised[0];
    ASSERT_GE(raisedAt, 4u);

    for (const std::string& file : files) {
        const LogReadResult read = ReadLogFile(file);
        ASSERT_TRUE(read.Ok()) << file << ": " << read.Error;
        ASSERT_EQ(read.Data.Time.size(), told.samples) << file;
        for (const bool keepMarkers : {true, false}) {
            SCOPED_TRACE(file + (keepMarkers ? " with its markers" : " without markers"));
            LogData log = read.Data;
            if (!keepMarkers)
                log.Markers.clear();
            LiveAlarms alarms;
            alarms.SettingsFile = folder.File("Tessek.ini");
            Playback playback(std::move(log), alarms);
            Heard heard;
            playback.AddObserver(&heard);
            playback.SetSpeed(16);
            QElapsedTimer clock;
            clock.start();
            playback.Play();
            ASSERT_TRUE(test::PumpUntil([&] { return playback.Ended(); }, 20000));
            // Never ahead of the log's pace.
            EXPECT_GE(clock.elapsed() + 1, (read.Data.Time.back() - read.Data.Time.front()) * 1000 / 16);
            EXPECT_EQ(heard.ends, 1);
            ASSERT_EQ(heard.samples.size(), read.Data.Time.size());
            for (size_t row = 0; row < heard.samples.size(); ++row)
                EXPECT_EQ(heard.samples[row].Time, read.Data.Time[row]) << row;
            // The run marked the sample after the one that raised the alarm; so does the
            // playback, once, with the alarm's text.
            const auto markers = heard.Markers();
            ASSERT_EQ(markers.size(), 1u);
            EXPECT_EQ(markers[0].first, raisedAt + 1);
            EXPECT_EQ(markers[0].second.Number, 1);
            EXPECT_EQ(markers[0].second.Text, alarm);
        }
    }
}

// Playback on a clock the test drives: the pace at each speed, pause, jumps back and to the
// next marker, marks, raw replies and calculated columns.
TEST(PlaybackTest, ItKeepsThePaceOfTheClockAndJumpsBackToMarkersAndOnWithCalculatedColumns)
{
    LogReadResult read = ParseLogText(test::GeneratedLog());  // rows every 0.02 s
    ASSERT_TRUE(read.Ok());
    read.Data.Markers.push_back({30.0, 7, "Manual"});
    test::TempFolder folder;
    folder.Write("Tessek.ini",
                 "[Calculated]\nDouble rpm (rpm)=[Engine Speed] * 2\nPower (hp)=[Engine Speed]\n"
                 "[Alarms]\nMAP=\nEngine Speed=above 1900\n");
    struct Pace {
        int Speed;
        size_t After503Ms, After101MsMore;
    };
    for (const Pace& pace : {Pace{1, 26, 31}, Pace{4, 101, 121}, Pace{16, 403, 484}}) {
        SCOPED_TRACE(pace.Speed);
        uint32_t now = 1000;
        LiveAlarms alarms;
        alarms.SettingsFile = folder.File("Tessek.ini");
        CalculatedColumns calculated(folder.File("Tessek.ini"));
        Playback playback(read.Data, alarms, [&now] { return now; });
        playback.SetHook(&calculated);
        Heard heard;
        playback.AddObserver(&heard);
        playback.SetSpeed(pace.Speed);
        playback.Play();
        EXPECT_EQ(playback.Delivered(), 1u);
        now += 503;
        playback.Advance();
        EXPECT_EQ(playback.Delivered(), pace.After503Ms);
        playback.Pause();
        now += 10000;
        playback.Advance();
        EXPECT_EQ(playback.Delivered(), pace.After503Ms);
        EXPECT_DOUBLE_EQ(playback.Time(), 0.503 * pace.Speed);
        playback.Play();
        now += 101;
        playback.Advance();
        EXPECT_EQ(playback.Delivered(), pace.After101MsMore);

        // The log's columns, the raw replies with theirs, then the calculated channel that
        // the log does not have.
        ASSERT_EQ(heard.columns.size(), 6u);
        EXPECT_TRUE(heard.columns[0].HasRaw);
        EXPECT_EQ(heard.columns[5].Name, "Double rpm");
        const RunSample& last = heard.samples.back();
        EXPECT_EQ(last.Values[5], 2 * *last.Values[0]);
        EXPECT_EQ(last.Raw[0], static_cast<int>(pace.After101MsMore - 1) % 256);

        // Back to 0.3 s: a new start, the drive up to there delivered again at once.
        playback.Pause();
        playback.SeekTo(0.3);
        EXPECT_EQ(heard.starts, 2);
        EXPECT_EQ(heard.ends, 1);
        EXPECT_EQ(heard.samples.size(), 16u);
        // Next: the alarm (1901 rpm in row 901) marks row 902, numbered after the log's 7;
        // then the log's own marker; a Mark goes to the next sample; then the end.
        EXPECT_TRUE(playback.NextMarker());
        EXPECT_EQ(playback.Delivered(), 903u);
        EXPECT_EQ(heard.samples.back().Marker->Number, 8);
        EXPECT_TRUE(playback.NextMarker());
        EXPECT_EQ(playback.Delivered(), 1501u);
        EXPECT_EQ(heard.samples.back().Marker->Number, 7);
        playback.Mark("Manual");
        playback.SeekTo(30.02);
        EXPECT_EQ(heard.samples.back().Marker->Number, 9);
        EXPECT_FALSE(playback.NextMarker());
        EXPECT_TRUE(playback.Ended());
        EXPECT_EQ(heard.ends, 2);
        EXPECT_EQ(heard.samples.size(), read.Data.Time.size());
    }
}

}  // namespace
}  // namespace tessek
