#pragma once
// Remembers where a window was: its geometry is kept in section [Windows] of the settings
// file under a key of its own ("Main", "Live", "Viewer") whenever the window is hidden or
// closed, and given back when the window is placed again, brought onto a screen when it no
// longer fits one. A window without a remembered geometry gets its wanted size fitted into
// the screen's available area (platform/WindowGeometry.h). A settings file that cannot be
// read is neither read nor written here. Window thread only.
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace tessek {

inline constexpr const char* kWindowsSection = "Windows";

// The available areas of the screens, the one `window` is on (or the primary one) first.
std::vector<QRect> AvailableScreens(const QWidget* window);

class WindowPlacement : public QObject {
    Q_OBJECT
public:
    // Places `window` now and from then on remembers its geometry; owned by the window.
    // `topLeft` (the frame's corner) is where a first placement puts it when it fits there.
    static WindowPlacement* Attach(QWidget* window, std::string settingsFile, std::string key, QSize wanted,
                                   std::optional<QPoint> topLeft = {});

    // The geometry the window was given (client area).
    QRect Placed() const { return placed_; }
    // Writes the window's geometry now (also done when it is hidden).
    void Remember();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowPlacement(QWidget* window, std::string settingsFile, std::string key);
    void Place(QSize wanted, std::optional<QPoint> topLeft);

    QWidget* window_;
    std::string settingsFile_;
    std::string key_;
    QRect placed_;
    std::string written_;  // the text last read or written
    bool shown_ = false;
};

}  // namespace tessek
