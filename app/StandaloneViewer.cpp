#include "app/StandaloneViewer.h"

#include "plots/LogViewerWindow.h"
#include "plots/WindowPlacement.h"

namespace tessek {

std::unique_ptr<LogViewerWindow> OpenStandaloneViewer(const QString& path, const std::string& settingsFile)
{
    auto viewer = std::make_unique<LogViewerWindow>();
    WindowPlacement::Attach(viewer.get(), settingsFile, "Viewer", viewer->size());
    viewer->OpenFile(path);
    viewer->show();
    return viewer;
}

}  // namespace tessek
