#include "app/StandaloneViewer.h"

#include "views/LogViewerWindow.h"
#include "views/WindowPlacement.h"

#include <string_view>

namespace tessek {

std::optional<std::string> ViewOptionFile(int argc, const char* const* argv, std::string_view option)
{
    std::optional<std::string> file;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break;
        if (arg == option && i + 1 < argc)
            file = argv[++i];
        else if (arg.starts_with(option) && arg.size() > option.size() && arg[option.size()] == '=')
            file = std::string(arg.substr(option.size() + 1));
    }
    return file;
}

std::unique_ptr<LogViewerWindow> OpenStandaloneViewer(const std::string& nativePath, const std::string& settingsFile)
{
    auto viewer = std::make_unique<LogViewerWindow>();
    WindowPlacement::Attach(viewer.get(), settingsFile, "Viewer", viewer->size());
    viewer->OpenNativeFile(nativePath);
    viewer->show();
    return viewer;
}

}  // namespace tessek
