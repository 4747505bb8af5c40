#pragma once

#include "kik/Export.h"

#include <QString>
#include <QStringList>

#include <functional>

// Emoji in Kik's texts: which runs of a text are one emoji, and what they stand for.

// Maps an emoji's code to its replacement. A code is the upper-case hexadecimal code point
// (E415, 2705, 1F604); a sequence drawn as one picture (skin tone, people joined, flag, keycap,
// emoji presentation) gives its code points joined by '-' without presentation selectors
// (1F44D-1F3FD, 1F468-200D-1F469-200D-1F467, 1F1EF-1F1F5, 23-20E3; 2764 for U+2764 U+FE0F).
using EmojiHandler = std::function<QString(const QString &code)>;

// Replaces each emoji of the text by the handler's result, in two passes. First the emoji of
// one UTF-16 unit: the listed symbols and the old carrier codes U+E000..U+E537. Then those of
// surrogate pairs D83C and D83D, and any other symbol that a presentation selector, a skin tone
// or a joiner marks as emoji. Each emoji takes with it the sequence it begins. The second pass
// also sees what the handler gave in the first.
PARLEWICK_KIK_EXPORT QString replaceEmoji(const QString &text, const EmojiHandler &handler);

// Where replaceEmoji finds emoji in the text: start and length of each, in order.
struct PARLEWICK_KIK_EXPORT EmojiSpan
{
    qsizetype start = 0;
    qsizetype length = 0;
};
PARLEWICK_KIK_EXPORT QList<EmojiSpan> emojiSpans(const QString &text);

// The code of the text when the whole text is exactly one emoji, else empty.
PARLEWICK_KIK_EXPORT QString wholeEmojiCode(const QString &text);

// The characters a code stands for, as emoji: symbols that also have a text style get the
// emoji presentation selector, old carrier codes become the standard emoji.
PARLEWICK_KIK_EXPORT QString emojiCodeText(const QString &code);

// The text with the old carrier emoji (private use codes) replaced by the standard ones; other
// private use codes stay as they are.
PARLEWICK_KIK_EXPORT QString standardEmoji(const QString &text);

// Kik's text emoticons (":)", "<3") and the emoji each stands for (empty for other texts).
PARLEWICK_KIK_EXPORT const QStringList &kikEmoticons();
PARLEWICK_KIK_EXPORT QString emoticonEmoji(const QString &emoticon);
