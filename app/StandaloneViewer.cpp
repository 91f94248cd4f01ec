#include "app/StandaloneViewer.h"

#include "plots/LogViewerWindow.h"

namespace tessek {

std::unique_ptr<LogViewerWindow> OpenStandaloneViewer(const QString& path)
{
    auto viewer = std::make_unique<LogViewerWindow>();
    viewer->OpenFile(path);
    viewer->show();
    return viewer;
}

}  // namespace tessek
