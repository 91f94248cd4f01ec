#include "platform/ProgramFolder.h"
#include "platform/Text.h"

#include <unistd.h>
#include <QDir>
#include <QStandardPaths>
#include <filesystem>

namespace tessek {

namespace {

std::string& Override()
{
    static std::string folder;
    return folder;
}

std::string ExecutableFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return WithSlash(std::filesystem::current_path(ec).string());
    return WithSlash(exe.parent_path().string());
}

std::string Decide()
{
    const std::string exeFolder = ExecutableFolder();
    if (::access(exeFolder.c_str(), W_OK) == 0)
        return exeFolder;
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + "/.local/share/Tessek";
    QDir().mkpath(data);
    return WithSlash(data.toStdString());
}

}  // namespace

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
