// Formula texts of calculated channels: each line of the input is one channel's formula
// over three columns. Compiling never throws; an error names a position within its formula
// and never shows the variables the brackets become; every computed value is finite or
// empty, whatever the inputs (missing, zero, a repeated time).
#include "logging/CalculatedChannels.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    if (size > 4096)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<CalculatedChannel> channels;
    for (size_t start = 0; start <= text.size() && channels.size() < 4;) {
        const size_t end = std::min(text.find('\n', start), text.size());
        channels.push_back({"C" + std::to_string(channels.size()), "", std::string(text.substr(start, end - start))});
        start = end + 1;
    }
    CalculatedChannels set({"A", "B (x) 2", "Zero"}, channels);
    for (size_t i = 0; i < channels.size(); ++i) {
        const auto& error = set.Error(i);
        if (!error)
            continue;
        const std::string& formula = channels[i].Formula;
        if (error->Message.empty() || error->Position < -1 || error->Position > static_cast<int>(formula.size()))
            std::abort();
        if (error->Message.find("__c") != std::string::npos && formula.find("__c") == std::string::npos)
            std::abort();
    }
    const double times[] = {0.0, 0.1, 0.1, 0.3, 0.2};
    for (int s = 0; s < 5; ++s) {
        const std::vector<std::optional<double>> inputs = {
            s * 1.5 - 2.0, s == 2 ? std::nullopt : std::optional<double>(1e308 * (s - 3)), 0.0};
        for (const std::optional<double>& value : set.Evaluate(times[s], inputs)) {
            if (value && !std::isfinite(*value))
                std::abort();
        }
    }
    return 0;
}
