#pragma once
// The log viewer on its own, as `tessek --view FILE` starts it: no main window, no port,
// no settings file; just the viewer on one data log. Window thread only.
#include <QString>

#include <memory>

namespace tessek {

class LogViewerWindow;

// A shown viewer on `path`; a file that cannot be read is reported in its status line.
std::unique_ptr<LogViewerWindow> OpenStandaloneViewer(const QString& path);

}  // namespace tessek
