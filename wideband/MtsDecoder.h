#pragma once
// The decoder of Innovate's MTS serial stream.
//
// A packet is 16-bit words, high byte first. Its header is `1 R 1 D 0 0 1 L7`, `1 L6..L0`:
// R recording, D a data packet (others are answers to queries and give no reading), L the
// number of words that follow. Every other byte of a packet has bit 7 clear. A lambda
// channel is two words, `0 1 0 F2 F1 F0 1 AF7` `0 AF6..AF0` and `0 0 L12..L7` `0 L6..L0`:
// lambda = L x 0.001 + 0.5 and AFR = lambda x AF / 10 when the function F is 000; the
// other functions say why there is no value (WidebandStatus). Aux channels are further
// words of ten bits, `0 0 0 0 0 A9 A8 A7` `0 A6..A0`. Of several lambda channels the
// first is the reading.
//
// The stream has no checksum, so framing is all there is to trust. A payload byte with bit
// 7 set breaks the packet; nothing of a broken packet is used, and the bytes after its
// first are looked through again for a header. A packet that lost bytes may also have
// swallowed the next one's header: so a complete packet counts only when the next header
// follows right after it, and is thrown away when anything else does. Its reading keeps
// the time its own last byte came; it is handed out when the next header comes, about one
// packet (82 ms) later.
#include "wideband/WidebandDecoder.h"

#include <optional>
#include <vector>

namespace tessek {

class MtsDecoder final : public WidebandDecoder {
public:
    static constexpr int32_t kBaud = 19200;

    void Feed(const uint8_t* data, size_t size, uint32_t timeMs, std::vector<WidebandReading>& out) override;
    void Reset() override;

    // The reading of a whole packet (header included), nothing for a packet that is not a
    // data packet. The packet's framing is taken as checked. Pure.
    static std::optional<WidebandReading> DecodePacket(const std::vector<uint8_t>& packet, uint32_t timeMs);

private:
    void Step(uint8_t byte, uint32_t timeMs, std::vector<WidebandReading>& out);
    void HeaderFound(std::vector<WidebandReading>& out);
    void Complete(uint32_t timeMs);
    // The current packet is broken by `byte`: its bytes after the first, and `byte`, are
    // looked through again.
    void Break(uint8_t byte);
    // A byte that belongs to no packet.
    void Skip();

    std::vector<uint8_t> packet_;          // the packet so far, from its header's first byte
    size_t expected_ = 0;                  // its whole size, known once the header is complete
    bool adjacent_ = false;                // packet_ began right where the previous packet ended
    bool holding_ = false;                 // a complete packet waits for the next header
    std::optional<WidebandReading> held_;  // what it gives
    std::vector<uint8_t> replay_;          // bytes to look through again, last first
};

}  // namespace tessek
