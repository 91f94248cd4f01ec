#pragma once
// The dialogs' pixel measures are minimum sizes for an 8-point font at 96 dots per inch;
// a desktop font is usually larger, and the measures grow with it so no caption is clipped.
#include <QWidget>

#include <algorithm>

namespace tessek {

// How much wider than that font the dialog's own font is (never less than 1).
inline double DialogFontScale(const QWidget& dialog)
{
    return std::max(1.0, dialog.fontMetrics().averageCharWidth() / 5.0);
}

}  // namespace tessek
