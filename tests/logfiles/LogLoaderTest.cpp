// Reading a log on a worker thread (progress, cancel, the end of a loader) and noticing
// that a log file has changed.
#include "logfiles/LogLoader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <tuple>

#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

std::string Rows(int from, int to)
{
    std::string text;
    for (int i = from; i < to; ++i)
        text += std::to_string(i) + ".0," + std::to_string(800 + i) + "\n";
    return text;
}

// A read that reports its progress and then waits to be cancelled, as a long one would.
TEST(LogLoader, ShowsTheReadsProgressAndCancelsIt)
{
    std::promise<void> halfWay;
    LogLoader loader([&](LogReadControl& control) {
        control.TotalBytes = 400;
        control.DoneBytes = 100;
        halfWay.set_value();
        control.Cancel.wait(false);
        LogReadResult cancelled;
        cancelled.Error = kCancelledText;
        return cancelled;
    });
    halfWay.get_future().wait();
    EXPECT_EQ(loader.Progress(), 0.25);
    EXPECT_FALSE(loader.WaitFor(std::chrono::milliseconds(0)));
    loader.Cancel();
    EXPECT_EQ(loader.Take().Error, kCancelledText);

    // Destroying a loader cancels the read it waits for.
    bool ended = false;
    {
        LogLoader forgotten([&](LogReadControl& control) {
            control.Cancel.wait(false);
            ended = true;
            return LogReadResult{};
        });
    }
    EXPECT_TRUE(ended);
    // What the read throws (running out of memory) is its result's reason.
    LogLoader throwing([](LogReadControl&) -> LogReadResult { throw std::bad_alloc(); });
    EXPECT_EQ(throwing.Take().Error, std::bad_alloc().what());
}

// The reader looks at the control every few thousand rows: it counts its progress and
// stops when asked, for both kinds of text file.
TEST(LogLoader, TheReaderCountsItsProgressAndStopsWhenCancelled)
{
    std::string tempLog = "Logging  Start at x\r\n Time    RPM; \r\n";
    for (int i = 0; i < 10000; ++i)
        tempLog += std::to_string(i) + ".000 2000rpm \r\n";
    const std::tuple<const char*, std::string> texts[] = {{"CSV", "Time,RPM\n" + Rows(0, 10000)}, {"TempLog", tempLog}};
    for (const auto& [name, text] : texts) {
        SCOPED_TRACE(name);
        LogReadControl whole;
        EXPECT_TRUE(ParseLogText(text, {}, false, &whole).Ok());
        EXPECT_EQ(whole.TotalBytes, text.size());
        EXPECT_EQ(whole.DoneBytes, text.size());
        LogReadControl cancelled;
        cancelled.Cancel = true;
        EXPECT_EQ(ParseLogText(text, {}, false, &cancelled).Error, kCancelledText);
        EXPECT_GT(cancelled.DoneBytes, 0u);
        EXPECT_LT(cancelled.DoneBytes, text.size());
    }
}

// Each change of a file is told once, a rewrite to the same size too; a removed file is no
// change. (A file read on the loader's thread and read again when it grows: the log
// viewer's tests.)
TEST(LogFileWatch, TellsEachChangeOfTheFileOnce)
{
    test::TempFolder dir;
    dir.Write("run.csv", "Time,RPM\n" + Rows(0, 3));
    const std::string path = dir.File("run.csv");
    LogFileWatch watch(path);
    std::ofstream(path, std::ios::app) << Rows(3, 4);
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());
    // Rewritten to the same size: only its time tells.
    const auto written = std::filesystem::last_write_time(path);
    dir.Write("run.csv", "Time,RPM\n" + Rows(5, 9));
    std::filesystem::last_write_time(path, written + std::chrono::seconds(1));
    EXPECT_TRUE(watch.Changed());
    std::filesystem::remove(path);
    EXPECT_FALSE(watch.Changed());
}

}  // namespace
}  // namespace tessek
