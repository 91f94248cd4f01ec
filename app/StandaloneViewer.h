#pragma once
// The log viewer on its own, as `tessek --view FILE` starts it: no main window, no port,
// no logging settings; just the viewer on one data log, placed where it was last (section
// [Windows] of `settingsFile`; an empty name: fitted to the screen, not remembered).
// Window thread only.
#include <QString>

#include <memory>
#include <string>

namespace tessek {

class LogViewerWindow;

// A shown viewer on `path`; a file that cannot be read is reported in its status line.
std::unique_ptr<LogViewerWindow> OpenStandaloneViewer(const QString& path, const std::string& settingsFile = {});

}  // namespace tessek
