#pragma once
// The application's one place where errors that escape a handler are shown.
//
// Every entry point that the window thread runs on behalf of the user (button handlers)
// runs its work through RunGuarded, so an error ends that handler only and never the
// program; the serial port shows an error of its own event handlers here once and stops
// delivering events. The main window shows the message in a message box; tests replace
// the display with a recorder.
#include <exception>
#include <functional>
#include <string>

namespace tessek {

using ErrorDisplay = std::function<void(const std::string& message)>;

// Replaces the display and returns the previous one. The default writes to stderr.
ErrorDisplay SetErrorDisplay(ErrorDisplay display);

// Shows `message` with the current display (window thread only).
void ShowError(const std::string& message);

// The message of an exception object: what() for std::exception, a fixed text otherwise.
std::string ErrorMessage(const std::exception_ptr& error);

// Runs `work`; an exception that escapes it is shown with ShowError and swallowed.
// Returns true when `work` finished without an error.
template <class F>
bool RunGuarded(F&& work)
{
    try {
        work();
        return true;
    } catch (...) {
        ShowError(ErrorMessage(std::current_exception()));
        return false;
    }
}

}  // namespace tessek
