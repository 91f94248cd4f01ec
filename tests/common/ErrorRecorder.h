#pragma once
// Collecting the messages that reach the application's error display during a test.
#include "platform/ErrorDisplay.h"

#include <string>
#include <vector>

namespace tessek::test {

// Collects what reaches the application's error display while it lives.
struct ErrorRecorder {
    std::vector<std::string> messages;
    ErrorDisplay previous = SetErrorDisplay([this](const std::string& m) { messages.push_back(m); });
    ~ErrorRecorder() { SetErrorDisplay(std::move(previous)); }
};

}  // namespace tessek::test
