#pragma once
// Where a window goes on the screen: its first size and position fitted into the screen's
// available area (without panels and docks), a remembered geometry brought back onto a
// screen when it no longer fits one (another monitor, a smaller resolution), and the text a
// geometry is remembered as. Pure functions; all rects are the window's client area in
// device-independent pixels, with room left around it for the window manager's frame.
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <string>
#include <vector>

namespace tessek {

// Room for the title bar and borders the window manager adds around a window.
inline constexpr QMargins kFrameAllowance{4, 32, 4, 4};

// The client rect of a window that would like `wanted` on a screen with `available`: the
// size shrunk to fit (never below `minimum`, unless even that does not fit), its frame's
// top-left corner at `topLeft` when it fits there, otherwise moved left and up just enough; without `topLeft`,
// centred.
QRect FirstGeometry(const QRect& available, QSize wanted, std::optional<QPoint> topLeft = {},
                    QSize minimum = QSize(200, 150));

// `remembered` as it is when it lies wholly on one of `screens` (their available areas);
// otherwise fitted onto the screen it overlaps most (the first, when it overlaps none),
// keeping its size where it can.
QRect PlaceRemembered(const std::vector<QRect>& screens, const QRect& remembered);

// Largest position or size a geometry text may give, in pixels: beyond any desktop, and
// far enough from the int range that no edge or frame computed from it overflows.
inline constexpr int kMaxGeometryPixels = 1 << 20;

// "10,10,793,562" (left, top, width, height) and back; nothing for any other text, a size
// below 1 or a number beyond kMaxGeometryPixels either way.
std::string GeometryText(const QRect& rect);
std::optional<QRect> ParseGeometry(const std::string& text);

}  // namespace tessek
