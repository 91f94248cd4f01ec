#include "logging/CalculatedChannels.h"

#include "logging/ColumnNames.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>

namespace tessek {

std::vector<CalculatedChannel> LoadCalculatedChannels(const IniFile& ini)
{
    std::vector<CalculatedChannel> channels;
    for (const auto& [key, formula] : ini.ReadSection(kCalculatedSection)) {
        ColumnHeader header = SplitColumnHeader(key);
        channels.push_back({std::move(header.Name), std::move(header.Unit), formula});
    }
    return channels;
}

void SaveCalculatedChannels(IniFile& ini, const std::vector<CalculatedChannel>& channels)
{
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(channels.size());
    for (const CalculatedChannel& channel : channels)
        entries.emplace_back(ColumnHeaderText({channel.Name, channel.Unit}), channel.Formula);
    ini.WriteSection(kCalculatedSection, entries);
}

CalculatedChannels::CalculatedChannels(std::vector<std::string> inputNames, std::vector<CalculatedChannel> channels)
    : inputNames_(std::move(inputNames)), channels_(std::move(channels))
{
    const size_t inputs = inputNames_.size();
    formulas_.resize(channels_.size());
    errors_.resize(channels_.size());
    current_.resize(inputs + channels_.size());
    history_.resize(inputs + channels_.size());
    const auto indexOf = [this](const std::string& name, size_t before) -> std::optional<size_t> {
        const std::vector<std::string> names = NamesFor(before);
        const auto found = std::find_if(names.begin(), names.end(), [&](const auto& n) { return SameText(n, name); });
        return found == names.end() ? std::nullopt : std::optional<size_t>(found - names.begin());
    };
    for (size_t i = 0; i < channels_.size(); ++i) {
        const std::string& name = channels_[i].Name;
        if (name.empty()) {
            errors_[i] = FormulaError{"A calculated channel needs a name"};
            continue;
        }
        if (name.find_first_of("[]=") != std::string::npos) {
            errors_[i] = FormulaError{"A channel's name may not hold \"[\", \"]\" or \"=\""};
            continue;
        }
        if (indexOf(name, i)) {
            errors_[i] = FormulaError{"The name \"" + name + "\" is already taken by another column"};
            continue;
        }
        const ChannelLookup lookup = [&](const std::string& used) -> std::variant<size_t, std::string> {
            if (const auto index = indexOf(used, i))
                return *index;
            if (SameText(used, name))
                return "\"[" + used + "]\" is this channel itself";
            if (indexOf(used, channels_.size()))
                return "\"[" + used + "]\" comes below this channel; a formula can use only the channels above it";
            return "Unknown channel \"[" + used + "]\"";
        };
        auto compiled = Formula::Compile(channels_[i].Formula, lookup);
        if (auto* error = std::get_if<FormulaError>(&compiled)) {
            errors_[i] = std::move(*error);
            continue;
        }
        formulas_[i] = std::move(std::get<Formula>(compiled));
        for (const FormulaInput& input : formulas_[i]->Inputs()) {
            const size_t depth = input.What == FormulaInput::Kind::Value    ? 0
                                 : input.What == FormulaInput::Kind::Smooth ? static_cast<size_t>(input.Samples)
                                                                            : 2;
            history_[input.Channel].Depth = std::max(history_[input.Channel].Depth, depth);
        }
    }
}

std::string CalculatedChannels::ErrorText(size_t index) const
{
    return errors_[index] ? channels_[index].Name + ": " + errors_[index]->Message : std::string();
}

bool CalculatedChannels::AllCompiled() const
{
    return std::none_of(errors_.begin(), errors_.end(), [](const auto& e) { return e.has_value(); });
}

std::vector<std::string> CalculatedChannels::NamesFor(size_t index) const
{
    std::vector<std::string> names = inputNames_;
    for (size_t i = 0; i < index && i < channels_.size(); ++i)
        names.push_back(channels_[i].Name);
    return names;
}

std::span<const std::optional<double>> CalculatedChannels::Evaluate(double time,
                                                                    std::span<const std::optional<double>> inputs)
{
    if (lastTime_ && time < *lastTime_)
        Reset();
    lastTime_ = time;
    const size_t inputCount = inputNames_.size();
    const auto record = [&](size_t channel, std::optional<double> value) {
        current_[channel] = value;
        History& h = history_[channel];
        if (h.Depth == 0)
            return;
        h.Samples.emplace_back(time, value);
        if (h.Samples.size() > h.Depth)
            h.Samples.pop_front();
    };
    for (size_t k = 0; k < inputCount; ++k)
        record(k, k < inputs.size() ? inputs[k] : std::nullopt);
    for (size_t i = 0; i < channels_.size(); ++i) {
        std::optional<double> value;
        if (formulas_[i]) {
            const std::vector<FormulaInput>& reads = formulas_[i]->Inputs();
            arguments_.resize(reads.size());
            bool complete = true;
            for (size_t a = 0; a < reads.size() && complete; ++a) {
                const std::optional<double> v = Read(reads[a]);
                complete = v.has_value();
                arguments_[a] = v.value_or(0);
            }
            if (complete)
                value = formulas_[i]->Evaluate(arguments_);
        }
        record(inputCount + i, value);
    }
    return std::span<const std::optional<double>>(current_).subspan(inputCount);
}

std::optional<double> CalculatedChannels::Read(const FormulaInput& input) const
{
    const auto& samples = history_[input.Channel].Samples;
    const size_t n = samples.size();
    switch (input.What) {
        case FormulaInput::Kind::Value:
            return current_[input.Channel];
        case FormulaInput::Kind::Previous:
            return n >= 2 ? samples[n - 2].second : std::nullopt;
        case FormulaInput::Kind::Rate: {
            if (n < 2 || !samples[n - 2].second || !samples[n - 1].second)
                return std::nullopt;
            const double dt = samples[n - 1].first - samples[n - 2].first;
            return dt > 0 ? std::optional<double>((*samples[n - 1].second - *samples[n - 2].second) / dt)
                          : std::nullopt;
        }
        case FormulaInput::Kind::Smooth: {
            double sum = 0;
            int count = 0;
            for (size_t k = n - std::min(n, static_cast<size_t>(input.Samples)); k < n; ++k) {
                if (samples[k].second) {
                    sum += *samples[k].second;
                    ++count;
                }
            }
            return count ? std::optional<double>(sum / count) : std::nullopt;
        }
    }
    return std::nullopt;
}

void CalculatedChannels::Reset()
{
    for (History& h : history_)
        h.Samples.clear();
    std::fill(current_.begin(), current_.end(), std::nullopt);
    lastTime_.reset();
}

}  // namespace tessek
