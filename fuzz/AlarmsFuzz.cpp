// Alarm limits: every text either is refused or reads as a limit with finite bounds whose
// own text reads back as that text again; and whatever the [Alarms] section holds, loading
// never throws, and saving what was loaded loads back the same limits and beep with no new
// problem (a malformed key of a channel without a default limit is left as it is).
#include "analysis/Alarms.h"
#include "fuzz/FuzzFile.h"
#include "platform/IniFile.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// "Boost=above 14" for each limit that watches something (one without bounds is none).
std::vector<std::string> Texts(const std::vector<tessek::AlarmLimit>& limits)
{
    std::vector<std::string> texts;
    for (const tessek::AlarmLimit& limit : limits) {
        if (limit.Above || limit.Below)
            texts.push_back(limit.Channel + "=" + AlarmLimitText(limit));
    }
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const std::optional<AlarmLimit> limit = ParseAlarmLimit("Boost", text)) {
        for (const std::optional<double>& bound : {limit->Above, limit->Below}) {
            if (bound && !std::isfinite(*bound))
                std::abort();
        }
        const std::optional<AlarmLimit> again = ParseAlarmLimit("Boost", AlarmLimitText(*limit));
        if (!again || AlarmLimitText(*again) != AlarmLimitText(*limit) || again->Enabled != limit->Enabled)
            std::abort();
    }

    IniFile ini(fuzz::WriteSettings("[Alarms]\n" + text));
    const std::vector<std::string> channels = {"Boost", "O2"};
    const AlarmSettings loaded = LoadAlarmSettings(ini, channels);
    SaveAlarmSettings(ini, loaded);
    const AlarmSettings again = LoadAlarmSettings(ini, channels);
    if (Texts(again.Limits) != Texts(loaded.Limits) || again.Beep != loaded.Beep ||
        again.Problems.size() > loaded.Problems.size())
        std::abort();
    return 0;
}
