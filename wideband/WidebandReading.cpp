#include "wideband/WidebandReading.h"

#include <cstdio>

namespace tessek {

const char* StatusName(WidebandStatus status)
{
    switch (status) {
        case WidebandStatus::Valid:
            return "valid";
        case WidebandStatus::WarmingUp:
            return "warming up";
        case WidebandStatus::Calibrating:
            return "calibrating";
        case WidebandStatus::NeedsCalibration:
            return "needs calibration";
        case WidebandStatus::O2Level:
            return "O2 level";
        case WidebandStatus::Error:
            return "error";
        case WidebandStatus::NoData:
            break;
    }
    return "no data";
}

std::string DescribeReading(const WidebandReading& reading)
{
    char text[64];
    switch (reading.Status) {
        case WidebandStatus::Valid:
            std::snprintf(text, sizeof text, "%.1f AFR, valid", reading.Afr);
            return text;
        case WidebandStatus::O2Level:
            std::snprintf(text, sizeof text, "O2 level %.1f %%", reading.Detail / 10.0);
            return text;
        case WidebandStatus::Error:
            return "error " + std::to_string(reading.Detail);
        default:
            return StatusName(reading.Status);
    }
}

}  // namespace tessek
