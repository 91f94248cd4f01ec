#include "tests/sim/RawClient.h"

#include "tests/sim/TestTermios2.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tessek::test {

using Clock = std::chrono::steady_clock;

RawClient::RawClient(const std::string& path, uint32_t baud)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "open " + path);
    SetRate(baud);
}

RawClient::~RawClient()
{
    ::close(fd_);
}

void RawClient::SetRates(uint32_t inputBaud, uint32_t outputBaud)
{
    if (!SetRawRates(fd_, inputBaud, outputBaud))
        throw std::system_error(errno, std::generic_category(), "set line rates");
}

void RawClient::Send(uint8_t value)
{
    if (::write(fd_, &value, 1) != 1)
        throw std::system_error(errno, std::generic_category(), "write");
}

std::vector<uint8_t> RawClient::Take(size_t count, std::chrono::milliseconds limit)
{
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + limit;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0 || !(p.revents & POLLIN))
            break;
        uint8_t byte = 0;
        const ssize_t n = ::read(fd_, &byte, 1);
        if (n == 1)
            got.push_back(byte);
        else if (n == 0 || (n < 0 && errno != EAGAIN))
            break;
    }
    return got;
}

std::optional<uint8_t> RawClient::Next(std::chrono::milliseconds limit)
{
    const auto got = Take(1, limit);
    if (got.empty())
        return std::nullopt;
    return got[0];
}

std::vector<uint8_t> RawClient::Collect(std::chrono::milliseconds window)
{
    return Take(SIZE_MAX, window);
}

void RawClient::Drain()
{
    uint8_t buffer[256];
    while (::read(fd_, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace tessek::test
