#pragma once
// A settings file for the fuzz targets that read one: in a private folder, on tmpfs when
// there is one (every write syncs the file), written anew for each input.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline const std::string& SettingsPath()
{
    static const std::string path = [] {
        std::string tmpl = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/tessek-fuzz-XXXXXX");
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        if (!mkdtemp(name.data()))
            std::abort();
        return std::string(name.data()) + "/Tessek.ini";
    }();
    return path;
}

inline const std::string& WriteSettings(std::string_view content)
{
    std::ofstream(SettingsPath(), std::ios::binary | std::ios::trunc) << content;
    return SettingsPath();
}

}  // namespace fuzz
