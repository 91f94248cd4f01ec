#pragma once
// Reading a data log away from the window thread, and noticing that a log has grown.
//
// LogLoader reads one file on a worker thread of its own, so the window stays responsive
// and can show the progress and offer a cancel. The window thread polls it (Progress,
// Done) and takes the result; destroying a loader cancels its read and waits for the
// thread, which stops within a few thousand rows.
//
// LogFileWatch tells whether a file changed (size or modification time) since it was last
// looked at: a log of a run still going grows, and the viewer reads it again.
//
// Both are used from the window thread only; the worker thread touches nothing but the
// read's control and its own result.
#include "logfiles/LogFile.h"

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tessek {

class LogLoader {
public:
    // What the worker runs; ReadLogFile by default (tests give their own).
    using ReadFunction = std::function<LogReadResult(LogReadControl& control)>;

    explicit LogLoader(const std::string& path, const LogReadLimits& limits = {});
    explicit LogLoader(ReadFunction read);
    ~LogLoader();
    LogLoader(const LogLoader&) = delete;
    LogLoader& operator=(const LogLoader&) = delete;

    // The part read so far, 0 to 1.
    double Progress() const;
    bool Done() const { return done_.load(); }
    // Waits at most `timeout` for the read to end; whether it has.
    bool WaitFor(std::chrono::milliseconds timeout);
    // Asks the read to stop; it ends with Error kCancelledText unless it was done already.
    void Cancel();
    // The result; waits for the read to end.
    LogReadResult Take();

private:
    LogReadControl control_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    LogReadResult result_;
    std::thread thread_;
};

class LogFileWatch {
public:
    // Watches `path` from its state now.
    explicit LogFileWatch(std::string path);

    // True when the file's size or modification time differs from the last look (a file
    // that cannot be looked at counts as unchanged); each change is told once.
    bool Changed();

private:
    struct State {
        off_t Size = -1;
        int64_t ModifiedNs = -1;
        bool operator==(const State&) const = default;
    };
    State Look() const;

    std::string path_;
    State last_;
};

}  // namespace tessek
