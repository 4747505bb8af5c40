#include "workers/ExportMessagesTxt.h"

#include "app/ClockStyle.h"
#include "kik/KikRules.h"

namespace {

constexpr int DateWidth = 30;
constexpr int FlagWidth = 6;
constexpr int NameWidth = 40;

}   // namespace

ExportMessagesTxt::ExportMessagesTxt(const QString &filePath, EmojiStyle emoji, ChatColumn chatColumn)
    : AbsTextFileExport(filePath, emoji)
    , m_chatColumn(chatColumn)
{
}

void ExportMessagesTxt::writeHeader()
{
    put(QStringLiteral("Date").leftJustified(DateWidth));
    put(QStringLiteral("Flag").leftJustified(FlagWidth));
    if (m_chatColumn == ChatColumn::With)
        put(QStringLiteral("Chat").leftJustified(NameWidth));
    put(QStringLiteral("Name").leftJustified(NameWidth));
    put(QLatin1StringView("Message\n"));
}

void ExportMessagesTxt::write(const KikMessage *message)
{
    QString text = messageText(message);
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString name = nameColumn(message);

    put(shortMessageTime(message->ts).leftJustified(DateWidth));
    put((message->was_me ? QStringLiteral("To") : QStringLiteral("From")).leftJustified(FlagWidth));
    if (m_chatColumn == ChatColumn::With) {
        const KikUser *chatUser = message->chat ? message->chat->user : nullptr;
        put((chatUser ? userDisplayName(chatUser) : QString()).leftJustified(NameWidth));
    }
    if (!name.isNull())
        put(name.leftJustified(NameWidth));
    put(text);
    put('\n');
    flushIfFull();
}
