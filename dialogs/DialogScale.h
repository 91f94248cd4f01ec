#pragma once
// The dialogs' pixel measures are minimum sizes for an 8-point font at 96 dots per inch;
// a desktop font is usually larger, and the measures grow with it so no caption is clipped.
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tessek {

// `width` pixels of such a measure in the dialog's own font (never less than `width`).
inline int ScaledWidth(const QWidget& dialog, int width)
{
    const double scale = std::max(1.0, dialog.fontMetrics().averageCharWidth() / 5.0);
    return static_cast<int>(std::lround(width * scale));
}

}  // namespace tessek
