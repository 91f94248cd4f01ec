#include "tests/common/PtyPeer.h"

#include "platform/Termios2.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace tessek::test {

PtyPeer::PtyPeer() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK))
{
    char name[128];
    const int fd = master_.Get();
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0)
        throw std::runtime_error("no usable pseudo-terminal");
    slavePath_ = name;
}

int32_t PtyPeer::SlaveRate() const
{
    const auto rates = ReadLineRates(master_.Get());
    return rates ? static_cast<int32_t>(rates->output) : -1;
}

void PtyPeer::Write(const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(master_.Get(), bytes.data() + done, bytes.size() - done);
        pollfd p{master_.Get(), POLLOUT, 0};
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            throw std::runtime_error("pseudo-terminal master write failed");
        else if (errno == EAGAIN && ::poll(&p, 1, 1000) <= 0)
            throw std::runtime_error("pseudo-terminal master does not take bytes");
    }
}

std::string PtyPeer::Read(size_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (got.size() < count) {
        char buffer[256];
        const ssize_t n = ::read(master_.Get(), buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.append(buffer, static_cast<size_t>(n));
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        // EAGAIN: nothing yet; EIO: no slave open at the moment, and poll() would not wait.
        pollfd p{master_.Get(), POLLIN, 0};
        const int wait = static_cast<int>(std::min<long>(left, 10));
        if (::poll(&p, 1, wait) >= 0 && (p.revents & POLLHUP))
            ::poll(nullptr, 0, wait);
    }
    return got;
}

}  // namespace tessek::test
