#pragma once

#include <QString>
#include <stdexcept>

struct sqlite3;

// The runtime error of a failed engine call: the engine's own message first, then (escaped,
// shortened) what was being worked on, so the text stays readable as rich text.
std::runtime_error sqliteError(sqlite3 *db, const QString &context = QString());
std::runtime_error sqliteError(const QString &message, const QString &context);
