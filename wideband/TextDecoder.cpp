#include "wideband/TextDecoder.h"

#include "platform/TextNumbers.h"

namespace tessek {

std::optional<WidebandReading> TextDecoder::DecodeLine(std::string_view line, double stoich, uint32_t timeMs)
{
    const std::string_view field = line.substr(0, line.find('\t'));
    const std::optional<double> value = ParseFloat(field);
    if (!value)
        return std::nullopt;
    WidebandReading reading;
    reading.TimeMs = timeMs;
    reading.Status = WidebandStatus::Valid;
    if (*value < kLambdaBelow) {
        reading.Lambda = *value;
        reading.Afr = *value * stoich;
    } else {
        reading.Afr = *value;
        reading.Lambda = *value / stoich;
    }
    // The same bounds whichever way the value came (an AFR of 2.5 is lambda 0.17).
    if (reading.Lambda < kMinLambda || reading.Afr > kMaxAfr)
        return std::nullopt;
    return reading;
}

void TextDecoder::Feed(const uint8_t* data, size_t size, uint32_t timeMs, std::vector<WidebandReading>& out)
{
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\r' || c == '\n') {
            if (!skipping_ && !line_.empty()) {
                if (auto reading = DecodeLine(line_, stoich_, timeMs))
                    out.push_back(std::move(*reading));
                else
                    ++rejected_;
            }
            line_.clear();
            skipping_ = false;
        } else if (skipping_) {
            continue;
        } else if (line_.size() == kMaxLine) {
            ++rejected_;
            line_.clear();
            skipping_ = true;
        } else {
            line_.push_back(c);
        }
    }
}

void TextDecoder::Reset()
{
    line_.clear();
    skipping_ = true;
}

}  // namespace tessek
