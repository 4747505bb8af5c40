#include "workers/AbsTextFileExport.h"

#include "app/AppError.h"
#include "app/FileUtils.h"
#include "kik/KikChat.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"

namespace {

constexpr qsizetype BlockBytes = 1 << 20;

}   // namespace

AbsTextFileExport::AbsTextFileExport(const QString &filePath, EmojiStyle emoji)
    : m_file(filePath)
    , m_emoji(emoji)
{
}

void AbsTextFileExport::begin()
{
    if (!m_file.open(QIODevice::WriteOnly))
        failWith(fileWriteProblem(m_file));
    m_buffer.reserve(BlockBytes + BlockBytes / 4);
    writeHeader();
}

void AbsTextFileExport::end()
{
    flushThrow();
    if (!m_file.commit())
        failWith(fileWriteProblem(m_file));
}

void AbsTextFileExport::put(QStringView text)
{
    const qsizetype start = m_buffer.size();
    m_buffer.resize(start + m_encoder.requiredSpace(text.size()));
    char *const end = m_encoder.appendToBuffer(m_buffer.data() + start, text);
    m_buffer.resize(end - m_buffer.constData());
}

void AbsTextFileExport::flushIfFull()
{
    if (m_buffer.size() >= BlockBytes)
        flushThrow();
}

void AbsTextFileExport::flushThrow()
{
    if (!m_buffer.isEmpty() && m_file.write(m_buffer) != m_buffer.size())
        failWith(fileWriteProblem(m_file));
    m_buffer.resize(0);
}

QString AbsTextFileExport::nameColumn(const KikMessage *message)
{
    const KikUser *user = message->chat ? message->chat->user : nullptr;
    if (!user)
        return QString();
    if (user->is_group && message->target_user)
        return userDisplayName(message->target_user);
    return userDisplayName(user);
}
