#include "app/ClockStyle.h"

#include <QLocale>
#include <QRegularExpression>

#include <atomic>

namespace {

std::atomic<ClockStyle> currentStyle{ClockStyle::Default};

}   // namespace

void setClockStyle(ClockStyle style)
{
    currentStyle = style;
}

ClockStyle clockStyle()
{
    return currentStyle;
}

QString withClock(const QString &twelveHourFormat)
{
    if (clockStyle() != ClockStyle::TwentyFourHour)
        return twelveHourFormat;
    // Without "AP" Qt's "hh" counts the hours 00 to 23.
    static const QRegularExpression amPm(QStringLiteral("\\s*(AP|ap)\\b"));
    return QString(twelveHourFormat).remove(amPm);
}

QString shortMessageTime(const QDateTime &local)
{
    const QLocale locale = QLocale::system();
    switch (clockStyle()) {
    case ClockStyle::TwelveHour:
        return locale.toString(local, locale.dateFormat(QLocale::ShortFormat) + QStringLiteral(" h:mm AP"));
    case ClockStyle::TwentyFourHour:
        return locale.toString(local, locale.dateFormat(QLocale::ShortFormat) + QStringLiteral(" HH:mm"));
    case ClockStyle::Default:
        break;
    }
    return locale.toString(local, QLocale::ShortFormat);
}
