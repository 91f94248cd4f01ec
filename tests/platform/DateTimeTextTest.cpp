// The date and time of the log's start line and the adaptives title: one byte per
// character, so that the text area and the saved file show the same text.
#include "platform/DateTimeText.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

TEST(DateTimeText, LocaleFormatsWhereLatin1CanHoldThemNumbersElsewhere)
{
    const QDateTime at(QDate(2026, 5, 12), QTime(13, 7, 24));
    const struct {
        const char* locale;
        const char* expected;
    } rows[] = {
        {"en_US", "5/12/26 1:07:24 PM"},  {"ja_JP", "2026/05/12 13:07:24"},  // the time's 時, 分 and 秒 are not Latin-1
        {"ko_KR", "26. 5. 12. 13:07:24"}, {"el_GR", "12/5/26 13:07:24"},     // nor is the Greek PM
        {"ar_EG", "2026-05-12 13:07:24"},                                    // nor are Arabic-Indic digits
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.locale);
        EXPECT_EQ(DateTimeText(QLocale(row.locale), at), row.expected);
        // And back, as a TempLog's start line is read.
        EXPECT_EQ(ParseDateTimeText(QLocale(row.locale), row.expected), at);
    }
    EXPECT_EQ(ParseDateTimeText(QLocale("en_US"), "2026-05-12 13:07:24"), at);
    EXPECT_EQ(ParseDateTimeText(QLocale("en_US"), "1/2/69 1:00:00 AM"), QDateTime(QDate(2069, 1, 2), QTime(1, 0)));
    EXPECT_EQ(ParseDateTimeText(QLocale("de_DE"), "yesterday"), std::nullopt);
}

}  // namespace
}  // namespace tessek
