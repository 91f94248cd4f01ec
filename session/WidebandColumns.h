#pragma once
// The wideband controller's columns in every sample of a run: "AFR", "Lambda", "WB Status"
// and, when the controller sends aux channels, "WB Aux 1", "WB Aux 2", ... (their 10-bit
// counts). Each sample takes the newest valid reading that came at most kMaxAgeMs before
// the LM answered for it (the latest answer of the sample; its time when it has none); with
// none that recent, AFR and Lambda are empty and WB Status says why. Readings are never
// shifted by the sensor's delay: the log keeps what was measured, and when.
//
// WB Status, a number in the data logs:
//   0 valid              1 O2 level (free air)    2 calibrating
//   3 needs calibration  4 warming up             6 error
//   7 a packet without lambda
//   8 no reading within kMaxAgeMs (the controller is quiet or its readings are old)
//   9 the port is not open (unplugged, not there yet, or refused)
// 0 to 6 are the function codes of the MTS stream (a heater calibration counts as 2).
//
// Window thread only; the input's clock must be the link's (the sample's StartTick).
#include "session/SampleHooks.h"

#include <cstdint>

namespace tessek {

class WidebandInput;
struct WidebandReading;

class WidebandColumns final : public SampleHook {
public:
    static constexpr uint32_t kMaxAgeMs = 250;
    static constexpr int kNoLambdaCode = 7;
    static constexpr int kTooOldCode = 8;
    static constexpr int kNotOpenCode = 9;

    explicit WidebandColumns(const WidebandInput& input) : input_(input) {}
    // The aux columns are those of the newest reading when the run starts.
    std::vector<RunColumn> Start(const std::vector<RunColumn>& logged) override;
    void Add(RunSample& sample) override;

    // The status number of a reading. Pure.
    static int StatusCode(const WidebandReading& reading);
    // The tick (ms of the link's clock) a sample's values were answered at. Pure.
    static uint32_t AnsweredTick(const RunSample& sample);

private:
    const WidebandInput& input_;
    size_t aux_ = 0;
};

}  // namespace tessek
