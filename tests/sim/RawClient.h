#pragma once
// A bare serial client on a pseudo-terminal slave: raw mode at chosen rates, single
// bytes out, bytes in with time limits. Stands in for the program when the simulated LM
// is tested on its own. Throws std::system_error when the device cannot be opened.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessek::test {

class RawClient {
public:
    RawClient(const std::string& path, uint32_t baud);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    int Fd() const { return fd_; }
    void SetRate(uint32_t baud) { SetRates(baud, baud); }
    void SetRates(uint32_t inputBaud, uint32_t outputBaud);
    void Send(uint8_t value);
    // The next byte, or nothing when none comes within `limit`.
    std::optional<uint8_t> Next(std::chrono::milliseconds limit);
    // Bytes until `count` have come or `limit` has passed.
    std::vector<uint8_t> Take(size_t count, std::chrono::milliseconds limit);
    // Everything that arrives within `window`.
    std::vector<uint8_t> Collect(std::chrono::milliseconds window);
    // Throws away what has arrived so far.
    void Drain();

private:
    int fd_ = -1;
};

}  // namespace tessek::test
