#include "logging/RunColumns.h"

#include "link/LmLink.h"

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

ColumnLabel SlotColumnLabel(uint8_t address, const TDisplayTextLookup& displayText)
{
    switch (DecoderFor(address)) {
        case TDecoderKind::ChargeTemp0:
            return {"Charge Air Temp", "F"};
        case TDecoderKind::ChargeTemp1:
            return {"Raw Charge Temp", "F"};
        case TDecoderKind::Mph:
            return {"Road Speed", "mph"};
        case TDecoderKind::Spark:
            return {"Spark Advance", "deg"};
        case TDecoderKind::Map:
            return {"MAP", "psi/-inHg"};
        case TDecoderKind::Rpm:
            return {"Engine Speed", "rpm"};
        case TDecoderKind::Tps:
            return {"Throttle", "%"};
        case TDecoderKind::Coolant:
            return {"Coolant Temp", "F"};
        case TDecoderKind::O2:
            return {"O2", "v"};
        case TDecoderKind::Knock:
            return {"Knock", "v"};
        case TDecoderKind::Retard:
            return {"Cyl " + std::to_string(address - 0xCD) + " Retard", "deg"};
        case TDecoderKind::Skip:
        case TDecoderKind::Raw:
            break;
    }
    const std::string name = "$" + ByteToHex(address);
    const std::string text = displayText ? displayText(name) : std::string();
    return {text.empty() ? name : text, ""};
}

std::vector<RunColumn> RunColumnsFor(std::span<const uint8_t> slotAddresses, const TDisplayTextLookup& displayText,
                                     bool performance)
{
    std::vector<RunColumn> columns;
    for (const uint8_t address : slotAddresses) {
        const TDecoderKind kind = DecoderFor(address);
        if (kind == TDecoderKind::Skip)
            continue;
        ColumnLabel label = SlotColumnLabel(address, displayText);
        // A decoder's decimals do not depend on the bytes it decodes.
        const int decimals = DecodeValue(kind, 0, 0, 0.0f, 0.0)->Decimals;
        AddColumn(columns, label.Name, std::move(label.Unit), decimals, kind != TDecoderKind::Raw);
    }
    if (performance) {
        AddColumn(columns, "Acceleration", "g", kFigureDecimals, false);
        AddColumn(columns, "Power", "hp", kFigureDecimals, false);
        AddColumn(columns, "Torque", "lb-ft", kFigureDecimals, false);
    }
    return columns;
}

RunSample MakeRunSample(int32_t t, const std::vector<DecodedValue>& slots, bool performance,
                        const std::optional<TPerformanceFigures>& figures, int requests)
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
