#pragma once
// An ioctl that is repeated when a signal interrupts it: 0, or the errno of the failure.
// Any thread.
#include <sys/ioctl.h>

#include <cerrno>

namespace tessek {

inline int IoctlRetrying(int fd, unsigned long request, void* arg)
{
    for (;;) {
        if (::ioctl(fd, request, arg) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

}  // namespace tessek
