// Playback of saved logs: the data logs and the TempLog of a live run against the simulated
// LM play back every sample in order and raise the run's alarm at the same sample, writing
// nothing; and, on a clock the test drives, the pace at each speed, pause, jumps back and to
// the next marker, marks, raw replies and calculated columns.
#include "session/Playback.h"

#include "logfiles/DataLog.h"
#include "session/LoggingSession.h"
#include "sim/SimulatedLm.h"
#include "tests/common/EventLoop.h"
#include "tests/common/GeneratedLog.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QTimer>

#include <filesystem>
#include <map>

namespace tessek {
namespace {

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

// The live run: the index of the sample whose check raised each alarm.
struct LiveRun final : SessionView, RunObserver {
    void AlarmRaised(const std::string& text) override { raised.emplace_back(samples, text); }
    void RunStarted(const std::vector<RunColumn>&, std::chrono::system_clock::time_point) override {}
    void SampleLogged(const RunSample&) override { ++samples; }
    void RunEnded() override {}
    size_t samples = 0;
    std::vector<std::pair<size_t, std::string>> raised;
};

// Every file under `folder` with its size and modification time.
std::map<std::string, std::pair<uintmax_t, std::filesystem::file_time_type>> Listing(const std::string& folder)
{
    std::map<std::string, std::pair<uintmax_t, std::filesystem::file_time_type>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[entry.path().string()] = {entry.file_size(), entry.last_write_time()};
    }
    return files;
}

TEST(PlaybackTest, ALiveRunsLogsPlayEverySampleInOrderAt16xRaiseItsAlarmAtTheSameSampleAndWriteNothing)
{
    test::TempFolder folder;
    sim::SimulatedLm lm;
    sim::LmMemory memory{};
    memory[0x8F] = 0x40, memory[0x86] = 0x30;  // 1600 rpm, a vacuum
    lm.SetMemory(memory);
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n1=8F\n2=86\n");
    LiveRun live;
    std::vector<std::string> files;
    {
        LoggingSession session(folder.Path());
        session.SetView(&live);
        session.AddRunObserver(&live);
        ASSERT_EQ(session.LoadSettings(), "");
        session.OpenPort();
        // Overboost from the fifth sample on: the default limit is crossed mid-run.
        test::Watch boost([&] { return live.samples >= 5; }, [&] { lm.SetByte(0x86, 0x70); });
        test::Watch stop([&] { return live.samples >= 15; }, [&] { session.StartOrStopRun(); });
        QObject guard;  // the timer goes with the session
        QTimer::singleShot(30000, &guard, [&] { session.SetBusy(false); });
        session.StartOrStopRun();
        files = {session.DataLog().CsvPath(), session.DataLog().MslPath(), folder.File("TempLog1.txt")};
        session.Close();
    }
    ASSERT_EQ(live.raised.size(), 1u);
    const auto [raisedAt, alarm] = live.raised[0];
    ASSERT_GE(raisedAt, 4u);
    const auto before = Listing(folder.Path());

    for (const std::string& file : files) {
        const LogReadResult read = ReadLogFile(file);
        ASSERT_TRUE(read.Ok()) << file << ": " << read.Error;
        ASSERT_EQ(read.Data.Time.size(), live.samples) << file;
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
    EXPECT_EQ(Listing(folder.Path()), before);
}

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
        EXPECT_EQ(heard.Markers().size(), 3u);
    }
}

}  // namespace
}  // namespace tessek
