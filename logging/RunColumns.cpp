#include "logging/RunColumns.h"

#include "logging/ColumnNames.h"
#include "platform/Hex.h"

#include <algorithm>

namespace tessek {

namespace {

constexpr int kFigureDecimals = 2;

bool Taken(const std::vector<RunColumn>& columns, const std::string& name)
{
    return std::any_of(columns.begin(), columns.end(), [&](const RunColumn& c) { return c.Name == name; });
}

void AddColumn(std::vector<RunColumn>& columns, const std::string& name, std::string unit, int decimals, bool hasRaw)
{
    std::string unique = name;
    for (int n = 2; Taken(columns, unique); ++n)
        unique = name + " " + std::to_string(n);
    columns.push_back({unique, std::move(unit), decimals, hasRaw});
}

std::optional<double> Figure(double value)
{
    return RoundAsPrinted(value, kFigureDecimals);
}

}  // namespace

ColumnLabel SlotColumnLabel(uint8_t address, const DisplayTextLookup& displayText)
{
    const ParameterRow& row = ParameterFor(address);
    if (!row.Column.empty())
        return {std::string(row.Column), std::string(row.Unit)};
    std::string name = "$";
    name += ByteToHex(address);
    const std::string text = displayText ? displayText(name) : std::string();
    return {text.empty() ? name : text, std::string(row.Unit)};
}

std::vector<RunColumn> RunColumnsFor(std::span<const uint8_t> slotAddresses, const DisplayTextLookup& displayText,
                                     bool performance)
{
    std::vector<RunColumn> columns;
    for (const uint8_t address : slotAddresses) {
        const ParameterRow& row = ParameterFor(address);
        if (row.Kind == DecoderKind::Skip)
            continue;
        ColumnLabel label = SlotColumnLabel(address, displayText);
        AddColumn(columns, label.Name, std::move(label.Unit), row.Decimals, row.RawColumn);
        for (int i = 0; i < row.DerivedCount; ++i) {
            const DerivedColumn& derived = row.Derived[static_cast<size_t>(i)];
            AddColumn(columns, std::string(derived.Column), std::string(derived.Unit), derived.Decimals, false);
        }
    }
    if (performance) {
        AddColumn(columns, std::string(kAccelerationColumn), std::string(kAccelerationUnit), kFigureDecimals, false);
        AddColumn(columns, std::string(kPowerColumn), std::string(kPowerUnit), kFigureDecimals, false);
        AddColumn(columns, std::string(kTorqueColumn), std::string(kTorqueUnit), kFigureDecimals, false);
    }
    return columns;
}

RunSample MakeRunSample(int32_t t, const std::vector<SlotReading>& slots, bool performance,
                        const std::optional<PerformanceFigures>& figures, int requests, int missed)
{
    RunSample sample;
    sample.Time = t / 1000.0;
    sample.Requests = requests;
    sample.Missed = missed;
    for (const SlotReading& slot : slots) {
        const std::optional<DecodedValue>& value = slot.Value;
        sample.Values.emplace_back(value ? std::optional<double>(value->Value) : std::nullopt);
        sample.Raw.emplace_back(value ? std::optional<int32_t>(value->Raw) : std::nullopt);
        sample.AnsweredAt.emplace_back(value ? slot.AnsweredAt : std::nullopt);
        for (int i = 0; i < slot.DerivedCount; ++i) {
            sample.Values.emplace_back(value ? std::optional<double>(value->Derived[static_cast<size_t>(i)])
                                             : std::nullopt);
            sample.Raw.emplace_back(std::nullopt);
            sample.AnsweredAt.emplace_back(value ? slot.AnsweredAt : std::nullopt);
        }
    }
    if (performance) {
        sample.Values.push_back(figures ? Figure(figures->Acceleration) : std::nullopt);
        sample.Values.push_back(figures ? Figure(figures->Horsepower) : std::nullopt);
        sample.Values.push_back(figures && figures->Torque ? Figure(*figures->Torque) : std::nullopt);
        sample.Raw.resize(sample.Values.size());
        sample.AnsweredAt.resize(sample.Values.size());
    }
    return sample;
}

}  // namespace tessek
