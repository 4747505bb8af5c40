#pragma once

#include "kik/Export.h"
#include "kik/KikChat.h"
#include "kik/KikEmoji.h"
#include "kik/KikMessage.h"
#include "kik/KikUser.h"

#include <QDateTime>
#include <QString>
#include <functional>

class CFType;

// The small rules every consumer of Kik records applies.

// Names show the old carrier emoji as the standard ones.
PARLEWICK_KIK_EXPORT QString userDisplayName(const KikUser *user);
// The name a chat goes by in the tree, in file names and on the command line.
PARLEWICK_KIK_EXPORT QString chatDisplayName(const KikChat *chat);
// A group's members as people read them, admins marked: "you (admin), Ann (admin), Bob" (the
// phone's owner first when the store says it administers the group); empty when none is known.
PARLEWICK_KIK_EXPORT QString groupMembersText(const KikUser *group);
// The member named above a received group message; empty where no name is shown.
PARLEWICK_KIK_EXPORT QString groupSenderName(const KikMessage *message);
// How a message's text writes emoji: as "[EMOJI]" (the default) or as the characters
// themselves, the old carrier codes as the standard emoji and Kik's emoticons as the emoji
// they are drawn as.
enum class EmojiStyle { Placeholder, Characters };
PARLEWICK_KIK_EXPORT QString messageDisplayText(const KikMessage *message, EmojiStyle style = EmojiStyle::Placeholder);
// The text a reader sees of a message, for searching: no "[IMAGE]" or "[EMOJI]" markers; emoji
// are the characters they are (the old carrier codes as the standard ones), pictures Kik draws
// over the text are left out; a card's name and texts; empty for pictures, videos, GIFs and
// stickers.
PARLEWICK_KIK_EXPORT QString messageSearchText(const KikMessage *message);
// A message whose attachment description is gone (Kik keeps the content id as its body, which
// says nothing to a reader): it is shown as missingPictureText().
PARLEWICK_KIK_EXPORT bool isMissingAttachment(const KikMessage *message);
// A card's name (its app's name; its title, or "CARD", when it has none), its texts (one a line)
// and the address it links to (empty when it names none).
PARLEWICK_KIK_EXPORT QString cardName(const KikMessage *message);
PARLEWICK_KIK_EXPORT QString cardText(const KikMessage *message);
PARLEWICK_KIK_EXPORT QString cardLink(const KikMessage *message);
PARLEWICK_KIK_EXPORT QString missingPictureText();

// Maps one render-instruction record (its text, and its image reference or null) to markup.
using RenderHandler = std::function<QString(const QString &text, const QString *image)>;
PARLEWICK_KIK_EXPORT QString applyRenderInstructions(const QString &body, const QByteArray &renderIns,
                                                     const RenderHandler &handler, bool escape);

// The one message order: close in internal id and in time -> by internal id, else by time.
// That rule is not transitive for every set of messages, and std::sort may then run past the
// list; sortMessages never does. Descending order swaps the arguments (never negate the test).
// times, when given, gets each message's ts in ms since 1970 (0 when invalid) in the new order:
// the sort reads them anyway, and converting a local time again costs as much.
PARLEWICK_KIK_EXPORT bool messageLessThan(const KikMessage *a, const KikMessage *b);
PARLEWICK_KIK_EXPORT void sortMessages(KikMessageList &messages, Qt::SortOrder order = Qt::AscendingOrder,
                                       QList<qint64> *times = nullptr);
PARLEWICK_KIK_EXPORT bool chatNewerThan(const KikChat *a, const KikChat *b);
PARLEWICK_KIK_EXPORT QString attachmentFileUrl(const KikMessage *message);
PARLEWICK_KIK_EXPORT CFType buildContentDictionary(const KikMessage *message);

// Apple reference time: seconds since 2001-01-01 00:00:00 UTC.
inline constexpr qint64 AppleEpochOffset = 978307200;
PARLEWICK_KIK_EXPORT QDateTime appleTimeToDateTime(double seconds);
PARLEWICK_KIK_EXPORT qint64 appleTimeToMSecs(double seconds);
PARLEWICK_KIK_EXPORT double msecsToAppleTime(qint64 msecs);
PARLEWICK_KIK_EXPORT double unixToAppleTime(qint64 seconds);
