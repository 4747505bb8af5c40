#pragma once

#include "app/Export.h"

#include <QString>

#include <exception>
#include <stdexcept>

// The program's error: what went wrong in the user's words, as plain text whose lines are
// separated by "\n". No layer below the window adds markup; the window escapes the text and
// turns its line breaks into its own where it shows rich text, the command-line tool prints
// it as it is. A std::runtime_error, so every handler of those takes it too.
class PARLEWICK_APP_EXPORT AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &text);
    QString text() const { return QString::fromUtf8(what()); }
};

// Raises an AppError with the text.
[[noreturn]] PARLEWICK_APP_EXPORT void failWith(const QString &text);

// The text of any error: an AppError's own, or another exception's UTF-8 what().
PARLEWICK_APP_EXPORT QString errorText(const std::exception &error);
