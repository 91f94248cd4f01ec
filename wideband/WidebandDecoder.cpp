#include "wideband/WidebandDecoder.h"

#include "platform/Text.h"
#include "wideband/MtsDecoder.h"
#include "wideband/TextDecoder.h"

namespace tessek {

namespace {

constexpr WidebandProtocol kProtocols[] = {WidebandProtocol::Mts, WidebandProtocol::Aem, WidebandProtocol::Text};

}  // namespace

const char* ProtocolName(WidebandProtocol protocol)
{
    switch (protocol) {
        case WidebandProtocol::Mts:
            return "mts";
        case WidebandProtocol::Aem:
            return "aem";
        case WidebandProtocol::Text:
            break;
    }
    return "text";
}

std::optional<WidebandProtocol> ParseProtocol(std::string_view name)
{
    for (const WidebandProtocol protocol : kProtocols) {
        if (SameText(name, ProtocolName(protocol)))
            return protocol;
    }
    return std::nullopt;
}

std::unique_ptr<WidebandDecoder> MakeWidebandDecoder(WidebandProtocol protocol, double stoich)
{
    if (protocol == WidebandProtocol::Mts)
        return std::make_unique<MtsDecoder>();
    return std::make_unique<TextDecoder>(stoich);
}

}  // namespace tessek
