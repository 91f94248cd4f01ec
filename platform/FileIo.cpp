#include "platform/FileIo.h"

#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cerrno>

namespace tessek {

int ReadUpTo(int fd, size_t limit, std::string& out)
{
    constexpr size_t kChunk = 1 << 16;
    size_t got = 0;
    while (got < limit) {
        const size_t start = out.size();
        out.resize(start + std::min(kChunk, limit - got));
        const ssize_t n = ::read(fd, out.data() + start, out.size() - start);
        out.resize(start + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return 0;
}

int WriteAll(int fd, std::string_view content)
{
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

void IgnoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace tessek
