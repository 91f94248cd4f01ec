#include "platform/ProgramFolder.h"

#include "platform/AtomicFile.h"
#include "platform/Text.h"

#include <unistd.h>
#include <QDir>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tessek {

namespace {

std::string& Override()
{
    static std::string folder;
    return folder;
}

bool& FirstUse()
{
    static bool firstUse = false;
    return firstUse;
}

std::string ExecutableFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return WithSlash(std::filesystem::current_path(ec).string());
    return WithSlash(exe.parent_path().string());
}

std::string UserDataFolder()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + "/.local/share/Tessek";
    return data.toStdString();
}

std::string Decide()
{
    const std::string exeFolder = ExecutableFolder();
    const bool usable = ::access(exeFolder.c_str(), W_OK) == 0 && !IsSystemProgramsFolder(exeFolder);
    return ChooseProgramFolder(exeFolder, usable, UserDataFolder(), &FirstUse());
}

}  // namespace

std::string ChooseProgramFolder(const std::string& exeFolder, bool exeFolderWritable, const std::string& userFolder,
                                bool* firstUse)
{
    if (firstUse)
        *firstUse = false;
    if (exeFolderWritable)
        return WithSlash(exeFolder);
    QDir().mkpath(QString::fromStdString(userFolder));
    // A Tessek.ini shipped or left beside the executable is the starting point of the
    // per-user one: copied once, when the user has none yet. Without it the defaults
    // apply, so a failed copy only loses what a failed read would have lost.
    const std::string seed = WithSlash(exeFolder) + kSettingsFileName;
    const std::string own = WithSlash(userFolder) + kSettingsFileName;
    std::error_code ec;
    if (firstUse)
        *firstUse = !std::filesystem::exists(own, ec);
    if (!std::filesystem::exists(own, ec) && std::filesystem::is_regular_file(seed, ec)) {
        try {
            std::ifstream in(seed, std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (in.good() || in.eof())
                WriteFileAtomically(own, content);
        } catch (const std::exception&) {
            // Left without a copy: the program starts with the defaults.
        }
    }
    return WithSlash(userFolder);
}

bool IsSystemProgramsFolder(const std::string& folder)
{
    static const char* const kSystemFolders[] = {"/bin/",           "/sbin/",      "/usr/bin/",    "/usr/sbin/",
                                                 "/usr/local/bin/", "/usr/games/", "/usr/libexec/"};
    const std::string path = WithSlash(folder);
    for (const char* system : kSystemFolders) {
        if (path == system)
            return true;
    }
    return false;
}

bool ProgramFolderFirstUse()
{
    ProgramFolder();
    return FirstUse();
}

std::string FirstStartLine(const std::string& folder)
{
    return "Tessek.ini, the TempLog files and logs/ are kept in " + folder;
}

std::string ProgramFolder()
{
    if (Override().empty())
        Override() = Decide();
    return Override();
}

void SetProgramFolder(const std::string& folder)
{
    Override() = WithSlash(folder);
}

}  // namespace tessek
