#pragma once
// The local date and time as the text area and the log files show them: the locale's
// short date format, a blank, its long time format without the time zone.
//
// The text area and the files hold one byte per character (Latin-1), so the text is
// Latin-1 bytes; a part with a character beyond Latin-1 (Japanese time units, Arabic-Indic
// digits, a Greek "PM") is written as numbers instead: "2026-05-12" or "13:07:24".
// Any thread.
#include <QDateTime>
#include <QLocale>

#include <optional>
#include <string>
#include <string_view>

namespace tessek {

// `at` as text in `locale`.
std::string DateTimeText(const QLocale& locale, const QDateTime& at);

// The local date and time a text of DateTimeText in `locale` stands for (seconds are the
// finest part it has; a two-digit year is taken in 1970 to 2069); nothing when the text
// is not one.
std::optional<QDateTime> ParseDateTimeText(const QLocale& locale, std::string_view text);

}  // namespace tessek
