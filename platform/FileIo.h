#pragma once
// Whole reads and writes on a raw descriptor, repeated when a signal interrupts them.
// Any thread. Each returns 0 or the errno of the failure.
#include <cstddef>
#include <string>
#include <string_view>

namespace tessek {

// Appends what `fd` holds to `out`, up to its end or `limit` bytes, whichever comes first.
int ReadUpTo(int fd, size_t limit, std::string& out);

// Writes all of `content`; a write that makes no progress fails with EIO.
int WriteAll(int fd, std::string_view content);

// Makes a write beyond the process's file size limit (ulimit -f) fail with EFBIG, which
// the writers handle as a full disk (whole rows kept, the run ended with a message),
// instead of the system killing the process with SIGXFSZ. Called once at program start.
void IgnoreFileSizeSignal();

}  // namespace tessek
