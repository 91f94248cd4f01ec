// A remembered window geometry as the settings file holds it: a text either is refused or
// reads as a rect of positive size whose own text reads back the same, and that rect is
// brought onto the screens (or taken as a first size and place) without overflow.
#include "platform/WindowGeometry.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<QRect> rect = ParseGeometry(text);
    if (!rect)
        return 0;
    if (rect->width() < 1 || rect->height() < 1 || ParseGeometry(GeometryText(*rect)) != rect)
        std::abort();

    const std::vector<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const QRect placed = PlaceRemembered(screens, *rect);
    bool onAScreen = false;
    for (const QRect& screen : screens)
        onAScreen = onAScreen || screen.contains(placed.marginsAdded(kFrameAllowance));
    if (!onAScreen)
        std::abort();
    const QRect first = FirstGeometry(screens.front(), rect->size(), rect->topLeft());
    if (!screens.front().contains(first.marginsAdded(kFrameAllowance)))
        std::abort();
    return 0;
}
