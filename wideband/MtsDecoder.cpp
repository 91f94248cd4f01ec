#include "wideband/MtsDecoder.h"

namespace tessek {

namespace {

constexpr uint8_t kHeaderMask = 0xA2;  // 1 . 1 . . . 1 . in a header's first byte
constexpr uint8_t kDataPacket = 0x10;  // D
constexpr uint8_t kLambdaMask = 0xE2;  // 0 1 0 . . . 1 . in a lambda channel's first byte
constexpr uint8_t kLambdaWord = 0x42;
constexpr uint8_t kHighBit = 0x80;

bool HeaderStart(uint8_t byte)
{
    return (byte & kHeaderMask) == kHeaderMask;
}

// The lambda channel whose four bytes begin at `p`.
void DecodeLambda(const uint8_t* p, WidebandReading& reading)
{
    const int function = (p[0] >> 2) & 0x07;
    const int af = ((p[0] & 0x01) << 7) | (p[1] & 0x7F);
    const int l = ((p[2] & 0x3F) << 7) | (p[3] & 0x7F);
    reading.Detail = static_cast<uint16_t>(l);
    switch (function) {
        case 0:
            reading.Status = WidebandStatus::Valid;
            reading.Lambda = l * 0.001 + 0.5;
            reading.Afr = reading.Lambda * af / 10.0;
            reading.Detail = 0;
            break;
        case 1:
            reading.Status = WidebandStatus::O2Level;
            break;
        case 2:  // free-air calibration
        case 5:  // heater calibration
            reading.Status = WidebandStatus::Calibrating;
            break;
        case 3:
            reading.Status = WidebandStatus::NeedsCalibration;
            break;
        case 4:
            reading.Status = WidebandStatus::WarmingUp;
            break;
        default:  // 6: an error code; 7 is reserved and means nothing usable either
            reading.Status = WidebandStatus::Error;
            break;
    }
}

}  // namespace

std::optional<WidebandReading> MtsDecoder::DecodePacket(const std::vector<uint8_t>& packet, uint32_t timeMs)
{
    if (packet.size() < 2 || (packet[0] & kDataPacket) == 0)
        return std::nullopt;
    WidebandReading reading;
    reading.TimeMs = timeMs;
    bool lambda = false;
    for (size_t at = 2; at + 1 < packet.size();) {
        const uint8_t high = packet[at];
        if ((high & kLambdaMask) == kLambdaWord && at + 3 < packet.size()) {
            if (!lambda)
                DecodeLambda(&packet[at], reading);
            lambda = true;
            at += 4;
        } else {
            reading.Aux.push_back(static_cast<uint16_t>(((high & 0x07) << 7) | (packet[at + 1] & 0x7F)));
            at += 2;
        }
    }
    if (!lambda && reading.Aux.empty())
        return std::nullopt;
    return reading;
}

void MtsDecoder::Feed(const uint8_t* data, size_t size, uint32_t timeMs, std::vector<WidebandReading>& out)
{
    for (size_t i = 0; i < size; ++i) {
        replay_.push_back(data[i]);
        while (!replay_.empty()) {
            const uint8_t byte = replay_.back();
            replay_.pop_back();
            Step(byte, timeMs, out);
        }
    }
}

void MtsDecoder::Reset()
{
    packet_.clear();
    expected_ = 0;
    adjacent_ = false;
    holding_ = false;
    held_.reset();
    replay_.clear();
}

void MtsDecoder::Step(uint8_t byte, uint32_t timeMs, std::vector<WidebandReading>& out)
{
    if (packet_.empty()) {
        if (HeaderStart(byte))
            packet_.push_back(byte);
        else
            Skip();
        return;
    }
    // A header's second byte has bit 7 set, a payload byte has it clear. A first byte
    // without its second was no header (nothing lost); a payload byte with bit 7 set
    // breaks the packet.
    const bool inHeader = packet_.size() == 1;
    if (((byte & kHighBit) != 0) != inHeader) {
        if (!inHeader)
            ++rejected_;
        Break(byte);
        return;
    }
    packet_.push_back(byte);
    if (packet_.size() == 2) {
        const size_t words = ((packet_[0] & 0x01) << 7) | (byte & 0x7F);
        expected_ = 2 + 2 * words;
        HeaderFound(out);
    }
    if (packet_.size() == expected_)
        Complete(timeMs);
}

void MtsDecoder::HeaderFound(std::vector<WidebandReading>& out)
{
    // The held packet is followed by a header where its length said: it was whole. (When
    // bytes lay in between, Skip has thrown it away already.)
    if (adjacent_ && holding_ && held_)
        out.push_back(std::move(*held_));
    holding_ = false;
    held_.reset();
    adjacent_ = false;
}

void MtsDecoder::Complete(uint32_t timeMs)
{
    held_ = DecodePacket(packet_, timeMs);
    holding_ = true;
    packet_.clear();
    expected_ = 0;
    adjacent_ = true;
}

void MtsDecoder::Break(uint8_t byte)
{
    replay_.push_back(byte);
    for (size_t i = packet_.size() - 1; i >= 1; --i)
        replay_.push_back(packet_[i]);
    packet_.clear();
    expected_ = 0;
    Skip();
}

void MtsDecoder::Skip()
{
    if (holding_)
        ++rejected_;  // no header where the held packet's length said one would be
    adjacent_ = false;
    holding_ = false;
    held_.reset();
}

}  // namespace tessek
