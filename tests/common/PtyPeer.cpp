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

PtyPeer::PtyPeer()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        throw std::runtime_error("pseudo-terminal not usable");
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
}

PtyPeer::~PtyPeer()
{
    CloseMaster();
}

int32_t PtyPeer::SlaveRate() const
{
    const auto rates = ReadLineRates(master_);
    return rates ? static_cast<int32_t>(rates->output) : -1;
}

void PtyPeer::Write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                throw std::runtime_error("pseudo-terminal master does not take bytes");
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("pseudo-terminal master write failed");
        }
    }
}

std::string PtyPeer::Read(size_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (got.size() < count) {
        char buffer[256];
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing yet; EIO: no slave open at the moment. Wait either way.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        const int wait = static_cast<int>(std::min<long>(left, 10));
        if (::poll(&p, 1, wait) < 0 && errno != EINTR)
            break;
        if (p.revents & POLLHUP)  // no slave open: poll() would not wait
            ::poll(nullptr, 0, wait);
    }
    return got;
}

void PtyPeer::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

}  // namespace tessek::test
