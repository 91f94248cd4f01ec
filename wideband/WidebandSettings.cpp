#include "wideband/WidebandSettings.h"

#include "platform/IniFile.h"
#include "wideband/MtsDecoder.h"
#include "wideband/TextDecoder.h"

namespace tessek {

bool ValidStoich(double stoich)
{
    return stoich >= WidebandSettings::kMinStoich && stoich <= WidebandSettings::kMaxStoich;
}

bool ValidTextBaud(int32_t baud)
{
    return baud >= WidebandSettings::kMinBaud && baud <= WidebandSettings::kMaxBaud;
}

int32_t WidebandSettings::LineRate() const
{
    switch (Protocol) {
        case WidebandProtocol::Mts:
            return MtsDecoder::kBaud;
        case WidebandProtocol::Aem:
            return TextDecoder::kAemBaud;
        case WidebandProtocol::Text:
            break;
    }
    return Baud;
}

void WidebandSettings::Load(const IniFile& ini)
{
    Port = ini.ReadString(kWidebandSection, "Port", "");
    Protocol = ParseProtocol(ini.ReadString(kWidebandSection, "Protocol", "")).value_or(WidebandProtocol::Mts);
    Stoich = ini.ReadFloat(kWidebandSection, "Stoich", kDefaultStoich);
    if (!ValidStoich(Stoich))
        Stoich = kDefaultStoich;
    Baud = ini.ReadInteger(kWidebandSection, "Baud", kDefaultTextBaud);
    if (!ValidTextBaud(Baud))
        Baud = kDefaultTextBaud;
}

void WidebandSettings::Store(IniFile& ini) const
{
    ini.WriteString(kWidebandSection, "Port", Port);
    ini.WriteString(kWidebandSection, "Protocol", ProtocolName(Protocol));
    ini.WriteFloat(kWidebandSection, "Stoich", Stoich);
    if (Protocol == WidebandProtocol::Text)
        ini.WriteInteger(kWidebandSection, "Baud", Baud);
}

}  // namespace tessek
