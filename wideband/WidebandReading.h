#pragma once
// One reading of a wideband O2 controller as a decoder makes it from the controller's
// stream: when it came, what the controller says about its sensor, and the air-fuel ratio
// and lambda when they are a measurement. Plain data and pure texts; any thread.
#include <cstdint>
#include <string>
#include <vector>

namespace tessek {

// What the controller says about its reading. Only Valid carries AFR and lambda; Detail
// holds what the others carry instead.
enum class WidebandStatus : uint8_t {
    Valid,
    WarmingUp,         // the sensor heats up; Detail: its temperature in 1/10 % of operating
    Calibrating,       // a free-air or heater calibration runs; Detail: the controller's value
    NeedsCalibration,  // the controller asks for a free-air calibration
    O2Level,           // in free air; Detail: the oxygen level in 1/10 %
    Error,             // Detail: the controller's error code
    NoData,            // the packet carried no lambda channel
};

struct WidebandReading {
    uint32_t TimeMs = 0;  // tick at which the bytes that completed it were handed over
    WidebandStatus Status = WidebandStatus::NoData;
    double Afr = 0;     // air-fuel ratio, only when Valid
    double Lambda = 0;  // only when Valid
    uint16_t Detail = 0;
    std::vector<uint16_t> Aux;  // the aux channels' 10-bit counts (0 to 1023), in order

    bool Valid() const { return Status == WidebandStatus::Valid; }
};

// The status in a word or two, as a log column shows it: "valid", "warming up",
// "calibrating", "needs calibration", "O2 level", "error", "no data".
const char* StatusName(WidebandStatus status);

// The reading as a person reads it: "12.4 AFR, valid"; "warming up"; "error 3";
// "O2 level 20.9 %"; the status name otherwise.
std::string DescribeReading(const WidebandReading& reading);

}  // namespace tessek
