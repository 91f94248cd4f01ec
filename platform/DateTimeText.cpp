#include "platform/DateTimeText.h"

#include <QRegularExpression>

namespace tessek {

namespace {

bool IsLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// The long time format without its time zone: hours, minutes and seconds only.
QString TimeFormat(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression("\\s*t+\\s*"));
    return format.trimmed();
}

}  // namespace

std::string DateTimeText(const QLocale& locale, const QDateTime& at)
{
    QString date = locale.toString(at.date(), QLocale::ShortFormat);
    if (!IsLatin1(date))
        date = at.date().toString("yyyy-MM-dd");
    QString time = locale.toString(at.time(), TimeFormat(locale));
    if (!IsLatin1(time))
        time = at.time().toString("HH:mm:ss");
    return (date + " " + time).toLatin1().toStdString();
}

std::optional<QDateTime> ParseDateTimeText(const QLocale& locale, std::string_view text)
{
    const QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    for (const QString& date : {locale.dateFormat(QLocale::ShortFormat), QStringLiteral("yyyy-MM-dd")}) {
        for (const QString& time : {TimeFormat(locale), QStringLiteral("HH:mm:ss")}) {
            QDateTime at = locale.toDateTime(s, date + " " + time);
            if (!at.isValid())
                continue;
            if (!date.contains("yyyy") && at.date().year() < 1970)
                at = at.addYears(100);
            return at;
        }
    }
    // Both parts as numbers, where the locale's own digits are not ASCII ones.
    const QDateTime at = QDateTime::fromString(s, "yyyy-MM-dd HH:mm:ss");
    return at.isValid() ? std::optional(at) : std::nullopt;
}

}  // namespace tessek
