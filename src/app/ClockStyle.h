#pragma once

#include "app/Export.h"

#include <QDateTime>
#include <QString>

// How the times of messages are shown (list, bubbles, exports, prints): as each place has
// always shown them, or all on a 12-hour or a 24-hour clock. Set by the program from the
// user's preference; the command-line tool keeps the default. Safe to read from any thread.
enum class ClockStyle { Default, TwelveHour, TwentyFourHour };

PARLEWICK_APP_EXPORT void setClockStyle(ClockStyle style);
PARLEWICK_APP_EXPORT ClockStyle clockStyle();

// A date-and-time format given in 12-hour form ("hh:mm AP") as the current clock wants it.
PARLEWICK_APP_EXPORT QString withClock(const QString &twelveHourFormat);
// The time of a message in the message list and text exports: the system's short date and time
// by default.
PARLEWICK_APP_EXPORT QString shortMessageTime(const QDateTime &local);
