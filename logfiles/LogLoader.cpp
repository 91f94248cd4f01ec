#include "logfiles/LogLoader.h"

#include <sys/stat.h>

#include <exception>
#include <utility>

namespace tessek {

LogLoader::LogLoader(const std::string& path, const LogReadLimits& limits)
    : LogLoader([path, limits](LogReadControl& control) { return ReadLogFile(path, limits, &control); })
{
}

LogLoader::LogLoader(ReadFunction read)
{
    thread_ = std::thread([this, read = std::move(read)] {
        try {
            result_ = read(control_);
        } catch (const std::exception& e) {
            // Even running out of memory ends as a reason, not as the end of the program.
            result_ = {};
            result_.Error = e.what();
        }
        const std::lock_guard lock(mutex_);
        done_ = true;
        ended_.notify_all();
    });
}

LogLoader::~LogLoader()
{
    Cancel();
    if (thread_.joinable())
        thread_.join();
}

double LogLoader::Progress() const
{
    if (done_)
        return 1.0;
    const uint64_t total = control_.TotalBytes;
    return total == 0 ? 0.0 : static_cast<double>(control_.DoneBytes.load()) / static_cast<double>(total);
}

bool LogLoader::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] { return done_.load(); });
}

void LogLoader::Cancel()
{
    control_.Cancel = true;
    control_.Cancel.notify_all();
}

LogReadResult LogLoader::Take()
{
    if (thread_.joinable())
        thread_.join();
    return std::move(result_);
}

LogFileWatch::LogFileWatch(std::string path) : path_(std::move(path)), last_(Look())
{
}

bool LogFileWatch::Changed()
{
    const State now = Look();
    if (now.Size < 0 || now == last_)
        return false;
    last_ = now;
    return true;
}

LogFileWatch::State LogFileWatch::Look() const
{
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0)
        return {};
    return {st.st_size, static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

}  // namespace tessek
