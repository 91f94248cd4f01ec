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

}  // namespace

std::string DateTimeText(const QLocale& locale, const QDateTime& at)
{
    QString date = locale.toString(at.date(), QLocale::ShortFormat);
    if (!IsLatin1(date))
        date = at.date().toString("yyyy-MM-dd");
    // The long time format without its time zone: hours, minutes and seconds only.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression("\\s*t+\\s*"));
    QString time = locale.toString(at.time(), timeFormat.trimmed());
    if (!IsLatin1(time))
        time = at.time().toString("HH:mm:ss");
    return (date + " " + time).toLatin1().toStdString();
}

}  // namespace tessek
