// A wideband controller as the session's second input, over two pseudo-terminals: a
// simulated LM and a peer writing MTS packets behind a by-id-like link. The data log's AFR
// follows the stream within a sample period, is empty (status "not open") only while the
// controller is unplugged, and the LM's run goes on throughout.
#include "session/LoggingSession.h"

#include "logfiles/DataLog.h"
#include "logging/ColumnNames.h"
#include "platform/Tick.h"
#include "session/WidebandColumns.h"
#include "sim/SimulatedLm.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace tessek {
namespace {

// MTS packet bodies after their header "B2 82" (the next packet's header ends each write:
// the decoder hands a packet out once the next header follows it).
const std::string kHeader("\xB2\x82", 2);
const std::string kLean("\x43\x13\x03\x6B", 4);  // 14.57 AFR
const std::string kRich("\x43\x13\x02\x3C", 4);  // 12.00 AFR

struct Seen final : SessionView, RunObserver {
    void Notice(const std::string& line) override { lines += line + "\n"; }
    void RunStarted(const std::vector<RunColumn>&, std::chrono::system_clock::time_point) override { ++runs; }
    void SampleLogged(const RunSample& sample) override
    {
        if (samples++ == 0)
            startTick = sample.StartTick;
    }
    void RunEnded() override {}
    std::string lines;
    int runs = 0, samples = 0;
    uint32_t startTick = 0;
};

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

TEST(WidebandSessionTest, AfrFollowsTheStreamAndIsEmptyOnlyWhileTheControllerIsAway)
{
    test::TempFolder folder;
    const std::string lmLink = folder.File("lm-by-id"), wbLink = folder.File("wb-by-id");
    sim::SimulatedLm lm;
    std::filesystem::create_symlink(lm.SlavePath(), lmLink);
    auto wb = std::make_unique<test::PtyPeer>();
    std::filesystem::create_symlink(wb->SlavePath(), wbLink);
    folder.Write("Tessek.ini",
                 "[ComPort]\nPort=" + lmLink + "\n[CurrentSet]\n1=8F\n2=86\n[Wideband]\nPort=" + wbLink + "\n");

    LoggingSession session(folder.Path());
    Seen seen;
    session.SetView(&seen);
    session.AddRunObserver(&seen);
    ASSERT_EQ(session.LoadSettings(), "");
    ASSERT_TRUE(session.Wideband().Connected());

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
        if (seen.samples == 0 || step > kStop || GetTickCount() - seen.startTick < due[step])
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
                session.RequestStop();
                break;
        }
    });
    steps.start(5);
    QTimer::singleShot(20000, [&] { session.RequestStop(); });
    session.LogUntilStopped();
    ASSERT_EQ(step, kStop + 1);
    EXPECT_EQ(seen.runs, 1) << "the LM's run goes on while the wideband is away";
    EXPECT_THAT(seen.lines, ::testing::HasSubstr("Wideband lost: " + wbLink));
    EXPECT_THAT(seen.lines, ::testing::HasSubstr("Wideband back: " + wbLink));

    const auto rows = CsvRows(session.DataLog().CsvPath());
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
        const double t = std::stod(row[0]) * 1000 + seen.startTick;
        SCOPED_TRACE(std::to_string(i) + ": " + row[0] + " s");
        const auto between = [&](double from, double to) { return t > from + slack && t + slack < to; };
        if (row[afr].empty()) {
            EXPECT_TRUE(t + slack > at[kUnplug] && t < at[kReplug] + 500 + slack) << "empty outside the absence";
        }
        if (between(seen.startTick - slack, at[kSwitch]) || between(at[kReplug] + 500, at[kStop])) {
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
