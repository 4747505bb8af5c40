#include "workers/ExportMessagesTxt.h"

#include "app/ClockStyle.h"
#include "kik/KikRules.h"

namespace {

constexpr int DateWidth = 30;
constexpr int FlagWidth = 6;
constexpr int NameWidth = 40;

}   // namespace

ExportMessagesTxt::ExportMessagesTxt(const QString &filePath, EmojiStyle emoji)
    : AbsTextFileExport(filePath, emoji)
{
}

void ExportMessagesTxt::writeHeader()
{
    m_stream << QStringLiteral("Date").leftJustified(DateWidth) << QStringLiteral("Flag").leftJustified(FlagWidth)
             << QStringLiteral("Name").leftJustified(NameWidth) << QStringLiteral("Message") << '\n';
}

void ExportMessagesTxt::write(const _KikMessage *message)
{
    QString text = messageText(message);
    text.remove(QLatin1Char('\r'));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString name = nameColumn(message);

    m_stream << shortMessageTime(message->ts).leftJustified(DateWidth)
             << (message->was_me ? QStringLiteral("To") : QStringLiteral("From")).leftJustified(FlagWidth);
    if (!name.isNull())
        m_stream << name.leftJustified(NameWidth);
    m_stream << text << '\n';
}
