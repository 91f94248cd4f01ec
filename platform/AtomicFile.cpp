#include "platform/AtomicFile.h"

#include "platform/FileIo.h"
#include "platform/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tessek {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on nested links
// Created with this mode, the system takes the umask off it.
constexpr mode_t kNewFileMode = 0666;

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

// Creates a new file "<target>.XXXXXX" (six random letters and digits) with the mode
// kNewFileMode less the umask; sets `name` to it.
UniqueFd CreateTemporary(const std::string& target, std::string& name)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            continue;
        name = target + '.';
        for (const unsigned char r : random)
            name += kLetters[r % (sizeof kLetters - 1)];
        UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, kNewFileMode));
        if (fd.Valid() || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return UniqueFd();
}

// Writes `content` to a new temporary file beside `target` (CreateTemporary), with `mode`
// unless that is the mode of a new file, synced and closed; returns the temporary's name.
// Leaves nothing behind and throws, naming `path`, on failure.
std::string WriteTemporary(const std::string& path, const std::string& target, std::optional<mode_t> mode,
                           const ContentWriter& content)
{
    std::string name;
    UniqueFd fd = CreateTemporary(target, name);
    if (!fd.Valid())
        Fail(path, errno);
    const auto fail = [&](int err) {
        fd.Reset();
        ::unlink(name.c_str());
        Fail(path, err);
    };
    if (mode && ::fchmod(fd.Get(), *mode) != 0)
        fail(errno);
    if (const int err = content([&fd](std::string_view piece) { return WriteAll(fd.Get(), piece); }))
        fail(err);
    if (::fsync(fd.Get()) != 0)
        fail(errno);
    if (fd.Close() != 0)
        fail(errno);
    return name;
}

ContentWriter Whole(std::string_view content)
{
    return [content](const PutPiece& put) { return put(content); };
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view content)
{
    WriteFileAtomically(path, Whole(content));
}

bool WriteNewFileAtomically(const std::string& path, std::string_view content)
{
    return WriteNewFileAtomically(path, Whole(content));
}

void WriteFileAtomically(const std::string& path, const ContentWriter& content)
{
    const std::string target = WriteTarget(path);
    struct stat st {};
    std::optional<mode_t> mode;
    if (::stat(target.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    const std::string name = WriteTemporary(path, target, mode, content);
    if (::rename(name.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(name.c_str());
        Fail(path, err);
    }
}

bool WriteNewFileAtomically(const std::string& path, const ContentWriter& content)
{
    const std::string name = WriteTemporary(path, path, std::nullopt, content);
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
