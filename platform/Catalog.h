#pragma once
// Texts of the serial port component and its dialog, translated through the GNU gettext
// catalogue of the text domain "cport" (chosen by LANG). Without a catalogue a text is
// returned as given.
#include <string>

namespace tessek {

std::string CportText(const char* msgid);

}  // namespace tessek
