// Data log cost: a writer logs the simulated LM's drive cycle with the first Tessek.ini's
// eight slots and acceleration measurement, one sample per 26 ms (ten requests at 7680
// baud), and the benchmark prints the wall and CPU time SampleLogged takes per row
// against that sample period, and the bytes per row.
//
// Usage: bench_datalog [rows (default 20000)] [program folder to keep the logs in]
#include "logfiles/DataLog.h"
#include "logging/Decoders.h"
#include "logging/Performance.h"
#include "logging/RunColumns.h"
#include "sim/Scenario.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace tessek;
using Clock = std::chrono::steady_clock;

constexpr uint8_t kSlots[] = {0x8F, 0x69, 0x86, 0x9A, 0x98, 0xA0, 0x72, 0x9C};
constexpr int32_t kSamplePeriodMs = 26;
constexpr int kRequestsPerSample = 10;
constexpr int32_t kCarWeight = 2500;

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 20000;
    const bool keep = argc > 2;
    const std::string folder =
        keep ? std::string(argv[2]) : (std::filesystem::temp_directory_path() / "tessek-bench-datalog").string();
    std::filesystem::create_directories(folder);

    DataLogWriter writer(folder);
    writer.OnProblem = [](const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); };
    writer.RunStarted(RunColumnsFor(kSlots, {}, true), std::chrono::system_clock::now());

    const float baroRef = sim::ScenarioMemory(std::chrono::milliseconds(0))[kBaroAddress];
    float prevMph = 0, prevRpm = 0;
    double wall = 0, cpu = 0, worst = 0;
    for (int i = 0; i < rows; ++i) {
        const int32_t t = i * kSamplePeriodMs;
        const sim::LmMemory memory = sim::ScenarioMemory(std::chrono::milliseconds(t));
        std::vector<SlotReading> values;
        float mph = 0, rpm = 0;
        for (const uint8_t address : kSlots) {
            const ParameterRow& row = ParameterFor(address);
            const uint8_t lo = memory[row.LowAddress.value_or(address)];
            const DecodeContext context{baroRef, kDefaultMapFunction};
            values.push_back({DecodeValue(row, lo, memory[address], context), row.DerivedCount, t / 1000.0});
            if (address == kRpmHiAddress)
                rpm = static_cast<float>(ParameterValue(row, lo, memory[address], context));
            if (address == kMphHiAddress)
                mph = static_cast<float>(ParameterValue(row, lo, memory[address], context));
        }
        const auto figures =
            ComputePerformance(t, i == 0 ? 0 : t - kSamplePeriodMs, mph, prevMph, rpm, prevRpm, kCarWeight);
        prevMph = mph;
        prevRpm = rpm;
        const RunSample sample = MakeRunSample(t, values, true, figures, kRequestsPerSample);
        const double cpuBefore = CpuSeconds();
        const Clock::time_point before = Clock::now();
        writer.SampleLogged(sample);
        const double took = std::chrono::duration<double>(Clock::now() - before).count();
        cpu += CpuSeconds() - cpuBefore;
        wall += took;
        worst = std::max(worst, took);
    }
    writer.RunEnded();

    const auto csvBytes = std::filesystem::file_size(writer.CsvPath());
    const auto mslBytes = std::filesystem::file_size(writer.MslPath());
    std::printf("rows: %d (%.1f min of logging at one sample per %d ms)\n", rows, rows * kSamplePeriodMs / 60000.0,
                kSamplePeriodMs);
    std::printf("SampleLogged per row (both files): %.1f us wall, %.1f us CPU; worst SampleLogged %.1f us\n",
                wall / rows * 1e6, cpu / rows * 1e6, worst * 1e6);
    std::printf("share of the sample period: %.3f %%\n", wall / rows * 1e3 / kSamplePeriodMs * 100.0);
    std::printf("file sizes: CSV %ju bytes (%.0f per row), MSL %ju bytes\n", static_cast<uintmax_t>(csvBytes),
                static_cast<double>(csvBytes) / rows, static_cast<uintmax_t>(mslBytes));
    if (keep) {
        std::printf("kept: %s\n      %s\n", writer.CsvPath().c_str(), writer.MslPath().c_str());
    } else {
        std::filesystem::remove(writer.CsvPath());
        std::filesystem::remove(writer.MslPath());
    }
    return 0;
}
