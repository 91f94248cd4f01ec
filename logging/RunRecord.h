#pragma once
// What a logging run reports besides its text lines: the columns it logs and, for every
// sample line it adds to the text area, the numbers behind that line. The data log files
// and the live chart are fed from here, so they show exactly what the window shows.
//
// Window thread only. A run calls RunStarted once before its first sample, SampleLogged
// for every sample line it adds (a sample cut short by a stop request is not reported)
// and RunEnded once however it ends: by Log, by a port error or by the window closing.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

// One logged quantity: a slot's decoded value or one of the performance figures.
struct RunColumn {
    std::string Name;     // "Engine Speed"; unique within a run
    std::string Unit;     // "rpm"; empty for a raw LM byte
    int Decimals = 0;     // decimals of the number as the window's line prints it
    bool HasRaw = false;  // the LM's raw byte(s) come with every value (a slot, not a figure)
};

// A moment the user (the Mark button) or an alarm marked during a run. Numbered 1, 2, ...
// within each run, in the order they were set.
struct RunMarker {
    int Number = 0;
    std::string Text;  // "Manual", or the alarm's text
};

struct RunSample {
    double Time = 0;  // seconds since the run's first sample: the line's time field
    // One per column: the number the window's line shows for it; no value where the line
    // shows no figure (a first sample without elapsed time, a torque without engine speed)
    // and where a request behind it went unanswered (then also none for every figure
    // computed from it), although the line shows what the link held.
    std::vector<std::optional<double>> Values;
    // One per column: the raw reply as an integer (a two-byte value as hi * 256 + lo); no
    // value for the performance figures.
    std::vector<std::optional<int32_t>> Raw;
    // One per column: when the LM's answer behind the value arrived (the last one of a
    // two-byte value), in seconds on the same clock as Time; none for a missing value and
    // for the performance figures.
    std::vector<std::optional<double>> AnsweredAt;
    // The link's tick (ms) at Time 0, so that other inputs timed by the same tick counter
    // can be matched to the answers; 0 in a log played back.
    uint32_t StartTick = 0;
    int Requests = 0;  // requests sent to the LM for this sample
    int Missed = 0;    // of those, requests the LM did not answer within the reply wait
    // The marker this sample carries: the oldest one set since the previous sample that no
    // earlier sample took (one per sample; more set at once go to the samples after it).
    std::optional<RunMarker> Marker;
};

class RunObserver {
public:
    virtual ~RunObserver() = default;
    // `started`: the wall-clock time of the run's start line.
    virtual void RunStarted(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started) = 0;
    virtual void SampleLogged(const RunSample& sample) = 0;
    virtual void RunEnded() = 0;
};

}  // namespace tessek
