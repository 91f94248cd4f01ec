#include "logging/RunColumns.h"

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
    switch (DecoderFor(address)) {
        case DecoderKind::ChargeTemp0:
            return {"Charge Air Temp", "F"};
        case DecoderKind::ChargeTemp1:
            return {"Raw Charge Temp", "F"};
        case DecoderKind::Mph:
            return {"Road Speed", "mph"};
        case DecoderKind::Spark:
            return {"Spark Advance", "deg"};
        case DecoderKind::Map:
            return {"MAP", "psi/-inHg"};
        case DecoderKind::Rpm:
            return {"Engine Speed", "rpm"};
        case DecoderKind::Tps:
            return {"Throttle", "%"};
        case DecoderKind::Coolant:
            return {"Coolant Temp", "F"};
        case DecoderKind::O2:
            return {"O2", "v"};
        case DecoderKind::Knock:
            return {"Knock", "v"};
        case DecoderKind::Retard:
            return {"Cyl " + std::to_string(address - 0xCD) + " Retard", "deg"};
        case DecoderKind::Skip:
        case DecoderKind::Raw:
            break;
    }
    std::string name = "$";
    name += ByteToHex(address);
    const std::string text = displayText ? displayText(name) : std::string();
    return {text.empty() ? name : text, ""};
}

std::vector<RunColumn> RunColumnsFor(std::span<const uint8_t> slotAddresses, const DisplayTextLookup& displayText,
                                     bool performance)
{
    std::vector<RunColumn> columns;
    for (const uint8_t address : slotAddresses) {
        const DecoderKind kind = DecoderFor(address);
        if (kind == DecoderKind::Skip)
            continue;
        ColumnLabel label = SlotColumnLabel(address, displayText);
        // A decoder's decimals do not depend on the bytes it decodes.
        const int decimals = DecodeValue(kind, 0, 0, 0.0f, 0.0)->Decimals;
        AddColumn(columns, label.Name, std::move(label.Unit), decimals, kind != DecoderKind::Raw);
    }
    if (performance) {
        AddColumn(columns, "Acceleration", "g", kFigureDecimals, false);
        AddColumn(columns, "Power", "hp", kFigureDecimals, false);
        AddColumn(columns, "Torque", "lb-ft", kFigureDecimals, false);
    }
    return columns;
}

RunSample MakeRunSample(int32_t t, const std::vector<DecodedValue>& slots, bool performance,
                        const std::optional<PerformanceFigures>& figures, int requests)
{
    RunSample sample;
    sample.Time = t / 1000.0;
    sample.Requests = requests;
    for (const DecodedValue& slot : slots) {
        sample.Values.emplace_back(slot.Value);
        sample.Raw.emplace_back(slot.Raw);
    }
    if (performance) {
        sample.Values.push_back(figures ? Figure(figures->Acceleration) : std::nullopt);
        sample.Values.push_back(figures ? Figure(figures->Horsepower) : std::nullopt);
        sample.Values.push_back(figures && figures->Torque ? Figure(*figures->Torque) : std::nullopt);
        sample.Raw.resize(sample.Values.size());
    }
    return sample;
}

}  // namespace tessek
