#include "platform/WindowGeometry.h"

#include "platform/TextNumbers.h"

#include <algorithm>
#include <sstream>

namespace tessek {
namespace {

// The area the client rect may take on a screen: the screen less the frame's room.
QRect ClientArea(const QRect& available)
{
    return available.marginsRemoved(kFrameAllowance);
}

// Moves `rect` into `area` (its top-left corner wins when it is larger).
QRect MoveInside(QRect rect, const QRect& area)
{
    rect.moveRight(std::min(rect.right(), area.right()));
    rect.moveBottom(std::min(rect.bottom(), area.bottom()));
    rect.moveLeft(std::max(rect.left(), area.left()));
    rect.moveTop(std::max(rect.top(), area.top()));
    return rect;
}

}  // namespace

QRect FirstGeometry(const QRect& available, QSize wanted, std::optional<QPoint> topLeft, QSize minimum)
{
    const QRect area = ClientArea(available);
    const QSize size = wanted.boundedTo(area.size()).expandedTo(minimum.boundedTo(area.size()));
    QRect rect(QPoint(0, 0), size);
    if (topLeft)
        rect.moveTopLeft(*topLeft + QPoint(kFrameAllowance.left(), kFrameAllowance.top()));
    else
        rect.moveCenter(area.center());
    return MoveInside(rect, area);
}

QRect PlaceRemembered(const std::vector<QRect>& screens, const QRect& remembered)
{
    if (screens.empty())
        return remembered;
    const QRect framed = remembered.marginsAdded(kFrameAllowance);
    size_t best = 0;
    long long bestOverlap = -1;
    for (size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].contains(framed))
            return remembered;
        const QRect overlap = screens[i].intersected(framed);
        const long long area = overlap.isEmpty() ? 0 : static_cast<long long>(overlap.width()) * overlap.height();
        if (area > bestOverlap) {
            best = i;
            bestOverlap = area;
        }
    }
    const QRect area = ClientArea(screens[best]);
    QRect rect(remembered.topLeft(), remembered.size().boundedTo(area.size()));
    return MoveInside(rect, area);
}

std::string GeometryText(const QRect& rect)
{
    return std::to_string(rect.left()) + "," + std::to_string(rect.top()) + "," + std::to_string(rect.width()) + "," +
           std::to_string(rect.height());
}

std::optional<QRect> ParseGeometry(const std::string& text)
{
    std::istringstream in(text);
    int values[4];
    std::string field;
    for (int& value : values) {
        if (!std::getline(in, field, ','))
            return std::nullopt;
        const std::optional<int32_t> number = ParseInteger(field);
        if (!number || (field.find_first_of("$xX") != std::string::npos))
            return std::nullopt;
        value = *number;
    }
    if (std::getline(in, field) || values[2] < 1 || values[3] < 1)
        return std::nullopt;
    for (const int value : values) {
        if (value < -kMaxGeometryPixels || value > kMaxGeometryPixels)
            return std::nullopt;
    }
    return QRect(values[0], values[1], values[2], values[3]);
}

}  // namespace tessek
