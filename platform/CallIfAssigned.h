#pragma once
// Calling an event property (a std::function member) that may be empty.
#include <utility>

namespace tessek {

// Calls `handler` with `args` when it is assigned. The call runs on a copy, so a handler
// may reassign or clear its own property while it runs.
template <class Handler, class... Args>
void CallIfAssigned(const Handler& handler, Args&&... args)
{
    if (Handler copy = handler)
        copy(std::forward<Args>(args)...);
}

}  // namespace tessek
