#pragma once
// Small text helpers every layer uses: comparisons that ignore the letter case of ASCII
// letters (names in the settings file, port names, catalogue entries) and folder names
// with their trailing "/". Pure functions, any thread.
#include <string>
#include <string_view>

namespace tessek {

// Equal when equal after upper-casing ASCII letters ("ComPort" and "COMPORT").
bool SameText(std::string_view a, std::string_view b);
// Text order after upper-casing ASCII letters, so "COM10" comes before "com2".
bool LessNoCase(std::string_view a, std::string_view b);
// `text` with its ASCII letters upper-cased; other bytes unchanged.
std::string UpperAscii(std::string text);
// `folder` with exactly one trailing "/" added when it has none ("" gives "/").
std::string WithSlash(std::string folder);

}  // namespace tessek
