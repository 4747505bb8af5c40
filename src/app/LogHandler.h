#pragma once

#include <QString>

// Daily log files "log-yyyyMMdd.txt" in one folder; keeps the `limit` newest files.
// Safe to call from every thread: each line is appended whole.
void setupLogging(const QString &folder, int limit = 10);
