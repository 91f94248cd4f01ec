#pragma once
// Texts of the serial port component and its dialog, translated through the GNU gettext
// catalogue of the text domain "cport" in the language the environment asks for
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG). Without a catalogue for that language a text is
// returned as given. Any thread may call it.
#include <string>

namespace tessek {

std::string CportText(const char* msgid);

// The folder the catalogues are looked for in (with a trailing "/"): relative to the
// running executable's folder, so that a program in the build tree finds the build tree's
// catalogues and an installed one the installed catalogues (<prefix>/share/locale).
// Empty when the executable's folder is unknown; gettext's own default folder is used then.
std::string CatalogueFolder();

}  // namespace tessek
