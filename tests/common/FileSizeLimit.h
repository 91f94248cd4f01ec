#pragma once
// A full disk for the files this process writes: while it lives, no write may grow a
// file beyond `bytes` (the write fails with EFBIG; root is bound by it too). Pipes,
// pseudo-terminals and sockets are not affected.
#include <sys/resource.h>
#include <csignal>

namespace tessek::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit small = old_;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    sighandler_t oldHandler_;
    rlimit old_{};
};

}  // namespace tessek::test
