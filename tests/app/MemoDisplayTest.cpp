// The text area paints new lines at most every kShowIntervalMs, while its lines, its
// document and its scroll position follow every line at once.
#include "app/MemoWidget.h"
#include "tests/common/EventLoop.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>

namespace tessek {
namespace {

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST(MemoDisplay, ManyLinesPaintAFewTimesAndTheLastLineIsShown)
{
    MemoWidget memo;
    memo.resize(300, 120);
    memo.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
    for (int i = 0; i < 20; ++i)
        memo.AddLine("before " + std::to_string(i));
    test::PumpFor(3 * MemoWidget::kShowIntervalMs);

    PaintCounter counter;
    memo.viewport()->installEventFilter(&counter);
    constexpr int kLines = 200;
    QElapsedTimer clock;
    clock.start();
    int paintsAtLastLine = 0;
    for (int i = 0; i < kLines; ++i) {
        memo.AddLine("line " + std::to_string(i));
        paintsAtLastLine = counter.paints;
        QCoreApplication::processEvents();  // a logging run pumps between lines
        ASSERT_EQ(memo.Lines().back(), "line " + std::to_string(i));
        ASSERT_EQ(memo.document()->blockCount(), 20 + i + 2) << "the document has every line at once";
        QScrollBar* bar = memo.verticalScrollBar();
        ASSERT_EQ(bar->value(), bar->maximum()) << "follows the end";
    }
    const qint64 ms = clock.elapsed();
    // Generous: one paint per interval, plus the first line and rounding.
    EXPECT_LE(counter.paints, 3 + 2 * ms / MemoWidget::kShowIntervalMs) << kLines << " lines in " << ms << " ms";

    test::PumpFor(3 * MemoWidget::kShowIntervalMs);
    EXPECT_GT(counter.paints, paintsAtLastLine) << "the last line is painted, at once or when the interval ends";
    EXPECT_TRUE(memo.viewport()->updatesEnabled());
}

}  // namespace
}  // namespace tessek
