#pragma once
// `tessek --play FILE`: Tessek Live playing back a saved data log (CSV, MSL or TempLog), with
// no main window and no port; its View Log button opens the viewer on the same file.
// Window thread only.
#include <memory>
#include <string>

namespace tessek {

class PlaybackWindow;

// The shown and playing window for the log at `nativePath` (the system's bytes), with the
// alarm limits and calculated channels of `settingsFile`, placed where Tessek Live was
// last; nothing, with the reason in `problem`, when the file cannot be read.
std::unique_ptr<PlaybackWindow> OpenPlayback(const std::string& nativePath, const std::string& settingsFile,
                                             std::string& problem);

}  // namespace tessek
