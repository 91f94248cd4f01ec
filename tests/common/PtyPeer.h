#pragma once
// The far end of a pseudo-terminal for tests: the code under test opens SlavePath() as its
// serial device, and the test talks to it through the master side, as the device's peer.
#include "platform/UniqueFd.h"

#include <cstdint>
#include <string>

namespace tessek::test {

class PtyPeer {
public:
    PtyPeer();  // throws std::runtime_error when no pseudo-terminal can be had

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_.Get(); }

    // The rate (bits per second) the slave is set to, read on the master; -1 on failure.
    int32_t SlaveRate() const;

    // Sends bytes to the slave's reader; throws std::runtime_error when they cannot go.
    void Write(const std::string& bytes);
    // What the slave's writer sent: waits until `count` bytes have come or `timeoutMs`
    // has passed, and returns what came (possibly fewer bytes).
    std::string Read(size_t count, int timeoutMs);

    // Closes the master: the slave is hung up (reads and writes fail with EIO).
    void CloseMaster() { master_.Reset(); }

private:
    UniqueFd master_;
    std::string slavePath_;
};

}  // namespace tessek::test
