#pragma once

#include "app/Export.h"

#include <QDate>
#include <QString>

#include <functional>

// Daily log files "log-yyyyMMdd.txt" in one folder; keeps the `limit` newest files.
// Safe to call from every thread: each line is appended whole. Debug lines are also echoed
// to stdout unless echoDebug is false (the command-line tool keeps stdout for its results).
// A line that repeats the one before is not written again; how often it came is written with
// the next different line.
PARLEWICK_APP_EXPORT void setupLogging(const QString &folder, int limit = 10, bool echoDebug = true);
// The day the next log file is named after: today, unless a test fixes it (empty: today again).
PARLEWICK_APP_EXPORT void setLogClock(std::function<QDate()> today);
