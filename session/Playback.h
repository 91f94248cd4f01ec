#pragma once
// Playback of a saved data log: its rows go to RunObservers (the live window, its dash and
// cell table) as the samples of a run, at the log's own pace or faster, with pause, a jump
// to any moment and to the next marker. Nothing is requested from the LM and nothing is
// written: no data log, no TempLog.
//
// As in a run, the alarms are checked on every sample before the observers hear of it, and
// a raised alarm (or a Mark) sets a marker that the next sample carries. The log's own
// markers are carried by their rows with their numbers; an alarm whose marker the log has
// on the next row already (the same alarm the run raised; in a CSV, which keeps only the
// marker's number, any marker there) is not marked twice, but gives that marker its text.
// New markers are numbered after the log's. A hook (the calculated channels) may add
// columns after the log's and their values to every sample.
//
// A jump delivers the samples up to the new moment at once, from the start when it goes
// back, so that the alarms, the cell table and the calculated channels have seen the drive
// up to there just as if it had been played.
//
// Window thread only; a QTimer of its own paces the samples, against an injectable clock
// (Advance delivers what is due by it, so tests can drive the clock directly).
#include "analysis/LiveAlarms.h"
#include "logfiles/LogFile.h"
#include "logging/RunRecord.h"
#include "platform/Tick.h"
#include "session/SampleHooks.h"

#include <QTimer>

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

// The log's columns as a run's: every channel but the raw replies, which go with the
// column they belong to ("Engine Speed raw" with "Engine Speed").
struct PlaybackColumns {
    std::vector<RunColumn> Columns;
    std::vector<size_t> ValueChannel;               // per column: the log channel of its values
    std::vector<std::optional<size_t>> RawChannel;  // per column: the log channel of its raw replies
};
PlaybackColumns MapPlaybackColumns(const LogData& log);

class Playback {
public:
    // The least time between two deliveries (ms): faster rows go out a few at a time.
    static constexpr int kLeastIntervalMs = 10;

    // `alarms` are checked on every sample (their OnRaised is taken over) and must outlive
    // the playback; their settings file is the caller's to set. `clock`: the tick counter
    // by default.
    Playback(LogData log, LiveAlarms& alarms, TickSource clock = {});
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Hears of the samples, after the alarms, in the order added.
    void AddObserver(RunObserver* observer);
    // Adds columns to every sample from the next start on; null for none. Must outlive the
    // playback.
    void SetHook(SampleHook* hook);

    // Starts or goes on (from the start again once the log has ended).
    void Play();
    void Pause();
    // 1: the log's own pace; 4 or 16 times as fast.
    void SetSpeed(int factor);
    // The samples up to `time` (s, the log's time), at once; then on from there if playing.
    void SeekTo(double time);
    // Delivers samples at once up to the next one that carries a marker (the log's, an
    // alarm's or a Mark's) and stays there; false when none came before the end.
    bool NextMarker();
    // Marks the moment ("Manual"): the next sample carries it.
    void Mark(const std::string& text);
    // Delivers the samples due by the clock now; the timer calls it.
    void Advance();

    bool Playing() const { return playing_; }
    bool Ended() const { return ended_; }
    int Speed() const { return speed_; }
    // The moment shown (s, the log's time) and the log's first and last.
    double Time() const;
    double StartTime() const { return log_.Time.front(); }
    double EndTime() const { return log_.Time.back(); }
    size_t Rows() const { return log_.Time.size(); }
    size_t Delivered() const { return next_; }
    // The columns of the current samples (the log's, then the hook's).
    const std::vector<RunColumn>& Columns() const { return columns_; }
    const LogData& Log() const { return log_; }

private:
    void Restart();
    void Deliver();  // the row next_, then next_ + 1
    void End();
    void Anchor(double time);
    void Schedule();
    double Due() const;

    LogData log_;
    LiveAlarms& alarms_;
    TickSource clock_;
    PlaybackColumns map_;
    std::vector<RunColumn> columns_;
    std::vector<RunObserver*> observers_;
    SampleHook* hook_ = nullptr;
    std::vector<size_t> markerRow_;  // per log marker: the row that carries it
    size_t nextLogMarker_ = 0;       // the first log marker not yet queued
    int lastNumber_ = 0;             // of the markers so far
    int logNumbers_ = 0;             // the highest number of the log's markers
    // A marker set since the last sample, numbered once it is queued.
    struct Raised {
        std::string Text;
        bool Alarm = false;
    };
    std::deque<RunMarker> pending_;  // set, not yet carried by a sample
    std::vector<Raised> raised_;     // set since the last sample
    RunSample sample_;               // reused by every row
    QTimer timer_;
    size_t next_ = 0;  // rows delivered
    bool started_ = false;
    bool ended_ = false;
    bool playing_ = false;
    int speed_ = 1;
    double anchorTime_ = 0;  // the log's time at anchorTick_
    uint32_t anchorTick_ = 0;
};

}  // namespace tessek
