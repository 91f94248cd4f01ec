// The live window fed through the run's observer calls, on the offscreen platform: the
// strips show the values being logged, the redraw timer runs only while it should, and
// nothing a run hands over can break it.
#include "plots/LiveWindow.h"

#include <gtest/gtest.h>
#include <QTest>

#include <cmath>
#include <ostream>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tessek {
namespace {

// A typical run with acceleration measurement on: engine speed, speed, pressure, coolant,
// one skipped slot, then the three performance figures.
std::vector<RunColumn> TypicalColumns()
{
    return {
        {"RPM", "rpm", 0, true},   {"MPH", "mph", 2, true},       {"MAP", "psi", 2, true},
        {"Coolant", "F", 1, true}, {"Skip value", "", 0, true},   {"Acceleration", "G", 2, false},
        {"Power", "HP", 2, false}, {"Torque", "lb/ft", 2, false},
    };
}

// Sample i of a run at 40 samples/s with moving values; the first has no figures.
RunSample TypicalSample(int i)
{
    RunSample sample;
    sample.Time = i * 0.025;
    const double rpm = 2000 + 1500 * std::sin(i * 0.02);
    sample.Values = {rpm, 30 + i * 0.01, -3.5 + i * 0.001, 180.4, std::nullopt};
    if (i == 0) {
        sample.Values.insert(sample.Values.end(), {std::nullopt, std::nullopt, std::nullopt});
    } else {
        sample.Values.insert(sample.Values.end(), {0.11, 45.25, 98.7});
    }
    sample.Requests = 10;
    return sample;
}

struct Shown {
    QString name, value, unit, axisLabel;
};

TEST(LiveWindow, StripsShowTheLoggedValuesAndTheReadoutsTheLatest)
{
    LiveWindow window;
    window.show();
    window.RunStarted(TypicalColumns(), std::chrono::system_clock::now());
    RunSample last;
    for (int i = 0; i < 400; ++i) {
        last = TypicalSample(i);
        window.SampleLogged(last);
    }
    window.Redraw();

    const Shown expected[] = {
        {"RPM", QString::number(*last.Values[0], 'f', 0), "rpm", "rpm"},
        {"MPH", QString::number(*last.Values[1], 'f', 2), "mph", "mph"},
        {"MAP", QString::number(*last.Values[2], 'f', 2), "psi", "psi"},
        {"Coolant", "180.4", "F", "F"},
        {"Acceleration", "0.11", "G", "G"},
        {"Power", "45.25", "HP", "HP"},
    };
    const size_t columnOf[] = {0, 1, 2, 3, 5, 6};
    ASSERT_EQ(window.Strips().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const LiveWindow::Strip& strip = window.Strips()[i];
        SCOPED_TRACE(expected[i].name.toStdString());
        EXPECT_EQ(strip.Name->text(), expected[i].name);
        EXPECT_EQ(strip.Value->text(), expected[i].value);
        EXPECT_EQ(strip.Unit->text(), expected[i].unit);
        EXPECT_EQ(strip.Rect->axis(QCPAxis::atLeft)->label(), expected[i].axisLabel);
        // The line ends at the last sample, inside the strip's scale, and the time axis
        // shows the first minute of the run.
        const auto data = strip.Graph->data();
        ASSERT_GT(data->size(), 1);
        EXPECT_EQ(data->at(data->size() - 1)->key, last.Time);
        EXPECT_EQ(data->at(data->size() - 1)->value, *last.Values[columnOf[i]]);
        EXPECT_TRUE(strip.Rect->axis(QCPAxis::atLeft)->range().contains(*last.Values[columnOf[i]]));
        EXPECT_EQ(strip.Rect->axis(QCPAxis::atBottom)->range(), QCPRange(0, 60));
    }
    // The engine speed swung through 500..3500 rpm: its scale holds all of it.
    const QCPRange rpmScale = window.Strips()[0].Rect->axis(QCPAxis::atLeft)->range();
    EXPECT_LT(rpmScale.lower, 500.0);
    EXPECT_GT(rpmScale.upper, 3500.0);
    EXPECT_TRUE(window.StatusText().endsWith(": 40.0 samples/s, 400 requests/s")) << window.StatusText().toStdString();
    EXPECT_EQ(window.Frames().Frames, 1);

    // Each readout sits level with its strip, top to bottom.
    int previousBottom = -1;
    for (const LiveWindow::Strip& strip : window.Strips()) {
        const QRect readout(strip.Readout->mapTo(&window, QPoint(0, 0)), strip.Readout->size());
        const QRect outer =
            strip.Rect->outerRect().translated(window.Strips()[0].Graph->parentPlot()->mapTo(&window, QPoint(0, 0)));
        EXPECT_EQ(readout.top(), outer.top());
        EXPECT_EQ(readout.bottom(), outer.bottom());
        EXPECT_GT(readout.top(), previousBottom);
        previousBottom = readout.bottom();
    }
}

TEST(LiveWindow, TimeAxisScrollsWithTheLastMinute)
{
    LiveWindow window;
    window.show();
    window.RunStarted(TypicalColumns(), std::chrono::system_clock::now());
    for (int i = 0; i < 3600; ++i)  // 90 s
        window.SampleLogged(TypicalSample(i));
    window.Redraw();
    const double newest = 3599 * 0.025;
    for (const LiveWindow::Strip& strip : window.Strips()) {
        const QCPRange time = strip.Rect->axis(QCPAxis::atBottom)->range();
        EXPECT_DOUBLE_EQ(time.upper, newest);
        EXPECT_DOUBLE_EQ(time.lower, newest - 60);
        // Decimated to the strip's width, reaching just past its left edge.
        const auto data = strip.Graph->data();
        EXPECT_LE(data->size(), 2 * strip.Rect->width() + 4);
        EXPECT_LT(data->at(0)->key, newest - 60);
        EXPECT_GT(data->at(1)->key, newest - 60);
    }
}

TEST(LiveWindow, RedrawsFromItsTimerOnlyWhileShownDuringARun)
{
    LiveWindow window;
    EXPECT_EQ(window.StatusText(), "Not logging");
    window.RunStarted(TypicalColumns(), std::chrono::system_clock::now());
    window.SampleLogged(TypicalSample(0));
    // Hidden: nothing is drawn.
    EXPECT_FALSE(window.RedrawScheduled());
    window.Redraw();
    EXPECT_EQ(window.Frames().Frames, 0);

    window.show();
    EXPECT_TRUE(window.RedrawScheduled());
    window.SampleLogged(TypicalSample(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Frames().Frames > 0; }, 10000));
    EXPECT_EQ(window.Strips()[0].Value->text(), QString::number(*TypicalSample(1).Values[0], 'f', 0));
    // Nothing new: the timer's next calls draw nothing.
    const long frames = window.Frames().Frames;
    window.Redraw();
    EXPECT_EQ(window.Frames().Frames, frames);

    window.hide();
    EXPECT_FALSE(window.RedrawScheduled());
    window.show();
    EXPECT_TRUE(window.RedrawScheduled());

    // After the run its data stays on show; the timer stops.
    window.SampleLogged(TypicalSample(2));
    window.RunEnded();
    EXPECT_FALSE(window.RedrawScheduled());
    EXPECT_TRUE(window.StatusText().startsWith("Not logging")) << window.StatusText().toStdString();
    EXPECT_EQ(window.Strips()[0].Value->text(), QString::number(*TypicalSample(2).Values[0], 'f', 0));
    EXPECT_EQ(window.Strips()[0].Graph->data()->size(), 3);
}

TEST(LiveWindow, ADueFrameWaitsForTheNextSampleAndIsDrawnOutsideTheObserverCall)
{
    LiveWindow window;
    window.show();
    QCoreApplication::processEvents();  // the frame that showing the window asks for
    window.RunStarted(TypicalColumns(), std::chrono::system_clock::now());
    window.SampleLogged(TypicalSample(0));
    window.Redraw();
    ASSERT_EQ(window.Frames().Frames, 1);
    const auto rpm = [&] { return window.Strips()[0].Value->text(); };
    const auto rpmOf = [](int i) { return QString::number(*TypicalSample(i).Values[0], 'f', 0); };

    // Nothing new: the timer makes no frame due.
    window.FrameTick();
    window.SampleLogged(TypicalSample(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.Frames().Frames, 1);

    // Due after a change: the next sample brings the frame, drawn at the next pass through
    // the event loop with that sample in it.
    window.FrameTick();
    EXPECT_EQ(window.Frames().Frames, 1);
    window.SampleLogged(TypicalSample(2));
    EXPECT_EQ(window.Frames().Frames, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.Frames().Frames, 2);
    EXPECT_EQ(rpm(), rpmOf(2));

    // No sample for a whole interval after the frame fell due: the timer draws itself.
    window.SampleLogged(TypicalSample(3));
    window.FrameTick();
    window.FrameTick();
    EXPECT_EQ(window.Frames().Frames, 3);
    EXPECT_EQ(rpm(), rpmOf(3));
    window.RunEnded();
}

TEST(LiveWindow, OddRunsAreShownAsFarAsTheyGo)
{
    LiveWindow window;
    window.show();
    // Samples outside a run are ignored.
    window.SampleLogged(TypicalSample(5));
    window.RunEnded();
    EXPECT_TRUE(window.Strips().empty());

    // A run whose every slot is skipped has nothing to chart, but still its rates.
    window.RunStarted({{"Skip value", "", 0, true}}, std::chrono::system_clock::now());
    EXPECT_TRUE(window.Strips().empty());
    for (int i = 0; i < 10; ++i)
        window.SampleLogged(TypicalSample(i));
    window.Redraw();
    EXPECT_TRUE(window.StatusText().contains("samples/s")) << window.StatusText().toStdString();

    // The next run replaces the strips; a sample shorter than its columns shows dashes
    // where values are missing, and a value that is not a number adds no point.
    window.RunStarted(TypicalColumns(), std::chrono::system_clock::now());
    ASSERT_EQ(window.Strips().size(), 6u);
    RunSample sample = TypicalSample(1);
    window.SampleLogged(sample);
    sample.Time = 0.5;
    sample.Values = {NAN, 12.0};
    window.SampleLogged(sample);
    window.Redraw();
    EXPECT_EQ(window.Strips()[0].Value->text(), "---");
    EXPECT_EQ(window.Strips()[0].Graph->data()->size(), 1);
    EXPECT_EQ(window.Strips()[1].Value->text(), "12.00");
    EXPECT_EQ(window.Strips()[5].Value->text(), "---");
    window.RunEnded();
}

}  // namespace
}  // namespace tessek
