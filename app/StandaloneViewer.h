#pragma once
// The log viewer on its own, as `tessek --view FILE` starts it: no main window, no port,
// no logging settings; just the viewer on one data log, placed where it was last (section
// [Windows] of `settingsFile`; an empty name: fitted to the screen, not remembered).
// Window thread only.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tessek {

class LogViewerWindow;

// The FILE of the last "--view FILE" or "--view=FILE" (or of `option`, "--play") before
// any "--", as the command line's own bytes: a file name need not be valid UTF-8, and a
// decoded text would lose what it cannot hold. Nothing when the option is not given with
// a value.
std::optional<std::string> ViewOptionFile(int argc, const char* const* argv, std::string_view option = "--view");

// A shown viewer on `nativePath` (the system's bytes); a file that cannot be read is
// reported in its status line.
std::unique_ptr<LogViewerWindow> OpenStandaloneViewer(const std::string& nativePath,
                                                      const std::string& settingsFile = {});

}  // namespace tessek
