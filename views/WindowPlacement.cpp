#include "views/WindowPlacement.h"

#include "platform/IniFile.h"
#include "platform/WindowGeometry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <exception>

namespace tessek {

std::vector<QRect> AvailableScreens(const QWidget* window)
{
    std::vector<QRect> screens;
    QScreen* own = window ? window->screen() : nullptr;
    if (!own)
        own = QGuiApplication::primaryScreen();
    if (own)
        screens.push_back(own->availableGeometry());
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != own)
            screens.push_back(screen->availableGeometry());
    }
    return screens;
}

WindowPlacement* WindowPlacement::Attach(QWidget* window, std::string settingsFile, std::string key, QSize wanted,
                                         std::optional<QPoint> topLeft)
{
    auto* placement = new WindowPlacement(window, std::move(settingsFile), std::move(key));
    placement->Place(wanted, topLeft);
    window->installEventFilter(placement);
    return placement;
}

WindowPlacement::WindowPlacement(QWidget* window, std::string settingsFile, std::string key)
    : QObject(window), window_(window), settingsFile_(std::move(settingsFile)), key_(std::move(key))
{
    setObjectName("WindowPlacement");
}

void WindowPlacement::Place(QSize wanted, std::optional<QPoint> topLeft)
{
    const std::vector<QRect> screens = AvailableScreens(window_);
    // A window whose contents want more room than the screen has may still be made that
    // small: its layout would otherwise stretch it past the screen's edges again.
    if (!screens.empty()) {
        const QSize room = screens.front().marginsRemoved(kFrameAllowance).size();
        const QSize least = window_->minimumSizeHint();
        if (least.isValid() && (least.width() > room.width() || least.height() > room.height()))
            window_->setMinimumSize(least.boundedTo(room));
    }
    std::optional<QRect> remembered;
    if (!settingsFile_.empty()) {
        try {
            const IniFile ini(settingsFile_);
            if (ini.ReadProblem().empty()) {
                written_ = ini.ReadString(kWindowsSection, key_, "");
                remembered = ParseGeometry(written_);
            }
        } catch (const std::exception&) {
            // Read as not remembered: the window still gets a fitting place.
        }
    }
    if (remembered) {
        placed_ = PlaceRemembered(screens, *remembered);
    } else {
        if (screens.empty())
            return;
        placed_ =
            FirstGeometry(screens.front(), wanted.expandedTo(window_->minimumSize()), topLeft, window_->minimumSize());
        // A window already where it should be (the main window after its start-up moved
        // it) is left alone.
        if (topLeft && window_->pos() == *topLeft && window_->size() == placed_.size())
            return;
    }
    window_->setGeometry(placed_);
}

void WindowPlacement::Remember()
{
    if (settingsFile_.empty() || window_->isFullScreen())
        return;
    const QRect geometry = window_->isMaximized() ? window_->normalGeometry() : window_->geometry();
    const std::string text = GeometryText(geometry);
    if (text == written_)
        return;
    try {
        IniFile ini(settingsFile_);
        if (!ini.ReadProblem().empty())
            return;  // never written over: the program says so once at start
        ini.WriteString(kWindowsSection, key_, text);
        written_ = text;
    } catch (const std::exception&) {
        // Not remembered this time; the window is no worse off.
    }
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_) {
        if (event->type() == QEvent::Show)
            shown_ = true;
        // A window never shown has nothing to remember (tests make many such).
        if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) && shown_)
            Remember();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tessek
