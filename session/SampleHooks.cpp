#include "session/SampleHooks.h"

#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <exception>
#include <span>

namespace tessek {

std::vector<RunColumn> CalculatedColumns::Start(const std::vector<RunColumn>& logged)
{
    std::vector<std::string> names;
    names.reserve(logged.size());
    for (const RunColumn& column : logged)
        names.push_back(column.Name);
    inputs_ = names.size();
    std::vector<CalculatedChannel> wanted;
    if (!settingsFile_.empty()) {
        try {
            wanted = LoadCalculatedChannels(IniFile(settingsFile_));
        } catch (const std::exception&) {
            // Settings that cannot be read add no channels; the log still plays.
        }
    }
    std::erase_if(wanted, [&](const CalculatedChannel& channel) {
        return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, channel.Name); });
    });
    channels_ = CalculatedChannels(std::move(names), std::move(wanted));
    std::vector<RunColumn> columns;
    for (const CalculatedChannel& channel : channels_.Channels())
        columns.push_back({channel.Name, channel.Unit, kDecimals, false});
    return columns;
}

void CalculatedColumns::Add(RunSample& sample)
{
    const std::span<const std::optional<double>> inputs(sample.Values.data(), std::min(inputs_, sample.Values.size()));
    const auto values = channels_.Evaluate(sample.Time, inputs);
    sample.Values.insert(sample.Values.end(), values.begin(), values.end());
}

}  // namespace tessek
