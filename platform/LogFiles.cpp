#include "platform/LogFiles.h"

#include <ctime>

namespace tessek {

std::string FileTimeStamp(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    const size_t size = std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return std::string(text, size);
}

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace tessek
