#pragma once
// Runs a piece of a test in a child process that may map only a little more memory than
// it holds: `prepare` runs first, then the address space is capped at what the process has
// mapped plus `headroom` bytes, then `body` runs. The child's outcome: `body`'s return
// value, 1 when it threw (out of memory, usually), or -N when signal N killed it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <functional>

namespace tessek::test {

inline int InChildWithHeadroom(size_t headroom, const std::function<void()>& prepare, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1000;
    if (child == 0) {
        int code = 1;
        try {
            prepare();
            std::ifstream statm("/proc/self/statm");
            size_t pages = 0;
            statm >> pages;
            const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
            const rlimit as{limit, limit};
            ::setrlimit(RLIMIT_AS, &as);
            code = body();
        } catch (...) {
            code = 1;
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return -1001;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

}  // namespace tessek::test
