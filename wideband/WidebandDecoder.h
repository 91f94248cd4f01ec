#pragma once
// Decoders of the streams wideband controllers send: bytes in, timed readings out. They
// know nothing of the port the bytes come from; the caller says when the bytes arrived.
// One decoder serves one stream on one thread.
//
// Protocols:
// - mts: Innovate's MTS serial stream (LC-1, LC-2, LM-2 and others), 19200 baud 8N1.
// - aem: the AEM UEGO text stream, 9600 baud 8N1: one number a line; below 2 it is lambda,
//   otherwise AFR; of tab-separated fields the first counts.
// - text: any controller that prints one number a line, read as aem, at the rate the
//   settings give.
#include "wideband/WidebandReading.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace tessek {

enum class WidebandProtocol : uint8_t { Mts, Aem, Text };

// "mts", "aem", "text".
const char* ProtocolName(WidebandProtocol protocol);
// A protocol by its name in any letter case; nothing for another name.
std::optional<WidebandProtocol> ParseProtocol(std::string_view name);

class WidebandDecoder {
public:
    virtual ~WidebandDecoder() = default;

    // `size` bytes arrived at tick `timeMs`; every reading they complete is appended to
    // `out`, oldest first, each with the time of the bytes that completed it.
    virtual void Feed(const uint8_t* data, size_t size, uint32_t timeMs, std::vector<WidebandReading>& out) = 0;
    // Forgets what is half received (bytes were lost in between, e.g. while the port was
    // closed).
    virtual void Reset() = 0;

    // Packets or lines thrown away as broken or not understood since the decoder was made.
    uint32_t Rejected() const { return rejected_; }

protected:
    uint32_t rejected_ = 0;
};

// A decoder for `protocol`. `stoich` (the fuel's stoichiometric AFR, lambda x stoich = AFR)
// converts the text protocols' values; MTS packets carry their own factor.
std::unique_ptr<WidebandDecoder> MakeWidebandDecoder(WidebandProtocol protocol, double stoich);

}  // namespace tessek
