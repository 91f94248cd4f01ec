#include "platform/AtomicFile.h"

#include "platform/FileIo.h"
#include "platform/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tessek {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on nested links
constexpr mode_t kNewFileMode = 0644;

[[noreturn]] void Fail(const std::string& path, int err)
{
    throw std::runtime_error("Cannot write file \"" + path + "\". " + std::strerror(err));
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The target of `path` and the errno that stopped the resolution (0 when none).
std::pair<std::string, int> Resolve(const std::string& path)
{
    std::string current = path;
    for (int depth = 0; depth <= kMaxLinks; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return {current, 0};
        std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return {current, errno};
        const std::string link(buffer.data(), static_cast<size_t>(n));
        if (link.empty() || link.front() != '/') {
            std::string target = FolderOf(current);
            target += '/';
            target += link;
            current = std::move(target);
        } else {
            current = link;
        }
    }
    return {current, ELOOP};
}

bool IsTemporaryName(const std::string& entry, const std::string& name)
{
    if (entry.size() != name.size() + 7 || entry.compare(0, name.size(), name) != 0 || entry[name.size()] != '.')
        return false;
    for (size_t i = name.size() + 1; i < entry.size(); ++i) {
        const char c = entry[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

}  // namespace

std::string WriteTarget(const std::string& path)
{
    const auto [target, err] = Resolve(path);
    if (err != 0)
        Fail(path, err);
    return target;
}

namespace {

// Writes `content` with `mode` to a new temporary file beside `target` (its name plus
// ".XXXXXX"), synced and closed; returns the temporary's name. Leaves nothing behind and
// throws, naming `path`, on failure.
std::string WriteTemporary(const std::string& path, const std::string& target, mode_t mode, std::string_view content)
{
    std::string name = target + ".XXXXXX";
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.Valid())
        Fail(path, errno);
    const auto fail = [&](int err) {
        fd.Reset();
        ::unlink(name.c_str());
        Fail(path, err);
    };
    if (::fchmod(fd.Get(), mode) != 0)
        fail(errno);
    if (const int err = WriteAll(fd.Get(), content))
        fail(err);
    if (::fsync(fd.Get()) != 0)
        fail(errno);
    if (fd.Close() != 0)
        fail(errno);
    return name;
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view content)
{
    const std::string target = WriteTarget(path);
    struct stat st {};
    const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : kNewFileMode;
    const std::string name = WriteTemporary(path, target, mode, content);
    if (::rename(name.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(name.c_str());
        Fail(path, err);
    }
}

bool WriteNewFileAtomically(const std::string& path, std::string_view content)
{
    const std::string name = WriteTemporary(path, path, kNewFileMode, content);
    // The name is taken over only if nothing is there at that moment. A file system
    // without RENAME_NOREPLACE gets a hard link, which fails the same way.
    int err = ::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
        err = ::link(name.c_str(), path.c_str()) == 0 ? 0 : errno;
        ::unlink(name.c_str());
    } else if (err != 0) {
        ::unlink(name.c_str());
    }
    if (err == EEXIST)
        return false;
    if (err != 0)
        Fail(path, err);
    return true;
}

int RemoveStaleTemporaries(const std::string& path)
{
    const std::string target = Resolve(path).first;
    const std::string folder = FolderOf(target);
    const std::string name = NameOf(target);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name, name))
            continue;
        const std::string file = folder + "/" + entry->d_name;
        struct stat st {};
        if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(file.c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace tessek
