#include "session/WidebandColumns.h"

#include "logging/ColumnNames.h"
#include "wideband/WidebandInput.h"

#include <algorithm>
#include <cmath>

namespace tessek {

std::vector<RunColumn> WidebandColumns::Start(const std::vector<RunColumn>&)
{
    const auto& latest = input_.Latest();
    aux_ = latest ? latest->Aux.size() : 0;
    std::vector<RunColumn> columns = {{std::string(kAfrColumn), "", 2, false},
                                      {std::string(kLambdaColumn), "", 3, false},
                                      {std::string(kWidebandStatusColumn), "", 0, false}};
    for (size_t i = 1; i <= aux_; ++i)
        columns.push_back({std::string(kWidebandAuxPrefix) + std::to_string(i), "", 0, false});
    return columns;
}

int WidebandColumns::StatusCode(const WidebandReading& reading)
{
    switch (reading.Status) {
        case WidebandStatus::Valid:
            return 0;
        case WidebandStatus::O2Level:
            return 1;
        case WidebandStatus::Calibrating:
            return 2;
        case WidebandStatus::NeedsCalibration:
            return 3;
        case WidebandStatus::WarmingUp:
            return 4;
        case WidebandStatus::Error:
            return 6;
        case WidebandStatus::NoData:
            break;
    }
    return kNoLambdaCode;
}

uint32_t WidebandColumns::AnsweredTick(const RunSample& sample)
{
    double at = -1;
    for (const std::optional<double>& answered : sample.AnsweredAt) {
        if (answered)
            at = std::max(at, *answered);
    }
    if (at < 0)
        at = sample.Time;
    return sample.StartTick + static_cast<uint32_t>(std::lround(at * 1000));
}

void WidebandColumns::Add(RunSample& sample)
{
    const uint32_t at = AnsweredTick(sample);
    std::optional<WidebandReading> used = input_.Newest(at, kMaxAgeMs);
    int code = 0;
    if (!used) {
        const auto& latest = input_.Latest();
        if (!input_.Connected()) {
            code = kNotOpenCode;
        } else if (latest && at - latest->TimeMs <= kMaxAgeMs) {  // unsigned: one after `at` is too old
            code = StatusCode(*latest);
            used = latest;  // for its aux channels; never valid here
        } else {
            code = kTooOldCode;
        }
    }
    const bool valid = used && used->Valid();
    sample.Values.push_back(valid ? std::optional<double>(used->Afr) : std::nullopt);
    sample.Values.push_back(valid ? std::optional<double>(used->Lambda) : std::nullopt);
    sample.Values.push_back(code);
    for (size_t i = 0; i < aux_; ++i)
        sample.Values.push_back(used && i < used->Aux.size() ? std::optional<double>(used->Aux[i]) : std::nullopt);
}

}  // namespace tessek
