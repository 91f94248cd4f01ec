#include "platform/Catalog.h"

#include "platform/BuildInfo.h"

#include <libintl.h>
#include <clocale>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace tessek {

namespace {

void BindOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        std::setlocale(LC_MESSAGES, "");
        if (const std::string folder = CatalogueFolder(); !folder.empty())
            bindtextdomain("cport", folder.c_str());
        bind_textdomain_codeset("cport", "UTF-8");
    });
}

}  // namespace

std::string CatalogueFolder()
{
    // Not the program folder: an installed program keeps its settings in the per-user
    // folder, while its catalogues are installed beside the executable's folder.
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return (exe.parent_path() / kLocaleFolderFromBin).lexically_normal().string() + "/";
}

std::string CportText(const char* msgid)
{
    BindOnce();
    return dgettext("cport", msgid);
}

}  // namespace tessek
