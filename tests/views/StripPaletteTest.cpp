// The charts' shared palette: twelve colours that go round, and a colour per shown channel
// without repeats as channels are shown and hidden.
#include "views/StripPalette.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

// The power curve numbers its pulls' colours on without end: they go round the palette.
TEST(StripPalette, ColoursGoRoundAfterTheLast)
{
    EXPECT_EQ(PaletteColour(kPaletteSize), PaletteColour(0));
}

// Each step shows a set of channels; the slots they get, in the same order.
TEST(StripPalette, ShownChannelsKeepTheirColourAndNewOnesTakeAFreeOne)
{
    std::vector<size_t> many;
    for (size_t c = 0; c < 13; ++c)
        many.push_back(c);
    // 5 and 6 keep theirs; the thirteenth shares the first of the least used colours.
    const std::vector<size_t> manySlots{2, 3, 4, 5, 6, 0, 1, 7, 8, 9, 10, 11, 0};
    const std::tuple<const char*, std::vector<size_t>, std::vector<size_t>> steps[] = {
        {"first three", {0, 1, 2}, {0, 1, 2}},
        {"one hidden: the others keep theirs", {0, 2}, {0, 2}},
        {"a channel far down the list takes the free slot", {0, 2, 40}, {0, 2, 1}},
        {"the hidden one comes back with a free slot", {0, 1, 2, 40}, {0, 3, 2, 1}},
        {"channel 20 and 21 added", {0, 1, 2, 20, 21, 40}, {0, 3, 2, 4, 5, 1}},
        {"all hidden, then shown again: as new", {}, {}},
        {"again", {5, 6}, {0, 1}},
        {"thirteen shown: twelve colours, then round again", many, manySlots},
    };
    PaletteSlots palette;
    for (const auto& [name, shown, expected] : steps) {
        SCOPED_TRACE(name);
        EXPECT_EQ(palette.Assign(shown), expected);
    }
}

}  // namespace
}  // namespace tessek
