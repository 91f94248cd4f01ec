// Window geometry: first sizes fitted into small laptop screens, remembered geometries
// brought back onto a screen, and the settings text of a geometry.
#include "platform/WindowGeometry.h"

#include <gtest/gtest.h>

#include <ostream>

QT_BEGIN_NAMESPACE
// Failures print the rects.
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
QT_END_NAMESPACE

namespace tessek {
namespace {

// 1366×768 with a 28-pixel top bar, and 1280×720 (also 1920×1080 at 150 %) with a
// 40-pixel panel at the bottom.
const QRect kLaptop(0, 28, 1366, 740);
const QRect kSmall(0, 0, 1280, 680);

TEST(WindowGeometry, FirstSizesFitTheAvailableAreaWithTheirFrames)
{
    const struct {
        const char* name;
        QRect available;
        QSize wanted;
        std::optional<QPoint> topLeft;
        QRect expected;
    } rows[] = {
        {"main window at 10, 10 on the laptop", kLaptop, {793, 562}, QPoint(10, 10), {14, 60, 793, 562}},
        {"live chart on the laptop: shorter, centred across", kLaptop, {960, 800}, {}, {203, 60, 960, 704}},
        {"viewer on the small screen", kSmall, {1200, 760}, {}, {40, 32, 1200, 644}},
        {"wider than the screen", kSmall, {1600, 400}, {}, {4, 154, 1272, 400}},
        {"a corner that would push it off: moved back", kSmall, {793, 562}, QPoint(900, 300), {483, 114, 793, 562}},
        {"a tiny screen keeps it inside, below the minimum", QRect(0, 0, 180, 120), {793, 562}, {}, {4, 32, 172, 84}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FirstGeometry(row.available, row.wanted, row.topLeft), row.expected);
    }
}

TEST(WindowGeometry, ARememberedGeometryOffTheScreenIsBroughtBack)
{
    const QRect right(1366, 0, 1920, 1050);  // a second monitor right of the laptop
    const struct {
        const char* name;
        std::vector<QRect> screens;
        QRect remembered;
        QRect expected;
    } rows[] = {
        {"on the laptop: unchanged", {kLaptop}, {100, 100, 800, 500}, {100, 100, 800, 500}},
        {"on the second monitor while it is there", {kLaptop, right}, {1500, 100, 1200, 760}, {1500, 100, 1200, 760}},
        {"too tall for the laptop now", {kLaptop}, {20, 40, 900, 900}, {20, 60, 900, 704}},
        {"mostly on the second monitor", {kLaptop, right}, {1200, 100, 800, 500}, {1370, 100, 800, 500}},
        {"above every screen", {kSmall}, {50, -400, 600, 300}, {50, 32, 600, 300}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(PlaceRemembered(row.screens, row.remembered), row.expected);
    }
}

TEST(WindowGeometry, TheSettingsTextReadsBackAndAnythingElseIsRefused)
{
    EXPECT_EQ(GeometryText(QRect(10, -20, 793, 562)), "10,-20,793,562");
    EXPECT_EQ(ParseGeometry("10,-20,793,562"), QRect(10, -20, 793, 562));
    EXPECT_EQ(ParseGeometry(" 10, 20,793,562"), QRect(10, 20, 793, 562));
    // (Sizes below one pixel and edges that overflow: the fuzz target.)
    for (const char* bad :
         {"", "10,20,793", "10,20,793,562,1", "a,b,c,d", "1,2,$10,4", "10;20;793;562", "-1048577,0,800,600"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(ParseGeometry(bad), std::nullopt);
    }
}

}  // namespace
}  // namespace tessek
