#pragma once
// The wideband controller's settings, kept in "Tessek.ini" in a section of their own:
//
//   [Wideband]
//   Port=/dev/serial/by-id/usb-...   (empty: no wideband)
//   Protocol=mts                     (mts, aem or text)
//   Stoich=14.7                      (the fuel's stoichiometric AFR: lambda x Stoich = AFR)
//   Baud=9600                        (text only)
//
// Window thread (the settings file is read and written there).
#include "wideband/WidebandDecoder.h"

#include <cstdint>
#include <string>

namespace tessek {

class IniFile;

inline constexpr const char* kWidebandSection = "Wideband";

struct WidebandSettings {
    static constexpr double kDefaultStoich = 14.7;
    static constexpr double kMinStoich = 5.0;  // methanol is 6.4
    static constexpr double kMaxStoich = 20.0;
    static constexpr int32_t kDefaultTextBaud = 9600;
    static constexpr int32_t kMinBaud = 300;
    static constexpr int32_t kMaxBaud = 1000000;

    std::string Port;  // as a port of the serial layer is named; empty: no wideband
    WidebandProtocol Protocol = WidebandProtocol::Mts;
    double Stoich = kDefaultStoich;
    int32_t Baud = kDefaultTextBaud;  // the text protocol's rate

    bool Enabled() const { return !Port.empty(); }
    // The line rate the protocol runs at (bits per second): 19200 for mts, 9600 for aem,
    // Baud for text.
    int32_t LineRate() const;

    // Reads the section; a missing or malformed key (an unknown protocol, a ratio or rate
    // out of range) gives its default. Throws std::runtime_error when the file cannot be
    // read.
    void Load(const IniFile& ini);
    // Writes Port, Protocol and Stoich, and Baud when the protocol is text; the file's
    // other lines stay as they are. Throws std::runtime_error as IniFile's writes do.
    void Store(IniFile& ini) const;
};

// Whether a value is taken (the range the settings keep); for typed values as well.
bool ValidStoich(double stoich);
bool ValidTextBaud(int32_t baud);

}  // namespace tessek
